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
    QString storeError;           // a write failed; `detail` still holds what was fetched
    QString lastAnswer;           // text of the last answer received
    QString lastStatement;        // text of the last statement issued
};

// The per-title cache of play lists and descriptions (table vodplay).
//
// A row is fresh when its date is today's and its play list is not empty:
// it is shown as it is. Otherwise the play list is requested ("Lx=Dy&Id=");
// an answer holding a "$" replaces the row's play list and date and keeps its
// description, and any other answer is ignored. A title without a row gets
// one only with its description ("Lx=Nr&Id="), asked for once, right after
// an accepted play list. A failed request changes nothing and ends the
// click's requests; a play list fetched without its description is shown
// but not stored, so the next click asks for both again.
//
// Site requests wait in a local event loop, so other handlers, and other
// loads, may run meanwhile. No statement or query is held across a wait,
// and what is written depends on the row as it is at the time of writing.
class DetailCache
{
public:
    DetailCache(const QSqlDatabase &database, QNetworkAccessManager &network, QString endpoint,
                std::function<QString()> today, int timeoutMs = 30000);

    // Refreshes the title's row as needed and answers what to show.
    DetailOutcome load(qint64 id);

    // The title's row as stored.
    TitleDetail read(qint64 id);

private:
    struct Fetched
    {
        bool ok = false;
        QString text;
    };
    Fetched fetch(const QString &query, qint64 id, DetailOutcome &outcome);
    QString writtenDay() const;

    DetailStore m_rows;
    QNetworkAccessManager &m_network;
    QString m_endpoint;
    std::function<QString()> m_today;
    int m_timeoutMs;
};

} // namespace kinolark::playback
