#pragma once

#include "player/play_rules.h"
#include "player/playback_target.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>

struct mpv_handle;
struct mpv_event;
struct mpv_node;

namespace kinolark::player {

// One audio, video or subtitle track of the episode playing.
struct Track
{
    enum class Kind { Video, Audio, Subtitle };
    Kind kind = Kind::Audio;
    qint64 id = 0;
    QString language;
    QString title;
    bool selected = false;
    bool external = false; // a file loaded by the user
};

// One libmpv instance and what the user sees of it: the state of the current
// episode, its position and length, speed, volume and mute, its tracks.
// Started on first use; everything runs on the thread that owns it. Events
// from libmpv's own threads are queued to that thread.
class Player : public PlaybackTarget
{
    Q_OBJECT
public:
    struct Options
    {
        bool video = true;                 // false: no picture at all (tests)
        bool audio = true;                 // false: no sound device (tests)
        double networkTimeoutSeconds = 15; // a silent server counts as failed after this
    };

    explicit Player(Options options, QObject *parent = nullptr);
    ~Player() override;

    // libmpv, started now if it was not; null when it cannot start.
    mpv_handle *handle();
    // The protocols libmpv can open, and whether `address` is one the user's
    // player may open from a site.
    QStringList protocols();
    bool canPlay(const QString &address);

    // The picture needs somewhere to go before anything plays: `ready`
    // makes it if it can and answers whether it exists. When it cannot
    // yet, a play waits for outputReady().
    void setOutput(std::function<bool()> ready) { m_outputReady = std::move(ready); }
    void outputReady();

    void play(const QString &address, double start = 0) override;
    bool playFile(const QString &path, double start = 0) override;
    void stop() override;
    void setPaused(bool paused) override;
    void togglePause();
    // Seeks land exactly where asked, not on the nearest key frame.
    void seekBy(double seconds) override;
    void seekTo(double seconds) override;
    bool setRate(double rate) override;
    void setVolume(int volume) override;
    void setMuted(bool muted) override;

    // The episode's tracks, and a choice among them for this episode only.
    QList<Track> tracks() const { return m_tracks; }
    bool selectTrack(Track::Kind kind, qint64 id); // id 0: none (subtitles off)
    // Loads a subtitle file the user picked; false, with the reason in
    // Chinese, when it cannot be shown.
    bool addSubtitleFile(const QString &path, QString *why);
    static constexpr qint64 subtitleFileLimit = 8 * 1024 * 1024;
    // The subtitle on screen now, as text.
    QString subtitleText() const;

    State state() const override { return m_state; }
    Failure failure() const { return m_failure; }
    QString address() const override { return m_address; }
    double position() const override { return m_position; }
    double duration() const override { return m_duration; }
    double rate() const { return m_rate; }
    int bufferPercent() const { return m_bufferPercent; }
    int volume() const override { return m_volume; }
    bool muted() const override { return m_muted; }
    // The state in a few words of Chinese, for the player area.
    QString stateText() const;

signals:
    void tracksChanged();

private:
    static void wakeUp(void *context);
    Q_INVOKABLE void drainQueued();
    void handleEvent(const mpv_event &event);
    void setState(State state);
    void finishCurrent(bool reachedEnd);
    void updatePlayingState();
    bool setFlag(const char *name, bool value);
    void readTracks(const mpv_node &list);
    void startNow(const QString &address, double start);
    void begin(const QString &address, double start, bool localFile);

    Options m_options;
    mpv_handle *m_mpv = nullptr;
    bool m_startFailed = false;
    std::atomic<bool> m_wakeupQueued{false};

    State m_state = State::Idle;
    Failure m_failure = Failure::None;
    QString m_address;
    bool m_active = false;       // an episode is between load and its end
    bool m_loaded = false;
    qint64 m_entry = -1;         // libmpv's playlist entry of the current episode; -1 while it is starting
    double m_position = 0;
    double m_duration = 0;
    bool m_paused = false;
    bool m_pausedForCache = false;
    int m_bufferPercent = 0;
    int m_volume = 100;
    bool m_muted = false;
    double m_rate = 1;
    QList<Track> m_tracks;
    std::function<bool()> m_outputReady;
    std::optional<std::pair<QString, double>> m_waiting; // a play waiting for the picture's output
    QStringList m_log;           // warnings logged for the current episode
    std::optional<int> m_failedWith; // libmpv's error for the episode that just failed
};

} // namespace kinolark::player


