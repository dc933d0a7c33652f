#include "library/watch_positions.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace kinolark::library {

namespace {

WatchEntry entryFrom(const QSqlQuery &query)
{
    WatchEntry entry;
    entry.titleId = query.value(0).toLongLong();
    entry.line = query.value(1).toInt();
    entry.address = query.value(2).toString();
    entry.position = query.value(3).toDouble();
    entry.duration = query.value(4).toDouble();
    entry.watchedAt = QDateTime::fromString(query.value(5).toString(), Qt::ISODateWithMs);
    return entry;
}

} // namespace

WatchPositions::WatchPositions(const QSqlDatabase &database)
    : m_connection(database.connectionName())
{
}

QSqlDatabase WatchPositions::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

QString WatchPositions::timeText(const QDateTime &when)
{
    return when.toUTC().toString(Qt::ISODateWithMs);
}

bool WatchPositions::ready()
{
    // The window may have closed the catalogue meanwhile; its tables are
    // made when it opens.
    if (database().isOpen())
        return true;
    m_error = QStringLiteral("the catalogue is closed");
    return false;
}

bool WatchPositions::recordStart(qint64 titleId, int line, const QString &address, const QDateTime &when)
{
    if (!ready())
        return false;
    QSqlQuery query(database());
    query.prepare(QStringLiteral(
        "insert into watch_position (title_id, line, address, position, duration, watched_at) "
        "values (?, ?, ?, 0, 0, ?) "
        "on conflict (title_id, line) do update set watched_at = excluded.watched_at, "
        "position = case when address = excluded.address then position else 0 end, "
        "duration = case when address = excluded.address then duration else 0 end, "
        "address = excluded.address"));
    query.addBindValue(titleId);
    query.addBindValue(line);
    query.addBindValue(address);
    query.addBindValue(timeText(when));
    if (!query.exec()) {
        m_error = query.lastError().text();
        return false;
    }
    return true;
}

bool WatchPositions::savePosition(qint64 titleId, int line, const QString &address, double position,
                                  double duration, const QDateTime &when)
{
    if (!ready())
        return false;
    QSqlQuery query(database());
    query.prepare(QStringLiteral(
        "insert or replace into watch_position (title_id, line, address, position, duration, watched_at) "
        "values (?, ?, ?, ?, ?, ?)"));
    query.addBindValue(titleId);
    query.addBindValue(line);
    query.addBindValue(address);
    query.addBindValue(position);
    query.addBindValue(duration);
    query.addBindValue(timeText(when));
    if (!query.exec()) {
        m_error = query.lastError().text();
        return false;
    }
    return true;
}

std::optional<WatchEntry> WatchPositions::entry(qint64 titleId, int line)
{
    if (!ready())
        return std::nullopt;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("select title_id, line, address, position, duration, watched_at "
                                 "from watch_position where title_id = ? and line = ?"));
    query.addBindValue(titleId);
    query.addBindValue(line);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return entryFrom(query);
}

QList<WatchEntry> WatchPositions::recentTitles(int limit)
{
    QList<WatchEntry> entries;
    if (!ready())
        return entries;
    QSqlQuery query(database());
    // The newest row of each title; the tie-break on line keeps one per title.
    query.prepare(QStringLiteral(
        "select title_id, line, address, position, duration, watched_at from watch_position w "
        "where not exists (select 1 from watch_position n where n.title_id = w.title_id "
        "and (n.watched_at > w.watched_at or (n.watched_at = w.watched_at and n.line > w.line))) "
        "order by watched_at desc, title_id desc limit ?"));
    query.addBindValue(limit);
    if (!query.exec()) {
        m_error = query.lastError().text();
        return entries;
    }
    while (query.next())
        entries << entryFrom(query);
    return entries;
}

} // namespace kinolark::library
