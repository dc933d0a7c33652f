#include "player/episode_session.h"

#include "player/play_rules.h"

#include <cmath>

namespace kinolark::player {

EpisodeSession::EpisodeSession(EpisodeStore &store, PlaybackTarget *target, QObject *parent)
    : QObject(parent)
    , m_store(store)
{
    qRegisterMetaType<std::optional<int>>();
    setTarget(target);
}

void EpisodeSession::setTarget(PlaybackTarget *target)
{
    if (m_target == target)
        return;
    if (m_target)
        m_target->stop();
    for (const QMetaObject::Connection &connection : std::exchange(m_connections, {}))
        disconnect(connection);
    m_target = target;
    attach();
    emit targetChanged();
}

void EpisodeSession::leave()
{
    if (m_target && m_line >= 0 && m_target->address() == m_playing && m_target->duration() > 0)
        m_store.savePosition(m_titleId, m_line, m_address,
                             positionToKeep(m_target->position(), m_target->duration()), m_target->duration());
    for (const QMetaObject::Connection &connection : std::exchange(m_connections, {}))
        disconnect(connection);
    m_target = nullptr;
    m_line = -1;
    emit episodeChanged();
}

void EpisodeSession::attach()
{
    if (!m_target)
        return;
    m_connections << connect(m_target, &PlaybackTarget::positionChanged, this, &EpisodeSession::positionMoved)
                  << connect(m_target, &PlaybackTarget::durationChanged, this, &EpisodeSession::durationKnown)
                  << connect(m_target, &PlaybackTarget::stopped, this, &EpisodeSession::targetStopped)
                  << connect(m_target, &PlaybackTarget::volumeChanged, this, [this] {
                         const EpisodeStore::Volume now{m_target->volume(), m_target->muted()};
                         if (!m_volumeRead || (now.level == m_volume.level && now.muted == m_volume.muted))
                             return;
                         m_volume = now;
                         m_store.saveVolume(now);
                     });
    if (m_volumeRead) {
        m_target->setVolume(m_volume.level);
        m_target->setMuted(m_volume.muted);
    }
}

void EpisodeSession::setTitle(qint64 titleId, const QString &name, const QVector<QString> &addresses,
                              const QVector<QString> &episodeNames)
{
    if (titleId != m_titleId)
        m_settings = m_store.settings(titleId);
    m_titleId = titleId;
    m_titleName = name;
    m_addresses = addresses;
    m_names = episodeNames;
    emit settingsChanged();
    emit rateChanged(m_settings.speed);
}

QString EpisodeSession::episodeName(int line) const
{
    return line >= 0 && line < m_names.size() ? m_names.at(line) : QString();
}

std::optional<int> EpisodeSession::nextLine() const
{
    if (m_line < 0)
        return std::nullopt;
    for (int line = m_line + 1; line < m_addresses.size(); ++line) {
        if (!m_addresses.at(line).isEmpty())
            return line;
    }
    return std::nullopt;
}

std::optional<int> EpisodeSession::previousLine() const
{
    for (int line = qMin(m_line, int(m_addresses.size())) - 1; line >= 0; --line) {
        if (!m_addresses.at(line).isEmpty())
            return line;
    }
    return std::nullopt;
}

bool EpisodeSession::requestNext()
{
    const std::optional<int> next = nextLine();
    if (next)
        emit lineRequested(*next);
    return next.has_value();
}

bool EpisodeSession::requestPrevious()
{
    const std::optional<int> previous = previousLine();
    if (previous)
        emit lineRequested(*previous);
    return previous.has_value();
}

bool EpisodeSession::play(int line, const QString &address, const QString &localCopy)
{
    if (!m_target || line < 0 || line >= m_addresses.size() || m_addresses.at(line) != address || address.isEmpty())
        return false;
    if (m_line >= 0)
        m_target->stop();
    // Read at the first play: the store may open after the session is made.
    if (!std::exchange(m_volumeRead, true)) {
        m_volume = m_store.volume();
        m_target->setVolume(m_volume.level);
        m_target->setMuted(m_volume.muted);
    }
    m_line = line;
    m_address = address;
    m_inEnding = false;
    m_endingReached = false;
    const std::optional<double> resume = m_store.resumePosition(m_titleId, line, address);
    const double start = resume.value_or(0);
    // Past the opening once the episode's length shows the opening fits.
    m_openingPending = m_settings.skip && m_settings.openingEnd && start < *m_settings.openingEnd;
    m_target->setRate(m_settings.speed);
    m_playing = address;
    if (!localCopy.isEmpty() && m_target->playFile(localCopy, start))
        m_playing = m_target->address();
    else
        m_target->play(address, start);
    emit episodeChanged();
    emit started(start, resume.has_value());
    return true;
}

void EpisodeSession::stop()
{
    if (m_target)
        m_target->stop();
    m_line = -1;
    m_address.clear();
    m_playing.clear();
    m_openingPending = false;
    emit episodeChanged();
}

void EpisodeSession::durationKnown(double duration)
{
    if (!m_openingPending || !m_target || m_target->address() != m_playing || !(duration > 0))
        return;
    m_openingPending = false;
    if (const std::optional<double> to = openingSkip(m_settings, m_target->position(), duration)) {
        m_target->seekTo(*to);
        emit openingSkipped();
        emit seeked(*to);
    }
}

void EpisodeSession::positionMoved(double position)
{
    if (m_line < 0 || m_endingReached || m_inEnding || !m_target || m_target->address() != m_playing)
        return;
    const std::optional<double> ending = endingStart(m_settings, m_target->duration());
    if (ending && position >= *ending)
        reachEnding();
}

void EpisodeSession::reachEnding()
{
    // The rest is the ending: the episode counts as watched, as at its end.
    m_endingReached = true;
    m_store.savePosition(m_titleId, m_line, m_address, 0, m_target->duration());
    const std::optional<int> next = nextLine();
    if (next)
        m_target->setPaused(true);
    else
        m_target->stop();
    emit ended(next);
}

void EpisodeSession::targetStopped(const PlaybackTarget::Stop &stop)
{
    if (m_line < 0 || stop.address != m_playing)
        return;
    if (stop.loaded)
        m_store.savePosition(m_titleId, m_line, m_address,
                             m_endingReached ? 0 : positionToKeep(stop.position, stop.duration), stop.duration);
    if (stop.reachedEnd && !m_endingReached)
        emit ended(nextLine());
}

void EpisodeSession::userSeek(double to)
{
    // The user's own way into the ending: it plays.
    if (const std::optional<double> ending = endingStart(m_settings, m_target->duration()); ending && to >= *ending)
        m_inEnding = true;
}

void EpisodeSession::togglePause()
{
    if (m_target && m_line >= 0)
        m_target->setPaused(m_target->state() != PlaybackTarget::State::Paused);
}

void EpisodeSession::seekBy(double seconds)
{
    if (!m_target || m_line < 0 || !std::isfinite(seconds))
        return;
    const double duration = m_target->duration();
    double to = qMax(0.0, m_target->position() + seconds);
    if (duration > 0)
        to = qMin(to, duration);
    userSeek(to);
    m_target->seekBy(seconds);
    emit seeked(to);
}

void EpisodeSession::seekTo(double seconds)
{
    if (!m_target || m_line < 0 || !std::isfinite(seconds))
        return;
    const double to = qMax(0.0, seconds);
    userSeek(to);
    m_target->seekTo(to);
    emit seeked(to);
}

void EpisodeSession::restart()
{
    m_openingPending = false;
    seekTo(0);
}

void EpisodeSession::setVolume(int volume)
{
    if (m_target)
        m_target->setVolume(qBound(0, volume, 100));
}

void EpisodeSession::setMuted(bool muted)
{
    if (m_target)
        m_target->setMuted(muted);
}

void EpisodeSession::setRate(double rate)
{
    const double snapped = nearestRate(rate);
    if (m_target)
        m_target->setRate(snapped);
    if (snapped == m_settings.speed)
        return;
    m_settings.speed = snapped;
    saveSettings();
    emit rateChanged(snapped);
}

void EpisodeSession::stepRate(int steps)
{
    setRate(player::stepRate(m_settings.speed, steps));
}

QString EpisodeSession::markOpeningEnd()
{
    if (!m_target || m_line < 0)
        return QString();
    const SettingChange change = player::markOpeningEnd(m_settings, m_target->position(), m_target->duration());
    m_settings = change.settings;
    saveSettings();
    return change.note;
}

QString EpisodeSession::markEndingStart()
{
    if (!m_target || m_line < 0)
        return QString();
    const double position = m_target->position();
    const SettingChange change = player::markEndingStart(m_settings, position, m_target->duration());
    m_settings = change.settings;
    // Marked here on purpose: this play goes on into it.
    m_inEnding = m_settings.endingBefore.has_value();
    saveSettings();
    return change.note;
}

void EpisodeSession::clearSkip()
{
    m_settings.openingEnd.reset();
    m_settings.endingBefore.reset();
    saveSettings();
}

void EpisodeSession::setSkipEnabled(bool on)
{
    m_settings.skip = on;
    saveSettings();
}

void EpisodeSession::saveSettings()
{
    if (m_titleId >= 0)
        m_store.saveSettings(m_titleId, m_settings);
    emit settingsChanged();
}

} // namespace kinolark::player
