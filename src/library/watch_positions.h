#pragma once

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace kinolark::library {

// One episode the user played: where it was left and when.
struct WatchEntry
{
    qint64 titleId = 0;
    int line = 0;          // the episode's play-list line
    QString address;       // the address that was played
    double position = 0;   // seconds; 0 means from the beginning
    double duration = 0;   // seconds; 0 when unknown
    QDateTime watchedAt;   // UTC
};

// The episodes the user played, one row per title and play-list line (table
// watch_position, one of the user's tables beside the catalogue's own).
// Every episode started is recorded; the player stores where it stopped.
// Times are kept as ISO 8601 UTC text with milliseconds, so they sort as text.
class WatchPositions
{
public:
    explicit WatchPositions(const QSqlDatabase &database);

    // An episode was started at `when`. A position stored for the same
    // address is kept; a different address starts from the beginning.
    bool recordStart(qint64 titleId, int line, const QString &address, const QDateTime &when);
    // Playing stopped: `position` is where the next play starts (0 for the
    // beginning), `duration` the episode's length.
    bool savePosition(qint64 titleId, int line, const QString &address, double position, double duration,
                      const QDateTime &when);
    std::optional<WatchEntry> entry(qint64 titleId, int line);
    // The latest episode of each title, newest first, at most `limit`.
    QList<WatchEntry> recentTitles(int limit);

    QString lastError() const { return m_error; }

    static QString timeText(const QDateTime &when);

    // Whether the catalogue is still open.
    bool ready();

private:
    QSqlDatabase database() const;

    QString m_connection; // looked up anew: the window may close the catalogue
    QString m_error;
};

} // namespace kinolark::library
