#include "download/download_manager.h"

#include "download/file_names.h"
#include "download/remux_job.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

#include <algorithm>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kinolark::download {

using library::DownloadEntry;
using library::DownloadState;

namespace {

QString schemeOf(const QString &address)
{
    const qsizetype colon = address.indexOf(QLatin1Char(':'));
    return colon > 0 ? address.left(colon).trimmed().toLower() : QString();
}

} // namespace

DownloadManager::DownloadManager(const QSqlDatabase &database, Settings settings, QObject *parent)
    : QObject(parent)
    , m_store(database)
    , m_settings(std::move(settings))
    , m_root(QDir::cleanPath(m_settings.root.isEmpty() ? defaultRoot() : m_settings.root))
{
    m_report.setSingleShot(true);
    m_report.setInterval(m_settings.reportIntervalMs);
    connect(&m_report, &QTimer::timeout, this, &DownloadManager::changed);
    m_progress.setInterval(m_settings.reportIntervalMs);
    connect(&m_progress, &QTimer::timeout, this, &DownloadManager::tick);
}

DownloadManager::~DownloadManager()
{
    // Their rows stay "running": the next start runs them again.
    for (Running &running : m_running) {
        running.thread->disconnect(this);
        running.job->cancel();
    }
    for (Running &running : m_running) {
        running.thread->wait();
        delete running.thread;
    }
}

QString DownloadManager::defaultRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::MoviesLocation) + QStringLiteral("/kinolark");
}

bool DownloadManager::isDownloadable(const QString &address)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
           && !url.host().isEmpty();
}

QString DownloadManager::notDownloadableReason(const QString &address)
{
    if (isDownloadable(address))
        return QString();
    const QString scheme = schemeOf(address);
    static const QStringList dedicated{QStringLiteral("bdhd"),  QStringLiteral("qvod"),    QStringLiteral("ed2k"),
                                       QStringLiteral("thunder"), QStringLiteral("magnet"), QStringLiteral("flashget"),
                                       QStringLiteral("qqdl"),  QStringLiteral("xfplay")};
    if (dedicated.contains(scheme))
        return QStringLiteral("“%1:”地址只有专用播放器能打开，无法下载；只能下载 http 或 https 地址").arg(scheme);
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return QStringLiteral("这个地址不完整，无法下载");
    return QStringLiteral("只能下载 http 或 https 地址");
}

void DownloadManager::start()
{
    if (m_started)
        return;
    if (m_store.requeueRunning() < 0)
        qWarning("downloads: %s", qPrintable(m_store.lastError()));
    const QList<DownloadEntry> stored = m_store.all();
    for (const DownloadEntry &entry : stored)
        m_entries.insert(entry.id, entry);
    cleanLeftovers();
    checkFinished();
    m_started = true;
    schedule();
    noteChange();
}

// Nothing of ours runs yet, so every .part is left from an earlier run; one
// still locked is being written by another copy of the program.
void DownloadManager::cleanLeftovers()
{
    QDirIterator parts(m_root, {QStringLiteral("*.part")}, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                       QDirIterator::Subdirectories);
    while (parts.hasNext()) {
        const QString path = parts.next();
        if (QFileInfo(path).absolutePath().section(QLatin1Char('/'), 0, -2) != QFileInfo(m_root).absoluteFilePath())
            continue; // only the title folders' own
        const QByteArray name = QFile::encodeName(path);
        const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(name.constData());
        ::close(fd);
    }
}

// A finished row points at a whole file, or it is finished no more.
void DownloadManager::checkFinished()
{
    for (DownloadEntry &entry : m_entries) {
        if (entry.state != DownloadState::Done)
            continue;
        const QFileInfo file(entry.filePath);
        if (!file.isFile())
            setState(entry, DownloadState::Failed, QStringLiteral("下载的文件已不存在"));
        else if (file.size() != entry.bytes)
            setState(entry, DownloadState::Failed, QStringLiteral("下载的文件不完整"));
    }
}

QSet<QString> DownloadManager::takenPaths() const
{
    QSet<QString> taken;
    for (const DownloadEntry &entry : m_entries)
        taken.insert(entry.filePath);
    return taken;
}

