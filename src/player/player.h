#pragma once

#include "player/play_rules.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>

struct mpv_handle;
struct mpv_event;

namespace kinolark::player {

// One libmpv instance and what the user sees of it: the state of the current
// episode, its position and length, volume and mute. Started on first use;
// everything runs on the thread that owns it. Events from libmpv's own
// threads are queued to that thread.
class Player : public QObject
{
    Q_OBJECT
public:
    enum class State { Idle, Connecting, Buffering, Playing, Paused, Ended, Failed };

    struct Options
    {
        bool video = true;                 // false: no picture at all (tests)
        bool audio = true;                 // false: no sound device (tests)
        double networkTimeoutSeconds = 15; // a silent server counts as failed after this
    };

    // How one play ended: where it stopped and whether it got that far.
    struct Stop
    {
        QString address;
        double position = 0;
        double duration = 0;
        bool loaded = false;     // the media was opened; the position means something
        bool reachedEnd = false; // played to its natural end
    };

    explicit Player(Options options, QObject *parent = nullptr);
    ~Player() override;

    // libmpv, started now if it was not; null when it cannot start.
    mpv_handle *handle();
    // The protocols libmpv can open, and whether `address` is one the user's
    // player may open from a site.
    QStringList protocols();
    bool canPlay(const QString &address);

    // Plays `address` from `start` seconds, ending what played before.
    void play(const QString &address, double start = 0);
    // Ends the current episode; the player goes idle.
    void stop();
    void togglePause();
    void seekBy(double seconds);
    void seekTo(double seconds);
    void setVolume(int volume); // 0 to 100
    void setMuted(bool muted);

    State state() const { return m_state; }
    Failure failure() const { return m_failure; }
    QString address() const { return m_address; }
    double position() const { return m_position; }
    double duration() const { return m_duration; }
    int bufferPercent() const { return m_bufferPercent; }
    int volume() const { return m_volume; }
    bool muted() const { return m_muted; }
    // The state in a few words of Chinese, for the player area.
    QString stateText() const;

signals:
    void stateChanged();
    void positionChanged(double seconds);
    void durationChanged(double seconds);
    void volumeChanged();
    // A play ended, however it ended; emitted before the next one starts.
    void stopped(const kinolark::player::Player::Stop &stop);

private:
    static void wakeUp(void *context);
    Q_INVOKABLE void drainQueued();
    void handleEvent(const mpv_event &event);
    void setState(State state);
    void finishCurrent(bool reachedEnd);
    void updatePlayingState();
    bool setFlag(const char *name, bool value);

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
    QStringList m_log;           // warnings logged for the current episode
    std::optional<int> m_failedWith; // libmpv's error for the episode that just failed
};

} // namespace kinolark::player

Q_DECLARE_METATYPE(kinolark::player::Player::Stop)
