#include "store/user_tables.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace kinolark::store {

namespace {

const QStringList &schema()
{
    static const QStringList statements{
        // A favourite keeps the name it was marked with, for a title that
        // leaves the catalogue, and the play list the user saw last.
        QStringLiteral("create table if not exists favourite ("
                       "title_id integer primary key, "
                       "name text not null, "
                       "added_at text not null, "
                       "seen_play_list text)"),
        // Small named values: the day of the favourites' refresh, the
        // player's volume.
        QStringLiteral("create table if not exists library_state ("
                       "name text primary key, value text)"),
        QStringLiteral("create table if not exists watch_position ("
                       "title_id integer not null, "
                       "line integer not null, "
                       "address text not null, "
                       "position real not null default 0, "
                       "duration real not null default 0, "
                       "watched_at text not null, "
                       "primary key (title_id, line))"),
        QStringLiteral("create index if not exists watch_position_recent on watch_position (watched_at)"),
        // Per title: the speed it plays at, where its opening ends, how
        // long before an episode's end its ending starts (seconds; null
        // when not set), and whether they are skipped.
        QStringLiteral("create table if not exists playback_setting ("
                       "title_id integer primary key, "
                       "speed real, "
                       "opening_end real, "
                       "ending_before real, "
                       "skip integer not null default 1)"),
        QStringLiteral("create table if not exists download ("
                       "id integer primary key autoincrement, "
                       "title_id integer not null, "
                       "line integer not null, "
                       "title_name text not null default '', "
                       "episode_name text not null default '', "
                       "address text not null, "
                       "file_path text not null default '', "
                       "state text not null, "
                       "bytes integer not null default 0, "
                       "duration real not null default 0, "
                       "error text not null default '', "
                       "created text not null, "
                       "finished text)"),
        QStringLiteral("create index if not exists download_episode on download (title_id, line)"),
    };
    return statements;
}

} // namespace

bool createUserTables(const QSqlDatabase &database, QString *error)
{
    QSqlDatabase db = database;
    if (!db.isOpen()) {
        *error = QStringLiteral("the catalogue is closed");
        return false;
    }
    // All or none: a file that takes only some would be half ready.
    if (!db.transaction()) {
        *error = db.lastError().text();
        return false;
    }
    QSqlQuery query(db);
    for (const QString &statement : schema()) {
        if (!query.exec(statement)) {
            *error = query.lastError().text();
            query.finish();
            db.rollback();
            return false;
        }
    }
    query.finish();
    if (!db.commit()) {
        *error = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

} // namespace kinolark::store
