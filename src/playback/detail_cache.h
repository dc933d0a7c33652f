#pragma once

#include "playback/detail_store.h"

#include <QString>

#include <functional>

class QNetworkAccessManager;
class QSqlDatabase;

namespace kinolark::playback {

// What one title click brought about.
struct DetailOutcome
{
    TitleDetail detail;           // what to show
    bool requestFailed = false;   // a request failed; nothing of it was stored
    // The play list could not be refreshed, so `detail` holds the cached one.
    bool playListFailed = false;
    // Of the failed request: the HTTP status the site answered with, 0 when
    // the site was not reached (network error, timeout).
    int errorStatus = 0;
    bool tooLarge = false;        // an answer was refused for its length
    QString storeError;           // a write failed; `detail` still holds what was fetched
    QString lastAnswer;           // text of the last answer received
    QString lastStatement;        // text of the last statement issued
};

// The per-title cache of play lists and descriptions (table vodplay), as a
// click uses it: the rules of DetailRefresh, each request waited for in a
// local event loop, so other handlers, and other loads, may run meanwhile.
// No statement or query is held across a wait, and what is written depends
// on the row as it is at the time of writing.
class DetailCache
{
public:
    DetailCache(const QSqlDatabase &database, QNetworkAccessManager &network, QString endpoint,
                std::function<QString()> today, int timeoutMs = 30000, int deadlineMs = 30000);

    // Refreshes the title's row as needed and answers what to show.
    DetailOutcome load(qint64 id);

    // The title's row as stored.
    TitleDetail read(qint64 id);

private:
    DetailStore m_rows;
    QNetworkAccessManager &m_network;
    QString m_endpoint;
    std::function<QString()> m_today;
    int m_timeoutMs;
    int m_deadlineMs;
};

} // namespace kinolark::playback
