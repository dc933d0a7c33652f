#pragma once

#include "download/download_row.h"
#include "library/downloads.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class QThread;

namespace kinolark::download {

class RemuxJob;

// The user's downloads: a queue of which at most two run at once, each in a
// worker thread of its own, kept in the table download. Files go to the
// downloads folder, one subfolder per title, named "片名 - 第N集.mp4".
//
// A download running when the program ends, or is killed, runs again from
// the beginning at the next start(); a full disk fails the download that
// met it and pauses the rest. Everything here runs on the thread that owns
// the manager; changed() comes at most once per report interval, however
// many downloads move.
class DownloadManager : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        QString root;                               // the downloads folder; empty: defaultRoot()
        int maxRunning = 2;
        int stallTimeoutMs = 60000;                 // a site silent this long fails the download
        qint64 reserveBytes = 500LL * 1024 * 1024;  // free space kept when a download's size is unknown
        int reportIntervalMs = 250;                 // changed() at most this often
    };

    struct Episode
    {
        qint64 titleId = 0;
        int line = 0;          // the episode's play-list line
        QString titleName;
        QString episodeName;   // "第01集"; empty: "第N集" from the line
        QString address;
    };

    DownloadManager(const QSqlDatabase &database, Settings settings, QObject *parent = nullptr);
    // Running downloads stop (within a second) and run again at the next start.
    ~DownloadManager() override;

    // QStandardPaths::MoviesLocation + "/kinolark".
    static QString defaultRoot();
    // Only http and https addresses are downloaded.
    static bool isDownloadable(const QString &address);
    // Why `address` cannot be downloaded, for a menu item's tooltip; empty
    // when it can.
    static QString notDownloadableReason(const QString &address);

    // Reads the stored downloads, puts back to waiting those that were
    // running, removes the .part files left behind, fails finished ones
    // whose file is gone, and starts the queue. Nothing runs before.
    void start();

    // Queues an episode; its id, or 0 when the address cannot be downloaded
    // or the catalogue refuses the row. An episode queued, running, paused
    // or done already keeps its download (its id is returned); a failed one
    // is tried again.
    qint64 enqueue(qint64 titleId, int line, const QString &titleName, const QString &episodeName,
                   const QString &address);
    // Many at once, in this order, in one transaction (a whole title's
    // episodes). The ids, 0 for those refused.
    QList<qint64> enqueueAll(const QList<Episode> &episodes);

    bool pause(qint64 id);     // waiting or running: paused (a running one starts over later)
    bool resume(qint64 id);    // paused: waiting
    bool retry(qint64 id);     // failed: waiting
    bool remove(qint64 id);    // any: gone, with its file
    int resumeAll();           // every paused one waits again

    // Newest first.
    QList<DownloadRow> rows() const;
    std::optional<DownloadRow> row(qint64 id) const;
    int count() const { return int(m_entries.size()); }
    int runningCount() const;
    // The finished file of an episode, when it is still there; empty otherwise.
    QString localFileFor(qint64 titleId, int line) const;
    QString root() const { return m_root; }

signals:
    void changed();
    // A download found the disk full; the others are paused.
    void diskFull(const QString &folder);
    void downloadFinished(qint64 id);
    void downloadFailed(qint64 id, const QString &reason);

private:
    struct Running
    {
        std::shared_ptr<RemuxJob> job;
        QThread *thread = nullptr;
        std::shared_ptr<void> result; // the job's result, written by the thread
        qint64 lastReceived = 0;
        qint64 bytesPerSecond = 0;
        qint64 lastTick = 0;
    };

    void schedule();
    void startJob(library::DownloadEntry &entry);
    void jobEnded(qint64 id);
    void pauseQueue();
    void cleanLeftovers();
    void checkFinished();
    void tick();
    void noteChange();
    void setState(library::DownloadEntry &entry, library::DownloadState state, const QString &error = QString());
    void removeFile(const QString &path);
    std::optional<library::DownloadEntry> prepare(const Episode &episode, QSet<QString> &taken);
    QSet<QString> takenPaths() const;
    qint64 existing(const Episode &episode);
    DownloadRow rowFor(const library::DownloadEntry &entry) const;

    library::Downloads m_store;
    Settings m_settings;
    QString m_root;
    bool m_started = false;
    QMap<qint64, library::DownloadEntry> m_entries; // by id: the queue's order
    QHash<qint64, Running> m_running;               // by id, until its thread has ended
    QTimer m_report;    // coalesces changed()
    QTimer m_progress;  // reads the running jobs' progress
};

} // namespace kinolark::download
