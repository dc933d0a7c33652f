#include "library/downloads.h"

#include "library/watch_positions.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace kinolark::library {

namespace {

const char *const columns = "id, title_id, line, title_name, episode_name, address, file_path, state, bytes, "
                            "duration, error, created, finished";

DownloadEntry entryFrom(const QSqlQuery &query)
{
    DownloadEntry entry;
    entry.id = query.value(0).toLongLong();
    entry.titleId = query.value(1).toLongLong();
    entry.line = query.value(2).toInt();
    entry.titleName = query.value(3).toString();
    entry.episodeName = query.value(4).toString();
    entry.address = query.value(5).toString();
    entry.filePath = query.value(6).toString();
    // A state this build does not know is read as failed, never as done.
    entry.state = Downloads::stateFromName(query.value(7).toString()).value_or(DownloadState::Failed);
    entry.bytes = query.value(8).toLongLong();
    entry.duration = query.value(9).toDouble();
    entry.error = query.value(10).toString();
    entry.created = QDateTime::fromString(query.value(11).toString(), Qt::ISODateWithMs);
    if (!query.value(12).isNull())
        entry.finished = QDateTime::fromString(query.value(12).toString(), Qt::ISODateWithMs);
    return entry;
}

} // namespace

Downloads::Downloads(const QSqlDatabase &database)
    : m_connection(database.connectionName())
{
}

QSqlDatabase Downloads::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

bool Downloads::ready()
{
    if (database().isOpen())
        return true;
    m_error = QStringLiteral("the catalogue is closed");
    return false;
}

QString Downloads::stateName(DownloadState state)
{
    switch (state) {
    case DownloadState::Waiting:
        return QStringLiteral("waiting");
    case DownloadState::Running:
        return QStringLiteral("running");
    case DownloadState::Paused:
        return QStringLiteral("paused");
    case DownloadState::Done:
        return QStringLiteral("done");
    case DownloadState::Failed:
        break;
    }
    return QStringLiteral("failed");
}

std::optional<DownloadState> Downloads::stateFromName(const QString &name)
{
    for (DownloadState state : {DownloadState::Waiting, DownloadState::Running, DownloadState::Paused,
                                DownloadState::Done, DownloadState::Failed}) {
        if (stateName(state) == name)
            return state;
    }
    return std::nullopt;
}

bool Downloads::insert(DownloadEntry &entry)
{
    QSqlQuery query(database());
    query.prepare(QStringLiteral("insert into download (title_id, line, title_name, episode_name, address, "
                                 "file_path, state, bytes, duration, error, created, finished) "
                                 "values (?, ?, coalesce(?, ''), coalesce(?, ''), ?, coalesce(?, ''), ?, ?, ?, "
                                 "coalesce(?, ''), ?, ?)"));
    query.addBindValue(entry.titleId);
    query.addBindValue(entry.line);
    query.addBindValue(entry.titleName);
    query.addBindValue(entry.episodeName);
    query.addBindValue(entry.address);
    query.addBindValue(entry.filePath);
    // Nothing is stored as done before its file exists.
    query.addBindValue(stateName(entry.state == DownloadState::Done ? DownloadState::Waiting : entry.state));
    query.addBindValue(qint64(0));
    query.addBindValue(entry.duration);
    query.addBindValue(entry.error);
    query.addBindValue(WatchPositions::timeText(entry.created));
    query.addBindValue(QVariant());
    if (!query.exec()) {
        m_error = query.lastError().text();
        return false;
    }
    entry.id = query.lastInsertId().toLongLong();
    if (entry.state == DownloadState::Done)
        entry.state = DownloadState::Waiting;
    entry.bytes = 0;
    entry.finished = QDateTime();
    return true;
}

bool Downloads::add(DownloadEntry &entry)
{
    return ready() && insert(entry);
}

bool Downloads::addAll(QList<DownloadEntry> &entries)
{
    if (!ready())
        return false;
    QSqlDatabase db = database();
    if (!db.transaction()) {
        m_error = db.lastError().text();
        return false;
    }
    for (DownloadEntry &entry : entries) {
        if (!insert(entry)) {
            db.rollback();
            for (DownloadEntry &undone : entries)
                undone.id = 0;
            return false;
        }
    }
    if (!db.commit()) {
        m_error = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

bool Downloads::setState(qint64 id, DownloadState state, const QString &error)
{
    if (!ready())
        return false;
    if (state == DownloadState::Done) {
        m_error = QStringLiteral("a download is marked done with its size");
        return false;
    }
    QSqlQuery query(database());
    query.prepare(QStringLiteral("update download set state = ?, error = coalesce(?, ''), bytes = 0, finished = null "
                                 "where id = ?"));
    query.addBindValue(stateName(state));
    query.addBindValue(error);
    query.addBindValue(id);
    if (!query.exec()) {
        m_error = query.lastError().text();
        return false;
    }
    return true;
}

bool Downloads::markDone(qint64 id, qint64 bytes, double duration, const QDateTime &when)
{
    if (!ready())
        return false;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("update download set state = 'done', error = '', bytes = ?, duration = ?, "
                                 "finished = ? where id = ?"));
    query.addBindValue(bytes);
    query.addBindValue(duration);
    query.addBindValue(WatchPositions::timeText(when));
    query.addBindValue(id);
    if (!query.exec()) {
        m_error = query.lastError().text();
        return false;
    }
    return true;
}

bool Downloads::remove(qint64 id)
{
    if (!ready())
        return false;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("delete from download where id = ?"));
    query.addBindValue(id);
    if (!query.exec()) {
        m_error = query.lastError().text();
        return false;
    }
    return true;
}

QList<DownloadEntry> Downloads::all()
{
    QList<DownloadEntry> entries;
    if (!ready())
        return entries;
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("select %1 from download order by id desc").arg(QLatin1String(columns)))) {
        m_error = query.lastError().text();
        return entries;
    }
    while (query.next())
        entries << entryFrom(query);
    return entries;
}

std::optional<DownloadEntry> Downloads::entry(qint64 id)
{
    if (!ready())
        return std::nullopt;
    QSqlQuery query(database());
    query.prepare(QStringLiteral("select %1 from download where id = ?").arg(QLatin1String(columns)));
    query.addBindValue(id);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return entryFrom(query);
}

int Downloads::update(const QString &sql)
{
    if (!ready())
        return -1;
    QSqlQuery query(database());
    if (!query.exec(sql)) {
        m_error = query.lastError().text();
        return -1;
    }
    return query.numRowsAffected();
}

int Downloads::requeueRunning()
{
    return update(QStringLiteral("update download set state = 'waiting' where state = 'running'"));
}

int Downloads::pauseUnfinished()
{
    return update(QStringLiteral("update download set state = 'paused' where state in ('waiting', 'running')"));
}

int Downloads::resumePaused()
{
    return update(QStringLiteral("update download set state = 'waiting' where state = 'paused'"));
}

} // namespace kinolark::library
