#include "desktop/screen_inhibitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDeadlineTimer>
#include <QThread>
#include <QVariantMap>

#include <array>

namespace kinolark::desktop {

namespace {

enum class Kind { Portal, ScreenSaver, Gnome };

struct Service
{
    Kind kind;
    const char *name;
    const char *path;
    const char *interface;
};

// In the order they are tried.
constexpr std::array<Service, 4> services{{
    {Kind::Portal, "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
     "org.freedesktop.portal.Inhibit"},
    {Kind::ScreenSaver, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver"},
    // Where older desktops (KDE 4, Xfce) keep it.
    {Kind::ScreenSaver, "org.freedesktop.ScreenSaver", "/ScreenSaver", "org.freedesktop.ScreenSaver"},
    {Kind::Gnome, "org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager"},
}};

constexpr uint inhibitIdle = 8;
constexpr int callTimeoutMs = 5000;
constexpr int quitWaitMs = 1000;

QString reason()
{
    return QStringLiteral("正在播放视频");
}

QDBusMessage serviceCall(const Service &service, const char *method)
{
    return QDBusMessage::createMethodCall(QLatin1String(service.name), QLatin1String(service.path),
                                          QLatin1String(service.interface), QLatin1String(method));
}

} // namespace

ScreenInhibitor::ScreenInhibitor(QObject *parent)
    : ScreenInhibitor(qgetenv("DISPLAY"), parent)
{
}

ScreenInhibitor::ScreenInhibitor(const QByteArray &xDisplay, QObject *parent)
    : QObject(parent)
    , m_bus(QString())
    , m_xSaver(xDisplay)
{
}

ScreenInhibitor::~ScreenInhibitor()
{
    release();
}

void ScreenInhibitor::setBus(const QDBusConnection &bus)
{
    if (m_bus.isConnected())
        return;
    m_bus = bus;
    if (m_wanted && !m_pending && !m_held)
        inhibitThrough(m_firstService);
}

void ScreenInhibitor::setInhibited(bool inhibited)
{
    if (inhibited == m_wanted)
        return;
    m_wanted = inhibited;
    m_xSaver.setSuspended(inhibited);
    // One call in flight at a time: what its answer brings is held or let
    // go by what is wanted when it arrives.
    if (m_pending)
        return;
    if (inhibited && !m_held)
        inhibitThrough(m_firstService);
    else if (!inhibited && m_held)
        releaseHeld();
}

void ScreenInhibitor::inhibitThrough(int index)
{
    if (!m_bus.isConnected())
        return;
    const Service &service = services[std::size_t(index)];
    QDBusMessage message = serviceCall(service, "Inhibit");
    switch (service.kind) {
    case Kind::Portal:
        message << QString() << inhibitIdle << QVariantMap{{QStringLiteral("reason"), reason()}};
        break;
    case Kind::ScreenSaver:
        message << QStringLiteral("kinolark") << reason();
        break;
    case Kind::Gnome:
        message << QStringLiteral("com.lumovane.kinolark") << uint(0) << reason() << inhibitIdle;
        break;
    }
    m_pendingService = index;
    m_pending = new QDBusPendingCallWatcher(m_bus.asyncCall(message, callTimeoutMs), this);
    connect(m_pending, &QDBusPendingCallWatcher::finished, this, &ScreenInhibitor::inhibitAnswered);
}

std::optional<ScreenInhibitor::Held> ScreenInhibitor::heldFrom(const QDBusMessage &reply) const
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        return std::nullopt;
    Held held;
    held.service = m_pendingService;
    const QVariant value = reply.arguments().constFirst();
    if (services[std::size_t(m_pendingService)].kind == Kind::Portal) {
        if (value.metaType() != QMetaType::fromType<QDBusObjectPath>())
            return std::nullopt;
        held.request = value.value<QDBusObjectPath>();
    } else {
        if (value.metaType() != QMetaType::fromType<uint>())
            return std::nullopt;
        held.cookie = value.toUInt();
    }
    return held;
}

void ScreenInhibitor::inhibitAnswered(QDBusPendingCallWatcher *answered)
{
    answered->deleteLater();
    if (answered != m_pending)
        return;
    m_pending = nullptr;
    const QDBusMessage reply = answered->reply();
    m_held = heldFrom(reply);
    if (!m_held) {
        const int next = m_pendingService + 1;
        if (!m_wanted)
            return;
        if (next < int(services.size())) {
            inhibitThrough(next);
            return;
        }
        m_firstService = 0;
        warnOnce(QStringLiteral("no screen saver service on the session bus keeps the screen on (%1: %2)")
                     .arg(reply.errorName(), reply.errorMessage()));
        return;
    }
    m_firstService = m_held->service;
    if (!m_wanted)
        releaseHeld();
}

QDBusMessage ScreenInhibitor::releaseMessage(const Held &held) const
{
    const Service &service = services[std::size_t(held.service)];
    switch (service.kind) {
    case Kind::Portal:
        return QDBusMessage::createMethodCall(QLatin1String(service.name), held.request.path(),
                                              QStringLiteral("org.freedesktop.portal.Request"),
                                              QStringLiteral("Close"));
    case Kind::ScreenSaver:
        return serviceCall(service, "UnInhibit") << held.cookie;
    case Kind::Gnome:
        return serviceCall(service, "Uninhibit") << held.cookie;
    }
    return QDBusMessage();
}

void ScreenInhibitor::releaseHeld()
{
    const QDBusMessage message = releaseMessage(*m_held);
    m_held.reset();
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *answered) {
        answered->deleteLater();
        if (answered->isError())
            warnOnce(QStringLiteral("the screen saver inhibition was not released (%1: %2)")
                         .arg(answered->error().name(), answered->error().message()));
    });
}

void ScreenInhibitor::release()
{
    m_wanted = false;
    m_xSaver.setSuspended(false);
    if (m_pending) {
        // No event loop here: the answer is read as soon as Qt's bus thread
        // has it.
        const QDeadlineTimer deadline(quitWaitMs);
        while (!m_pending->isFinished() && !deadline.hasExpired())
            QThread::msleep(2);
        if (m_pending->isFinished())
            m_held = heldFrom(m_pending->reply());
        delete m_pending;
        m_pending = nullptr;
    }
    if (m_held) {
        const QDBusMessage answer = m_bus.call(releaseMessage(*m_held), QDBus::Block, quitWaitMs);
        if (answer.type() == QDBusMessage::ErrorMessage)
            warnOnce(QStringLiteral("the screen saver inhibition was not released (%1: %2)")
                         .arg(answer.errorName(), answer.errorMessage()));
        m_held.reset();
    }
}

void ScreenInhibitor::warnOnce(const QString &what)
{
    if (m_warned)
        return;
    m_warned = true;
    qWarning("kinolark: %s", qPrintable(what));
}

} // namespace kinolark::desktop
