#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QDBusConnection;
class QWidget;

namespace kinolark::desktop {
class MprisService;
class ScreenInhibitor;
class SessionBus;
}

namespace kinolark::player {
class EpisodeSession;
}

namespace kinolark::shell {

// The episode that plays as the desktop sees it: the media keys and the
// desktop's media controls (MPRIS), and the screen kept awake while it
// plays. The bus is reached behind the window, never holding it up; with
// no bus, only the X server's own saver is held off.
class DesktopLink : public QObject
{
    Q_OBJECT
public:
    // `busAddress`: the bus to offer MPRIS on; empty, the session's own,
    // "none" for no bus at all.
    DesktopLink(player::EpisodeSession *session, QWidget *window, const QString &busAddress,
                QObject *parent = nullptr);
    ~DesktopLink() override;

    desktop::MprisService *mpris() const { return m_mpris; }
    bool screenKeptOn() const;

signals:
    // MPRIS asks to stop playing.
    void stopRequested();

private:
    void connectBus(const QDBusConnection &bus);
    void followTarget();
    void update();

    QPointer<player::EpisodeSession> m_session;
    QWidget *m_window;
    desktop::SessionBus *m_bus = nullptr;
    desktop::ScreenInhibitor *m_inhibitor = nullptr;
    desktop::MprisService *m_mpris = nullptr;
    QList<QMetaObject::Connection> m_targetConnections;
};

} // namespace kinolark::shell
