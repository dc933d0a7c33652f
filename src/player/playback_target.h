#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

namespace kinolark::player {

// Where an episode plays: the window's own player, or a device the episode
// is sent to. What to play, from where and how fast is decided elsewhere;
// a target only does it and says how it goes.
class PlaybackTarget : public QObject
{
    Q_OBJECT
public:
    enum class State { Idle, Connecting, Buffering, Playing, Paused, Ended, Failed };

    // How one play ended: where it stopped and whether it got that far.
    struct Stop
    {
        QString address;
        double position = 0;
        double duration = 0;
        bool loaded = false;     // the media was opened; the position means something
        bool reachedEnd = false; // played to its natural end
    };

    using QObject::QObject;

    // Plays `address` from `start` seconds, ending what played before.
    virtual void play(const QString &address, double start = 0) = 0;
    // Plays a file of this machine's that the program itself kept (a
    // download), by its path. False where the target cannot.
    virtual bool playFile(const QString &path, double start = 0)
    {
        Q_UNUSED(path);
        Q_UNUSED(start);
        return false;
    }
    // Ends the current episode; the target goes idle.
    virtual void stop() = 0;
    virtual void setPaused(bool paused) = 0;
    virtual void seekTo(double seconds) = 0;
    virtual void seekBy(double seconds) = 0;
    // The speed, 1 for as recorded. False when the target cannot change it.
    virtual bool setRate(double rate) = 0;
    virtual void setVolume(int volume) = 0; // 0 to 100
    virtual void setMuted(bool muted) = 0;

    virtual State state() const = 0;
    virtual QString address() const = 0;
    virtual double position() const = 0;
    virtual double duration() const = 0;
    virtual int volume() const = 0;
    virtual bool muted() const = 0;

signals:
    void stateChanged();
    void positionChanged(double seconds);
    void durationChanged(double seconds);
    void volumeChanged();
    // A play ended, however it ended; emitted before the next one starts.
    void stopped(const kinolark::player::PlaybackTarget::Stop &stop);
};

} // namespace kinolark::player

Q_DECLARE_METATYPE(kinolark::player::PlaybackTarget::Stop)
