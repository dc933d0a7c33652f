#include "library/watch_positions.h"
#include "store/catalogue.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using kinolark::library::WatchEntry;
using kinolark::library::WatchPositions;

namespace {

QDateTime at(int second)
{
    return QDateTime(QDate(2026, 12, 7), QTime(20, 0, 0), Qt::UTC).addMSecs(second * 1000 + 1);
}

} // namespace

class tst_WatchPositions : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_catalogue.open(m_dir.filePath(QStringLiteral("data.db")))
                != kinolark::store::Catalogue::OpenResult::NotACatalogue);
    }
    void cleanup()
    {
        m_catalogue.close();
        QFile::remove(m_dir.filePath(QStringLiteral("data.db")));
    }

    void startKeepsPositionOfSameAddress_data()
    {
        QTest::addColumn<QString>("again");
        QTest::addColumn<double>("position");
        QTest::newRow("same address resumes") << "http://a/1.mp4" << 754.5;
        QTest::newRow("new address starts over") << "http://a/1-new.mp4" << 0.0;
    }
    void startKeepsPositionOfSameAddress()
    {
        QFETCH(QString, again);
        QFETCH(double, position);
        WatchPositions watched(m_catalogue.database());
        QVERIFY(watched.recordStart(7, 2, "http://a/1.mp4", at(0)));
        QVERIFY(watched.savePosition(7, 2, "http://a/1.mp4", 754.5, 2700, at(1)));
        QVERIFY(watched.recordStart(7, 2, again, at(2)));
        const std::optional<WatchEntry> entry = watched.entry(7, 2);
        QVERIFY(entry);
        QCOMPARE(entry->address, again);
        QCOMPARE(entry->position, position);
        QCOMPARE(entry->watchedAt, at(2));
    }

    void recentTitlesOnePerTitleNewestFirst()
    {
        WatchPositions watched(m_catalogue.database());
        QVERIFY(watched.recordStart(1, 0, "a", at(0)));
        QVERIFY(watched.recordStart(2, 5, "b", at(1)));
        QVERIFY(watched.recordStart(1, 3, "c", at(2)));
        QVERIFY(watched.recordStart(3, 1, "d", at(2))); // same instant as title 1
        const QList<WatchEntry> recent = watched.recentTitles(10);
        QCOMPARE(recent.size(), 3);
        QCOMPARE(recent.at(0).titleId, 3);
        QCOMPARE(recent.at(1).titleId, 1);
        QCOMPARE(recent.at(1).line, 3);
        QCOMPARE(recent.at(2).titleId, 2);
        QCOMPARE(watched.recentTitles(1).size(), 1);
    }

    void catalogueTablesUntouched()
    {
        const auto schema = [this](const QString &table) {
            QSqlQuery query(m_catalogue.database());
            query.prepare("select sql from sqlite_master where name = ?");
            query.addBindValue(table);
            return query.exec() && query.next() ? query.value(0).toString() : QString();
        };
        const QStringList before{schema("vod"), schema("vodplay"), schema("cdate")};
        WatchPositions watched(m_catalogue.database());
        QVERIFY(watched.recordStart(1, 0, "a", at(0)));
        QCOMPARE((QStringList{schema("vod"), schema("vodplay"), schema("cdate")}), before);
        QVERIFY(!schema("watch_position").isEmpty());
    }

private:
    QTemporaryDir m_dir;
    kinolark::store::Catalogue m_catalogue;
};

QTEST_GUILESS_MAIN(tst_WatchPositions)
#include "tst_watch_positions.moc"
