#include "playback/detail_cache.h"

#include "playback/play_list.h"
#include "site/http_get_text.h"
#include "store/statements.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace kinolark::playback {

namespace sql = store::sql;

DetailCache::DetailCache(const QSqlDatabase &database, QNetworkAccessManager &network, QString endpoint,
                         std::function<QString()> today, int timeoutMs)
    : m_connection(database.connectionName())
    , m_network(network)
    , m_endpoint(std::move(endpoint))
    , m_today(std::move(today))
    , m_timeoutMs(timeoutMs)
{
}

QSqlDatabase DetailCache::database() const
{
    // The window may close the catalogue while a request waits; a connection
    // that is gone then makes the statements fail instead of crashing.
    return QSqlDatabase::database(m_connection, false);
}

DetailCache::Fetched DetailCache::fetch(const QString &query, qint64 id, DetailOutcome &outcome)
{
    site::HttpOptions options;
    options.timeoutMs = m_timeoutMs;
    const site::HttpAnswer answer =
        site::HttpGetText(m_network, m_endpoint + query + QString::number(id), options);
    if (!answer.ok) {
        outcome.siteUnreachable = true;
        return {};
    }
    outcome.lastAnswer = answer.text;
    return {true, answer.text};
}

TitleDetail DetailCache::read(qint64 id)
{
    TitleDetail detail;
    m_lastStatement = sql::selectCachedDetail();
    QSqlQuery query(database());
    query.prepare(m_lastStatement);
    query.addBindValue(id);
    if (query.exec() && query.next()) {
        detail.found = true;
        detail.playList = query.value(1).toString();
        const QVariant description = query.value(2);
        detail.hasDescription = !description.isNull();
        detail.description = description.toString();
    }
    return detail;
}

bool DetailCache::storePlayList(qint64 id, const QString &playList, const QString &date, QString *error)
{
    // Decided at the time of writing: another load may have made the row
    // while this one waited for the site.
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
        // The description follows in its own request; until it arrives the
        // row has none, so it is asked for again should that request fail.
        m_lastStatement = sql::insertCachedDetail();
        query.prepare(m_lastStatement);
        query.addBindValue(id);
        query.addBindValue(playList);
        query.addBindValue(date);
        query.addBindValue(QVariant(QMetaType::fromType<QString>()));
    }
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    return true;
}

bool DetailCache::storeDescription(qint64 id, const QString &description, QString *error)
{
    m_lastStatement = sql::fillMissingDescription();
    QSqlQuery query(database());
    query.prepare(m_lastStatement);
    // Never null: an empty answer is a description too.
    query.addBindValue(description.isNull() ? QString(QLatin1String("")) : description);
    query.addBindValue(id);
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    return true;
}

DetailOutcome DetailCache::load(qint64 id)
{
    DetailOutcome outcome;
    const QString today = m_today ? m_today() : QString();

    bool fresh = false;
    {
        m_lastStatement = sql::selectCachedPlayList();
        QSqlQuery query(database());
        query.prepare(m_lastStatement);
        query.addBindValue(id);
        if (query.exec() && query.next())
            fresh = query.value(0).toString() == today && !query.value(1).toString().isEmpty();
    }

    // What was fetched but could not be stored is shown all the same.
    QString unsavedPlayList;
    bool unsaved = false;
    if (!fresh) {
        const Fetched playList = fetch(QStringLiteral("Lx=Dy&Id="), id, outcome);
        if (playList.ok && PlayList::accepts(playList.text)
            && !storePlayList(id, playList.text, today, &outcome.storeError)) {
            unsaved = true;
            unsavedPlayList = playList.text;
        }
    }

    TitleDetail detail = read(id);
    if (!outcome.siteUnreachable && !unsaved && detail.found && !detail.hasDescription) {
        const Fetched description = fetch(QStringLiteral("Lx=Nr&Id="), id, outcome);
        if (description.ok) {
            if (storeDescription(id, description.text, &outcome.storeError)) {
                detail = read(id);
            } else {
                detail.description = description.text;
                detail.hasDescription = true;
            }
        }
    }
    if (unsaved) {
        detail.found = true;
        detail.playList = unsavedPlayList;
    }
    outcome.detail = detail;
    outcome.lastStatement = m_lastStatement;
    return outcome;
}

} // namespace kinolark::playback
