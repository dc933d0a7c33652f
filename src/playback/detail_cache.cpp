#include "playback/detail_cache.h"

#include "playback/detail_refresh.h"
#include "site/http_get_text.h"

#include <QSqlDatabase>

namespace kinolark::playback {

DetailCache::DetailCache(const QSqlDatabase &database, QNetworkAccessManager &network, QString endpoint,
                         std::function<QString()> today, int timeoutMs, int deadlineMs)
    : m_rows(database)
    , m_network(network)
    , m_endpoint(std::move(endpoint))
    , m_today(std::move(today))
    , m_timeoutMs(timeoutMs)
    , m_deadlineMs(deadlineMs)
{
}

TitleDetail DetailCache::read(qint64 id)
{
    return m_rows.read(id);
}

DetailOutcome DetailCache::load(qint64 id)
{
    DetailRefresh refresh(m_rows, id, m_today, DetailRefresh::Priority::Wins);
    for (DetailRefresh::Request request = refresh.start(); request != DetailRefresh::Request::None;) {
        site::HttpOptions options;
        options.timeoutMs = m_timeoutMs;
        options.deadlineMs = m_deadlineMs;
        options.maxBytes = DetailRefresh::answerLimit(request);
        request = refresh.answered(
            site::HttpGetText(m_network, m_endpoint + DetailRefresh::query(request) + QString::number(id), options));
    }
    DetailOutcome outcome;
    outcome.detail = refresh.shown();
    outcome.requestFailed = refresh.requestFailed();
    outcome.playListFailed = refresh.playListFailed();
    outcome.errorStatus = refresh.errorStatus();
    outcome.tooLarge = refresh.tooLarge();
    outcome.storeError = refresh.storeError();
    outcome.lastAnswer = refresh.lastAnswer();
    outcome.lastStatement = m_rows.lastStatement();
    return outcome;
}

} // namespace kinolark::playback
