#include "library/favourites.h"
#include "library/watch_positions.h"
#include "program_process.h"
#include "sample_catalogue.h"
#include "sample_site_process.h"
#include "sql_exec.h"
#include "store/catalogue.h"
#include "store/today.h"

#include <QTemporaryDir>
#include <QTest>

using kinolark::sample::SampleCatalogue;

namespace {

constexpr int favouriteCount = 40;
const QString oldDate = "2000/1/1";

} // namespace

// The program killed while it refreshes the favourites' play lists.
class tst_KilledRefresh : public QObject
{
    Q_OBJECT

private slots:
    void killedMidRefresh()
    {
        QTemporaryDir app, home;
        QVERIFY(ProgramProcess::install(app.path()));
        SampleCatalogue sample(420);
        QList<qint64> ids;
        for (const kinolark::sample::SampleTitle &title : sample.titles()) {
            if (ids.size() < favouriteCount && sample.playList(title.id).contains("$"))
                ids << title.id;
        }
        QCOMPARE(ids.size(), favouriteCount);
        QStringList more;
        QHash<qint64, QString> before;
        {
            kinolark::store::Catalogue catalogue;
            QVERIFY(catalogue.open(app.filePath("data.db")) == kinolark::store::Catalogue::OpenResult::Created);
            const QSqlDatabase db = catalogue.database();
            // Synced today: the start goes straight to the refresh.
            QVERIFY(execSql(db, "update cdate set up_date = ?", {kinolark::store::todayString()}));
            kinolark::library::Favourites favourites(db);
            kinolark::library::WatchPositions positions(db);
            for (qint64 id : ids) {
                before.insert(id, sample.playList(id));
                QVERIFY(execSql(db, "insert into vod values (?, 15, ?, 'a')", {id, QString("T%1").arg(id)}));
                QVERIFY(execSql(db, "insert into vodplay values (?, ?, ?, 'd')", {id, before.value(id), oldDate}));
                QVERIFY(favourites.add(id, "x", QDateTime::currentDateTimeUtc()));
                QVERIFY(positions.recordStart(id, 0, "a", QDateTime::currentDateTimeUtc()));
                more << "--more-episodes" << QString("%1:1").arg(id);
                sample.addEpisodes(id, 1);
            }
        }

        SampleSiteProcess site;
        QVERIFY2(site.start(QStringList{"--delay-ms", "300"} + more), qPrintable(site.error()));
        ProgramProcess program;
        QVERIFY2(program.start(app.path(), site.site(), home.path()), qPrintable(program.process().errorString()));
        const QString refreshed = QString("select count(*) from vodplay where d_date = '%1'")
                                      .arg(kinolark::store::todayString());
        {
            const CatalogueReader reader(app.filePath("data.db"));
            QVERIFY2(QTest::qWaitFor([&] { return reader.value(refreshed).toInt() >= 6 || !program.running(); },
                                     60000),
                     "the refresh never stored anything");
        }
        QVERIFY2(program.running(), "the program ended by itself");
        program.stop();
        QCOMPARE(program.process().exitStatus(), QProcess::CrashExit);

        const CatalogueReader reader(app.filePath("data.db"));
        QCOMPARE(reader.value("pragma integrity_check"), QString("ok"));
        const int stored = reader.value(refreshed).toInt();
        QVERIFY2(stored < favouriteCount, "killed after the refresh: it would prove nothing");
        QCOMPARE(reader.value("select count(*) from favourite"), QString::number(favouriteCount));
        QCOMPARE(reader.value("select count(distinct title_id) from watch_position"), QString::number(favouriteCount));
        // Every row is the old one or the new one, whole.
        const QStringList rows = reader.column("select d_id || '|' || d_date || '|' || d_playurl from vodplay");
        QCOMPARE(rows.size(), favouriteCount);
        for (const QString &row : rows) {
            const qint64 id = row.section('|', 0, 0).toLongLong();
            const QString date = row.section('|', 1, 1);
            const QString list = row.section('|', 2);
            QCOMPARE(list, date == oldDate ? before.value(id) : sample.playList(id));
        }
        QCOMPARE(reader.value("select count(*) from library_state where name = 'favourites_refreshed'"), QString("0"));
    }
};

QTEST_GUILESS_MAIN(tst_KilledRefresh)
#include "tst_killed_refresh.moc"
