#include "shell/desktop_link.h"

#include "desktop/mpris_service.h"
#include "desktop/screen_inhibitor.h"
#include "desktop/session_bus.h"
#include "player/episode_session.h"
#include "shell/bring_to_front.h"

#include <QWidget>

#include <cmath>

namespace kinolark::shell {

namespace {

constexpr double microseconds = 1e6;

bool plays(player::PlaybackTarget::State state)
{
    using State = player::PlaybackTarget::State;
    return state == State::Playing || state == State::Buffering || state == State::Connecting;
}

} // namespace

DesktopLink::DesktopLink(player::EpisodeSession *session, QWidget *window, const QString &busAddress,
                         QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_window(window)
    , m_inhibitor(new desktop::ScreenInhibitor(this))
{
    connect(session, &player::EpisodeSession::episodeChanged, this, &DesktopLink::update);
    connect(session, &player::EpisodeSession::rateChanged, this, &DesktopLink::update);
    connect(session, &player::EpisodeSession::seeked, this, [this](double at) {
        if (m_mpris)
            m_mpris->notifySeeked(qint64(at * microseconds));
    });
    connect(session, &player::EpisodeSession::targetChanged, this, &DesktopLink::followTarget);
    followTarget();
    if (busAddress == QLatin1String("none"))
        return;
    m_bus = new desktop::SessionBus(this);
    connect(m_bus, &desktop::SessionBus::connected, this, &DesktopLink::connectBus);
    connect(m_bus, &desktop::SessionBus::unavailable, this, [](const QString &why) {
        qInfo("kinolark: no session bus for the media keys and the screen saver: %s", qPrintable(why));
    });
    m_bus->start(busAddress);
}

DesktopLink::~DesktopLink()
{
    // Before the program ends, not whenever the bus gets round to it.
    m_inhibitor->release();
}

void DesktopLink::followTarget()
{
    for (const QMetaObject::Connection &connection : std::exchange(m_targetConnections, {}))
        disconnect(connection);
    player::PlaybackTarget *target = m_session ? m_session->target() : nullptr;
    if (target) {
        m_targetConnections
            << connect(target, &player::PlaybackTarget::stateChanged, this, &DesktopLink::update)
            << connect(target, &player::PlaybackTarget::durationChanged, this, &DesktopLink::update)
            << connect(target, &player::PlaybackTarget::volumeChanged, this, &DesktopLink::update)
            << connect(target, &player::PlaybackTarget::positionChanged, this, [this](double at) {
                   if (m_mpris && std::isfinite(at))
                       m_mpris->setPosition(qint64(at * microseconds));
               });
    }
    update();
}

bool DesktopLink::screenKeptOn() const
{
    return m_inhibitor->isInhibited();
}

void DesktopLink::connectBus(const QDBusConnection &bus)
{
    m_inhibitor->setBus(bus);
    m_mpris = new desktop::MprisService(bus, this);
    player::EpisodeSession *session = m_session;
    connect(m_mpris, &desktop::MprisService::raiseRequested, this, [this] { bringToFront(m_window); });
    connect(m_mpris, &desktop::MprisService::quitRequested, m_window, &QWidget::close);
    connect(m_mpris, &desktop::MprisService::playRequested, session, [session] {
        if (session->target() && session->target()->state() == player::PlaybackTarget::State::Paused)
            session->togglePause();
    });
    connect(m_mpris, &desktop::MprisService::pauseRequested, session, [session] {
        if (session->target() && plays(session->target()->state()))
            session->togglePause();
    });
    connect(m_mpris, &desktop::MprisService::stopRequested, this, &DesktopLink::stopRequested);
    connect(m_mpris, &desktop::MprisService::nextRequested, session, &player::EpisodeSession::requestNext);
    connect(m_mpris, &desktop::MprisService::previousRequested, session, &player::EpisodeSession::requestPrevious);
    connect(m_mpris, &desktop::MprisService::seekRequested, session,
            [session](qint64 offset) { session->seekBy(double(offset) / microseconds); });
    connect(m_mpris, &desktop::MprisService::setPositionRequested, session,
            [session](qint64 at) { session->seekTo(double(at) / microseconds); });
    connect(m_mpris, &desktop::MprisService::rateRequested, session, &player::EpisodeSession::setRate);
    connect(m_mpris, &desktop::MprisService::volumeRequested, session,
            [session](double volume) { session->setVolume(int(std::lround(volume * 100))); });
    update();
}

void DesktopLink::update()
{
    player::EpisodeSession *session = m_session;
    player::PlaybackTarget *target = session ? session->target() : nullptr;
    const player::PlaybackTarget::State state = target ? target->state() : player::PlaybackTarget::State::Idle;
    const bool active = session && session->active() && target;
    m_inhibitor->setInhibited(active
                              && (state == player::PlaybackTarget::State::Playing
                                  || state == player::PlaybackTarget::State::Buffering));
    if (!m_mpris)
        return;
    desktop::MediaState media;
    if (active && (plays(state) || state == player::PlaybackTarget::State::Paused)) {
        media.status = state == player::PlaybackTarget::State::Paused ? desktop::MediaState::Status::Paused
                                                                      : desktop::MediaState::Status::Playing;
        media.key = QStringLiteral("%1-%2").arg(session->titleId()).arg(session->line());
        media.episode = session->episodeName(session->line()).trimmed();
        media.title = session->titleName();
        media.lengthUs = target->duration() > 0 ? qint64(target->duration() * microseconds) : 0;
        media.canGoNext = session->nextLine().has_value();
        media.canGoPrevious = session->previousLine().has_value();
        media.canSeek = target->duration() > 0;
    }
    media.rate = session ? session->rate() : 1;
    media.volume = target ? target->volume() / 100.0 : 1;
    m_mpris->setState(media);
    if (target)
        m_mpris->setPosition(qint64(target->position() * microseconds));
}

} // namespace kinolark::shell
