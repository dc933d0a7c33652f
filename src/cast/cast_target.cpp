#include "cast/cast_target.h"

namespace kinolark::cast {

CastTarget::CastTarget(QObject *parent)
    : PlaybackTarget(parent)
{
    connect(&m_session, &CastSession::stateChanged, this, [this] { emit stateChanged(); });
    connect(&m_session, &CastSession::positionChanged, this, [this](double position, double duration) {
        emit positionChanged(position);
        if (duration != m_duration) {
            m_duration = duration;
            emit durationChanged(duration);
        }
    });
    connect(&m_session, &CastSession::volumeChanged, this, [this] { emit volumeChanged(); });
    connect(&m_session, &CastSession::ended, this, [this] { finish(true); });
    connect(&m_session, &CastSession::failed, this, [this] { finish(false); });
}

void CastTarget::play(const QString &address, double start)
{
    if (m_active) {
        // Reported as it stood, before the next address goes out.
        finish(false);
    }
    m_active = true;
    m_ended = false;
    m_session.play(address, start);
}

void CastTarget::stop()
{
    if (!m_active)
        return;
    // The report first: the session's Stop resets nothing that it holds.
    finish(false);
    m_session.stop();
}

void CastTarget::setPaused(bool paused)
{
    if (paused)
        m_session.pause();
    else
        m_session.resume();
}

void CastTarget::seekTo(double seconds)
{
    m_session.seekTo(seconds);
}

void CastTarget::seekBy(double seconds)
{
    m_session.seekTo(m_session.position() + seconds);
}

bool CastTarget::setRate(double)
{
    return false;
}

void CastTarget::setVolume(int volume)
{
    m_session.setVolume(volume);
}

void CastTarget::setMuted(bool muted)
{
    m_session.setMuted(muted);
}

player::PlaybackTarget::State CastTarget::state() const
{
    switch (m_session.state()) {
    case CastSession::State::Idle:
        return State::Idle;
    case CastSession::State::Starting:
        return State::Connecting;
    case CastSession::State::Playing:
        return State::Playing;
    case CastSession::State::Paused:
        return State::Paused;
    case CastSession::State::Stopped:
        return m_ended ? State::Ended : State::Idle;
    case CastSession::State::Failed:
        return State::Failed;
    }
    return State::Idle;
}

void CastTarget::finish(bool reachedEnd)
{
    if (!m_active)
        return;
    m_active = false;
    m_ended = reachedEnd;
    Stop stop;
    stop.address = m_session.address();
    stop.position = m_session.position();
    stop.duration = m_session.duration();
    stop.loaded = m_session.reachedPlaying();
    stop.reachedEnd = reachedEnd;
    emit stopped(stop);
}

} // namespace kinolark::cast
