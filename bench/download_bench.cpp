// Downloads of the 720p clip over loopback from the sample site:
//  - the time of one download, MP4 and HLS, against the ffmpeg command line
//    copying the same address into an MP4 ("ffmpeg -i URL -c copy out.mp4");
//  - resident memory while two downloads run side by side (the queue, as
//    the window uses it), against the same process idle before them.
//
// Usage: bench_download --media DIR (DIR made by scripts/media).

#include "download/download_manager.h"
#include "download/remux_job.h"
#include "store/catalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kinolark;

namespace {

constexpr int runs = 5;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// Milliseconds of one download by the program's worker, in this process.
double ours(const QString &address, const QString &file, const QString &root)
{
    download::RemuxJob::Settings settings;
    settings.root = root;
    settings.reserveBytes = 0;
    download::RemuxJob job(address, file, settings);
    QElapsedTimer clock;
    clock.start();
    const download::RemuxJob::Result result = job.run();
    const double ms = clock.nsecsElapsed() / 1e6;
    if (result.outcome != download::RemuxJob::Outcome::Done)
        qFatal("download failed: %s", qPrintable(result.reason));
    QFile::remove(file);
    return ms;
}

// Milliseconds of a program run to its end, from its start.
double timedRun(const QString &program, const QStringList &arguments, const QString &file)
{
    QElapsedTimer clock;
    clock.start();
    const int code = QProcess::execute(program, arguments);
    const double ms = clock.nsecsElapsed() / 1e6;
    if (code != 0)
        qFatal("%s failed", qPrintable(program));
    QFile::remove(file);
    return ms;
}

// The ffmpeg command copying the address into an MP4.
double anchor(const QString &address, const QString &file)
{
    return timedRun(QStringLiteral("ffmpeg"),
                    {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                     QStringLiteral("-i"), address, QStringLiteral("-c"), QStringLiteral("copy"), file},
                    file);
}

// The worker the same way: a fresh process that opens FFmpeg, downloads
// and ends.
double oursAsAProcess(const QString &address, const QString &file, const QString &root)
{
    return timedRun(QCoreApplication::applicationFilePath(), {QStringLiteral("--once"), address, file, root}, file);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == QLatin1String("--once")) {
        ours(arguments.value(2), arguments.value(3), arguments.value(4));
        return 0;
    }
    const QString media = arguments.value(arguments.indexOf(QStringLiteral("--media")) + 1);
    const QString bin = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin"));
    if (!QFile::exists(media + QStringLiteral("/sample.mp4")) || !QFile::exists(media + QStringLiteral("/hls/sample.m3u8")))
        qFatal("usage: bench_download --media DIR (made by scripts/media)");

