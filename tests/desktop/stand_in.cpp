// A screen saver service on a test's bus, in a process of its own. It
// prints "ready" once it holds its name, then a line for each inhibition
// taken or released ("inhibit ID", "release ID") or refused ("refused").
//   stand_in screensaver|screensaver-legacy|gnome|portal|refuse [DELAY_MS]
// on the bus it is given as the session's.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTimer>
#include <QVariantMap>

#include <cstdio>
#include <utility>

namespace {

int delayMs = 0;
uint lastCookie = 0;

void log(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Answers `reply` after the delay asked for, the rest of the service going on.
void answer(const QDBusConnection &bus, const QDBusMessage &reply)
{
    QTimer::singleShot(delayMs, [bus, reply] { bus.send(reply); });
}

class ScreenSaver : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    explicit ScreenSaver(bool refuse)
        : m_refuse(refuse)
    {
    }

public slots:
    uint Inhibit(const QString &, const QString &)
    {
        setDelayedReply(true);
        if (m_refuse) {
            log(QStringLiteral("refused"));
            answer(connection(), message().createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                                            QStringLiteral("not now")));
            return 0;
        }
        const uint cookie = ++lastCookie;
        log(QStringLiteral("inhibit %1").arg(cookie));
        answer(connection(), message().createReply(cookie));
        return 0;
    }
    void UnInhibit(uint cookie) { log(QStringLiteral("release %1").arg(cookie)); }

private:
    bool m_refuse;
};

class SessionManager : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.SessionManager")
public:
    explicit SessionManager(bool refuse)
        : m_refuse(refuse)
    {
    }

public slots:
    uint Inhibit(const QString &, uint, const QString &, uint flags)
    {
        if (m_refuse) {
            log(QStringLiteral("refused"));
            sendErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"), QStringLiteral("broken"));
            return 0;
        }
        const uint cookie = ++lastCookie;
        log(QStringLiteral("inhibit %1 flags %2").arg(cookie).arg(flags));
        return cookie;
    }
    void Uninhibit(uint cookie) { log(QStringLiteral("release %1").arg(cookie)); }

private:
    bool m_refuse;
};

class Request : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")
public:
    explicit Request(QString path)
        : m_path(std::move(path))
    {
    }
public slots:
    void Close()
    {
        log(QStringLiteral("release ") + m_path);
        QDBusConnection::sessionBus().unregisterObject(m_path);
        deleteLater();
    }

private:
    QString m_path;
};

class Portal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")
public slots:
    QDBusObjectPath Inhibit(const QString &, uint flags, const QVariantMap &options)
    {
        const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1").arg(++lastCookie);
        QDBusConnection::sessionBus().registerObject(path, new Request(path), QDBusConnection::ExportAllSlots);
        log(QStringLiteral("inhibit %1 flags %2 reason %3")
                .arg(path)
                .arg(flags)
                .arg(options.value(QStringLiteral("reason")).toString().isEmpty() ? QStringLiteral("none")
                                                                                  : QStringLiteral("given")));
        return QDBusObjectPath(path);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString mode = QString::fromLatin1(argv[1]);
    if (argc > 2)
        delayMs = QString::fromLatin1(argv[2]).toInt();
    // The test hands its bus over as the session's.
    QDBusConnection bus = QDBusConnection::sessionBus();
    QObject *service = nullptr;
    QString name = QStringLiteral("org.freedesktop.ScreenSaver");
    QString path = QStringLiteral("/org/freedesktop/ScreenSaver");
    if (mode == QLatin1String("screensaver")) {
        service = new ScreenSaver(false);
    } else if (mode == QLatin1String("refuse")) {
        // Both services there, both failing.
        service = new ScreenSaver(true);
        if (!bus.registerObject(QStringLiteral("/org/gnome/SessionManager"), new SessionManager(true),
                                QDBusConnection::ExportAllSlots) ||
            !bus.registerService(QStringLiteral("org.gnome.SessionManager")))
            return 1;
    } else if (mode == QLatin1String("screensaver-legacy")) {
        service = new ScreenSaver(false);
        path = QStringLiteral("/ScreenSaver");
    } else if (mode == QLatin1String("gnome")) {
        service = new SessionManager(false);
        name = QStringLiteral("org.gnome.SessionManager");
        path = QStringLiteral("/org/gnome/SessionManager");
    } else if (mode == QLatin1String("portal")) {
        service = new Portal;
        name = QStringLiteral("org.freedesktop.portal.Desktop");
        path = QStringLiteral("/org/freedesktop/portal/desktop");
    } else {
        return 2;
    }
    if (!bus.registerObject(path, service, QDBusConnection::ExportAllSlots) || !bus.registerService(name))
        return 1;
    log(QStringLiteral("ready"));
    return QCoreApplication::exec();
}

#include "stand_in.moc"
