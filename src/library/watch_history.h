#pragma once

#include "browse/title_statement.h"
#include "library/watch_positions.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>

namespace kinolark::library {

// The titles the user played, newest first, as the title list shows them:
// each with a note of the episode played last and where it stopped
// ("看到 第12集 23:45"). Titles no longer in the catalogue are left out.
class WatchHistory
{
public:
    explicit WatchHistory(const QSqlDatabase &database, int limit = 500);

    browse::TitleStatement listStatement();
    // The note of each listed title.
    QHash<qint64, QString> notes();
    int count();

    // "看到 第12集 23:45"; without the time at the start of an episode, and
    // without the episode when its name is unknown.
    static QString note(const WatchEntry &entry, const QString &episodeName);
    // "23:45", or "1:02:03" from an hour on.
    static QString clockText(double seconds);

private:
    QSqlDatabase database() const;

    QString m_connection;
    WatchPositions m_positions;
    int m_limit;
};

} // namespace kinolark::library
