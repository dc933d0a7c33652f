#pragma once

#include "player/player.h"

#include <QByteArray>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;

namespace kinolark::player {
class EpisodeSession;
}

namespace kinolark::shell {

class GlVideoSurface;
class PlayerControls;
class PlayerPanels;
class SoftwareVideoSurface;

// The built-in player as the window shows it: the picture, what the player
// is doing in a few words, a control bar that shows while the mouse moves,
// the keys of a video player, full screen, subtitle files dropped on it,
// and panels for an address it cannot play and for the end. What plays is
// the episode session's; the view shows what it says and hands it the keys.
class PlayerView : public QWidget
{
    Q_OBJECT
public:
    explicit PlayerView(QWidget *parent = nullptr, player::Player::Options options = {});
    ~PlayerView() override;

    player::Player *player() { return &m_player; }
    // The episode that plays; given once, before anything plays.
    void setSession(player::EpisodeSession *session);
    player::EpisodeSession *session() const;
    PlayerControls *controls() const { return m_controls; }
    bool drawsWithOpenGl() const { return m_glSurface != nullptr; }
    // The sibling the view stays just below, outside full screen.
    void setStackBelow(QWidget *sibling) { m_stackBelow = sibling; }

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

    // A few words in the player area's corner, for `ms` milliseconds.
    void showNotice(const QString &text, int ms);
    // Asks the user for a subtitle file; tests put their own in place.
    void setSubtitlePicker(std::function<QString()> pick) { m_pickSubtitle = std::move(pick); }
    bool loadSubtitleFile(const QString &path);

    // What the player area says, for the user and for tests.
    QString statusText() const;
    QString noticeText() const;
    bool showsUnsupported() const;
    QString unsupportedText() const;
    bool showsEnd() const;
    bool showsOpeningSkipped() const;
    bool showsControls() const;

signals:
    void copyRequested(const QString &address);
    void openRequested(const QString &address);
    void countdownFinished();
    // The end panel's buttons: the episode again, or back to the title.
    void replayRequested();
    void backRequested();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createOverlays();
    void layOut();
    void episodeStarted(double start, bool resumed);
    void episodeEnded(bool hasNext, const QString &nextName);
    void showStatus();
    void showControlsForAWhile();
    void tickCountdown();
    void cancelCountdown();
    bool sessionKey(QKeyEvent *event);
    void pickSubtitleFile();
    QString shownAddress(const QString &address) const;

    player::Player m_player;
    QPointer<player::EpisodeSession> m_session;
    GlVideoSurface *m_glSurface = nullptr;
    SoftwareVideoSurface *m_swSurface = nullptr;
    QWidget *m_surface = nullptr;

    QLabel *m_status = nullptr;
    QLabel *m_notice = nullptr;
    QWidget *m_countdownPanel = nullptr;
    QLabel *m_countdownText = nullptr;
    PlayerControls *m_controls = nullptr;
    PlayerPanels *m_panels = nullptr;

    QTimer m_controlsTimer;
    QTimer m_noticeTimer;
    QTimer m_countdown;
    int m_countdownLeft = 0;
    QString m_nextName;
    QString m_address; // what is shown: playing, failed or unsupported
    std::function<QString()> m_pickSubtitle;

    bool m_fullScreen = false;
    QRect m_normalGeometry;
    QByteArray m_windowGeometry;
    QSize m_windowMinimum, m_windowMaximum;
    QWidget *m_stackBelow = nullptr;
};

} // namespace kinolark::shell
