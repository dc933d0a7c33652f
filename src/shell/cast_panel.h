#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;
class QPushButton;
class QSlider;
class QToolButton;

namespace kinolark::cast {
class CastTarget;
}

namespace kinolark::player {
class EpisodeSession;
}

namespace kinolark::shell {

// What the player area shows while an episode plays on a TV: the TV's name,
// the episode, where it is, play and pause, the TV's volume, "停止投屏" and
// "在本机播放", what went wrong, and the count down to the next episode.
class CastPanel : public QWidget
{
    Q_OBJECT
public:
    CastPanel(player::EpisodeSession *session, cast::CastTarget *target, QWidget *parent = nullptr);

    QString headline() const;
    QString messageText() const;
    bool countingDown() const { return m_countdown.isActive(); }

signals:
    void stopRequested();
    void playHereRequested();

private:
    void showState();
    void showPosition();
    void tick();

    QPointer<player::EpisodeSession> m_session;
    cast::CastTarget *m_target;
    QLabel *m_headline = nullptr;
    QLabel *m_episode = nullptr;
    QLabel *m_time = nullptr;
    QLabel *m_message = nullptr;
    QSlider *m_position = nullptr;
    QToolButton *m_play = nullptr;
    QToolButton *m_mute = nullptr;
    QSlider *m_volume = nullptr;
    QPushButton *m_stop = nullptr;
    QPushButton *m_here = nullptr;
    QTimer m_countdown;
    int m_left = 0;
    int m_nextLine = -1;
};

} // namespace kinolark::shell
