#pragma once

#include "download/remux_job.h"
#include "temp_folder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTest>
#include <QThread>

#include <memory>

// Every file under `folder`, hidden ones too, sorted.
inline QStringList filesUnder(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

// The sample site's media (scripts/media) in `folder`, and beside it the
// bad kinds the site itself does not serve: a wrong key, a key that is
// missing, a segment that is missing, a segment at concat:.
inline bool makeMedia(const QString &folder, const QString &size = QStringLiteral("160x120"),
                      const QString &seconds = QStringLiteral("4"))
{
    QProcess media;
    media.start(qEnvironmentVariable("KINOLARK_SOURCE_DIR") + QStringLiteral("/scripts/media"),
                {folder, size, seconds});
    if (!media.waitForFinished(120000) || media.exitCode() != 0)
        return false;
    const QDir dir(folder);
    // An MP4 with its index at the end, as many sites have them: read with
    // a byte range from there.
    QProcess lateIndex;
    lateIndex.start(QStringLiteral("ffmpeg"), {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                                               QStringLiteral("-y"), QStringLiteral("-i"),
                                               dir.filePath(QStringLiteral("sample.mp4")), QStringLiteral("-c"),
                                               QStringLiteral("copy"), dir.filePath(QStringLiteral("late-index.mp4"))});
    if (!lateIndex.waitForFinished(60000) || lateIndex.exitCode() != 0)
        return false;
    const QByteArray encrypted = readAll(dir.filePath(QStringLiteral("hls-aes/sample.m3u8")));
    const QByteArray plain = readAll(dir.filePath(QStringLiteral("hls/sample.m3u8")));
    for (const char *variant : {"hls-wrongkey", "hls-nokey"}) {
        const QString to = dir.filePath(QString::fromLatin1(variant));
        dir.mkpath(to);
        for (const QString &segment : QDir(dir.filePath(QStringLiteral("hls-aes"))).entryList({QStringLiteral("*.ts")}))
            QFile::copy(dir.filePath(QStringLiteral("hls-aes/") + segment), to + QLatin1Char('/') + segment);
    }
    QByteArray key = readAll(dir.filePath(QStringLiteral("hls-aes/sample.key")));
    for (char &byte : key)
        byte = char(byte ^ 0x5a);
    QByteArray withoutKey = encrypted;
    withoutKey.replace("sample.key", "missing.key");
    // The one in the middle answers 404: FFmpeg would go on without it.
    const QByteArray missingSegment = "#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-PLAYLIST-TYPE:VOD\n"
                                      "#EXTINF:4.0,\n../hls/sample0.ts\n#EXTINF:4.0,\ngone.ts\n"
                                      "#EXTINF:4.0,\n../hls/sample0.ts\n#EXT-X-ENDLIST\n";
    QByteArray concat = plain;
    concat.replace("sample0.ts", "concat:/etc/passwd|/etc/passwd");
    // Segments as many sites name them, with no media extension.
    const QByteArray oddNames = "#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-PLAYLIST-TYPE:VOD\n"
                                "#EXTINF:4.0,\nseg0.php?token=1\n#EXT-X-ENDLIST\n";
    dir.mkpath(QStringLiteral("hls-odd"));
    QFile::copy(dir.filePath(QStringLiteral("hls/sample0.ts")), dir.filePath(QStringLiteral("hls-odd/seg0.php")));
    dir.mkpath(QStringLiteral("hls-gone"));
    dir.mkpath(QStringLiteral("hls-concat"));
    return writeAll(dir.filePath(QStringLiteral("hls-wrongkey/sample.m3u8")), encrypted)
           && writeAll(dir.filePath(QStringLiteral("hls-wrongkey/sample.key")), key)
           && writeAll(dir.filePath(QStringLiteral("hls-nokey/sample.m3u8")), withoutKey)
           && writeAll(dir.filePath(QStringLiteral("hls-gone/sample.m3u8")), missingSegment)
           && writeAll(dir.filePath(QStringLiteral("hls-odd/sample.m3u8")), oddNames)
           && writeAll(dir.filePath(QStringLiteral("hls-concat/sample.m3u8")), concat);
}

// A job run on a thread of its own while the test's event loop (and the
// servers on it) go on.
class JobThread
{
public:
    JobThread(const QString &address, const QString &filePath, kinolark::download::RemuxJob::Settings settings)
        : m_job(std::make_shared<kinolark::download::RemuxJob>(address, filePath, std::move(settings)))
        , m_result(std::make_shared<kinolark::download::RemuxJob::Result>())
    {
        m_thread.reset(QThread::create([job = m_job, result = m_result] { *result = job->run(); }));
        m_thread->start();
    }
    ~JobThread()
    {
        m_job->cancel();
        m_thread->wait();
    }

    bool wait(int ms = 30000) { return QTest::qWaitFor([this] { return m_thread->isFinished(); }, ms); }
    bool finished() const { return m_thread->isFinished(); }
    kinolark::download::RemuxJob &job() { return *m_job; }
    const kinolark::download::RemuxJob::Result &result() const { return *m_result; }

private:
    std::shared_ptr<kinolark::download::RemuxJob> m_job;
    std::shared_ptr<kinolark::download::RemuxJob::Result> m_result;
    std::unique_ptr<QThread> m_thread;
};
