// Downloads and the faults of the machine around them, with the queue run
// in a process of its own (this binary with --driver): killed with SIGKILL
// in the middle of a download and started again, and a disk that fills up
// (a small tmpfs in a private mount namespace).

#include "download/download_manager.h"
#include "download/remux_job.h"
#include "download_media.h"
#include "sample_site_process.h"
#include "scripted_server.h"
#include "store/catalogue.h"

#include <QDirIterator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

using namespace kinolark;
using download::DownloadManager;
using download::RemuxJob;
using library::Downloads;

namespace {

// The queue on DB and ROOT: queues ADDRESS... as episodes of one title when
// nothing is stored yet, prints the states it found ("start running"), and
// once nothing waits or runs, each row ("end 1 failed 磁盘空间不足") and each
// file left under ROOT ("file PATH").
int runDriver(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 4)
        return 2;
    QTextStream out(stdout);
    {
        store::Catalogue catalogue;
        const auto opened = catalogue.open(arguments.at(2));
        if (opened != store::Catalogue::OpenResult::Opened && opened != store::Catalogue::OpenResult::Created)
            return 3;
        DownloadManager::Settings settings;
        settings.root = arguments.at(3);
        settings.reserveBytes = 0;
        settings.reportIntervalMs = 50;
        DownloadManager manager(catalogue.database(), settings);
        manager.start();
        QStringList states;
        for (const download::DownloadRow &row : manager.rows())
            states << Downloads::stateName(row.entry.state);
        out << "start " << states.join(QLatin1Char(',')) << Qt::endl;
        if (manager.count() == 0) {
            for (int i = 4; i < arguments.size(); ++i)
                manager.enqueue(1, i - 4, QStringLiteral("片名"), QStringLiteral("第%1集").arg(i - 3), arguments.at(i));
        }
        QObject::connect(&manager, &DownloadManager::changed, &app, [&] {
            const QList<download::DownloadRow> rows = manager.rows();
            for (const download::DownloadRow &row : rows) {
                if (row.entry.state == library::DownloadState::Waiting
                    || row.entry.state == library::DownloadState::Running)
                    return;
            }
            for (const download::DownloadRow &row : rows)
                out << "end " << row.entry.id << ' ' << Downloads::stateName(row.entry.state) << ' '
                    << row.entry.error << Qt::endl;
            app.quit();
        });
        QCoreApplication::exec();
    } // the manager waits for every job to end
    for (const QString &file : filesUnder(arguments.at(3)))
        out << "file " << file << Qt::endl;
    return 0;
}

// The rows of the download table, read beside the driver.
struct Table
{
    explicit Table(const QString &path)
    {
        m_db = QSqlDatabase::addDatabase("QSQLITE", "reader");
        m_db.setDatabaseName(path);
        m_db.open();
    }
    ~Table()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase("reader");
    }
    QStringList column(const QString &sql)
    {
        QStringList values;
        QSqlQuery query(m_db);
        if (query.exec(sql)) {
            while (query.next())
                values << query.value(0).toString();
        }
        return values;
    }
    QSqlDatabase m_db;
};

} // namespace