    QProcess site;
    site.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    site.start(bin + QStringLiteral("/kinolark-sample-site"),
               {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--titles"), QStringLiteral("0"),
                QStringLiteral("--media"), media});
    if (!site.waitForStarted() || !site.waitForReadyRead(20000))
        qFatal("the sample site did not start");
    const QString origin = QStringLiteral("http://127.0.0.1:") + QString::fromLatin1(site.readLine()).trimmed();
    const QString mp4 = origin + QStringLiteral("/media/sample.mp4");
    const QString hls = origin + QStringLiteral("/media/hls/sample.m3u8");

    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("downloads"));

    // Memory: the queue, idle, then running an MP4 and an HLS download at once.
    store::Catalogue catalogue;
    catalogue.open(dir.filePath(QStringLiteral("data.db")));
    download::DownloadManager::Settings settings;
    settings.root = root;
    settings.reserveBytes = 0;
    qint64 idleKb = 0;
    qint64 peakKb = 0;
    int finished = 0;
    {
        download::DownloadManager manager(catalogue.database(), settings);
        manager.start();
        idleKb = residentKb();
        QTimer sample;
        QObject::connect(&sample, &QTimer::timeout, [&] { peakKb = std::max(peakKb, residentKb()); });
        QObject::connect(&manager, &download::DownloadManager::downloadFinished, [&] {
            if (++finished == 2)
                app.quit();
        });
        QObject::connect(&manager, &download::DownloadManager::downloadFailed,
                         [](qint64, const QString &reason) { qFatal("download failed: %s", qPrintable(reason)); });
        sample.start(2);
        manager.enqueue(1, 0, QStringLiteral("测试片"), QStringLiteral("MP4"), mp4);
        manager.enqueue(1, 1, QStringLiteral("测试片"), QStringLiteral("HLS"), hls);
        QCoreApplication::exec();
        peakKb = std::max(peakKb, residentKb());
    }

    // Time: each kind once to warm the caches, then alternately.
    const QString file = root + QStringLiteral("/bench/bench - 1.mp4");
    const QString anchorFile = dir.filePath(QStringLiteral("anchor.mp4"));
    struct Kind
    {
        const char *name;
        QString address;
        std::vector<double> ours, process, anchor;
    };
    std::vector<Kind> kinds{{"MP4", mp4, {}, {}, {}}, {"HLS", hls, {}, {}, {}}};
    for (Kind &kind : kinds) {
        ours(kind.address, file, root);
        oursAsAProcess(kind.address, file, root);
        anchor(kind.address, anchorFile);
        for (int run = 0; run < runs; ++run) {
            kind.ours.push_back(ours(kind.address, file, root));
            kind.process.push_back(oursAsAProcess(kind.address, file, root));
            kind.anchor.push_back(anchor(kind.address, anchorFile));
        }
    }
    site.terminate();
    site.waitForFinished();

    const double clipMb = double(QFileInfo(media + QStringLiteral("/sample.mp4")).size()) / (1024.0 * 1024.0);
    std::printf("Download of the clip (%.1f MB) over loopback, median of %d runs (ms)\n", clipMb, runs);
    for (const Kind &kind : kinds) {
        std::printf("  %-44s %8.1f\n",
                    qPrintable(QStringLiteral("kinolark's worker in a running program, %1").arg(QLatin1String(kind.name))),
                    median(kind.ours));
        std::printf("  %-44s %8.1f\n",
                    qPrintable(QStringLiteral("the same in a fresh process, %1").arg(QLatin1String(kind.name))),
                    median(kind.process));
        std::printf("  %-44s %8.1f\n", qPrintable(QStringLiteral("ffmpeg -c copy, %1").arg(QLatin1String(kind.name))),
                    median(kind.anchor));
    }
    std::printf("Resident memory, MB\n");
    std::printf("  %-44s %8.1f\n", "the queue idle", double(idleKb) / 1024);
    std::printf("  %-44s %8.1f\n", "two downloads at once (peak)", double(peakKb) / 1024);

    for (const Kind &kind : kinds) {
        const double ratio = median(kind.process) / median(kind.anchor);
        std::printf("@row\tdownload of the 720p clip, %s\t%.1f ms\t%.1f ms\t%.2fx\t<= 1.2x\t%s\n", kind.name,
                    median(kind.process), median(kind.anchor), ratio, ratio <= 1.2 ? "yes" : "NO");
    }
    const double extraMb = double(peakKb - idleKb) / 1024;
    std::printf("@row\tmemory during two downloads\t%.1f MB\t%.1f MB\t%+.1f MB\t<= +60 MB\t%s\n",
                double(peakKb) / 1024, double(idleKb) / 1024, extraMb, extraMb <= 60 ? "yes" : "NO");
    std::printf("@note\tdownload: the worker run as a fresh process (Qt started, FFmpeg opened, the address "
                "copied to the file renamed to its name, the process ended) against the ffmpeg command on the same "
                "loopback address, both timed from their start; in a running program, with FFmpeg opened, the "
                "worker takes %.1f ms (MP4) and %.1f ms (HLS); memory is",
                median(kinds[0].ours), median(kinds[1].ours));
    std::printf(" this process's resident size with the queue idle (FFmpeg not yet opened) "
                "against its largest while an MP4 and an HLS download run at once\n");
    return 0;
}
