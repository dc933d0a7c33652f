#include "library/favourites.h"
#include "library/favourites_refresh.h"
#include "sample_catalogue.h"
#include "sample_site_process.h"
#include "scripted_server.h"
#include "site/http_get_text.h"
#include "sql_exec.h"
#include "store/catalogue.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QSignalSpy>

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

// A cached row as row() reads it.
QString cached(const QString &playList, const QString &date, const QString &description = "d")
{
    return playList + "|" + date + "|" + description;
}

} // namespace

class tst_FavouritesRefresh : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.emplace(); // a new folder for each test
        QVERIFY(m_catalogue.open(m_dir->filePath("data.db")) != Catalogue::OpenResult::NotACatalogue);
        QSqlQuery query(m_catalogue.database());
        for (int id = 1; id <= 12; ++id)
            QVERIFY(query.exec(QString("insert into vod values (%1, 15, 'T%1', 't')").arg(id)));
    }
    void cleanup() { m_catalogue.close(); }

    // Every way a title's refresh can fail leaves its row and its mark as
    // they were, and the others, five hundred in all, still refresh.
    void failuresChangeNothing()
    {
        ScriptedServer site;
        QVERIFY(site.listen());
        site.setFallback({200, episodes(13).toUtf8()});                  // the many: one new episode each
        site.on("Lx=Dy&Id=1", {200, episodes(14).toUtf8()});              // two new episodes
        site.on("Lx=Dy&Id=2", {200, QString("暂无播放地址").toUtf8()});    // no "$"
        site.on("Lx=Dy&Id=3", {500, episodes(20).toUtf8()});              // an error page that looks right
        site.on("Lx=Dy&Id=4", ScriptedServer::Reply(200, episodes(20).toUtf8()).hanging()); // no answer
        site.on("Lx=Dy&Id=5", {200, episodes(12, "b").toUtf8()});        // moved, nothing new
        site.on("Lx=Dy&Id=6", {200, episodes(3).toUtf8()});               // no row yet
        site.on("Lx=Nr&Id=6", {200, QString("<p>简介</p>").toUtf8()});
        site.on("Lx=Dy&Id=99", {200, QByteArray()});                      // gone from the site and the catalogue
        site.on("Lx=Dy&Id=8", {200, episodes(13).toUtf8() + QByteArray(5 << 20, 'x')}); // far too long

        QList<qint64> many;
        for (qint64 id = 100; id < 591; ++id)
            many << id;
        QVERIFY(m_catalogue.database().transaction());
        for (qint64 id : QList<qint64>{1, 2, 3, 4, 5, 8} + many)
            setRow(id, episodes(12), yesterday);
        setRow(7, episodes(12), today); // fetched today: no request
        favour(QList<qint64>{1, 2, 3, 4, 5, 6, 7, 8, 99} + many);
        // Titles 2 and 4 have new episodes already; they must keep the mark.
        Favourites favourites(m_catalogue.database());
        for (qint64 id : {2, 4})
            QVERIFY(favourites.markSeen(id, episodes(10)));
        QVERIFY(m_catalogue.database().commit());

        QVERIFY(refreshDue(site.endpoint(), 400));
        QCOMPARE(row(1), cached(episodes(14), today));
        for (qint64 id : {2, 3, 4, 8})
            QCOMPARE(row(id), cached(episodes(12), yesterday));
        QCOMPARE(row(5), cached(episodes(12, "b"), today));
        QCOMPARE(row(6), cached(episodes(3), today, "<p>简介</p>"));
        QCOMPARE(row(99), QString());
        QCOMPARE(site.count("Lx=Dy&Id=7"), 0);
        QCOMPARE(site.requests.filter("Lx=Nr"), QStringList{"Lx=Nr&Id=6"});

        const QHash<qint64, kinolark::library::NewEpisodes> marks = favourites.newEpisodes();
        QCOMPARE(marks.size(), 500);
        QCOMPARE(marks.value(1).mark(), QString("更新至第14集"));
        QCOMPARE(marks.value(2).mark(), QString("更新至第12集"));
        QCOMPARE(marks.value(4).mark(), QString("更新至第12集"));
        for (qint64 id : many) {
            QCOMPARE(row(id), cached(episodes(13), today));
            QCOMPARE(marks.value(id).count, 1);
        }
        // The site answered: the day is done, and the next start sends nothing.
        QVERIFY(!FavouritesRefresh(m_catalogue.database(), m_network, settings(site.endpoint(), 400)).startIfDue());
    }

    // A site that cannot be reached leaves the day open for the next start.
    void unreachableSiteLeavesTheDayOpen()
    {
        setRow(1, episodes(12), yesterday);
        favour({1});
        QVERIFY(refreshDue("http://127.0.0.1:9/Uploads/xml.php?", 2000));
        QCOMPARE(row(1), cached(episodes(12), yesterday));
        QCOMPARE(Favourites(m_catalogue.database()).refreshedDay(), QString());
    }

    // Never more than four requests at once, and four when there are more.
    void fourAtATime()
    {
        ScriptedServer site;
        QVERIFY(site.listen());
        site.setFallback(ScriptedServer::Reply(200, episodes(13).toUtf8()).delay(60));
        QList<qint64> ids;
        for (qint64 id = 1; id <= 12; ++id) {
            setRow(id, episodes(12), yesterday);
            ids << id;
        }
        FavouritesRefresh refresh(m_catalogue.database(), m_network, settings(site.endpoint(), 5000));
        int most = 0;
        connect(&site, &ScriptedServer::requested, this,
                [&] { most = qMax(most, int(site.requests.size()) - refresh.done()); });
        QSignalSpy finished(&refresh, &FavouritesRefresh::finished);
        QSignalSpy progress(&refresh, &FavouritesRefresh::progress);
        refresh.start(ids);
        QVERIFY(finished.wait(10000));
        QCOMPARE(most, 4);
        QCOMPARE(site.requests.size(), 12);
        QCOMPARE(progress.last(), (QVariantList{12, 12}));
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
            setRow(id, episodes(12), yesterday);
        FavouritesRefresh refresh(m_catalogue.database(), m_network, settings(site.endpoint(), 30000));
        QSignalSpy finished(&refresh, &FavouritesRefresh::finished);
        refresh.start({1, 2, 3});
        QTRY_VERIFY(site.count("Lx=Dy&Id=1") == 1 && site.count("Lx=Dy&Id=2") == 1);
        // The clicks fetch and store the titles themselves.
        setRow(1, episodes(15), today);
        setRow(2, episodes(16), today);
        refresh.yieldTitle(1);
        QVERIFY(finished.wait(10000)); // no waiting for the hanging answer
        QCOMPARE(row(1), cached(episodes(15), today));
        QCOMPARE(row(2), cached(episodes(16), today));
        QCOMPARE(row(3), cached(episodes(13), today));
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
            if (sample.playList(title.id).contains("第"))
                series << title.id;
        }
        QVERIFY(series.size() > 30);
        favour(series.mid(0, 20));

        // The first day fetches the play lists the marks count from.
        QString day = "2026/12/7";
        FavouritesRefresh::Settings s = settings(site.endpoint(), 10000);
        s.today = [&day] { return day; };
        QVERIFY(refreshDue(s));
        const qint64 grown = series.at(3);
        const QString add = site.site() + QString("/sample/add-episodes?Id=%1&N=2").arg(grown);
        QVERIFY(kinolark::site::HttpGetText(m_network, add).ok);
        day = "2026/12/8";

        // The other program, on the same file, marking the rest.
        Catalogue other;
        QCOMPARE(other.open(m_dir->filePath("data.db")), Catalogue::OpenResult::Opened);
        Favourites otherFavourites(other.database());
        FavouritesRefresh refresh(m_catalogue.database(), m_network, s);
        FavouritesRefresh otherRefresh(other.database(), m_network, s);
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
        Favourites favourites(m_catalogue.database());
        QCOMPARE(favourites.count(), int(series.size()));
        const QHash<qint64, kinolark::library::NewEpisodes> marks = favourites.newEpisodes();
        for (auto it = marks.cbegin(); it != marks.cend(); ++it)
            QCOMPARE(it->count, it.key() == grown ? 2 : 0);
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

    // Runs the day's refresh to its end.
    bool refreshDue(const FavouritesRefresh::Settings &s)
    {
        FavouritesRefresh refresh(m_catalogue.database(), m_network, s);
        QSignalSpy finished(&refresh, &FavouritesRefresh::finished);
        return refresh.startIfDue() && finished.wait(30000);
    }
    bool refreshDue(const QString &endpoint, int timeoutMs) { return refreshDue(settings(endpoint, timeoutMs)); }

    void favour(const QList<qint64> &ids)
    {
        Favourites favourites(m_catalogue.database());
        for (qint64 id : ids)
            QVERIFY(favourites.add(id, QString("T%1").arg(id), QDateTime::currentDateTimeUtc()));
    }

    void setRow(qint64 id, const QString &playList, const QString &date, const QString &description = "d")
    {
        QVERIFY(execSql(m_catalogue.database(), "insert or replace into vodplay values (?, ?, ?, ?)",
                        {id, playList, date, description}));
    }
    // Empty when the title has no row.
    QString row(qint64 id)
    {
        QSqlQuery query(m_catalogue.database());
        query.exec(QString("select d_playurl || '|' || d_date || '|' || d_nr from vodplay where d_id=%1").arg(id));
        return query.next() ? query.value(0).toString() : QString();
    }

    std::optional<QTemporaryDir> m_dir;
    Catalogue m_catalogue;
    QNetworkAccessManager m_network;
};

QTEST_GUILESS_MAIN(tst_FavouritesRefresh)
#include "tst_favourites_refresh.moc"
