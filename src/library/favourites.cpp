#include "library/favourites.h"

#include "library/watch_positions.h"
#include "playback/detail_store.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace kinolark::library {

namespace {

const QLatin1String refreshedDayKey("favourites_refreshed");

NewEpisodes newEpisodesOfRow(const QSqlQuery &query, int seenColumn, int currentColumn)
{
    // Nothing is new while either list is unknown.
    if (query.isNull(seenColumn) || query.isNull(currentColumn))
        return {};
    return NewEpisodes::between(query.value(seenColumn).toString(), query.value(currentColumn).toString());
}

// A play list column as a statement reads it: one stored before answers
// were limited, too long to compare, reads as unknown.
QString usableList(const QString &column)
{
    return QStringLiteral("case when length(%1) > %2 then null else %1 end")
        .arg(column, QString::number(playback::playListLimit));
}

} // namespace

Favourites::Favourites(const QSqlDatabase &database)
    : m_connection(database.connectionName())
{
}

QSqlDatabase Favourites::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

bool Favourites::ready()
{
    // The window may have closed the catalogue meanwhile; its tables are
    // made when it opens.
    if (database().isOpen())
        return true;
    m_error = QStringLiteral("the catalogue is closed");
    return false;
}

bool Favourites::run(const QString &sql, const QVariantList &values)
{
    if (!ready())
        return false;
    QSqlQuery query(database());
    query.prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        m_error = query.lastError().text();
        return false;
    }
    return true;
}

bool Favourites::add(qint64 titleId, const QString &name, const QDateTime &when)
{
    // What the cache holds now is what the user knows of the title.
    return run(QStringLiteral("insert or ignore into favourite (title_id, name, added_at, seen_play_list) "
                              "values (?, ?, ?, (select ")
                   + usableList(QStringLiteral("d_playurl")) + QStringLiteral(" from vodplay where d_id = ?))"),
               {titleId, name.isNull() ? QString(QLatin1String("")) : name, WatchPositions::timeText(when), titleId});
}

bool Favourites::remove(qint64 titleId)
{
    return run(QStringLiteral("delete from favourite where title_id = ?"), {titleId});
}

bool Favourites::contains(qint64 titleId)
{
    if (!ready())
        return false;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("select 1 from favourite where title_id = ?"));
    query.addBindValue(titleId);
    return query.exec() && query.next();
}

bool Favourites::hasSeenList(qint64 titleId)
{
    if (!ready())
        return false;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("select 1 from favourite where title_id = ? and seen_play_list is not null"));
    query.addBindValue(titleId);
    return query.exec() && query.next();
}

QList<qint64> Favourites::ids()
{
    QList<qint64> ids;
    if (!ready())
        return ids;
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("select title_id from favourite order by added_at desc, title_id desc"))) {
        m_error = query.lastError().text();
        return ids;
    }
    while (query.next())
        ids << query.value(0).toLongLong();
    return ids;
}

int Favourites::count()
{
    if (!ready())
        return 0;
    QSqlQuery query(database());
    return query.exec(QStringLiteral("select count(*) from favourite")) && query.next() ? query.value(0).toInt() : 0;
}

browse::TitleStatement Favourites::listStatement()
{
    ready();
    return {QStringLiteral("select f.title_id, coalesce(v.vod_name, f.name) from favourite f "
                           "left join vod v on v.vod_id = f.title_id "
                           "order by f.added_at desc, f.title_id desc"),
            {}};
}

QHash<qint64, NewEpisodes> Favourites::newEpisodes()
{
    QHash<qint64, NewEpisodes> all;
    if (!ready())
        return all;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("select f.title_id, ") + usableList(QStringLiteral("f.seen_play_list"))
                    + QStringLiteral(", ") + usableList(QStringLiteral("p.d_playurl"))
                    + QStringLiteral(" from favourite f left join vodplay p on p.d_id = f.title_id"))) {
        m_error = query.lastError().text();
        return all;
    }
    while (query.next())
        all.insert(query.value(0).toLongLong(), newEpisodesOfRow(query, 1, 2));
    return all;
}

NewEpisodes Favourites::newEpisodes(qint64 titleId)
{
    if (!ready())
        return {};
    QSqlQuery query(database());
    query.prepare(QStringLiteral("select ") + usableList(QStringLiteral("f.seen_play_list")) + QStringLiteral(", ")
                  + usableList(QStringLiteral("p.d_playurl"))
                  + QStringLiteral(" from favourite f left join vodplay p on p.d_id = f.title_id where f.title_id = ?"));
    query.addBindValue(titleId);
    if (!query.exec() || !query.next())
        return {};
    return newEpisodesOfRow(query, 0, 1);
}

bool Favourites::markSeen(qint64 titleId, const QString &playList)
{
    return run(QStringLiteral("update favourite set seen_play_list = ? where title_id = ?"),
               {playList.isNull() ? QString(QLatin1String("")) : playList, titleId});
}

bool Favourites::adoptFirstPlayList(qint64 titleId, const QString &playList)
{
    return run(QStringLiteral("update favourite set seen_play_list = ? "
                              "where title_id = ? and seen_play_list is null"),
               {playList, titleId});
}

QString Favourites::refreshedDay()
{
    if (!ready())
        return QString();
    QSqlQuery query(database());
    query.prepare(QStringLiteral("select value from library_state where name = ?"));
    query.addBindValue(refreshedDayKey);
    return query.exec() && query.next() ? query.value(0).toString() : QString();
}

bool Favourites::setRefreshedDay(const QString &day)
{
    return run(QStringLiteral("insert or replace into library_state (name, value) values (?, ?)"),
               {QString(refreshedDayKey), day});
}

} // namespace kinolark::library
