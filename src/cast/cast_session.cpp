#include "cast/gupnp_includes.h"

#include "cast/cast_session.h"

#include "cast/cast_log.h"
#include "cast/cast_metadata.h"
#include "cast/cast_text.h"
#include "cast/renderer_device.h"
#include "cast/transport_time.h"

#include <algorithm>
#include <memory>

namespace kinolark::cast {

namespace {
const SoapCall::Arguments instance{{QByteArrayLiteral("InstanceID"), QStringLiteral("0")}};
const SoapCall::Arguments master{{QByteArrayLiteral("InstanceID"), QStringLiteral("0")},
                                 {QByteArrayLiteral("Channel"), QStringLiteral("Master")}};
} // namespace

// The two answers of one round of polling.
struct CastSession::PollRound
{
    quint64 commands = 0;
    int left = 2;
    SoapResult transport;
    SoapResult position;
};

CastSession::CastSession(QObject *parent)
    : QObject(parent)
{
    m_clock.start();
    connect(&m_pollTimer, &QTimer::timeout, this, &CastSession::poll);
}

CastSession::~CastSession() = default;

void CastSession::setRenderer(const Renderer &renderer)
{
    if (isActive())
        stop();
    m_renderer = renderer;
    m_volume = -1;
    m_muted = false;
}

bool CastSession::hasVolume() const
{
    return m_renderer.device && m_renderer.device->renderingControl();
}

void CastSession::start(const Renderer &renderer, const QString &address, const QString &title, double startSeconds)
{
    setRenderer(renderer);
    setTitle(title);
    play(address, startSeconds);
}

void CastSession::call(bool rendering, const char *action, const SoapCall::Arguments &in,
                       const QList<QByteArray> &out, Done done)
{
    const RendererDevice *device = m_renderer.device.get();
    GUPnPServiceProxy *service = !device ? nullptr : rendering ? device->renderingControl() : device->avTransport();
    if (!service)
        return;
    auto *soap = new SoapCall(service, action, in, out, m_timing.answerTimeoutMs, this);
    const quint64 generation = m_generation;
    connect(soap, &SoapCall::finished, this, [this, generation, done = std::move(done)](const SoapResult &result) {
        if (!result.noAnswer())
            m_lastAnswer = m_clock.elapsed();
        if (generation == m_generation)
            done(result);
    });
}

void CastSession::cancelCalls()
{
    ++m_generation;
    m_polling = false;
    m_pollTimer.stop();
    // Later, not now: one of them may be the sender of the answer being handled.
    for (SoapCall *soap : findChildren<SoapCall *>(Qt::FindDirectChildrenOnly)) {
        soap->disconnect(this);
        soap->deleteLater();
    }
}

void CastSession::play(const QString &address, double startSeconds)
{
    cancelCalls();
    m_address = address.trimmed();
    m_startAt = std::max(0.0, startSeconds);
    m_startSeek = m_startAt > 0;
    m_startSeekTries = 0;
    m_position = m_startAt;
    m_duration = 0;
    m_deviceLost = false;
    m_reachedPlaying = false;
    m_errorText.clear();
    if (!m_renderer.isValid()) {
        fail(CastText::noRenderer());
        return;
    }
    if (!isCastable(m_address)) {
        fail(CastText::notCastable());
        return;
    }
    setState(State::Starting);
    emit positionChanged(m_position, m_duration);
    m_lastAnswer = m_clock.elapsed();
    const int timeout = m_timing.answerTimeoutMs / 1000;
    const QString metadata = didlLiteFor(m_title, m_address);
    call(false, "Stop", instance, {}, [this, metadata, timeout](const SoapResult &stopped) {
        // A fault is fine here: there was nothing to stop.
        if (stopped.noAnswer()) {
            fail(CastText::callFailed(deviceName(), stopped, CastText::Asked::Command, timeout));
            return;
        }
        SoapCall::Arguments uri = instance;
        uri << qMakePair(QByteArrayLiteral("CurrentURI"), m_address)
            << qMakePair(QByteArrayLiteral("CurrentURIMetaData"), metadata);
        call(false, "SetAVTransportURI", uri, {}, [this, timeout](const SoapResult &set) {
            if (!set.ok()) {
                fail(CastText::callFailed(deviceName(), set, CastText::Asked::Address, timeout));
                return;
            }
            SoapCall::Arguments speed = instance;
            speed << qMakePair(QByteArrayLiteral("Speed"), QStringLiteral("1"));
            call(false, "Play", speed, {}, [this, timeout](const SoapResult &played) {
                if (!played.ok()) {
                    fail(CastText::callFailed(deviceName(), played, CastText::Asked::Command, timeout));
                    return;
                }
                m_playSent = m_clock.elapsed();
                m_pollTimer.start(m_timing.startPollMs);
                poll();
            });
        });
    });
}

void CastSession::poll()
{
    if (m_polling || !isActive())
        return;
    m_polling = true;
    auto round = std::make_shared<PollRound>();
    round->commands = m_commands;
    auto answered = [this, round] {
        if (--round->left == 0) {
            m_polling = false;
            polled(*round);
        }
    };
    call(false, "GetTransportInfo", instance,
         {QByteArrayLiteral("CurrentTransportState"), QByteArrayLiteral("CurrentTransportStatus")},
         [round, answered](const SoapResult &result) {
             round->transport = result;
             answered();
         });
    call(false, "GetPositionInfo", instance, {QByteArrayLiteral("RelTime"), QByteArrayLiteral("TrackDuration")},
         [round, answered](const SoapResult &result) {
             round->position = result;
             answered();
         });
}

void CastSession::polled(const PollRound &round)
{
    const qint64 now = m_clock.elapsed();
    if (round.transport.noAnswer() || round.position.noAnswer()) {
        const bool timedOut = round.transport.failure == SoapResult::Failure::Timeout
                              || round.position.failure == SoapResult::Failure::Timeout;
        if (timedOut || now - m_lastAnswer >= m_timing.unreachableMs)
            lose();
        return;
    }
    // A pause or seek went out after this round was asked: its answer may be older than the command.
    if (round.commands != m_commands)
        return;
    const QString state = round.transport.out.value("CurrentTransportState");
    const QString status = round.transport.out.value("CurrentTransportStatus");
    const double reported = parseTransportTime(round.position.out.value("RelTime"));
    const double length = parseTransportTime(round.position.out.value("TrackDuration"));
    const bool stopped = state == QLatin1String("STOPPED") || state == QLatin1String("NO_MEDIA_PRESENT");
    if (length > 0 && length != m_duration) {
        m_duration = length;
        emit positionChanged(m_position, m_duration);
    }

    if (status == QLatin1String("ERROR_OCCURRED")) {
        fail(CastText::playbackError(deviceName()));
        return;
    }
    if (m_state == State::Starting) {
        if (state == QLatin1String("PLAYING")) {
            m_reachedPlaying = true;
            setState(State::Playing);
            m_playingSince = now;
            m_progressed = false;
            m_pollTimer.start(m_timing.pollMs);
            queryVolume();
            if (!m_startSeek && reported >= 0)
                setPosition(reported);
            seekToStart(reported);
        } else if (stopped && now - m_playSent >= m_timing.stoppedAtStartMs) {
            fail(CastText::neverPlayed(deviceName()));
        } else if (now - m_playSent >= m_timing.startTimeoutMs) {
            fail(CastText::neverPlayed(deviceName()));
        }
        return;
    }
    if (stopped) {
        // Keep the last position: many TVs say 0:00:00 once stopped.
        if (nearEnd(std::max(reported, m_position)))
            finishEnded();
        else
            fail(CastText::stoppedByItself(deviceName()));
        return;
    }
    if (m_startSeek) {
        // Until the TV is where it should start, its position says nothing.
        seekToStart(reported);
        return;
    }
    if (reported >= 0)
        setPosition(reported);
    m_progressed = m_progressed || reported > 0;
    if (state == QLatin1String("PLAYING")) {
        setState(State::Playing);
        // Some TVs go on saying PLAYING at 0:00:00 when they cannot play the stream at all.
        if (!m_progressed && now - m_playingSince >= m_timing.noProgressMs) {
            fail(CastText::neverPlayed(deviceName()));
            return;
        }
        // Some TVs stay PLAYING at the very end.
        if (m_duration > 0 && reported >= m_duration - 0.5)
            finishEnded();
    } else if (state == QLatin1String("PAUSED_PLAYBACK")) {
        setState(State::Paused);
    }
}

void CastSession::seekToStart(double reported)
{
    if (!m_startSeek)
        return;
    if (m_startSeekTries > 0 && reported >= m_startAt - 3) {
        m_startSeek = false;
        setPosition(reported);
        return;
    }
    // A TV still prerolling ignores a seek: wait until it knows the stream.
    const bool ready = m_duration > 0 || reported > 0 || m_clock.elapsed() - m_playingSince >= m_timing.startSeekAfterMs;
    if (!ready)
        return;
    if (m_startSeekTries == 2) {
        m_startSeek = false; // it will not: play on from where it is
        return;
    }
    ++m_startSeekTries;
    ++m_commands;
    sendSeek(m_startAt);
}

bool CastSession::nearEnd(double position) const
{
    return m_duration > 0 && position >= m_duration - m_timing.nearEndSeconds;
}

void CastSession::commandDone(const SoapResult &result, const std::function<void()> &onSuccess)
{
    if (result.ok()) {
        if (onSuccess)
            onSuccess();
        return;
    }
    if (result.noAnswer() && m_clock.elapsed() - m_lastAnswer >= m_timing.unreachableMs) {
        lose();
        return;
    }
    emit commandFailed(CastText::callFailed(deviceName(), result, CastText::Asked::Command,
                                            m_timing.answerTimeoutMs / 1000));
}

void CastSession::pause()
{
    if (m_state != State::Playing)
        return;
    ++m_commands;
    call(false, "Pause", instance, {}, [this](const SoapResult &result) {
        commandDone(result, [this] { setState(State::Paused); });
    });
}

void CastSession::resume()
{
    if (m_state != State::Paused)
        return;
    ++m_commands;
    SoapCall::Arguments speed = instance;
    speed << qMakePair(QByteArrayLiteral("Speed"), QStringLiteral("1"));
    call(false, "Play", speed, {}, [this](const SoapResult &result) {
        commandDone(result, [this] { setState(State::Playing); });
    });
}

void CastSession::seekTo(double seconds)
{
    seconds = std::max(0.0, seconds);
    if (m_duration > 0)
        seconds = std::min(seconds, m_duration);
    if (m_state == State::Starting || m_startSeek) {
        // Once it plays.
        m_startAt = seconds;
        m_startSeek = true;
        setPosition(seconds);
        return;
    }
    if (m_state != State::Playing && m_state != State::Paused)
        return;
    ++m_commands;
    setPosition(seconds);
    sendSeek(seconds);
}

void CastSession::sendSeek(double seconds)
{
    SoapCall::Arguments target = instance;
    target << qMakePair(QByteArrayLiteral("Unit"), QStringLiteral("REL_TIME"))
           << qMakePair(QByteArrayLiteral("Target"), formatTransportTime(seconds));
    call(false, "Seek", target, {}, [this](const SoapResult &result) { commandDone(result, {}); });
}

void CastSession::stop()
{
    const bool wasActive = isActive();
    cancelCalls();
    if (!wasActive)
        return;
    setState(State::Stopped);
    // Nobody waits for the answer: the TV stops, or it had stopped already.
    call(false, "Stop", instance, {}, [](const SoapResult &) {});
}

void CastSession::setVolume(int percent)
{
    if (!hasVolume() || !isActive())
        return;
    SoapCall::Arguments desired = master;
    desired << qMakePair(QByteArrayLiteral("DesiredVolume"), QString::number(std::clamp(percent, 0, 100)));
    call(true, "SetVolume", desired, {}, [this](const SoapResult &result) {
        commandDone(result, [this] { queryVolume(); });
    });
}

void CastSession::setMuted(bool muted)
{
    if (!hasVolume() || !isActive())
        return;
    SoapCall::Arguments desired = master;
    desired << qMakePair(QByteArrayLiteral("DesiredMute"), muted ? QStringLiteral("1") : QStringLiteral("0"));
    call(true, "SetMute", desired, {}, [this](const SoapResult &result) {
        commandDone(result, [this] { queryVolume(); });
    });
}

void CastSession::queryVolume()
{
    if (!hasVolume())
        return;
    // What the TV says, not what was asked: it may cap or step the volume.
    call(true, "GetVolume", master, {QByteArrayLiteral("CurrentVolume")}, [this](const SoapResult &result) {
        bool ok = false;
        const int volume = result.out.value("CurrentVolume").toInt(&ok);
        if (result.ok() && ok && volume != m_volume) {
            m_volume = std::clamp(volume, 0, 100);
            emit volumeChanged(m_volume, m_muted);
        }
    });
    call(true, "GetMute", master, {QByteArrayLiteral("CurrentMute")}, [this](const SoapResult &result) {
        const QString text = result.out.value("CurrentMute").trimmed().toLower();
        const bool muted = text == QLatin1String("1") || text == QLatin1String("true");
        if (result.ok() && !text.isEmpty() && muted != m_muted) {
            m_muted = muted;
            emit volumeChanged(m_volume, m_muted);
        }
    });
}

void CastSession::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void CastSession::setPosition(double position)
{
    if (position == m_position)
        return;
    m_position = position;
    emit positionChanged(m_position, m_duration);
}

void CastSession::fail(const QString &text)
{
    cancelCalls();
    qCWarning(castLog).noquote() << "cast session failed:" << text;
    m_errorText = text;
    setState(State::Failed);
    emit failed(text);
}

void CastSession::lose()
{
    m_deviceLost = true;
    fail(CastText::unreachable(deviceName()));
}

void CastSession::finishEnded()
{
    cancelCalls();
    if (m_duration > 0)
        setPosition(m_duration);
    setState(State::Stopped);
    emit ended();
}

} // namespace kinolark::cast
