#include "playback/detail_cache.h"

#include "playback/play_list.h"
#include "site/http_get_text.h"

#include <QSqlDatabase>

namespace kinolark::playback {

DetailCache::DetailCache(const QSqlDatabase &database, QNetworkAccessManager &network, QString endpoint,
                         std::function<QString()> today, int timeoutMs)
    : m_rows(database)
    , m_network(network)
    , m_endpoint(std::move(endpoint))
    , m_today(std::move(today))
    , m_timeoutMs(timeoutMs)
{
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
    return m_rows.read(id);
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

    const DetailStore::Row row = m_rows.row(id, today);
    bool found = row != DetailStore::Row::Absent;
    if (row != DetailStore::Row::Fresh) {
        const Fetched playList = fetch(QStringLiteral("Lx=Dy&Id="), id, outcome);
        outcome.playListFailed = !playList.ok && found;
        if (playList.ok && PlayList::accepts(playList.text)) {
            // Another click may have made the row during the wait.
            found = found || m_rows.row(id, today) != DetailStore::Row::Absent;
            Fetched description;
            if (!found)
                description = fetch(QStringLiteral("Lx=Nr&Id="), id, outcome);
            // What was fetched but cannot be stored is shown all the same.
            const bool unsaved = (!found && !description.ok)
                                 || !m_rows.store(id, playList.text, writtenDay(), description.text, &outcome.storeError);
            if (unsaved) {
                TitleDetail shown = read(id);
                shown.found = true;
                shown.playList = playList.text;
                if (!found)
                    shown.description = description.text;
                outcome.detail = shown;
                outcome.lastStatement = m_rows.lastStatement();
                return outcome;
            }
        }
    }

    outcome.detail = read(id);
    outcome.lastStatement = m_rows.lastStatement();
    return outcome;
}

} // namespace kinolark::playback