qint64 DownloadManager::existing(const Episode &episode)
{
    for (auto it = m_entries.end(); it != m_entries.begin();) {
        --it;
        DownloadEntry &entry = it.value();
        if (entry.titleId != episode.titleId || entry.line != episode.line || entry.address != episode.address)
            continue;
        if (entry.state == DownloadState::Failed)
            setState(entry, DownloadState::Waiting);
        return entry.id;
    }
    return 0;
}

std::optional<DownloadEntry> DownloadManager::prepare(const Episode &episode, QSet<QString> &taken)
{
    if (!isDownloadable(episode.address))
        return std::nullopt;
    DownloadEntry entry;
    entry.titleId = episode.titleId;
    entry.line = episode.line;
    entry.titleName = episode.titleName;
    entry.episodeName = episode.episodeName;
    entry.address = episode.address.trimmed();
    entry.state = DownloadState::Waiting;
    entry.created = QDateTime::currentDateTimeUtc();
    const QString episodeName = episode.episodeName.trimmed().isEmpty()
                                    ? QStringLiteral("第%1集").arg(episode.line + 1)
                                    : episode.episodeName;
    const QString folder = m_root + QLatin1Char('/') + folderNameFor(episode.titleName);
    for (int number = 1;; ++number) {
        const QString path = folder + QLatin1Char('/') + fileNameFor(episode.titleName, episodeName, number);
        if (!taken.contains(path) && !QFileInfo::exists(path) && !QFileInfo::exists(RemuxJob::partPath(path))) {
            entry.filePath = path;
            taken.insert(path);
            return entry;
        }
    }
}

qint64 DownloadManager::enqueue(qint64 titleId, int line, const QString &titleName, const QString &episodeName,
                                const QString &address)
{
    const QList<qint64> ids = enqueueAll({Episode{titleId, line, titleName, episodeName, address}});
    return ids.value(0);
}

QList<qint64> DownloadManager::enqueueAll(const QList<Episode> &episodes)
{
    QList<qint64> ids(episodes.size(), 0);
    QList<DownloadEntry> fresh;
    QList<int> freshAt;
    QSet<QString> taken = takenPaths();
    for (int i = 0; i < episodes.size(); ++i) {
        Episode episode = episodes.at(i);
        episode.address = episode.address.trimmed();
        if (const qint64 id = existing(episode)) {
            ids[i] = id;
            continue;
        }
        // The same episode twice in one call is queued once.
        bool again = false;
        for (int j = 0; j < fresh.size() && !again; ++j) {
            const DownloadEntry &queued = fresh.at(j);
            again = queued.titleId == episode.titleId && queued.line == episode.line
                    && queued.address == episode.address;
        }
        if (again)
            continue;
        if (std::optional<DownloadEntry> entry = prepare(episode, taken)) {
            fresh << *entry;
            freshAt << i;
        }
    }
    if (!fresh.isEmpty()) {
        if (m_store.addAll(fresh)) {
            for (int j = 0; j < fresh.size(); ++j) {
                m_entries.insert(fresh.at(j).id, fresh.at(j));
                ids[freshAt.at(j)] = fresh.at(j).id;
            }
        } else {
            qWarning("downloads: %s", qPrintable(m_store.lastError()));
        }
    }
    for (int i = 0; i < episodes.size(); ++i) {
        if (ids.at(i) == 0) {
            const Episode &episode = episodes.at(i);
            for (const DownloadEntry &entry : std::as_const(m_entries)) {
                if (entry.titleId == episode.titleId && entry.line == episode.line
                    && entry.address == episode.address.trimmed())
                    ids[i] = entry.id;
            }
        }
    }
    schedule();
    noteChange();
    return ids;
}

void DownloadManager::setState(DownloadEntry &entry, DownloadState state, const QString &error)
{
    entry.state = state;
    entry.error = error;
    if (state != DownloadState::Done) {
        entry.bytes = 0;
        entry.finished = QDateTime();
    }
    if (!m_store.setState(entry.id, state, error))
        qWarning("downloads: %s", qPrintable(m_store.lastError()));
    noteChange();
}

