#include "program_process.h"
#include "sample_catalogue.h"
#include "sample_site_process.h"
#include "store/today.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using kinolark::sample::SampleCatalogue;
using kinolark::sample::SampleTitle;

namespace {

constexpr int titleCount = 200000;
constexpr int waitMs = 180000; // generous: the sanitizer build is slow

// The catalogue queries the site was sent, in order.
QStringList catalogueRequests(const QString &log)
{
    QStringList queries;
    for (const QString &line : fileLines(log)) {
        if (line.startsWith("/Uploads/xml.php?"))
            queries << line.section('?', 1);
    }
    return queries;
}

} // namespace

// The program killed while it stores a large first sync, then started again.
class tst_KilledSync : public QObject
{
    Q_OBJECT

private slots:
    void killedMidTransactionThenRestarted()
    {
        QTemporaryDir app, home, logs;
        QVERIFY(ProgramProcess::install(app.path()));
        const QString log = logs.filePath("site.log");
        SampleSiteProcess site;
        QVERIFY2(site.start({"--titles", QString::number(titleCount), "--charset", "utf-8", "--log", log}),
                 qPrintable(site.error()));
        const QString catalogue = app.filePath("data.db");
        const QString wal = catalogue + "-wal";

        // The sync writes all its titles in one transaction; once pages of it
        // reach the log after the last complete one (the user's tables, made
        // at the open), the program is in the middle of writing it.
        ProgramProcess first;
        QVERIFY2(first.start(app.path(), site.site(), home.path()), qPrintable(first.process().errorString()));
        QVERIFY2(QTest::qWaitFor([&] { return readWal(wal).pending > 0 || !first.running(); }, waitMs),
                 "the sync never began to write");
        QVERIFY2(first.running(), "the program ended by itself");
        first.signal(SIGSTOP);
        const WalState frozen = readWal(wal);
        QVERIFY2(frozen.pending > 0, "stopped after the commit: the kill would prove nothing");
        first.stop();
        QCOMPARE(first.process().exitStatus(), QProcess::CrashExit);
        QCOMPARE(catalogueRequests(log), QStringList{"Lx=All&Id=0"});

        {
            const CatalogueReader reader(catalogue);
            QCOMPARE(reader.value("pragma integrity_check"), QString("ok"));
            // Nothing of the sync, and the day not marked.
            QCOMPARE(reader.value("select count(*) from vod"), QString("0"));
            QCOMPARE(reader.column("select up_date from cdate"), QStringList{QString()});
        }
        QVERIFY(!QFileInfo::exists(catalogue + ".new"));

        // The next start syncs from the beginning and finishes: the version
        // is asked only after the titles are committed.
        ProgramProcess second;
        QVERIFY2(second.start(app.path(), site.site(), home.path()), qPrintable(second.process().errorString()));
        QVERIFY2(QTest::qWaitFor([&] { return catalogueRequests(log).contains("Lx=Up") || !second.running(); },
                                 waitMs),
                 "the second start did not finish its sync");
        QVERIFY2(second.running(), "the program ended by itself");
        second.stop();
        QCOMPARE(catalogueRequests(log), (QStringList{"Lx=All&Id=0", "Lx=All&Id=0", "Lx=Up"}));

        const CatalogueReader reader(catalogue);
        QCOMPARE(reader.value("pragma integrity_check"), QString("ok"));
        QCOMPARE(reader.column("select up_date from cdate"), QStringList{kinolark::store::todayString()});
        const SampleCatalogue expected(titleCount);
        QStringList wanted;
        wanted.reserve(titleCount);
        for (const SampleTitle &t : expected.titles()) {
            wanted << QString("%1|%2|%3|%4").arg(t.id).arg(t.category).arg(t.name, t.letter);
        }
        const QStringList stored = reader.column(
            "select vod_id || '|' || vod_cid || '|' || vod_name || '|' || vod_letter from vod order by vod_id");
        QCOMPARE(stored.size(), titleCount);
        QCOMPARE(stored, wanted);
    }

    // Killed with the window up, after a sync whose pages are still only in
    // the log; the user then removes the catalogue to start afresh. The log
    // left behind belongs to no catalogue: the next start makes a new, sound
    // one and syncs it from nothing.
    void killedAfterSyncThenCatalogueRemoved()
    {
        QTemporaryDir app, home, logs;
        QVERIFY(ProgramProcess::install(app.path()));
        const QString log = logs.filePath("site.log");
        SampleSiteProcess site;
        QVERIFY2(site.start({"--titles", "2000", "--log", log}), qPrintable(site.error()));
        const QString catalogue = app.filePath("data.db");
        const QString wal = catalogue + "-wal";
        const auto versionChecks = [&] { return catalogueRequests(log).count("Lx=Up"); };

        ProgramProcess first;
        QVERIFY2(first.start(app.path(), site.site(), home.path()), qPrintable(first.process().errorString()));
        QVERIFY2(QTest::qWaitFor([&] { return versionChecks() == 1 || !first.running(); }, waitMs),
                 "the first start did not finish its sync");
        QVERIFY2(first.running(), "the program ended by itself");
        QVERIFY(readWal(wal).committed);
        first.stop();
        QVERIFY(QFile::remove(catalogue));
        QVERIFY(QFileInfo::exists(wal));

        // A catalogue brought back from the old log would count as synced
        // today, and no request would ever come.
        ProgramProcess second;
        QVERIFY2(second.start(app.path(), site.site(), home.path()), qPrintable(second.process().errorString()));
        QVERIFY2(QTest::qWaitFor([&] { return versionChecks() == 2 || !second.running(); }, 60000),
                 "the second start did not sync");
        QVERIFY2(second.running(), "the program ended by itself");
        second.stop();
        QCOMPARE(catalogueRequests(log), (QStringList{"Lx=All&Id=0", "Lx=Up", "Lx=All&Id=0", "Lx=Up"}));
        const CatalogueReader reader(catalogue);
        QCOMPARE(reader.value("pragma integrity_check"), QString("ok"));
        QCOMPARE(reader.value("select count(*) from vod"), QString("2000"));
        QCOMPARE(reader.column("select up_date from cdate"), QStringList{kinolark::store::todayString()});
    }
};

QTEST_GUILESS_MAIN(tst_KilledSync)
#include "tst_killed_sync.moc"
