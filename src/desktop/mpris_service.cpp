#include "desktop/mpris_service.h"

#include "desktop/mpris_player_adaptor.h"
#include "desktop/mpris_root_adaptor.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QStringList>

#include <algorithm>

namespace kinolark::desktop {

namespace {

const QString busNameBase = QStringLiteral("org.mpris.MediaPlayer2.kinolark");
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

// RequestName's flag and answers.
constexpr uint doNotQueue = 4;
constexpr uint primaryOwner = 1;
constexpr uint alreadyOwner = 4;

QString statusText(MediaState::Status status)
{
    switch (status) {
    case MediaState::Status::Playing:
        return QStringLiteral("Playing");
    case MediaState::Status::Paused:
        return QStringLiteral("Paused");
    case MediaState::Status::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

} // namespace

MprisService::MprisService(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    new MprisRootAdaptor(this);
    m_player = new MprisPlayerAdaptor(this);
    m_announced = playerProperties();
    // Local to the connection: no round trip to the bus.
    m_registered = m_bus.registerObject(QLatin1String(objectPath), this, QDBusConnection::ExportAdaptors);
    if (!m_registered) {
        qWarning("kinolark: the media player object cannot be offered on the session bus");
        return;
    }
    requestName(busNameBase);
}

MprisService::~MprisService()
{
    if (!m_registered)
        return;
    m_bus.unregisterObject(QLatin1String(objectPath));
    // The connection may outlive this object; no answer is awaited.
    if (!m_busName.isEmpty()) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReleaseName"));
        message << m_busName;
        m_bus.send(message);
    }
}

void MprisService::requestName(const QString &name)
{
    m_requested = name;
    // QDBusConnection::registerService would wait for the bus's answer.
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("RequestName"));
    message << name << doNotQueue;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &MprisService::nameAnswered);
}

void MprisService::nameAnswered(QDBusPendingCallWatcher *answered)
{
    answered->deleteLater();
    const QDBusMessage reply = answered->reply();
    const uint result = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                            ? reply.arguments().constFirst().toUInt()
                            : 0;
    if (result == primaryOwner || result == alreadyOwner) {
        m_busName = m_requested;
        emit busNameAcquired(m_busName);
        return;
    }
    // Another instance has the name: MPRIS has each further one add its own.
    if (m_requested == busNameBase && reply.type() == QDBusMessage::ReplyMessage) {
        requestName(busNameBase + QStringLiteral(".instance") +
                    QString::number(QCoreApplication::applicationPid()));
        return;
    }
    qWarning("kinolark: the session bus refused the media player's name %s: %s", qPrintable(m_requested),
             qPrintable(reply.errorMessage()));
}

QDBusObjectPath MprisService::trackId() const
{
    if (m_state.status == MediaState::Status::Stopped)
        return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    return QDBusObjectPath(QStringLiteral("/com/lumovane/kinolark/track/") + QString::number(m_track));
}

QVariantMap MprisService::playerProperties() const
{
    const bool episode = m_state.status != MediaState::Status::Stopped;
    QVariantMap metadata;
    if (episode) {
        metadata.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId()));
        metadata.insert(QStringLiteral("xesam:title"), m_state.episode);
        metadata.insert(QStringLiteral("xesam:album"), m_state.title);
        if (m_state.lengthUs > 0)
            metadata.insert(QStringLiteral("mpris:length"), qlonglong(m_state.lengthUs));
        if (!m_state.artUrl.isEmpty())
            metadata.insert(QStringLiteral("mpris:artUrl"), m_state.artUrl);
    }
    return {
        {QStringLiteral("PlaybackStatus"), statusText(m_state.status)},
        {QStringLiteral("Metadata"), metadata},
        {QStringLiteral("Rate"), m_state.rate},
        {QStringLiteral("Volume"), m_state.volume},
        {QStringLiteral("CanGoNext"), episode && m_state.canGoNext},
        {QStringLiteral("CanGoPrevious"), episode && m_state.canGoPrevious},
        {QStringLiteral("CanPlay"), episode},
        {QStringLiteral("CanPause"), episode},
        {QStringLiteral("CanSeek"), episode && m_state.canSeek},
    };
}

void MprisService::setState(const MediaState &state)
{
    if (state.key != m_state.key)
        ++m_track;
    m_state = state;
    if (m_state.status == MediaState::Status::Stopped)
        m_position = 0;
    const QVariantMap now = playerProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (m_announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    m_announced = now;
    if (changed.isEmpty() || !m_registered)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(objectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << playerInterface << changed << QStringList();
    m_bus.send(signal);
}

void MprisService::setPosition(qint64 us)
{
    m_position = std::max<qint64>(us, 0);
}

qint64 MprisService::position() const
{
    return m_state.status == MediaState::Status::Stopped ? 0 : m_position;
}

void MprisService::notifySeeked(qint64 us)
{
    setPosition(us);
    emit m_player->Seeked(position());
}

} // namespace kinolark::desktop