void DownloadManager::schedule()
{
    if (!m_started)
        return;
    while (m_running.size() < m_settings.maxRunning) {
        auto next = std::find_if(m_entries.begin(), m_entries.end(), [this](const DownloadEntry &entry) {
            return entry.state == DownloadState::Waiting && !m_running.contains(entry.id);
        });
        if (next == m_entries.end())
            return;
        startJob(next.value());
    }
}

void DownloadManager::startJob(DownloadEntry &entry)
{
    setState(entry, DownloadState::Running);
    RemuxJob::Settings settings;
    settings.root = m_root;
    settings.stallTimeoutMs = m_settings.stallTimeoutMs;
    settings.reserveBytes = m_settings.reserveBytes;
    Running running;
    running.job = std::make_shared<RemuxJob>(entry.address, entry.filePath, settings);
    auto result = std::make_shared<RemuxJob::Result>();
    running.result = result;
    running.thread = QThread::create([job = running.job, result] { *result = job->run(); });
    const qint64 id = entry.id;
    connect(running.thread, &QThread::finished, this, [this, id] { jobEnded(id); });
    m_running.insert(id, running);
    running.thread->start();
    if (!m_progress.isActive())
        m_progress.start();
}

void DownloadManager::jobEnded(qint64 id)
{
    const Running running = m_running.take(id);
    running.thread->wait();
    running.thread->deleteLater();
    if (m_running.isEmpty())
        m_progress.stop();
    const RemuxJob::Result result = *std::static_pointer_cast<RemuxJob::Result>(running.result);

    auto it = m_entries.find(id);
    if (it == m_entries.end()) {
        // Removed while it ran (remove() takes its file away).
        schedule();
        noteChange();
        return;
    }
    DownloadEntry &entry = it.value();
    switch (result.outcome) {
    case RemuxJob::Outcome::Done:
        entry.state = DownloadState::Done;
        entry.error.clear();
        entry.bytes = result.bytes;
        entry.duration = result.duration;
        entry.finished = QDateTime::currentDateTimeUtc();
        if (!m_store.markDone(id, entry.bytes, entry.duration, entry.finished))
            qWarning("downloads: %s", qPrintable(m_store.lastError()));
        emit downloadFinished(id);
        break;
    case RemuxJob::Outcome::Failed:
        setState(entry, DownloadState::Failed, result.reason);
        emit downloadFailed(id, result.reason);
        if (result.diskFull) {
            pauseQueue();
            emit diskFull(m_root);
        }
        break;
    case RemuxJob::Outcome::Cancelled:
        // Paused or removed meanwhile; one still marked running waits again.
        if (entry.state == DownloadState::Running)
            setState(entry, DownloadState::Waiting);
        break;
    }
    noteChange();
    schedule();
}

void DownloadManager::pauseQueue()
{
    if (m_store.pauseUnfinished() < 0)
        qWarning("downloads: %s", qPrintable(m_store.lastError()));
    for (DownloadEntry &entry : m_entries) {
        if (entry.state != DownloadState::Waiting && entry.state != DownloadState::Running)
            continue;
        entry.state = DownloadState::Paused;
        if (m_running.contains(entry.id))
            m_running[entry.id].job->cancel();
    }
    noteChange();
}

bool DownloadManager::pause(qint64 id)
{
    auto it = m_entries.find(id);
    if (it == m_entries.end()
        || (it->state != DownloadState::Waiting && it->state != DownloadState::Running))
        return false;
    setState(it.value(), DownloadState::Paused);
    if (m_running.contains(id))
        m_running[id].job->cancel();
    return true;
}

bool DownloadManager::resume(qint64 id)
{
    auto it = m_entries.find(id);
    if (it == m_entries.end() || it->state != DownloadState::Paused)
        return false;
    setState(it.value(), DownloadState::Waiting);
    schedule();
    return true;
}

int DownloadManager::resumeAll()
{
    int resumed = 0;
    if (m_store.resumePaused() < 0)
        qWarning("downloads: %s", qPrintable(m_store.lastError()));
    for (DownloadEntry &entry : m_entries) {
        if (entry.state == DownloadState::Paused) {
            entry.state = DownloadState::Waiting;
            ++resumed;
        }
    }
    noteChange();
    schedule();
    return resumed;
}