class tst_DownloadFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        QVERIFY(makeMedia(m_folder.filePath("media"), "320x180", "8"));
        QVERIFY2(m_site.start({"--titles", "0", "--media", m_folder.filePath("media")}), qPrintable(m_site.error()));
        QVERIFY(m_server.listen());
    }

    // Killed while it writes: the row still says running and no row says
    // done; the next start runs it again from the beginning, removes the
    // .part files nobody writes, and finishes it whole.
    void killedMidDownload()
    {
        QTemporaryDir dir;
        const QString database = dir.filePath("data.db");
        const QString root = dir.filePath("下载");
        const QByteArray clip = readAll(m_folder.filePath("media/sample.mp4"));
        m_server.on("/slow.mp4", ScriptedServer::Reply(200, clip).type("video/mp4").paced(40000));

        QProcess first;
        startDriver(first, {database, root, m_server.site() + "/slow.mp4"});
        const QString part = RemuxJob::partPath(root + "/片名/片名 - 第1集.mp4");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(part).size() > 0, 20000);
        {
            Table table(database);
            QCOMPARE(table.column("select state from download"), QStringList{"running"});
        }
        first.kill();
        QVERIFY(first.waitForFinished(5000));
        QCOMPARE(first.exitStatus(), QProcess::CrashExit);
        {
            Table table(database);
            QCOMPARE(table.column("select state from download"), QStringList{"running"});
            QCOMPARE(table.column("select count(*) from download where state = 'done'"), QStringList{"0"});
        }
        QVERIFY(QFileInfo(part).size() < clip.size());

        const QString stray = root + "/别的/别的 - 第1集.mp4.part";
        QVERIFY(QDir().mkpath(root + "/别的") && writeAll(stray, "left behind"));
        m_server.on("/slow.mp4", ScriptedServer::Reply(200, clip).type("video/mp4"));
        QProcess second;
        startDriver(second, {database, root});
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 30000);
        const QStringList lines = QString::fromUtf8(second.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(!lines.isEmpty() && (lines.first() == "start running" || lines.first() == "start waiting"),
                 qPrintable(lines.join(" | ")));
        QVERIFY2(lines.contains("end 1 done "), qPrintable(lines.join(" | ")));

        Table table(database);
        const QStringList finished = table.column("select file_path || ' ' || bytes from download where state = 'done'");
        QCOMPARE(finished.size(), 1);
        const QString file = finished.first().section(' ', 0, -2);
        QCOMPARE(QFileInfo(file).size(), finished.first().section(' ', -1).toLongLong());
        QCOMPARE(filesUnder(root), QStringList{file});
    }

    // The disk fills up during one download: that one fails, says why and
    // leaves nothing behind; the one running beside it and the one waiting
    // are paused, and nothing is called done.
    void diskFills()
    {
        QTemporaryDir dir;
        const QString database = dir.filePath("data.db");
        const QString root = dir.filePath("下载");
        QVERIFY(QDir().mkpath(root));
        const QStringList unshare = geteuid() == 0 ? QStringList{"-m"} : QStringList{"-r", "-m"};
        QProcess probe;
        probe.start("unshare", unshare + QStringList{"sh", "-c", "mount -t tmpfs -o size=64k tmpfs \"$0\"", root});
        if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
            QSKIP(qPrintable("no private mount namespace with a tmpfs here: "
                             + QString::fromLocal8Bit(probe.readAllStandardError()).trimmed()));
        QVERIFY(QFileInfo(m_folder.filePath("media/sample.mp4")).size() > 2 * 128 * 1024);

        // The second never gets its segment: it is still running when the
        // first meets the full disk.
        m_server.on("/held.m3u8", ScriptedServer::Reply(200, "#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXTINF:4,\n"
                                                               "held0.ts\n#EXT-X-ENDLIST\n"));
        m_server.on("/held0.ts", ScriptedServer::Reply().hanging());
        QProcess driver;
        driver.setProcessChannelMode(QProcess::SeparateChannels);
        const QString shell = "mount -t tmpfs -o size=128k tmpfs \"$0\" && exec \"$@\"";
        driver.setProgram("unshare");
        driver.setArguments(unshare + QStringList{"sh", "-c", shell, root, QCoreApplication::applicationFilePath(),
                                                  "--driver", database, root,
                                                  m_site.site() + "/media/hls/sample.m3u8",
                                                  m_server.site() + "/held.m3u8",
                                                  m_site.site() + "/media/sample.mp4"});
        driver.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        driver.start();
        QTRY_COMPARE_WITH_TIMEOUT(driver.state(), QProcess::NotRunning, 30000);
        const QString err = QString::fromLocal8Bit(driver.readAllStandardError());
        QCOMPARE(driver.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(driver.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.contains("end 1 failed 磁盘空间不足"), qPrintable(lines.join(" | ") + err));
        QVERIFY2(lines.contains("end 2 paused "), qPrintable(lines.join(" | ")));
        QVERIFY2(lines.contains("end 3 paused "), qPrintable(lines.join(" | ")));
        QVERIFY2(std::none_of(lines.cbegin(), lines.cend(), [](const QString &line) { return line.startsWith("file "); }),
                 qPrintable(lines.join(" | ")));
        Table table(database);
        QCOMPARE(table.column("select state from download order by id"), (QStringList{"failed", "paused", "paused"}));
        QVERIFY(filesUnder(root).isEmpty()); // the tmpfs has gone with its namespace
    }

private:
    void startDriver(QProcess &process, const QStringList &arguments)
    {
        process.setProgram(QCoreApplication::applicationFilePath());
        process.setArguments(QStringList{"--driver"} + arguments);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process.start();
        QVERIFY(process.waitForStarted(10000));
    }

    QTemporaryDir m_folder;
    SampleSiteProcess m_site;
    ScriptedServer m_server;
};

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--driver") == 0)
        return runDriver(argc, argv);
    QCoreApplication app(argc, argv);
    tst_DownloadFaults test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_download_faults.moc"
