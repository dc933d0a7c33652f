#pragma once

#include "cast/renderer.h"
#include "cast/soap_call.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace kinolark::cast {

// How long a cast session waits for what; tests shorten them.
struct CastTiming
{
    int answerTimeoutMs = 5000; // one SOAP call
    int pollMs = 1000;          // GetTransportInfo and GetPositionInfo while casting
    int startPollMs = 100;      // the same between Play and PLAYING
    int startTimeoutMs = 20000; // Play to PLAYING
    int stoppedAtStartMs = 2000; // STOPPED this long after Play: the TV could not play it
    int startSeekAfterMs = 3000; // PLAYING this long without a duration: seek to the start anyway
    int unreachableMs = 5000;   // no answer this long mid-episode: the TV is gone
    int noProgressMs = 15000;   // PLAYING this long and still at 0:00:00: it cannot play it
    double nearEndSeconds = 3;  // STOPPED this close to the end is the episode's end
};

// One episode played on one renderer: "where the episode plays" when that
// is the TV. Every call to the TV is asynchronous, with a deadline.
//
// play() sends Stop (some TVs refuse a new address with 705 "transport
// locked" otherwise), SetAVTransportURI with DIDL-Lite metadata, and Play;
// once the TV reports PLAYING and knows the stream (a duration, or a
// position) it seeks to the start position, if any, and again if it
// ignored that (a TV still prerolling may). From
// then on the TV is asked for its state and position every second: its own
// pause or play (a remote control) shows in state(); STOPPED near the end
// is ended(); STOPPED elsewhere, or a playback error, is failed(); and a TV
// that stops answering is failed() within seconds, with deviceLost() set and
// position() at the last position it reported, to go on in the built-in
// player from there. Deleting the session leaves the TV as it is.
class CastSession : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Idle,     // nothing cast yet
        Starting, // Stop, SetAVTransportURI, Play sent; waiting for PLAYING
        Playing,
        Paused,
        Stopped, // stop(), or the episode ended
        Failed,  // see errorText()
    };
    Q_ENUM(State)

    explicit CastSession(QObject *parent = nullptr);
    ~CastSession() override;

    void setTiming(const CastTiming &timing) { m_timing = timing; }

    void setRenderer(const Renderer &renderer);
    Renderer renderer() const { return m_renderer; }
    // dc:title of what play() casts next (the episode's name).
    void setTitle(const QString &title) { m_title = title; }
    QString title() const { return m_title; }
    QString address() const { return m_address; }

    // setRenderer, setTitle and play in one.
    void start(const Renderer &renderer, const QString &address, const QString &title, double startSeconds = 0);
    // Casts `address` (http or https) to the renderer, from `startSeconds` on.
    void play(const QString &address, double startSeconds = 0);
    void pause();
    void resume();
    void seekTo(double seconds);
    // Stops the TV ("停止投屏", or before "在本机播放" from position()).
    void stop();
    // RenderingControl's Master channel, 0 to 100.
    void setVolume(int percent);
    void setMuted(bool muted);

    State state() const { return m_state; }
    bool isActive() const { return m_state == State::Starting || m_state == State::Playing || m_state == State::Paused; }
    // Seconds; the last the TV reported (or the start position before it did).
    double position() const { return m_position; }
    // Seconds; 0 while unknown.
    double duration() const { return m_duration; }
    // -1 while unknown, or when the renderer has no RenderingControl.
    int volume() const { return m_volume; }
    bool muted() const { return m_muted; }
    bool hasVolume() const;
    // The TV said PLAYING for this address: the position means something.
    bool reachedPlaying() const { return m_reachedPlaying; }
    // The TV stopped answering (the session is Failed).
    bool deviceLost() const { return m_deviceLost; }
    QString errorText() const { return m_errorText; }

signals:
    void stateChanged(kinolark::cast::CastSession::State state);
    void positionChanged(double position, double duration);
    void volumeChanged(int volume, bool muted);
    // The TV reached the episode's end.
    void ended();
    // The session is over (Failed); `text` is a Chinese message naming the device.
    void failed(const QString &text);
    // A control (pause, seek, volume ...) went wrong; the session goes on.
    void commandFailed(const QString &text);

private:
    struct PollRound;
    using Done = std::function<void(const SoapResult &)>;

    void call(bool rendering, const char *action, const SoapCall::Arguments &in, const QList<QByteArray> &out,
              Done done);
    void cancelCalls();
    void poll();
    void polled(const PollRound &round);
    void commandDone(const SoapResult &result, const std::function<void()> &onSuccess);
    void queryVolume();
    void seekToStart(double reported);
    void sendSeek(double seconds);
    void setState(State state);
    void setPosition(double position);
    void fail(const QString &text);
    void lose();
    void finishEnded();
    bool nearEnd(double position) const;
    QString deviceName() const { return m_renderer.friendlyName; }

    CastTiming m_timing;
    Renderer m_renderer;
    QString m_title;
    QString m_address;
    State m_state = State::Idle;
    double m_startAt = 0;
    double m_position = 0;
    double m_duration = 0;
    int m_volume = -1;
    bool m_muted = false;
    bool m_deviceLost = false;
    bool m_reachedPlaying = false;
    QString m_errorText;

    bool m_startSeek = false;   // the start position is still to be sought
    int m_startSeekTries = 0;
    qint64 m_playingSince = 0;
    bool m_progressed = false; // the TV's position has moved since PLAYING

    quint64 m_generation = 0; // each play() and stop() starts one; answers of older ones are dropped
    quint64 m_commands = 0;   // each control sent; a poll sent before it says nothing
    bool m_polling = false;
    QTimer m_pollTimer;
    QElapsedTimer m_clock;
    qint64 m_lastAnswer = 0;
    qint64 m_playSent = 0;
};

} // namespace kinolark::cast
