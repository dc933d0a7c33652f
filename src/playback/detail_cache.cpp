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
    // The window may close the catalogue while a request waits; every
    // statement first checks that it is still open.
    return QSqlDatabase::database(m_connection, false);
}

DetailCache::Fetched DetailCache::fetch(const QString &query, qint64 id, DetailOutcome &outcome)
{
    site::HttpOptions options;
    options.timeoutMs = m_timeoutMs;
    const site::HttpAnswer answer =
        site::HttpGetText(m_network, m_endpoint + query + QString::number(id), options);
    if (!answer.ok) {
        if (!outcome.requestFailed)
            outcome.errorStatus = answer.siteAnswered() ? answer.status : 0;
        outcome.requestFailed = true;
        return {};
    }
    outcome.lastAnswer = answer.text;
    return {true, answer.text};
}

TitleDetail DetailCache::read(qint64 id)
{
    TitleDetail detail;
    m_lastStatement = sql::selectCachedDetail();
    if (!database().isOpen())
        return detail;
    QSqlQuery query(database());
    query.prepare(m_lastStatement);
    query.addBindValue(id);
    if (query.exec() && query.next()) {
        detail.found = true;
        detail.playList = query.value(1).toString();
        detail.description = query.value(2).toString(); // a null one reads as empty
    }
    return detail;
}

bool DetailCache::store(qint64 id, const QString &playList, const QString &date, const QString &description,
                        QString *error)
{
    // Decided at the time of writing: another load may have made the row
    // while this one waited for the site.
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

QString DetailCache::writtenDay() const
{
    // Asked again after the wait: a refresh that ends past midnight is of
    // the day it ended on.
    return m_today ? m_today() : QString();
}

DetailOutcome DetailCache::load(qint64 id)
{
    DetailOutcome outcome;
    const QString today = m_today ? m_today() : QString();

    const auto lookUp = [&](bool *fresh) {
        m_lastStatement = sql::selectCachedPlayList();
        if (!database().isOpen())
            return false;
        QSqlQuery query(database());
        query.prepare(m_lastStatement);
        query.addBindValue(id);
        if (!query.exec() || !query.next())
            return false;
        if (fresh)
            *fresh = query.value(0).toString() == today && !query.value(1).toString().isEmpty();
        return true;
    };

    bool fresh = false;
    bool found = lookUp(&fresh);
    if (!fresh) {
        const Fetched playList = fetch(QStringLiteral("Lx=Dy&Id="), id, outcome);
        outcome.playListFailed = !playList.ok && found;
        if (playList.ok && PlayList::accepts(playList.text)) {
            // Another click may have made the row during the wait.
            found = found || lookUp(nullptr);
            Fetched description;
            if (!found)
                description = fetch(QStringLiteral("Lx=Nr&Id="), id, outcome);
            // What was fetched but cannot be stored is shown all the same.
            const bool unsaved = (!found && !description.ok)
                                 || !store(id, playList.text, writtenDay(), description.text, &outcome.storeError);
            if (unsaved) {
                TitleDetail shown = read(id);
                shown.found = true;
                shown.playList = playList.text;
                if (!found)
                    shown.description = description.text;
                outcome.detail = shown;
                outcome.lastStatement = m_lastStatement;
                return outcome;
            }
        }
    }

    outcome.detail = read(id);
    outcome.lastStatement = m_lastStatement;
    return outcome;
}

} // namespace kinolark::playback
