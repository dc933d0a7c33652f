#include "player/player.h"

#include "player/mpv_library.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QStringDecoder>

#include <clocale>
#include <cmath>

namespace kinolark::player {

namespace {

// Properties watched, by the reply id libmpv hands back with each change.
enum Watched : quint64 { TimePos = 1, Duration, Pause, PausedForCache, CacheState, Volume, Mute, TrackList };

constexpr int keptLogLines = 40;
// An end of stream this far before the known length is a broken stream.
constexpr double cutMargin = 1.5;

} // namespace

Player::Player(Options options, QObject *parent)
    : PlaybackTarget(parent)
    , m_options(options)
{
    qRegisterMetaType<PlaybackTarget::Stop>();
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
        // Chinese subtitles in an installed font.
        {"sub-font", "WenQuanYi Zen Hei"},
        // Another speed keeps the pitch.
        {"audio-pitch-correction", "yes"},
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
    MpvLibrary::get().observe_property(mpv, TrackList, "track-list", MPV_FORMAT_NODE);
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

void Player::outputReady()
{
    if (!m_waiting)
        return;
    const auto [address, start] = *std::exchange(m_waiting, std::nullopt);
    startNow(address, start);
}

void Player::play(const QString &address, double start)
{
    begin(address, start, false);
}

bool Player::playFile(const QString &path, double start)
{
    // A file the program itself kept, by its path: never an address.
    const QFileInfo file(path);
    if (!file.isAbsolute() || !file.isFile() || !file.isReadable() || path.contains(QLatin1String("://")))
        return false;
    begin(file.absoluteFilePath(), start, true);
    return true;
}

void Player::begin(const QString &address, double start, bool localFile)
{
    m_waiting.reset();
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
    if (!localFile && !canPlay(address)) {
        m_failure = Failure::Format;
        setState(State::Failed);
        return;
    }
    setFlag("pause", false);
    m_paused = false;
    if (m_tracks.size()) {
        m_tracks.clear();
        emit tracksChanged();
    }
    // The picture's output first: libmpv plays into it from the start.
    if (m_options.video && m_outputReady && !m_outputReady()) {
        m_waiting = std::make_pair(address, start);
        setState(State::Connecting);
        return;
    }
    startNow(address, start);
}

void Player::startNow(const QString &address, double start)
{
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
    m_waiting.reset();
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
    setPaused(!m_paused);
}

void Player::setPaused(bool paused)
{
    if (m_active && m_loaded)
        setFlag("pause", paused);
}

void Player::seekBy(double seconds)
{
    if (!m_active || !m_loaded || !std::isfinite(seconds))
        return;
    const QByteArray amount = QByteArray::number(seconds, 'f', 3);
    const char *command[] = {"seek", amount.constData(), "relative+exact", nullptr};
    MpvLibrary::get().command(m_mpv, command);
}

void Player::seekTo(double seconds)
{
    if (!m_active || !m_loaded || !std::isfinite(seconds))
        return;
    const QByteArray to = QByteArray::number(qMax(seconds, 0.0), 'f', 3);
    const char *command[] = {"seek", to.constData(), "absolute+exact", nullptr};
    MpvLibrary::get().command(m_mpv, command);
}

bool Player::setRate(double rate)
{
    if (!std::isfinite(rate) || rate <= 0)
        return false;
    m_rate = rate;
    if (!handle())
        return false;
    return MpvLibrary::get().set_property(m_mpv, "speed", MPV_FORMAT_DOUBLE, &rate) >= 0;
}

bool Player::selectTrack(Track::Kind kind, qint64 id)
{
    if (!m_mpv || kind == Track::Kind::Video)
        return false;
    const char *property = kind == Track::Kind::Audio ? "aid" : "sid";
    const QByteArray value = id > 0 ? QByteArray::number(id) : QByteArrayLiteral("no");
    return MpvLibrary::get().set_property_string(m_mpv, property, value.constData()) >= 0;
}

QString Player::subtitleText() const
{
    if (!m_mpv)
        return QString();
    char *text = nullptr;
    if (MpvLibrary::get().get_property(m_mpv, "sub-text", MPV_FORMAT_STRING, &text) < 0 || !text)
        return QString();
    const QString shown = QString::fromUtf8(text);
    MpvLibrary::get().free(text);
    return shown;
}

bool Player::addSubtitleFile(const QString &path, QString *why)
{
    const QFileInfo file(path);
    static const QStringList kinds{QStringLiteral("srt"), QStringLiteral("ass"), QStringLiteral("ssa"),
                                   QStringLiteral("vtt")};
    // Only a file of the user's own: a path, never an address.
    if (!file.isAbsolute() || !file.isFile() || !file.isReadable()) {
        *why = QStringLiteral("找不到这个字幕文件");
        return false;
    }
    if (!kinds.contains(file.suffix().toLower())) {
        *why = QStringLiteral("只能加载 .srt、.ass、.ssa 或 .vtt 字幕文件");
        return false;
    }
    if (file.size() > subtitleFileLimit) {
        *why = QStringLiteral("字幕文件过大，无法加载");
        return false;
    }
    if (!m_active || !m_loaded || !m_mpv) {
        *why = QStringLiteral("请在视频播放时加载字幕");
        return false;
    }
    // libmpv's guess on a short file is often a Western code page; Chinese
    // subtitles that are not UTF-8 are GBK's superset.
    QFile text(file.absoluteFilePath());
    if (!text.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("找不到这个字幕文件");
        return false;
    }
    const QByteArray bytes = text.readAll();
    const char *codepage = "gb18030";
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        codepage = "utf-16";
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString decoded = utf8.decode(bytes);
        if (!utf8.hasError())
            codepage = "utf-8";
    }
    MpvLibrary::get().set_property_string(m_mpv, "sub-codepage", codepage);
    const QByteArray local = QFile::encodeName(file.absoluteFilePath());
    const char *command[] = {"sub-add", local.constData(), "select", nullptr};
    if (MpvLibrary::get().command(m_mpv, command) < 0) {
        *why = QStringLiteral("这个文件不是可以显示的字幕");
        return false;
    }
    return true;
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
        case TrackList:
            if (has)
                readTracks(*static_cast<const mpv_node *>(property->data));
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

void Player::readTracks(const mpv_node &list)
{
    QList<Track> tracks;
    if (list.format == MPV_FORMAT_NODE_ARRAY) {
        for (int i = 0; i < list.u.list->num; ++i) {
            const mpv_node &entry = list.u.list->values[i];
            if (entry.format != MPV_FORMAT_NODE_MAP)
                continue;
            Track track;
            QString type;
            for (int k = 0; k < entry.u.list->num; ++k) {
                const QByteArray key(entry.u.list->keys[k]);
                const mpv_node &value = entry.u.list->values[k];
                if (value.format == MPV_FORMAT_STRING) {
                    const QString text = QString::fromUtf8(value.u.string);
                    if (key == "type")
                        type = text;
                    else if (key == "lang")
                        track.language = text;
                    else if (key == "title")
                        track.title = text;
                } else if (value.format == MPV_FORMAT_INT64 && key == "id") {
                    track.id = value.u.int64;
                } else if (value.format == MPV_FORMAT_FLAG) {
                    if (key == "selected")
                        track.selected = value.u.flag != 0;
                    else if (key == "external")
                        track.external = value.u.flag != 0;
                }
            }
            if (type == QLatin1String("audio"))
                track.kind = Track::Kind::Audio;
            else if (type == QLatin1String("sub"))
                track.kind = Track::Kind::Subtitle;
            else if (type == QLatin1String("video"))
                track.kind = Track::Kind::Video;
            else
                continue;
            tracks << track;
        }
    }
    m_tracks = tracks;
    emit tracksChanged();
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
