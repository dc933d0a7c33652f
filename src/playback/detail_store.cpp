#include "playback/detail_store.h"

#include "store/statements.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace kinolark::playback {

namespace sql = store::sql;

DetailStore::DetailStore(const QSqlDatabase &database)
    : m_connection(database.connectionName())
{
}

QSqlDatabase DetailStore::database() const
{
    // The window may close the catalogue while a request waits; every
    // statement first checks that it is still open.
    return QSqlDatabase::database(m_connection, false);
}

DetailStore::State DetailStore::state(qint64 id, const QString &today)
{
    State state;
    m_lastStatement = sql::selectCachedPlayList();
    if (!database().isOpen())
        return state;
    QSqlQuery query(database());
    query.prepare(m_lastStatement);
    query.addBindValue(id);
    if (!query.exec() || !query.next())
        return state;
    const qint64 playList = query.value(1).toLongLong(); // a null one reads as 0
    const bool usable = playList > 0 && playList <= playListLimit;
    state.row = query.value(0).toString() == today && usable ? Row::Fresh : Row::Stale;
    state.descriptionTooLong = query.value(2).toLongLong() > descriptionLimit;
    return state;
}

TitleDetail DetailStore::read(qint64 id)
{
    TitleDetail detail;
    m_lastStatement = sql::selectCachedDetail();
    if (!database().isOpen())
        return detail;
    QSqlQuery query(database());
    query.prepare(m_lastStatement);
    query.addBindValue(playListLimit);
    query.addBindValue(descriptionLimit);
    query.addBindValue(id);
    if (query.exec() && query.next()) {
        detail.found = true;
        detail.playList = query.value(1).toString();
        detail.description = query.value(2).toString(); // a null one reads as empty
    }
    return detail;
}

bool DetailStore::store(qint64 id, const QString &playList, const QString &date, const QString &description,
                        QString *error)
{
    if (!database().isOpen()) {
        *error = QStringLiteral("the catalogue was closed");
        return false;
    }
    QSqlQuery query(database());
    m_lastStatement = sql::selectCachedPlayList();
    query.prepare(m_lastStatement);
    query.addBindValue(id);
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    const bool exists = query.next();
    query.finish();
    if (exists) {
        m_lastStatement = sql::updateCachedPlayList();
        query.prepare(m_lastStatement);
        query.addBindValue(playList);
        query.addBindValue(date);
        query.addBindValue(id);
    } else {
        m_lastStatement = sql::insertCachedDetail();
        query.prepare(m_lastStatement);
        query.addBindValue(id);
        query.addBindValue(playList);
        query.addBindValue(date);
        // Never null: an empty answer is a description too.
        query.addBindValue(description.isNull() ? QString(QLatin1String("")) : description);
    }
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    return true;
}

bool DetailStore::storeDescription(qint64 id, const QString &description, QString *error)
{
    if (!database().isOpen()) {
        *error = QStringLiteral("the catalogue was closed");
        return false;
    }
    QSqlQuery query(database());
    m_lastStatement = sql::updateCachedDescription();
    query.prepare(m_lastStatement);
    query.addBindValue(description.isNull() ? QString(QLatin1String("")) : description);
    query.addBindValue(id);
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    return true;
}

} // namespace kinolark::playback
