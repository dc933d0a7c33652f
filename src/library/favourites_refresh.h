#pragma once

#include "library/favourites.h"
#include "playback/detail_refresh.h"
#include "playback/detail_store.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace kinolark::site {
class HttpFetch;
struct HttpAnswer;
}

namespace kinolark::library {

// Brings the favourites' cached play lists up to date once a day, behind
// the window: a few requests at a time, nothing waiting for them.
//
// Each title follows the cache's own rules (playback::DetailRefresh): a row
// fetched today is left as it is; otherwise the play list is asked for, and
// only an answer that is a play list (it holds a "$") replaces the cached
// one. A title without a row gets its description too, and its row only
// when both arrived. A failed request, an error page or a title the site no
// longer knows change nothing. A title click wins: the title is given up
// (yieldTitle), and a row that a click stored today meanwhile is never
// overwritten.
class FavouritesRefresh : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        QString endpoint;               // base of every site request
        std::function<QString()> today; // today's date string
        int timeoutMs = 30000;
        int deadlineMs = 30000;         // the longest a whole answer may take
        int parallel = 4;               // requests at a time
    };

    FavouritesRefresh(const QSqlDatabase &database, QNetworkAccessManager &network, Settings settings,
                      QObject *parent = nullptr);
    ~FavouritesRefresh() override;

    // Starts the refresh unless it ran today or there are no favourites.
    // The day counts as done once a run ends in which the site answered.
    bool startIfDue();
    // Refreshes `titles` now, whatever the day.
    void start(const QList<qint64> &titles);
    // Refreshes the title too: joins the run going on, or starts one.
    void enqueue(qint64 titleId);
    bool isRunning() const { return m_running; }
    int done() const { return m_done; }
    int total() const { return m_total; }

    // A title click takes the title over: it is not refreshed in this run.
    void yieldTitle(qint64 titleId);
    // Ends the run at once; what was stored stays.
    void stop();

signals:
    void progress(int done, int total);
    // The title's play list was stored.
    void titleRefreshed(qint64 titleId);
    void finished();

private:
    struct Job
    {
        site::HttpFetch *fetch = nullptr;
        std::shared_ptr<playback::DetailRefresh> rules;
    };

    QString today() const;
    bool catalogueOpen();
    void pump();
    // False when the title needs no request.
    bool begin(qint64 titleId);
    void request(qint64 titleId, playback::DetailRefresh::Request request);
    void answered(qint64 titleId, const site::HttpAnswer &answer);
    void complete(qint64 titleId);

    QString m_connection;
    QNetworkAccessManager &m_network;
    Settings m_settings;
    playback::DetailStore m_rows;
    Favourites m_favourites;

    bool m_running = false;
    bool m_daily = false;   // the run marks the day when it ends
    bool m_asked = false;   // a request was sent
    bool m_reached = false; // the site answered at least once
    QString m_today; // the day the run began, marked done when it ends
    QList<qint64> m_queue;
    QHash<qint64, Job> m_jobs;
    QSet<qint64> m_yielded;
    int m_done = 0;
    int m_total = 0;
};

} // namespace kinolark::library
