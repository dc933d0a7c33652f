#include "library/favourites.h"
#include "library/new_episodes.h"
#include "library/watch_history.h"
#include "sql_exec.h"
#include "store/catalogue.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using kinolark::library::Favourites;
using kinolark::library::NewEpisodes;
using kinolark::library::WatchHistory;
using kinolark::library::WatchPositions;

namespace {

// A play list of the site's kind: "name$http://host/name.mp4" lines joined
// by `separator`; the addresses may come from other names.
QString playList(const QStringList &names, const QString &host = "a", const QString &separator = "\r",
                 const QStringList &addressNames = {})
{
    QStringList lines;
    for (int i = 0; i < names.size(); ++i)
        lines << names.at(i) + "$http://" + host + "/" + addressNames.value(i, names.at(i)) + ".mp4";
    return lines.join(separator);
}

QStringList numbered(int from, int to, const QString &pattern = "第%1集", int width = 2)
{
    QStringList names;
    for (int i = from; i <= to; ++i)
        names << pattern.arg(i, width, 10, QLatin1Char('0'));
    return names;
}

// With milliseconds, which the stored times keep.
QDateTime at(int second)
{
    return QDateTime(QDate(2026, 12, 7), QTime(20, 0, 0), Qt::UTC).addMSecs(second * 1000 + 1);
}

} // namespace

