#include "library/favourites.h"
#include "library/favourites_refresh.h"
#include "sample_catalogue.h"
#include "sample_site_process.h"
#include "scripted_server.h"
#include "site/http_get_text.h"
#include "store/catalogue.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using kinolark::library::Favourites;
using kinolark::library::FavouritesRefresh;
using kinolark::store::Catalogue;

namespace {

const QString yesterday = "2026/12/6";
const QString today = "2026/12/7";

QString episodes(int count, const QString &host = "a")
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << QString("第%1集$http://%2/%1.mp4").arg(i, 2, 10, QLatin1Char('0')).arg(host);
    return lines.join('\r');
}

struct Row
{
    QString playList;
    QString date;
    QString description;
    bool operator==(const Row &o) const
    {
        return playList == o.playList && date == o.date && description == o.description;
    }
};

} // namespace

namespace QTest {
template<>
char *toString(const Row &row)
{
    return qstrdup(qPrintable(QString("[%1|%2|%3]").arg(row.playList.left(40), row.date, row.description)));
}
} // namespace QTest

class tst_FavouritesRefresh : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_catalogue.open(m_dir.filePath("data.db")) != Catalogue::OpenResult::NotACatalogue);
        QSqlQuery query(m_catalogue.database());
        for (int id = 1; id <= 12; ++id)
            QVERIFY(query.exec(QString("insert into vod values (%1, 15, 'T%1', 't')").arg(id)));
    }
    void cleanup()
    {
        m_catalogue.close();
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(m_dir.filePath(QString("data.db") + suffix));
    }

    // Every way a title's refresh can fail leaves its row and its mark as
    // they were, and the others still refresh.
    void failuresChangeNothing()
    {
        ScriptedServer site;
        QVERIFY(site.listen());
        site.on("Lx=Dy&Id=1", {200, episodes(14).toUtf8()});              // two new episodes
        site.on("Lx=Dy&Id=2", {200, QString("暂无播放地址").toUtf8()});    // no "$"
        site.on("Lx=Dy&Id=3", {500, episodes(20).toUtf8()});              // an error page that looks right
        site.on("Lx=Dy&Id=4", ScriptedServer::Reply(200, episodes(20).toUtf8()).hanging()); // no answer
        site.on("Lx=Dy&Id=5", {200, episodes(12, "b").toUtf8()});        // moved, nothing new
        site.on("Lx=Dy&Id=6", {200, episodes(3).toUtf8()});               // no row yet
        site.on("Lx=Nr&Id=6", {200, QString("<p>简介</p>").toUtf8()});
        site.on("Lx=Dy&Id=99", {200, QByteArray()});                      // gone from the site and the catalogue

        Favourites favourites(m_catalogue.database());
        for (qint64 id : {1, 2, 3, 4, 5})
            setRow(id, {episodes(12), yesterday, "d"});
        setRow(7, {episodes(12), today, "d"}); // fetched today: no request
        for (qint64 id : {1, 2, 3, 4, 5, 6, 7, 99})
            QVERIFY(favourites.add(id, QString("T%1").arg(id), QDateTime::currentDateTimeUtc()));
        // Titles 2 and 4 have new episodes already; they must keep the mark.
        for (qint64 id : {2, 4})
            QVERIFY(favourites.markSeen(id, episodes(10)));

        QNetworkAccessManager network;
        FavouritesRefresh refresh(m_catalogue.database(), network, settings(site.endpoint(), 400));
        QSignalSpy finished(&refresh, &FavouritesRefresh::finished);
        QVERIFY(refresh.startIfDue());
        QVERIFY(finished.wait(10000));
        QCOMPARE(refresh.done(), 8);

        QCOMPARE(row(1), (Row{episodes(14), today, "d"}));
        for (qint64 id : {2, 3, 4})
            QCOMPARE(row(id), (Row{episodes(12), yesterday, "d"}));
        QCOMPARE(row(5), (Row{episodes(12, "b"), today, "d"}));
        QCOMPARE(row(6), (Row{episodes(3), today, "<p>简介</p>"}));
        QCOMPARE(row(7), (Row{episodes(12), today, "d"}));
        QVERIFY(!hasRow(99));
        QCOMPARE(site.count("Lx=Dy&Id=7"), 0);
        QCOMPARE(site.count("Lx=Nr&Id=6"), 1);
        QCOMPARE(site.requests.filter("Lx=Nr").size(), 1);

        const QHash<qint64, kinolark::library::NewEpisodes> marks = favourites.newEpisodes();
        QCOMPARE(marks.value(1).mark(), QString("（更新至第14集）"));
        QCOMPARE(marks.value(2).mark(), QString("（更新至第12集）"));
        QCOMPARE(marks.value(4).mark(), QString("（更新至第12集）"));
        for (qint64 id : {3, 5, 6, 7, 99})
            QCOMPARE(marks.value(id).count, 0);
        QCOMPARE(favourites.count(), 8);
        // The site answered: the day is done, and the next start sends nothing.
        QCOMPARE(favourites.refreshedDay(), today);
        QVERIFY(!refresh.startIfDue());
    }

    // A site that cannot be reached leaves the day open for the next start.
    void unreachableSiteLeavesTheDayOpen()
    {
        Favourites favourites(m_catalogue.database());
        setRow(1, {episodes(12), yesterday, "d"});
        QVERIFY(favourites.add(1, "T1", QDateTime::currentDateTimeUtc()));
        QNetworkAccessManager network;
        FavouritesRefresh refresh(m_catalogue.database(), network,
                                  settings("http://127.0.0.1:9/Uploads/xml.php?", 2000));
        QSignalSpy finished(&refresh, &FavouritesRefresh::finished);
        QVERIFY(refresh.startIfDue());
        QVERIFY(finished.wait(10000));
        QCOMPARE(row(1), (Row{episodes(12), yesterday, "d"}));
        QCOMPARE(favourites.refreshedDay(), QString());
    }

    // Never more than four requests at once, and four when there are more.
    void fourAtATime()
    {
        ScriptedServer site;
        QVERIFY(site.listen());
        site.setFallback(ScriptedServer::Reply(200, episodes(13).toUtf8()).delay(60));
        Favourites favourites(m_catalogue.database());
        QList<qint64> ids;
        for (qint64 id = 1; id <= 12; ++id) {
            setRow(id, {episodes(12), yesterday, "d"});
            ids << id;
        }
        QNetworkAccessManager network;
        FavouritesRefresh refresh(m_catalogue.database(), network, settings(site.endpoint(), 5000));
        int most = 0;
        connect(&site, &ScriptedServer::requested, this,
                [&] { most = qMax(most, int(site.requests.size()) - refresh.done()); });
        QSignalSpy finished(&refresh, &FavouritesRefresh::finished);
        QSignalSpy progress(&refresh, &FavouritesRefresh::progress);
        refresh.start(ids);
        QVERIFY(finished.wait(10000));
        QCOMPARE(most, 4);
        QCOMPARE(site.requests.size(), 12);
        QCOMPARE(progress.size(), 12);
        QCOMPARE(progress.last(), (QVariantList{12, 12}));
    }

    // Five hundred favourites, one of them failing: the rest are refreshed.
    void fiveHundred()
    {
        ScriptedServer site;
        QVERIFY(site.listen());
        site.setFallback({200, episodes(13).toUtf8()});
        site.on("Lx=Dy&Id=250", {500, "busy"});
        Favourites favourites(m_catalogue.database());
        QList<qint64> ids;
        QSqlQuery query(m_catalogue.database());
        QVERIFY(m_catalogue.database().transaction());
        for (qint64 id = 1; id <= 500; ++id) {
            setRow(id, {episodes(12), yesterday, "d"});
            QVERIFY(favourites.add(id, "x", QDateTime::currentDateTimeUtc()));
            ids << id;
        }
        QVERIFY(m_catalogue.database().commit());
        QNetworkAccessManager network;
        FavouritesRefresh refresh(m_catalogue.database(), network, settings(site.endpoint(), 5000));
        QSignalSpy finished(&refresh, &FavouritesRefresh::finished);
        QVERIFY(refresh.startIfDue());
        QVERIFY(finished.wait(30000));
        QCOMPARE(site.requests.size(), 500);
        QVERIFY(query.exec(QString("select count(*) from vodplay where d_date = '%1'").arg(today)) && query.next());
        QCOMPARE(query.value(0).toInt(), 499);
        const QHash<qint64, kinolark::library::NewEpisodes> marks = favourites.newEpisodes();
        QCOMPARE(marks.size(), 500);
        QCOMPARE(std::count_if(marks.cbegin(), marks.cend(), [](const auto &m) { return m.count == 1; }), 499);
        QCOMPARE(row(250), (Row{episodes(12), yesterday, "d"}));
    }

    // A title click wins: a title given up is not written, nor is a row a
    // click stored today while the refresh waited.
    void clickWins()
    {
        ScriptedServer site;
        QVERIFY(site.listen());
        site.on("Lx=Dy&Id=1", ScriptedServer::Reply(200, episodes(20).toUtf8()).hanging());
        site.on("Lx=Dy&Id=2", ScriptedServer::Reply(200, episodes(20).toUtf8()).delay(300));
        site.on("Lx=Dy&Id=3", {200, episodes(13).toUtf8()});
        for (qint64 id : {1, 2, 3})
            setRow(id, {episodes(12), yesterday, "d"});
        QNetworkAccessManager network;
        FavouritesRefresh refresh(m_catalogue.database(), network, settings(site.endpoint(), 30000));
        QSignalSpy finished(&refresh, &FavouritesRefresh::finished);
        refresh.start({1, 2, 3});
        QTRY_VERIFY(site.count("Lx=Dy&Id=1") == 1 && site.count("Lx=Dy&Id=2") == 1);
        // The clicks fetch and store the titles themselves.
        setRow(1, {episodes(15), today, "d"});
        setRow(2, {episodes(16), today, "d"});
        refresh.yieldTitle(1);
        QVERIFY(finished.wait(10000)); // no waiting for the hanging answer
        QCOMPARE(row(1), (Row{episodes(15), today, "d"}));
        QCOMPARE(row(2), (Row{episodes(16), today, "d"}));
        QCOMPARE(row(3), (Row{episodes(13), today, "d"}));
    }

    // Against the sample site: a series goes on between two days. A second
    // program on the same catalogue refreshing at the same time, while
    // favourites are marked there, corrupts nothing.
    void sampleSiteAcrossDaysAndTwoPrograms()
    {
        SampleSiteProcess site;
        QVERIFY2(site.start({"--titles", "420", "--delay-ms", "20"}), qPrintable(site.error()));
        const kinolark::sample::SampleCatalogue sample(420);
        QList<qint64> series;
        for (const kinolark::sample::SampleTitle &title : sample.titles()) {
            if (title.category >= 15 && title.category <= 19 && sample.playList(title.id).contains("第"))
                series << title.id;
        }
        QVERIFY(series.size() > 30);
        QSqlQuery query(m_catalogue.database());
        query.prepare("insert or ignore into vod values (?, 15, ?, 's')");
        for (qint64 id : series) {
            query.addBindValue(id);
            query.addBindValue(QString("S%1").arg(id));
            QVERIFY(query.exec());
        }
        Favourites favourites(m_catalogue.database());
        for (qint64 id : series.mid(0, 20))
            QVERIFY(favourites.add(id, QString("S%1").arg(id), QDateTime::currentDateTimeUtc()));

        QNetworkAccessManager network;
        QString day = "2026/12/7";
        FavouritesRefresh::Settings s = settings(site.endpoint(), 10000);
        s.today = [&day] { return day; };
        {
            FavouritesRefresh refresh(m_catalogue.database(), network, s);
            QSignalSpy finished(&refresh, &FavouritesRefresh::finished);
            QVERIFY(refresh.startIfDue());
            QVERIFY(finished.wait(20000));
        }
        QCOMPARE(rowCount(), 20);
        for (const auto &found : favourites.newEpisodes())
            QCOMPARE(found.count, 0); // the first lists fetched are the ones seen

        const qint64 grown = series.at(3);
        const QString add = site.site() + QString("/sample/add-episodes?Id=%1&N=2").arg(grown);
        QVERIFY(kinolark::site::HttpGetText(network, add).ok);
        day = "2026/12/8";

        // The other program, on the same file, marking the rest.
        Catalogue other;
        QCOMPARE(other.open(m_dir.filePath("data.db")), Catalogue::OpenResult::Opened);
        Favourites otherFavourites(other.database());
        FavouritesRefresh refresh(m_catalogue.database(), network, s);
        FavouritesRefresh otherRefresh(other.database(), network, s);
        QSignalSpy finished(&refresh, &FavouritesRefresh::finished);
        QSignalSpy otherFinished(&otherRefresh, &FavouritesRefresh::finished);
        QVERIFY(refresh.startIfDue());
        QVERIFY(otherRefresh.startIfDue());
        for (qint64 id : series.mid(20))
            QVERIFY(otherFavourites.add(id, "x", QDateTime::currentDateTimeUtc()));
        QVERIFY(finished.size() == 1 || finished.wait(20000));
        QVERIFY(otherFinished.size() == 1 || otherFinished.wait(20000));

        QSqlQuery check(m_catalogue.database());
        QVERIFY(check.exec("pragma integrity_check") && check.next());
        QCOMPARE(check.value(0).toString(), QString("ok"));
        QCOMPARE(favourites.count(), int(series.size()));
        const QHash<qint64, kinolark::library::NewEpisodes> marks = favourites.newEpisodes();
        for (auto it = marks.cbegin(); it != marks.cend(); ++it)
            QCOMPARE(it->count, it.key() == grown ? 2 : 0);
        QVERIFY(marks.value(grown).mark().startsWith("（更新至第"));
        QCOMPARE(favourites.refreshedDay(), day);
    }

