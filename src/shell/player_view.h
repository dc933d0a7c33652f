#pragma once

#include "player/player.h"

#include <QRect>
#include <QSize>
#include <QTimer>
#include <QWidget>

class QLabel;
class QPushButton;
class QSlider;
class QToolButton;

namespace kinolark::shell {

class GlVideoSurface;
class SoftwareVideoSurface;

// The built-in player as the window shows it: the video, what the player is
// doing in a few words, a control bar that shows while the mouse moves, the
// keys of a video player, full screen, and a panel for addresses it cannot
// play. The window places it and tells it what to play.
class PlayerView : public QWidget
{
    Q_OBJECT
public:
    explicit PlayerView(QWidget *parent = nullptr, player::Player::Options options = {});
    ~PlayerView() override;

    player::Player *player() { return &m_player; }
    bool drawsWithOpenGl() const { return m_glSurface != nullptr; }
    // The sibling the view stays just below, outside full screen.
    void setStackBelow(QWidget *sibling) { m_stackBelow = sibling; }

    // Shows the view and plays `address` from `start` seconds; a start past
    // the beginning is announced for a few seconds.
    void play(const QString &address, double start = 0);
    // Shows the view with the message for an address the player cannot
    // open: `why`, or that it needs a dedicated player.
    void showUnsupported(const QString &address, const QString &why = QString());
    // Stops playing, leaves full screen and hides the view.
    void stop();
    // Counts down to the next episode, then emits countdownFinished();
    // the user may cancel it.
    void startCountdown(const QString &nextName);
    bool countingDown() const { return m_countdown.isActive(); }

    bool isFullScreen() const { return m_fullScreen; }
    void setFullScreen(bool on);

    // A few words over the picture for `ms` milliseconds.
    void showNotice(const QString &text, int ms);

    // What the player area says, for the user and for tests.
    QString statusText() const;
    QString noticeText() const;
    bool showsUnsupported() const;
    QString unsupportedText() const;
    bool showsControls() const;

signals:
    void copyRequested(const QString &address);
    void openRequested(const QString &address);
    void countdownFinished();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createOverlays();
    void createControls();
    void layOut();
    void startPending();
    void showStatus();
    void showPosition();
    void showVolume();
    void showControlsForAWhile();
    void tickCountdown();
    void cancelCountdown();
    QString shownAddress(const QString &address) const;

    player::Player m_player;
    GlVideoSurface *m_glSurface = nullptr;
    SoftwareVideoSurface *m_swSurface = nullptr;
    QWidget *m_surface = nullptr;

    QLabel *m_status = nullptr;
    QLabel *m_notice = nullptr;
    QWidget *m_countdownPanel = nullptr;
    QLabel *m_countdownText = nullptr;
    QWidget *m_unsupported = nullptr;
    QLabel *m_unsupportedText = nullptr;
    QWidget *m_controls = nullptr;
    QToolButton *m_playButton = nullptr;
    QSlider *m_positionSlider = nullptr;
    QLabel *m_timeText = nullptr;
    QToolButton *m_muteButton = nullptr;
    QSlider *m_volumeSlider = nullptr;
    QToolButton *m_fullScreenButton = nullptr;

    QTimer m_controlsTimer;
    QTimer m_noticeTimer;
    QTimer m_countdown;
    int m_countdownLeft = 0;
    QString m_nextName;

    QString m_address;       // what is shown: playing, failed or unsupported
    QString m_pendingAddress; // waits for the video surface
    double m_pendingStart = 0;
    bool m_pending = false;
    qint64 m_shownSecond = -1;

    bool m_fullScreen = false;
    QRect m_normalGeometry;
    QSize m_windowMinimum, m_windowMaximum;
    QWidget *m_stackBelow = nullptr;
};

} // namespace kinolark::shell
