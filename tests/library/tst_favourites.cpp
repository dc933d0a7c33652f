#include "library/favourites.h"
#include "library/new_episodes.h"
#include "library/watch_history.h"
#include "store/catalogue.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using kinolark::library::Favourites;
using kinolark::library::NewEpisodes;
using kinolark::library::WatchEntry;
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

QDateTime at(int second)
{
    return QDateTime(QDate(2026, 12, 7), QTime(20, 0, 0), Qt::UTC).addSecs(second);
}

} // namespace

class tst_Favourites : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_catalogue.open(m_dir.filePath("data.db")) != kinolark::store::Catalogue::OpenResult::NotACatalogue);
        QSqlQuery query(m_catalogue.database());
        QVERIFY(query.exec("insert into vod (vod_id,vod_cid,vod_name,vod_letter) values "
                           "(1,15,'One','o'),(2,15,'Two','t'),(3,8,'Three','t'),(4,3,'Four','f')"));
    }
    void cleanup()
    {
        m_catalogue.close();
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(m_dir.filePath(QString("data.db") + suffix));
    }

    void newEpisodes_data()
    {
        QTest::addColumn<QString>("seen");
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("mark");
        const QString twelve = playList(numbered(1, 12));
        QTest::newRow("unchanged") << twelve << twelve << 0 << "";
        QTest::newRow("grew by two") << twelve << playList(numbered(1, 14)) << 2 << "（更新至第14集）";
        QTest::newRow("shrank") << twelve << playList(numbered(1, 10)) << 0 << "";
        QTest::newRow("shrank and grew") << twelve << playList(numbered(3, 13)) << 1 << "（更新至第13集）";
        QTest::newRow("renamed, same numbers, new host")
            << twelve << playList(numbered(1, 12, "第%1集", 1), "b") << 0 << "";
        QTest::newRow("renamed, same addresses")
            << twelve << playList(numbered(1, 12, "Episode %1"), "a", "\r", numbered(1, 12)) << 0 << "";
        QTest::newRow("renamed to three digits, one more")
            << twelve << playList(numbered(1, 13, "第%1集", 3), "b") << 1 << "（更新至第13集）";
        QTest::newRow("CR LF lines") << twelve << playList(numbered(1, 13), "a", "\r\n") << 1 << "（更新至第13集）";
        QTest::newRow("CR LF seen, CR now") << playList(numbered(1, 12), "a", "\r\n") << playList(numbered(1, 12), "b")
                                            << 0 << "";
        QTest::newRow("one episode from two sources")
            << twelve << twelve + "\r" + playList({"第13集"}, "x") + "\r" + playList({"第13集"}, "y") << 1
            << "（更新至第13集）";
        QTest::newRow("names without numbers") << playList({"高清版"}) << playList({"高清版", "国语版", "粤语版"}, "b")
                                               << 2 << "（2 集新）";
        QTest::newRow("dated shows carry no episode number")
            << playList({"20130101期"}) << playList({"20130101期", "20130108期"}) << 1 << "（1 集新）";
        QTest::newRow("nothing seen yet") << "" << playList(numbered(1, 3)) << 3 << "（更新至第3集）";
        QTest::newRow("error text now") << twelve << "暂无播放地址" << 0 << "";
        QTest::newRow("lines without episodes ignored")
            << twelve << "播放列表\r" + playList(numbered(1, 12)) + "\r备用线路//x/1\r" << 0 << "";
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

    void episodeNumbers_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("number");
        QTest::newRow("第12集") << "第12集" << 12;
        QTest::newRow("spaced, 话") << "第 3 话" << 3;
        QTest::newRow("with a version") << "第07集 高清" << 7;
        QTest::newRow("bare, after a line feed") << "\n12" << 12;
        QTest::newRow("EP") << "EP05" << 5;
        QTest::newRow("a date") << "20130105期" << -1;
        QTest::newRow("a version") << "高清版" << -1;
        QTest::newRow("a year in a name") << "2012 特别篇" << -1;
    }
    void episodeNumbers()
    {
        QFETCH(QString, name);
        QFETCH(int, number);
        QCOMPARE(kinolark::library::episodeNumber(name), number);
    }

    // The seen list is what the cache held when the title was marked; a title
    // marked before it had a play list adopts the first one fetched.
    void marksFollowTheCache()
    {
        Favourites favourites(m_catalogue.database());
        setCached(1, playList(numbered(1, 12)));
        QVERIFY(favourites.add(1, "One", at(0)));
        QVERIFY(favourites.add(2, "Two", at(1)));
        QCOMPARE(favourites.newEpisodes(1).count, 0);

        setCached(1, playList(numbered(1, 14)));
        setCached(2, playList(numbered(1, 5)));
        QCOMPARE(favourites.newEpisodes(1).mark(), QString("（更新至第14集）"));
        QCOMPARE(favourites.newEpisodes(2).count, 0); // nothing known to compare with
        QVERIFY(favourites.adoptFirstPlayList(2, playList(numbered(1, 5))));
        QVERIFY(favourites.adoptFirstPlayList(2, playList(numbered(1, 2)))); // only the first counts
        setCached(2, playList(numbered(1, 6)));
        const QHash<qint64, NewEpisodes> all = favourites.newEpisodes();
        QCOMPARE(all.value(1).count, 2);
        QCOMPARE(all.value(2).count, 1);

        // Opening clears; marking again keeps what was seen.
        QVERIFY(favourites.markSeen(1, playList(numbered(1, 14))));
        QCOMPARE(favourites.newEpisodes(1).count, 0);
        QVERIFY(favourites.add(1, "One", at(5)));
        QCOMPARE(favourites.ids(), (QList<qint64>{2, 1}));
        QVERIFY(favourites.markSeen(3, "x")); // not a favourite: nothing happens
        QVERIFY(!favourites.contains(3));
        QVERIFY(favourites.remove(2));
        QCOMPARE(favourites.ids(), QList<qint64>{1});
        QCOMPARE(favourites.count(), 1);
    }

    // Listed newest first under the catalogue's name; a title gone from the
    // catalogue keeps the name it was marked with.
    void listedNewestFirst()
    {
        Favourites favourites(m_catalogue.database());
        QVERIFY(favourites.add(3, "Three", at(0)));
        QVERIFY(favourites.add(1, "One", at(2)));
        QVERIFY(favourites.add(99, "Gone", at(1)));
        QSqlQuery query(m_catalogue.database());
        QVERIFY(query.exec("update vod set vod_name='One renamed' where vod_id=1"));
        const kinolark::browse::TitleStatement statement = favourites.listStatement();
        QVERIFY(query.exec(statement.sql));
        QStringList rows;
        while (query.next())
            rows << query.value(0).toString() + " " + query.value(1).toString();
        QCOMPARE(rows, (QStringList{"1 One renamed", "99 Gone", "3 Three"}));
    }

    // Newest first, one row per title, each noting its last episode.
    void historyOrderAndNotes()
    {
        setCached(1, playList(numbered(1, 12)));
        setCached(2, "播放列表\r" + playList({"高清版", "国语版"}, "a", "\r\n"));
        WatchPositions positions(m_catalogue.database());
        QVERIFY(positions.recordStart(1, 0, "http://a/0.mp4", at(0)));
        QVERIFY(positions.recordStart(2, 2, "http://a/国语版.mp4", at(1)));
        QVERIFY(positions.recordStart(99, 0, "gone", at(2))); // not in the catalogue
        QVERIFY(positions.recordStart(1, 11, "http://a/11.mp4", at(3)));
        QVERIFY(positions.savePosition(1, 11, "http://a/11.mp4", 1425.6, 2700, at(4)));
        QVERIFY(positions.recordStart(3, 40, "http://a/40.mp4", at(3))); // no cached play list

        WatchHistory history(m_catalogue.database());
        QSqlQuery query(m_catalogue.database());
        const kinolark::browse::TitleStatement statement = history.listStatement();
        query.prepare(statement.sql);
        for (const QVariant &value : statement.values)
            query.addBindValue(value);
        QVERIFY(query.exec());
        QList<qint64> ids;
        while (query.next())
            ids << query.value(0).toLongLong();
        QCOMPARE(ids, (QList<qint64>{1, 3, 2}));
        QCOMPARE(history.count(), 3);
        const QHash<qint64, QString> notes = history.notes();
        QCOMPARE(notes.value(1), QString("看到 第12集 23:45"));
        QCOMPARE(notes.value(2), QString("看到 国语版"));
        QCOMPARE(notes.value(3), QString("看过"));
    }

    void clockTexts_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("seconds") << 7.9 << "0:07";
        QTest::newRow("minutes") << 1425.6 << "23:45";
        QTest::newRow("hours") << 3723.0 << "1:02:03";
    }
    void clockTexts()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(WatchHistory::clockText(seconds), text);
    }

private:
    void setCached(qint64 id, const QString &list)
    {
        QSqlQuery query(m_catalogue.database());
        query.prepare("insert or replace into vodplay (d_id, d_playurl, d_date, d_nr) values (?, ?, 'x', '')");
        query.addBindValue(id);
        query.addBindValue(list);
        QVERIFY(query.exec());
    }

    QTemporaryDir m_dir;
    kinolark::store::Catalogue m_catalogue;
};

QTEST_GUILESS_MAIN(tst_Favourites)
#include "tst_favourites.moc"
