#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QMenu;
class QSlider;
class QToolButton;

namespace kinolark::player {
class EpisodeSession;
class Player;
}

namespace kinolark::shell {

// The player's control bar: play and pause, the position, the speed
// (倍速), the title's opening and ending (片头片尾), the tracks and
// subtitles (音轨/字幕), the sound and full screen. What it sets goes to the
// episode that plays; the tracks are the built-in player's.
class PlayerControls : public QWidget
{
    Q_OBJECT
public:
    PlayerControls(player::EpisodeSession *session, player::Player *player, QWidget *parent = nullptr);

    // One of its menus is open: the bar stays.
    bool menuOpen() const;
    void setFullScreen(bool on);

    QMenu *speedMenu() const { return m_speedMenu; }
    QMenu *skipMenu() const { return m_skipMenu; }
    QMenu *trackMenu() const { return m_trackMenu; }
    QString speedText() const;
    // A "投屏" button for `menu`, beside the track menu.
    void addCastButton(QMenu *menu);

signals:
    void fullScreenClicked();
    void subtitleFileWanted();
    // A short word for the player area.
    void note(const QString &text);

private:
    void showState();
    void showPosition();
    void showVolume();
    void showSpeed();
    void fillSpeedMenu();
    void fillSkipMenu();
    void fillTrackMenu();

    QPointer<player::EpisodeSession> m_session;
    player::Player *m_player;
    QToolButton *m_playButton = nullptr;
    QSlider *m_positionSlider = nullptr;
    QLabel *m_timeText = nullptr;
    QToolButton *m_speedButton = nullptr;
    QToolButton *m_skipButton = nullptr;
    QToolButton *m_trackButton = nullptr;
    QToolButton *m_muteButton = nullptr;
    QSlider *m_volumeSlider = nullptr;
    QToolButton *m_fullScreenButton = nullptr;
    QMenu *m_speedMenu = nullptr;
    QMenu *m_skipMenu = nullptr;
    QMenu *m_trackMenu = nullptr;
    qint64 m_shownSecond = -1;
};

} // namespace kinolark::shell
