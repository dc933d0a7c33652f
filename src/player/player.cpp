#include "player/player.h"

#include "player/mpv_library.h"

#include <QMetaObject>

#include <clocale>

namespace kinolark::player {

namespace {

// Properties watched, by the reply id libmpv hands back with each change.
enum Watched : quint64 { TimePos = 1, Duration, Pause, PausedForCache, CacheState, Volume, Mute };

constexpr int keptLogLines = 40;
// An end of stream this far before the known length is a broken stream.
constexpr double cutMargin = 1.5;

} // namespace

Player::Player(Options options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
    qRegisterMetaType<Stop>();
}

Player::~Player()
{
    if (!m_mpv)
        return;
    MpvLibrary::get().set_wakeup_callback(m_mpv, nullptr, nullptr);
    MpvLibrary::get().terminate_destroy(m_mpv);
}

void Player::wakeUp(void *context)
{
    // On a libmpv thread: only queue the work to the player's thread, once
    // until it has run.
    auto *player = static_cast<Player *>(context);
    if (!player->m_wakeupQueued.exchange(true))
        QMetaObject::invokeMethod(player, "drainQueued", Qt::QueuedConnection);
}

mpv_handle *Player::handle()
{
    if (m_mpv || m_startFailed)
        return m_mpv;
    // libmpv refuses to start unless numbers are read and written the C way.
    std::setlocale(LC_NUMERIC, "C");
    const MpvLibrary *library = MpvLibrary::load();
    mpv_handle *mpv = library ? library->create() : nullptr;
    if (!mpv) {
        m_startFailed = true;
        return nullptr;
    }
    const QByteArray timeout = QByteArray::number(m_options.networkTimeoutSeconds, 'f', 1);
    // What a stream opens in turn (segments, keys, redirects) is held to
    // the streaming protocols too.
    const QByteArray whitelist = QByteArrayLiteral("protocol_whitelist=[") + nestedProtocols() + ']';
    const std::initializer_list<std::pair<const char *, const char *>> settings{
        // Nothing from the user's mpv set-up, no scripts, no keys or window
        // of libmpv's own: this program draws and controls the video.
        {"config", "no"},
        {"terminal", "no"},
        {"load-scripts", "no"},
        {"ytdl", "no"},
        {"osc", "no"},
        {"load-stats-overlay", "no"},
        {"load-osd-console", "no"},
        {"load-auto-profiles", "no"},
        {"input-default-bindings", "no"},
        {"input-vo-keyboard", "no"},
        {"sub-auto", "no"},
        {"idle", "yes"},
        {"keep-open", "no"},
        {"hwdec", "no"},
        {"vo", m_options.video ? "libmpv" : "null"},
        {"ao", m_options.audio ? "" : "null"},
        // Without a sound device the picture still plays, silently.
        {"audio-fallback-to-null", "yes"},
        {"network-timeout", timeout.constData()},
        {"demuxer-lavf-o", whitelist.constData()},
        {"stream-lavf-o", whitelist.constData()},
        // Read ahead enough for smooth playing, not a whole film.
        {"demuxer-max-bytes", "32MiB"},
        {"demuxer-max-back-bytes", "8MiB"},
        {"audio-client-name", "kinolark"},
    };
    for (const auto &[name, value] : settings) {
        if (*value)
            MpvLibrary::get().set_option_string(mpv, name, value);
    }
    if (MpvLibrary::get().initialize(mpv) < 0) {
        MpvLibrary::get().terminate_destroy(mpv);
        m_startFailed = true;
        return nullptr;
    }
    MpvLibrary::get().request_log_messages(mpv, "warn");
    MpvLibrary::get().observe_property(mpv, TimePos, "time-pos", MPV_FORMAT_DOUBLE);
    MpvLibrary::get().observe_property(mpv, Duration, "duration", MPV_FORMAT_DOUBLE);
    MpvLibrary::get().observe_property(mpv, Pause, "pause", MPV_FORMAT_FLAG);
    MpvLibrary::get().observe_property(mpv, PausedForCache, "paused-for-cache", MPV_FORMAT_FLAG);
    MpvLibrary::get().observe_property(mpv, CacheState, "cache-buffering-state", MPV_FORMAT_INT64);
    MpvLibrary::get().observe_property(mpv, Volume, "volume", MPV_FORMAT_DOUBLE);
    MpvLibrary::get().observe_property(mpv, Mute, "mute", MPV_FORMAT_FLAG);
    m_mpv = mpv;
    MpvLibrary::get().set_wakeup_callback(m_mpv, wakeUp, this);
    return m_mpv;
}

QStringList Player::protocols()
{
    QStringList list;
    if (!handle())
        return list;
    mpv_node node;
    if (MpvLibrary::get().get_property(m_mpv, "protocol-list", MPV_FORMAT_NODE, &node) < 0)
        return list;
    if (node.format == MPV_FORMAT_NODE_ARRAY) {
        for (int i = 0; i < node.u.list->num; ++i) {
            const mpv_node &item = node.u.list->values[i];
            if (item.format == MPV_FORMAT_STRING)
                list << QString::fromUtf8(item.u.string);
        }
    }
    MpvLibrary::get().free_node_contents(&node);
    return list;
}

bool Player::canPlay(const QString &address)
{
    return canOpen(address, protocols());
}

void Player::play(const QString &address, double start)
{
    if (m_active)
        finishCurrent(false);
    m_address = address;
    m_failure = Failure::None;
    m_failedWith.reset();
    m_position = start > 0 ? start : 0;
    m_duration = 0;
    m_loaded = false;
    m_pausedForCache = false;
    m_bufferPercent = 0;
    m_log.clear();
    emit positionChanged(m_position);
    emit durationChanged(0);
    if (!handle()) {
        m_failure = Failure::NoPlayer;
        setState(State::Failed);
        return;
    }
    if (!canPlay(address)) {
        m_failure = Failure::Format;
        setState(State::Failed);
        return;
    }
    setFlag("pause", false);
    m_paused = false;
    const QByteArray url = address.toUtf8();
    const QByteArray options = start > 0 ? "start=" + QByteArray::number(start, 'f', 3) : QByteArray();
    const char *command[] = {"loadfile", url.constData(), "replace", options.isEmpty() ? nullptr : options.constData(),
                             nullptr};
    m_active = true;
    m_entry = -1;
    if (MpvLibrary::get().command(m_mpv, command) < 0) {
        m_active = false;
        m_failure = Failure::Format;
        setState(State::Failed);
        return;
    }
    setState(State::Connecting);
}

void Player::stop()
{
    m_failedWith.reset();
    if (m_active) {
        finishCurrent(false);
        const char *command[] = {"stop", nullptr};
        MpvLibrary::get().command(m_mpv, command);
    }
    setState(State::Idle);
}

void Player::togglePause()
{
    if (m_active && m_loaded)
        setFlag("pause", !m_paused);
}

void Player::seekBy(double seconds)
{
    if (!m_active || !m_loaded)
        return;
    const QByteArray amount = QByteArray::number(seconds, 'f', 3);
    const char *command[] = {"seek", amount.constData(), "relative", nullptr};
    MpvLibrary::get().command(m_mpv, command);
}

void Player::seekTo(double seconds)
{
    if (!m_active || !m_loaded)
        return;
    const QByteArray to = QByteArray::number(qMax(seconds, 0.0), 'f', 3);
    const char *command[] = {"seek", to.constData(), "absolute", nullptr};
    MpvLibrary::get().command(m_mpv, command);
}

void Player::setVolume(int volume)
{
    volume = qBound(0, volume, 100);
    if (handle()) {
        double value = volume;
        MpvLibrary::get().set_property(m_mpv, "volume", MPV_FORMAT_DOUBLE, &value);
    }
    if (m_volume != volume) {
        m_volume = volume;
        emit volumeChanged();
    }
}

void Player::setMuted(bool muted)
{
    if (handle())
        setFlag("mute", muted);
    if (m_muted != muted) {
        m_muted = muted;
        emit volumeChanged();
    }
}

bool Player::setFlag(const char *name, bool value)
{
    int flag = value ? 1 : 0;
    return m_mpv && MpvLibrary::get().set_property(m_mpv, name, MPV_FORMAT_FLAG, &flag) >= 0;
}

QString Player::stateText() const
{
    switch (m_state) {
    case State::Idle:
        return QString();
    case State::Connecting:
        return QStringLiteral("正在连接…");
    case State::Buffering:
        return QStringLiteral("正在缓冲 %1%").arg(m_bufferPercent);
    case State::Playing:
        return QStringLiteral("正在播放");
    case State::Paused:
        return QStringLiteral("已暂停");
    case State::Ended:
        return QStringLiteral("播放结束");
    case State::Failed:
        return failureText(m_failure);
    }
    return QString();
}

void Player::drainQueued()
{
    m_wakeupQueued = false;
    if (!m_mpv)
        return;
    for (;;) {
        const mpv_event *event = MpvLibrary::get().wait_event(m_mpv, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
    }
    if (m_failedWith) {
        m_failure = classifyFailure(*m_failedWith, m_log);
        m_failedWith.reset();
        setState(State::Failed);
    }
}

void Player::handleEvent(const mpv_event &event)
{
    switch (event.event_id) {
    case MPV_EVENT_LOG_MESSAGE: {
        const auto *log = static_cast<const mpv_event_log_message *>(event.data);
        if (!m_active && !m_failedWith)
            break;
        m_log << QString::fromUtf8(log->prefix) + QStringLiteral(": ") + QString::fromUtf8(log->text).trimmed();
        if (m_log.size() > keptLogLines)
            m_log.removeFirst();
        break;
    }
    case MPV_EVENT_START_FILE: {
        const auto *start = static_cast<const mpv_event_start_file *>(event.data);
        if (m_active && m_entry < 0)
            m_entry = start->playlist_entry_id;
        break;
    }
    case MPV_EVENT_FILE_LOADED:
        if (m_active && m_entry >= 0) {
            m_loaded = true;
            updatePlayingState();
        }
        break;
    case MPV_EVENT_END_FILE: {
        const auto *end = static_cast<const mpv_event_end_file *>(event.data);
        if (!m_active || end->playlist_entry_id != m_entry)
            break;
        if (end->reason == MPV_END_FILE_REASON_REDIRECT) {
            m_entry = -1; // a playlist: its first entry plays next
            break;
        }
        if (end->reason == MPV_END_FILE_REASON_EOF && m_loaded) {
            const bool cut = m_duration > 0 && m_position < m_duration - cutMargin;
            finishCurrent(!cut);
            m_failure = cut ? Failure::Interrupted : Failure::None;
            setState(cut ? State::Failed : State::Ended);
        } else if (end->reason == MPV_END_FILE_REASON_EOF || end->reason == MPV_END_FILE_REASON_ERROR) {
            // libmpv hands out its log after its other events: the warnings
            // that tell why are read first, at the end of this round.
            m_failedWith = end->error;
            finishCurrent(false);
        }
        break;
    }
    case MPV_EVENT_PROPERTY_CHANGE: {
        const auto *property = static_cast<const mpv_event_property *>(event.data);
        const bool has = property->data != nullptr;
        switch (event.reply_userdata) {
        case TimePos:
            if (has && m_active && m_loaded) {
                m_position = *static_cast<const double *>(property->data);
                emit positionChanged(m_position);
            }
            break;
        case Duration:
            if (m_active) {
                m_duration = has ? *static_cast<const double *>(property->data) : 0;
                emit durationChanged(m_duration);
            }
            break;
        case Pause:
            m_paused = has && *static_cast<const int *>(property->data) != 0;
            updatePlayingState();
            break;
        case PausedForCache:
            m_pausedForCache = has && *static_cast<const int *>(property->data) != 0;
            updatePlayingState();
            break;
        case CacheState:
            if (has) {
                m_bufferPercent = int(qBound(qint64(0), *static_cast<const qint64 *>(property->data), qint64(100)));
                if (m_state == State::Buffering)
                    emit stateChanged();
            }
            break;
        case Volume:
            if (has) {
                const int volume = qRound(*static_cast<const double *>(property->data));
                if (volume != m_volume) {
                    m_volume = volume;
                    emit volumeChanged();
                }
            }
            break;
        case Mute:
            if (has) {
                const bool muted = *static_cast<const int *>(property->data) != 0;
                if (muted != m_muted) {
                    m_muted = muted;
                    emit volumeChanged();
                }
            }
            break;
        default:
            break;
        }
        break;
    }
    default:
        break;
    }
}

void Player::updatePlayingState()
{
    if (!m_active)
        return;
    if (!m_loaded)
        setState(m_pausedForCache ? State::Buffering : State::Connecting);
    else if (m_pausedForCache)
        setState(State::Buffering);
    else
        setState(m_paused ? State::Paused : State::Playing);
}

void Player::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged();
}

void Player::finishCurrent(bool reachedEnd)
{
    Stop stop;
    stop.address = m_address;
    stop.position = m_position;
    stop.duration = m_duration;
    stop.loaded = m_loaded;
    stop.reachedEnd = reachedEnd;
    m_active = false;
    m_entry = -1;
    emit stopped(stop);
}

} // namespace kinolark::player
