#pragma once

#include "browse/title_statement.h"
#include "library/new_episodes.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace kinolark::library {

// The titles the user keeps (table favourite, one of the user's tables beside the
// catalogue's own tables). Each keeps the name it had when it was marked, so
// it can still be listed should the title leave the catalogue, and the play
// list the user saw last, against which new episodes are counted. That list
// is unknown (null) for a title marked before any play list of it was
// fetched; the first one fetched then becomes it.
class Favourites
{
public:
    explicit Favourites(const QSqlDatabase &database);

    // Marks a title; one marked already keeps its mark as it was.
    bool add(qint64 titleId, const QString &name, const QDateTime &when);
    bool remove(qint64 titleId);
    bool contains(qint64 titleId);
    // Whether the play list the user saw of the favourite is known.
    bool hasSeenList(qint64 titleId);
    // Newest first.
    QList<qint64> ids();
    int count();

    // Lists the favourites, newest first, with their catalogue names.
    browse::TitleStatement listStatement();

    // What is new in each favourite's cached play list.
    QHash<qint64, NewEpisodes> newEpisodes();
    NewEpisodes newEpisodes(qint64 titleId);

    // The user opened the title and saw `playList`: nothing of it is new now.
    // Titles that are not favourites are left alone.
    bool markSeen(qint64 titleId, const QString &playList);
    // `playList` is fetched for the title: it becomes the seen list of a
    // favourite that has none yet.
    bool adoptFirstPlayList(qint64 titleId, const QString &playList);

    // The day the favourites' play lists were last refreshed; empty if never.
    QString refreshedDay();
    bool setRefreshedDay(const QString &day);

    // Whether the catalogue is still open.
    bool ready();
    QString lastError() const { return m_error; }

private:
    QSqlDatabase database() const;
    bool run(const QString &sql, const QVariantList &values);

    QString m_connection; // looked up anew: the window may close the catalogue
    QString m_error;
};

} // namespace kinolark::library
