#include "library/favourites_refresh.h"

#include "playback/play_list.h"
#include "site/http_fetch.h"

#include <QSqlDatabase>

namespace kinolark::library {

FavouritesRefresh::FavouritesRefresh(const QSqlDatabase &database, QNetworkAccessManager &network,
                                     Settings settings, QObject *parent)
    : QObject(parent)
    , m_connection(database.connectionName())
    , m_network(network)
    , m_settings(std::move(settings))
    , m_rows(database)
    , m_favourites(database)
{
}

FavouritesRefresh::~FavouritesRefresh()
{
    stop();
}

bool FavouritesRefresh::startIfDue()
{
    if (m_running)
        return false;
    if (m_favourites.refreshedDay() == today())
        return false;
    const QList<qint64> titles = m_favourites.ids();
    if (titles.isEmpty())
        return false;
    start(titles);
    m_daily = true;
    return true;
}

void FavouritesRefresh::start(const QList<qint64> &titles)
{
    stop();
    m_running = true;
    m_daily = false;
    m_reached = false;
    m_asked = false;
    m_today = today();
    m_queue = titles;
    m_yielded.clear();
    m_done = 0;
    m_total = int(titles.size());
    // Answers begin to arrive once the caller is back in the event loop.
    QMetaObject::invokeMethod(this, &FavouritesRefresh::pump, Qt::QueuedConnection);
}

void FavouritesRefresh::enqueue(qint64 titleId)
{
    if (!m_running) {
        start({titleId});
        return;
    }
    if (m_queue.contains(titleId) || m_jobs.contains(titleId))
        return;
    m_yielded.remove(titleId);
    m_queue << titleId;
    ++m_total;
    emit progress(m_done, m_total);
    QMetaObject::invokeMethod(this, &FavouritesRefresh::pump, Qt::QueuedConnection);
}

void FavouritesRefresh::stop()
{
    m_queue.clear();
    const QHash<qint64, Job> jobs = std::exchange(m_jobs, {});
    for (const Job &job : jobs)
        delete job.fetch;
    m_running = false;
}

void FavouritesRefresh::yieldTitle(qint64 titleId)
{
    if (!m_running)
        return;
    m_yielded.insert(titleId);
    if (m_queue.removeAll(titleId) > 0) {
        ++m_done;
        emit progress(m_done, m_total);
    }
    // Its connection is the click's now.
    if (const auto job = m_jobs.constFind(titleId); job != m_jobs.cend() && job->fetch)
        job->fetch->abort();
}

bool FavouritesRefresh::catalogueOpen()
{
    // Closed with the window: the run ends there, touching nothing more.
    if (QSqlDatabase::database(m_connection, false).isOpen())
        return true;
    stop();
    return false;
}

void FavouritesRefresh::pump()
{
    if (!m_running || !catalogueOpen())
        return;
    while (m_jobs.size() < m_settings.parallel && !m_queue.isEmpty()) {
        const qint64 titleId = m_queue.takeFirst();
        if (!begin(titleId)) {
            ++m_done;
            emit progress(m_done, m_total);
        }
    }
    if (m_jobs.isEmpty() && m_queue.isEmpty() && m_running) {
        m_running = false;
        if (m_daily && (m_reached || !m_asked))
            m_favourites.setRefreshedDay(m_today);
        emit finished();
    }
}

QString FavouritesRefresh::today() const
{
    // Read when it is used: a run that goes on past midnight writes the day
    // it ends on, as a click would.
    return m_settings.today ? m_settings.today() : QString();
}

bool FavouritesRefresh::begin(qint64 titleId)
{
    auto rules = std::make_shared<playback::DetailRefresh>(m_rows, titleId, m_settings.today,
                                                           playback::DetailRefresh::Priority::Yields);
    const playback::DetailRefresh::Request first = rules->start();
    if (m_rows.row(titleId, today()) == playback::DetailStore::Row::Fresh)
        // Fetched today already, by a click or an earlier run.
        m_favourites.adoptFirstPlayList(titleId, m_rows.read(titleId).playList);
    if (first == playback::DetailRefresh::Request::None)
        return false;
    m_jobs.insert(titleId, Job{nullptr, rules});
    m_asked = true;
    request(titleId, first);
    return true;
}

void FavouritesRefresh::request(qint64 titleId, playback::DetailRefresh::Request request)
{
    site::HttpOptions options;
    options.timeoutMs = m_settings.timeoutMs;
    options.deadlineMs = m_settings.deadlineMs;
    options.maxBytes = playback::DetailRefresh::answerLimit(request);
    auto *fetch = new site::HttpFetch(
        m_network, m_settings.endpoint + playback::DetailRefresh::query(request) + QString::number(titleId), options,
        this);
    m_jobs[titleId].fetch = fetch;
    connect(fetch, &site::HttpFetch::finished, this, [this, titleId, fetch](const site::HttpAnswer &answer) {
        fetch->deleteLater();
        const auto job = m_jobs.find(titleId);
        if (job == m_jobs.end() || job->fetch != fetch)
            return;
        job->fetch = nullptr;
        answered(titleId, answer);
    });
}

void FavouritesRefresh::answered(qint64 titleId, const site::HttpAnswer &answer)
{
    if (!catalogueOpen())
        return;
    m_reached = m_reached || answer.ok || answer.siteAnswered();
    const std::shared_ptr<playback::DetailRefresh> rules = m_jobs.value(titleId).rules;
    // A click took the title over meanwhile.
    if (!rules || m_yielded.contains(titleId)) {
        complete(titleId);
        return;
    }
    const playback::DetailRefresh::Request next = rules->answered(answer);
    if (next != playback::DetailRefresh::Request::None) {
        request(titleId, next);
        return;
    }
    if (rules->stored()) {
        m_favourites.adoptFirstPlayList(titleId, rules->storedPlayList());
        emit titleRefreshed(titleId);
    } else if (!rules->storeError().isEmpty()) {
        qWarning("favourites refresh: title %lld not stored: %s", titleId, qPrintable(rules->storeError()));
    }
    complete(titleId);
}

void FavouritesRefresh::complete(qint64 titleId)
{
    m_jobs.remove(titleId);
    ++m_done;
    emit progress(m_done, m_total);
    pump();
}

} // namespace kinolark::library