private:
    FavouritesRefresh::Settings settings(const QString &endpoint, int timeoutMs)
    {
        FavouritesRefresh::Settings s;
        s.endpoint = endpoint;
        s.today = [] { return today; };
        s.timeoutMs = timeoutMs;
        return s;
    }

    void setRow(qint64 id, const Row &r)
    {
        QSqlQuery query(m_catalogue.database());
        query.prepare("insert or replace into vodplay (d_id, d_playurl, d_date, d_nr) values (?, ?, ?, ?)");
        query.addBindValue(id);
        query.addBindValue(r.playList);
        query.addBindValue(r.date);
        query.addBindValue(r.description);
        QVERIFY(query.exec());
    }
    bool hasRow(qint64 id)
    {
        QSqlQuery query(m_catalogue.database());
        return query.exec(QString("select 1 from vodplay where d_id=%1").arg(id)) && query.next();
    }
    Row row(qint64 id)
    {
        QSqlQuery query(m_catalogue.database());
        if (!query.exec(QString("select d_playurl, d_date, d_nr from vodplay where d_id=%1").arg(id)) || !query.next())
            return {};
        return {query.value(0).toString(), query.value(1).toString(), query.value(2).toString()};
    }
    int rowCount()
    {
        QSqlQuery query(m_catalogue.database());
        return query.exec("select count(*) from vodplay") && query.next() ? query.value(0).toInt() : -1;
    }

    QTemporaryDir m_dir;
    Catalogue m_catalogue;
};

QTEST_GUILESS_MAIN(tst_FavouritesRefresh)
#include "tst_favourites_refresh.moc"
