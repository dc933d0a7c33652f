#pragma once

#include "desktop/media_state.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

class QDBusPendingCallWatcher;

namespace kinolark::desktop {

class MprisPlayerAdaptor;

// The program as a media player on the session bus (MPRIS 2): the
// desktop's media controls, media keys and playerctl see what plays and
// ask for play, pause, seek and the rest. The window feeds the state in
// and answers the requests; the service only checks them against that
// state, as MPRIS wants (a request that makes no sense is dropped).
class MprisService : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *objectPath = "/org/mpris/MediaPlayer2";

    // Offers the object on `bus` and asks for the player's bus name there,
    // without waiting for the answer.
    explicit MprisService(const QDBusConnection &bus, QObject *parent = nullptr);
    ~MprisService() override;

    // Changes are announced to the clients (PropertiesChanged).
    void setState(const MediaState &state);
    const MediaState &state() const { return m_state; }
    // Where the episode is, in µs: read by clients when they ask, never
    // announced.
    void setPosition(qint64 us);
    qint64 position() const;
    // A jump (a seek, a resume) to `us`: tells the clients.
    void notifySeeked(qint64 us);

    // The bus name held, once the bus has granted it; empty before.
    QString busName() const { return m_busName; }
    // The current track's id; "NoTrack" when nothing plays.
    QDBusObjectPath trackId() const;
    // The player interface's properties but Position, as they are now.
    QVariantMap playerProperties() const;

signals:
    void busNameAcquired(const QString &name);
    void raiseRequested();
    void quitRequested();
    void playRequested();
    void pauseRequested();
    void stopRequested();
    void nextRequested();
    void previousRequested();
    void seekRequested(qint64 offsetUs);
    void setPositionRequested(qint64 us);
    void rateRequested(double rate);     // one of the offered rates
    void volumeRequested(double volume); // 0 to 1

private:
    void requestName(const QString &name);
    void nameAnswered(QDBusPendingCallWatcher *answered);

    QDBusConnection m_bus;
    MprisPlayerAdaptor *m_player = nullptr;
    bool m_registered = false;
    QString m_requested;
    QString m_busName;
    MediaState m_state;
    qint64 m_position = 0;
    quint64 m_track = 0;
    QVariantMap m_announced;
};

} // namespace kinolark::desktop