class tst_Favourites : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.emplace(); // a new folder for each test
        QVERIFY(m_catalogue.open(m_dir->filePath("data.db")) != kinolark::store::Catalogue::OpenResult::NotACatalogue);
        QSqlQuery query(m_catalogue.database());
        QVERIFY(query.exec("insert into vod (vod_id,vod_cid,vod_name,vod_letter) values "
                           "(1,15,'One','o'),(2,15,'Two','t'),(3,8,'Three','t'),(4,3,'Four','f')"));
    }
    void cleanup() { m_catalogue.close(); }

    void newEpisodes_data()
    {
        QTest::addColumn<QString>("seen");
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("mark");
        const QString twelve = playList(numbered(1, 12));
        QTest::newRow("unchanged") << twelve << twelve << 0 << "";
        QTest::newRow("grew by two") << twelve << playList(numbered(1, 14)) << 2 << "更新至第14集";
        QTest::newRow("shrank") << twelve << playList(numbered(1, 10)) << 0 << "";
        QTest::newRow("shrank and grew") << twelve << playList(numbered(3, 13)) << 1 << "更新至第13集";
        QTest::newRow("renamed, same addresses")
            << twelve << playList(numbered(1, 12, "Episode %1"), "a", "\r", numbered(1, 12)) << 0 << "";
        QTest::newRow("renamed to three digits on a new host, one more")
            << twelve << playList(numbered(1, 13, "第%1集", 3), "b") << 1 << "更新至第13集";
        QTest::newRow("CR LF lines") << twelve << playList(numbered(1, 13), "a", "\r\n") << 1 << "更新至第13集";
        QTest::newRow("one episode from two sources")
            << twelve << twelve + "\r" + playList({"第13集"}, "x") + "\r" + playList({"第13集"}, "y") << 1
            << "更新至第13集";
        QTest::newRow("names without numbers") << playList({"高清版"}) << playList({"高清版", "国语版", "粤语版"}, "b")
                                               << 2 << "2 集新";
        QTest::newRow("nothing seen yet") << "" << playList(numbered(1, 3)) << 3 << "更新至第3集";
        QTest::newRow("error text now") << twelve << "暂无播放地址" << 0 << "";
        QTest::newRow("lines without episodes ignored")
            << twelve << "播放列表\r" + playList(numbered(1, 12)) + "\r备用线路//x/1\r" << 0 << "";
        // How an episode's name gives its number, if it has one.
        const QList<std::pair<QString, QString>> names{
            {"第 3 话", "更新至第3集"}, {"第07集 高清", "更新至第7集"}, {"12", "更新至第12集"},
            {"EP05", "更新至第5集"},   {"20130105期", "1 集新"},      {"2012 特别篇", "1 集新"}};
        for (const auto &[name, mark] : names)
            QTest::newRow(qPrintable("named " + name)) << "" << playList({name}) << 1 << mark;
    }
    void newEpisodes()
    {
        QFETCH(QString, seen);
        QFETCH(QString, current);
        QFETCH(int, count);
        QFETCH(QString, mark);
        const NewEpisodes found = NewEpisodes::between(seen, current);
        QCOMPARE(found.count, count);
        QCOMPARE(found.mark(), mark);
    }

    // The seen list is what the cache held when the title was marked; a title
    // marked before it had a play list adopts the first one fetched.
    void marksFollowTheCache()
    {
        Favourites favourites(m_catalogue.database());
        setCached(1, playList(numbered(1, 12)));
        QVERIFY(favourites.add(1, "One", at(0)));
        QVERIFY(favourites.add(2, "Two", at(1)));
        setCached(1, playList(numbered(1, 14)));
        setCached(2, playList(numbered(1, 5)));
        QCOMPARE(favourites.newEpisodes(1).mark(), QString("更新至第14集"));
        QCOMPARE(favourites.newEpisodes(2).count, 0); // nothing known to compare with
        QVERIFY(favourites.adoptFirstPlayList(2, playList(numbered(1, 5))));
        QVERIFY(favourites.adoptFirstPlayList(2, playList(numbered(1, 2)))); // only the first counts
        setCached(2, playList(numbered(1, 6)));
        QCOMPARE(favourites.newEpisodes().value(2).count, 1);
        QVERIFY(favourites.markSeen(1, playList(numbered(1, 14)))); // opened
        QCOMPARE(favourites.newEpisodes(1).count, 0);
    }

    // Listed newest first under the catalogue's name; a title gone from the
    // catalogue keeps the name it was marked with.
    void listedNewestFirst()
    {
        Favourites favourites(m_catalogue.database());
        QVERIFY(favourites.add(3, "Three", at(0)));
        QVERIFY(favourites.add(1, "One", at(2)));
        QVERIFY(favourites.add(99, "Gone", at(1)));
        QVERIFY(execSql(m_catalogue.database(), "update vod set vod_name='One renamed' where vod_id=1"));
        QCOMPARE(listed(favourites.listStatement()), (QStringList{"1 One renamed", "99 Gone", "3 Three"}));
    }

    // One row per title, newest first, each noting its last episode and
    // where it stopped (a position kept only for the same address); titles
    // gone from the catalogue are left out.
    void historyOrderAndNotes()
    {
        setCached(1, playList(numbered(1, 12)));
        setCached(2, "播放列表\r" + playList({"高清版", "国语版"}, "a", "\r\n"));
        WatchPositions positions(m_catalogue.database());
        QVERIFY(positions.recordStart(4, 0, "x", at(0)));
        QVERIFY(positions.recordStart(1, 0, "http://a/0.mp4", at(0)));
        QVERIFY(positions.savePosition(2, 2, "http://a/old.mp4", 600, 2700, at(1)));
        QVERIFY(positions.recordStart(2, 2, "http://a/国语版.mp4", at(2)));
        QVERIFY(positions.recordStart(99, 0, "gone", at(2)));
        QVERIFY(positions.savePosition(1, 11, "http://a/11.mp4", 1425.6, 2700, at(3)));
        QVERIFY(positions.recordStart(1, 11, "http://a/11.mp4", at(4)));
        QVERIFY(positions.savePosition(3, 40, "http://a/40.mp4", 3723, 7200, at(4))); // no cached play list

        WatchHistory history(m_catalogue.database());
        QCOMPARE(listed(history.listStatement()), (QStringList{"3 Three", "1 One", "2 Two", "4 Four"}));
        QCOMPARE(history.count(), 4);
        const QHash<qint64, QString> notes = history.notes();
        QCOMPARE(notes.value(1), QString("看到 第12集 23:45"));
        QCOMPARE(notes.value(2), QString("看到 国语版"));
        QCOMPARE(notes.value(3), QString("看到 1:02:03"));
        QCOMPARE(notes.value(4), QString("看过"));
    }

private:
    void setCached(qint64 id, const QString &list)
    {
        QVERIFY(execSql(m_catalogue.database(), "insert or replace into vodplay values (?, ?, 'x', '')", {id, list}));
    }

    // "id name" of each title a list statement gives, in its order.
    QStringList listed(const kinolark::browse::TitleStatement &statement)
    {
        QSqlQuery query(m_catalogue.database());
        query.prepare(statement.sql);
        for (const QVariant &value : statement.values)
            query.addBindValue(value);
        QStringList rows;
        query.exec();
        while (query.next())
            rows << query.value(0).toString() + " " + query.value(1).toString();
        return rows;
    }

    std::optional<QTemporaryDir> m_dir;
    kinolark::store::Catalogue m_catalogue;
};

QTEST_GUILESS_MAIN(tst_Favourites)
#include "tst_favourites.moc"
