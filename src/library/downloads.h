#pragma once

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace kinolark::library {

enum class DownloadState { Waiting, Running, Paused, Done, Failed };

// One episode kept, or to be kept, for offline viewing.
struct DownloadEntry
{
    qint64 id = 0;
    qint64 titleId = 0;
    int line = 0;            // the episode's play-list line
    QString titleName;
    QString episodeName;
    QString address;         // where it is downloaded from
    QString filePath;        // the finished file's absolute path
    DownloadState state = DownloadState::Waiting;
    qint64 bytes = 0;        // size of the finished file
    double duration = 0;     // seconds; 0 when unknown
    QString error;           // why it failed, for the user
    QDateTime created;       // UTC
    QDateTime finished;      // UTC; invalid until done
};

// The downloads (table download, one of the user's tables beside the
// catalogue's own). A row is marked done only once its file is complete
// under its final name.
class Downloads
{
public:
    explicit Downloads(const QSqlDatabase &database);

    // Stores `entry` and gives it its id; false when the catalogue refuses it.
    bool add(DownloadEntry &entry);
    // All of them in one transaction, or none.
    bool addAll(QList<DownloadEntry> &entries);
    bool setState(qint64 id, DownloadState state, const QString &error = QString());
    bool markDone(qint64 id, qint64 bytes, double duration, const QDateTime &when);
    bool remove(qint64 id);

    // Newest first.
    QList<DownloadEntry> all();
    std::optional<DownloadEntry> entry(qint64 id);
    // Downloads that were running when the program last ended wait again;
    // how many there were, or -1 on failure.
    int requeueRunning();
    // Every download not finished nor failed is paused (a full disk), or
    // every paused one waits again; how many, or -1 on failure.
    int pauseUnfinished();
    int resumePaused();

    static QString stateName(DownloadState state);
    static std::optional<DownloadState> stateFromName(const QString &name);

    // Whether the catalogue is still open.
    bool ready();
    QString lastError() const { return m_error; }

private:
    QSqlDatabase database() const;
    bool insert(DownloadEntry &entry);
    int update(const QString &sql);

    QString m_connection; // looked up anew: the window may close the catalogue
    QString m_error;
};

} // namespace kinolark::library