bool DownloadManager::retry(qint64 id)
{
    auto it = m_entries.find(id);
    if (it == m_entries.end() || it->state != DownloadState::Failed)
        return false;
    setState(it.value(), DownloadState::Waiting);
    schedule();
    return true;
}

bool DownloadManager::remove(qint64 id)
{
    auto it = m_entries.find(id);
    if (it == m_entries.end())
        return false;
    if (!m_store.remove(id)) {
        qWarning("downloads: %s", qPrintable(m_store.lastError()));
        return false;
    }
    const DownloadEntry entry = it.value();
    m_entries.erase(it);
    if (m_running.contains(id)) {
        // The job removes its .part; should it finish first, its file goes
        // when it ends.
        m_running[id].job->cancel();
        const QString path = entry.filePath;
        connect(m_running[id].thread, &QThread::finished, this, [this, path] { removeFile(path); });
    } else {
        removeFile(entry.filePath);
    }
    noteChange();
    return true;
}

void DownloadManager::removeFile(const QString &path)
{
    if (path.isEmpty())
        return;
    // Only a file of the downloads folder, never one a link points at.
    const QFileInfo file(path);
    if (file.isSymLink() || !file.absoluteFilePath().startsWith(m_root + QLatin1Char('/')))
        return;
    QFile::remove(path);
    QDir().rmdir(file.absolutePath()); // the title's folder, when nothing else is left in it
}

int DownloadManager::runningCount() const
{
    return int(std::count_if(m_entries.cbegin(), m_entries.cend(),
                             [](const DownloadEntry &entry) { return entry.state == DownloadState::Running; }));
}

QString DownloadManager::localFileFor(qint64 titleId, int line) const
{
    for (auto it = m_entries.cend(); it != m_entries.cbegin();) {
        --it;
        if (it->titleId == titleId && it->line == line && it->state == DownloadState::Done
            && QFileInfo(it->filePath).isFile())
            return it->filePath;
    }
    return QString();
}

DownloadRow DownloadManager::rowFor(const DownloadEntry &entry) const
{
    DownloadRow row;
    row.entry = entry;
    const auto running = m_running.constFind(entry.id);
    if (entry.state != DownloadState::Running || running == m_running.constEnd())
        return row;
    const RemuxJob::Progress progress = running->job->progress();
    row.received = progress.received;
    row.bytesPerSecond = running->bytesPerSecond;
    if (progress.duration > 0)
        row.percent = qBound(0, int(100 * progress.position / progress.duration), 99);
    else if (progress.size > 0)
        row.percent = qBound(0, int(100 * progress.received / progress.size), 99);
    return row;
}

QList<DownloadRow> DownloadManager::rows() const
{
    QList<DownloadRow> rows;
    rows.reserve(m_entries.size());
    for (auto it = m_entries.cend(); it != m_entries.cbegin();) {
        --it;
        rows << rowFor(it.value());
    }
    return rows;
}

std::optional<DownloadRow> DownloadManager::row(qint64 id) const
{
    const auto it = m_entries.constFind(id);
    if (it == m_entries.cend())
        return std::nullopt;
    return rowFor(it.value());
}

void DownloadManager::tick()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    bool moved = false;
    for (Running &running : m_running) {
        const qint64 received = running.job->progress().received;
        if (running.lastTick > 0 && now > running.lastTick) {
            const qint64 rate = (received - running.lastReceived) * 1000 / (now - running.lastTick);
            // Smoothed, so the figure does not jump with every segment.
            running.bytesPerSecond = running.bytesPerSecond == 0 ? rate : (running.bytesPerSecond * 3 + rate) / 4;
        }
        moved = moved || received != running.lastReceived;
        running.lastReceived = received;
        running.lastTick = now;
    }
    if (moved)
        noteChange();
}

void DownloadManager::noteChange()
{
    if (!m_report.isActive())
        m_report.start();
}

} // namespace kinolark::download
