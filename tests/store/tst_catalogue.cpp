#include "store/catalogue.h"
#include "temp_folder.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using kinolark::store::Catalogue;

namespace {

// Runs statements on a file through a connection of the test's own.
void runOn(const QString &path, const QStringList &statements)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery query(db);
        for (const QString &statement : statements)
            QVERIFY2(query.exec(statement), qPrintable(statement));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
}

QStringList column(QSqlDatabase db, const QString &statement)
{
    QStringList values;
    QSqlQuery query(db);
    if (!query.exec(statement))
        return {QStringLiteral("<error>")};
    while (query.next())
        values << query.value(0).toString();
    return values;
}

} // namespace

class tst_Catalogue : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); m_path = m_dir.filePath(QStringLiteral("data.db")); }
    void cleanup() { QDir(m_dir.path()).removeRecursively(); QDir().mkpath(m_dir.path()); }

    void createsMissingFileWithSchema()
    {
        Catalogue catalogue;
        QCOMPARE(catalogue.open(m_path), Catalogue::OpenResult::Created);
        QVERIFY(catalogue.isOpen());
        QSqlDatabase db = catalogue.database();
        // The catalogue's three tables, and the user's own beside them.
        QCOMPARE(column(db, QStringLiteral("select name from sqlite_master where type='table' "
                                           "and name not like 'sqlite%' order by name")),
                 (QStringList{QStringLiteral("cdate"), QStringLiteral("download"), QStringLiteral("favourite"),
                              QStringLiteral("library_state"), QStringLiteral("playback_setting"),
                              QStringLiteral("vod"), QStringLiteral("vodplay"), QStringLiteral("watch_position")}));
        QCOMPARE(column(db, QStringLiteral("select name from pragma_table_info('vod')")),
                 (QStringList{QStringLiteral("vod_id"), QStringLiteral("vod_cid"), QStringLiteral("vod_name"),
                              QStringLiteral("vod_letter")}));
        QCOMPARE(column(db, QStringLiteral("select name from pragma_table_info('vodplay')")),
                 (QStringList{QStringLiteral("d_id"), QStringLiteral("d_playurl"), QStringLiteral("d_date"),
                              QStringLiteral("d_nr")}));
        QCOMPARE(column(db, QStringLiteral("select name from pragma_index_list('vod')")),
                 QStringList{QStringLiteral("vod_cid_letter")});
        QCOMPARE(column(db, QStringLiteral("pragma journal_mode")), QStringList{QStringLiteral("wal")});
        // Never synced, no titles.
        QCOMPARE(column(db, QStringLiteral("select up_date from cdate")), QStringList{QString()});
        QCOMPARE(catalogue.lastSyncDate(), QString());
        QCOMPARE(catalogue.watermark(), 0);
        QVERIFY(!QFile::exists(m_path + QStringLiteral(".new")));
    }

    void reopensWhatItCreated()
    {
        {
            Catalogue catalogue;
            QCOMPARE(catalogue.open(m_path), Catalogue::OpenResult::Created);
            QSqlQuery query(catalogue.database());
            QVERIFY(query.exec(QStringLiteral("insert into vod values (7, 8, 'x', 'x'), (42, 8, 'y', 'y')")));
            QVERIFY(query.exec(QStringLiteral("update cdate set up_date='2026/12/7'")));
        }
        Catalogue catalogue;
        QCOMPARE(catalogue.open(m_path), Catalogue::OpenResult::Opened);
        QCOMPARE(catalogue.watermark(), 42);
        QCOMPARE(catalogue.lastSyncDate(), QStringLiteral("2026/12/7"));
    }

    void idsAreKeys()
    {
        Catalogue catalogue;
        catalogue.open(m_path);
        QSqlQuery query(catalogue.database());
        QVERIFY(query.exec(QStringLiteral("insert into vod values (1, 8, 'a', 'a')")));
        QVERIFY(!query.exec(QStringLiteral("insert into vod values (1, 9, 'b', 'b')")));
        QVERIFY(query.exec(QStringLiteral("insert into vodplay values (1, 'p', 'd', 'n')")));
        QVERIFY(!query.exec(QStringLiteral("insert into vodplay values (1, 'p', 'd', 'n')")));
    }

    void textComparisonIgnoresCase_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("in, lower key") << QStringLiteral("vod_letter in ('a')")
                                       << QStringList{QStringLiteral("Alpha"), QStringLiteral("apple")};
        QTest::newRow("in, upper key") << QStringLiteral("vod_letter in ('A')")
                                       << QStringList{QStringLiteral("Alpha"), QStringLiteral("apple")};
        QTest::newRow("equals") << QStringLiteral("vod_name = 'ALPHA'") << QStringList{QStringLiteral("Alpha")};
        QTest::newRow("like") << QStringLiteral("vod_name like '%PP%'") << QStringList{QStringLiteral("apple")};
        QTest::newRow("like chinese") << QStringLiteral("vod_name like '%天%'")
                                      << QStringList{QStringLiteral("天下")};
    }
    void textComparisonIgnoresCase()
    {
        QFETCH(QString, condition);
        QFETCH(QStringList, names);
        Catalogue catalogue;
        catalogue.open(m_path);
        QSqlQuery query(catalogue.database());
        QVERIFY(query.exec(QStringLiteral(
            "insert into vod values (1, 8, 'Alpha', 'A'), (2, 8, 'apple', 'a'), (3, 8, '天下', 't')")));
        QCOMPARE(column(catalogue.database(),
                        QStringLiteral("select vod_name from vod where %1 order by vod_id").arg(condition)),
                 names);
    }

    // A catalogue made by another tool: same names, plain types, no keys.
    void opensForeignCatalogue()
    {
        runOn(m_path, {QStringLiteral("create table VOD (Vod_Id int, vod_cid int, vod_name varchar(255), "
                                      "vod_letter varchar(1), extra text)"),
                       QStringLiteral("create table vodplay (d_Id int, d_PlayUrl text, d_date text, d_nr text)"),
                       QStringLiteral("create table cdate (up_date text)"),
                       QStringLiteral("insert into vod values (5, 8, 'Old', 'o', null), (9, 3, 'New', 'n', null)")});
        Catalogue catalogue;
        QCOMPARE(catalogue.open(m_path), Catalogue::OpenResult::Opened);
        QCOMPARE(catalogue.watermark(), 9);
        // Empty cdate: never synced.
        QCOMPARE(catalogue.lastSyncDate(), QString());
        QSqlQuery query(catalogue.database());
        QVERIFY(query.exec(QStringLiteral("insert into vodplay (d_id, d_playurl, d_date, d_nr) values (5, 'a$b//c', 'd', 'n')")));
        QCOMPARE(column(catalogue.database(), QStringLiteral("select vod_name from vod where vod_name like 'o%'")),
                 QStringList{QStringLiteral("Old")});
    }

    void refusesWhatIsNotACatalogue_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("setup");

        QByteArray random(64 * 1024, '\0');
        QRandomGenerator generator(1234);
        for (char &c : random)
            c = char(generator.bounded(256));
        QTest::newRow("random bytes") << random << QStringList();

        QByteArray jet = QByteArray::fromHex("00010000") + QByteArrayLiteral("Standard Jet DB") + QByteArray(1, '\0');
        jet += random.left(4096 - jet.size());
        QTest::newRow("jet file") << jet << QStringList();

        QTest::newRow("text") << QByteArrayLiteral("vod_id,vod_name\n1,x\n") << QStringList();
        QTest::newRow("header only") << QByteArrayLiteral("SQLite format 3") + QByteArray(1, '\0')
                                     << QStringList();

        // Built by the test function from the statements below.
        QTest::newRow("no tables") << QByteArray() << QStringList{QStringLiteral("create table other (x)")};
        QTest::newRow("missing table")
            << QByteArray()
            << QStringList{QStringLiteral("create table vod (vod_id, vod_cid, vod_name, vod_letter)"),
                           QStringLiteral("create table cdate (up_date)")};
        QTest::newRow("missing column")
            << QByteArray()
            << QStringList{QStringLiteral("create table vod (vod_id, vod_cid, vod_name)"),
                           QStringLiteral("create table vodplay (d_id, d_playurl, d_date, d_nr)"),
                           QStringLiteral("create table cdate (up_date)")};
        QTest::newRow("truncated catalogue") << QByteArrayLiteral("truncate") << QStringList();
    }
    void refusesWhatIsNotACatalogue()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, setup);
        if (bytes == "truncate") {
            {
                Catalogue full;
                QCOMPARE(full.open(m_path), Catalogue::OpenResult::Created);
                QSqlQuery query(full.database());
                QVERIFY(query.exec(QStringLiteral("pragma journal_mode=delete")));
                full.database().transaction();
                query.prepare(QStringLiteral("insert into vod values (?, 8, ?, 'a')"));
                for (int i = 1; i <= 2000; ++i) {
                    query.addBindValue(i);
                    query.addBindValue(QStringLiteral("一部很长的电影名字 %1").arg(i));
                    QVERIFY(query.exec());
                }
                full.database().commit();
            }
            const QByteArray whole = readAll(m_path);
            QVERIFY(whole.size() > 16384);
            QVERIFY(writeAll(m_path, whole.left(whole.size() / 2)));
        } else if (!setup.isEmpty()) {
            runOn(m_path, setup);
        } else {
            QVERIFY(writeAll(m_path, bytes));
        }
        const QByteArray before = readAll(m_path);
        const QStringList filesBefore = QDir(m_dir.path()).entryList(QDir::Files);

        Catalogue catalogue;
        QCOMPARE(catalogue.open(m_path), Catalogue::OpenResult::NotACatalogue);
        QVERIFY(!catalogue.isOpen());
        QVERIFY(!catalogue.errorDetail().isEmpty());
        catalogue.close();

        QCOMPARE(readAll(m_path), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), filesBefore);
    }

    void emptyFileIsTakenForMissing()
    {
        QVERIFY(writeAll(m_path, QByteArray()));
        Catalogue catalogue;
        QCOMPARE(catalogue.open(m_path), Catalogue::OpenResult::Created);
        QCOMPARE(catalogue.lastSyncDate(), QString());
    }

    // A program killed before its log was folded back leaves the log beside
    // the file. When the file itself is then removed or emptied, that log
    // belongs to no catalogue any more.
    void leftoverLogOfRemovedFile_data()
    {
        QTest::addColumn<QString>("journalMode");
        QTest::addColumn<bool>("emptied"); // else removed
        QTest::addColumn<bool>("created"); // else refused, and both files kept
        QTest::newRow("removed, write-ahead log left") << QStringLiteral("wal") << false << true;
        QTest::newRow("removed, rollback journal left") << QStringLiteral("delete") << false << true;
        QTest::newRow("emptied, rollback journal left") << QStringLiteral("delete") << true << true;
        // All the file held may be in the log.
        QTest::newRow("emptied, write-ahead log left") << QStringLiteral("wal") << true << false;
    }
    void leftoverLogOfRemovedFile()
    {
        QFETCH(QString, journalMode);
        QFETCH(bool, emptied);
        QFETCH(bool, created);
        const QString log = m_path + (journalMode == QStringLiteral("wal") ? QStringLiteral("-wal")
                                                                           : QStringLiteral("-journal"));
        {
            Catalogue old;
            QCOMPARE(old.open(m_path), Catalogue::OpenResult::Created);
            QSqlQuery query(old.database());
            QVERIFY(query.exec(QStringLiteral("pragma journal_mode=%1").arg(journalMode)));
            QVERIFY(query.exec(QStringLiteral("pragma wal_autocheckpoint=0")));
            QVERIFY(query.exec(QStringLiteral("pragma cache_size=1"))); // the journal fills at once
            for (int round = 0; round < 2; ++round) {
                QVERIFY(old.database().transaction());
                query.prepare(QStringLiteral("insert into vod values (?, 8, ?, 'a')"));
                for (int i = 1; i <= 3000; ++i) {
                    query.addBindValue(round * 3000 + i);
                    query.addBindValue(QStringLiteral("一部很长的电影名字 %1").arg(i));
                    QVERIFY(query.exec());
                }
                QVERIFY(query.exec(QStringLiteral("update cdate set up_date='old day'")));
                // The first round is in the file; the second only in its log,
                // committed or not.
                if (round == 0 || journalMode == QStringLiteral("wal"))
                    QVERIFY(old.database().commit());
                if (round == 0)
                    QVERIFY(query.exec(QStringLiteral("pragma wal_checkpoint(truncate)")));
            }
            // What a kill at this moment would leave behind.
            QVERIFY(QFile::copy(log, m_path + QStringLiteral(".saved")));
        }
        QVERIFY(QFile::remove(m_path));
        QFile::remove(log);
        QFile::remove(m_path + QStringLiteral("-shm"));
        QVERIFY(QFile::rename(m_path + QStringLiteral(".saved"), log));
        if (emptied)
            QVERIFY(writeAll(m_path, QByteArray()));
        const QByteArray logBytes = readAll(log);
        QVERIFY(logBytes.size() > 16384);

        Catalogue catalogue;
        if (!created) {
            QCOMPARE(catalogue.open(m_path), Catalogue::OpenResult::NotACatalogue);
            QCOMPARE(readAll(m_path), QByteArray());
            QCOMPARE(readAll(log), logBytes);
            return;
        }
        QCOMPARE(catalogue.open(m_path), Catalogue::OpenResult::Created);
        QCOMPARE(column(catalogue.database(), QStringLiteral("pragma integrity_check")),
                 QStringList{QStringLiteral("ok")});
        QCOMPARE(column(catalogue.database(), QStringLiteral("select count(*) from vod")),
                 QStringList{QStringLiteral("0")});
        QCOMPARE(catalogue.lastSyncDate(), QString());
        QSqlQuery query(catalogue.database());
        QVERIFY(query.exec(QStringLiteral("insert into vod values (1, 8, 'new', 'n')")));
    }

    void cannotCreateInMissingFolder()
    {
        Catalogue catalogue;
        QCOMPARE(catalogue.open(m_dir.filePath(QStringLiteral("no/such/folder/data.db"))),
                 Catalogue::OpenResult::CannotCreate);
        QVERIFY(!catalogue.isOpen());
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

QTEST_GUILESS_MAIN(tst_Catalogue)
#include "tst_catalogue.moc"
