#pragma once

#include <QString>

#include <atomic>

namespace kinolark::download {

// One download: the episode's streams copied, not re-encoded, from an MP4
// or an HLS stream (AES-128 included) into a local MP4. run() blocks and is
// meant for a worker thread; cancel() and progress() may be called from any
// other.
//
// The file is written as NAME.part beside its final name and renamed only
// once FFmpeg has written and closed it without an error and it is on disk;
// whatever ends it otherwise removes the .part. Only http and https are
// read, whatever the site's playlists name.
class RemuxJob
{
public:
    struct Settings
    {
        QString root;                                // the downloads folder: nothing is written outside it
        int stallTimeoutMs = 60000;                  // a site silent this long fails the download
        qint64 reserveBytes = 500LL * 1024 * 1024;   // free space kept when the size is unknown
    };

    enum class Outcome { Done, Failed, Cancelled };

    struct Result
    {
        Outcome outcome = Outcome::Failed;
        bool diskFull = false;  // failed for want of space: the other downloads should wait
        QString reason;         // why it failed, in Chinese
        qint64 bytes = 0;       // size of the finished file
        double duration = 0;    // seconds of the finished file; 0 when unknown
    };

    struct Progress
    {
        qint64 received = 0;    // bytes read from the site
        qint64 size = -1;       // the whole download's size, when the site said it
        double position = 0;    // seconds of the episode copied so far
        double duration = 0;    // seconds in all; 0 when unknown
    };

    // `filePath` is the finished file's absolute path inside `settings.root`.
    RemuxJob(QString address, QString filePath, Settings settings);

    Result run();
    // Ends run() within a second, its .part removed.
    void cancel() { m_cancelled = true; }
    bool isCancelled() const { return m_cancelled; }
    Progress progress() const;

    static QString partPath(const QString &filePath) { return filePath + QStringLiteral(".part"); }

private:
    friend class RemuxRun;

    QString m_address;
    QString m_filePath;
    Settings m_settings;
    std::atomic<bool> m_cancelled{false};
    std::atomic<qint64> m_received{0};
    std::atomic<qint64> m_size{-1};
    std::atomic<qint64> m_positionMs{0};
    std::atomic<qint64> m_durationMs{0};
};

} // namespace kinolark::download
