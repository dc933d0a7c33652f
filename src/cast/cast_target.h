#pragma once

#include "cast/cast_session.h"
#include "player/playback_target.h"

namespace kinolark::cast {

// A cast session as one of the places an episode plays, beside the
// window's own player: the same controls, states and end-of-play report.
// The renderer and the episode's name are set before play().
class CastTarget : public player::PlaybackTarget
{
    Q_OBJECT
public:
    explicit CastTarget(QObject *parent = nullptr);

    CastSession &session() { return m_session; }
    void setRenderer(const Renderer &renderer) { m_session.setRenderer(renderer); }
    void setTitle(const QString &title) { m_session.setTitle(title); }

    void play(const QString &address, double start = 0) override;
    void stop() override;
    void setPaused(bool paused) override;
    void seekTo(double seconds) override;
    void seekBy(double seconds) override;
    // TVs take no speed over DLNA.
    bool setRate(double rate) override;
    void setVolume(int volume) override;
    void setMuted(bool muted) override;

    State state() const override;
    QString address() const override { return m_session.address(); }
    double position() const override { return m_session.position(); }
    double duration() const override { return m_session.duration(); }
    int volume() const override { return m_session.volume(); }
    bool muted() const override { return m_session.muted(); }

private:
    void finish(bool reachedEnd);

    CastSession m_session;
    bool m_active = false; // a play not yet reported with stopped()
    bool m_ended = false;
    double m_duration = 0;
};

} // namespace kinolark::cast
