// A screen saver service on the bus it is given as the session's, in a
// process of its own. It prints "ready" once it holds its name, then a line
// for each inhibition taken or released ("inhibit ID", "release ID"), and
// "refused" for one it turns down: asked for the wrong way, or by mode.
//   stand_in screensaver|screensaver-legacy|gnome|portal|refuse [DELAY_MS]

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QTimer>

#include <cstdio>

namespace {

struct Kind
{
    const char *service;
    const char *path;
    const char *interface;
    const char *signature; // of Inhibit
    int flagsAt;           // where Inhibit's flags are, or -1
    const char *release;
};

const Kind screenSaver{"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
                       "ss", -1, "UnInhibit"};
const Kind legacy{"org.freedesktop.ScreenSaver", "/ScreenSaver", "org.freedesktop.ScreenSaver", "ss", -1, "UnInhibit"};
const Kind gnome{"org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager", "susu", 3,
                 "Uninhibit"};
// Released by Close on the request object Inhibit names.
const Kind portal{"org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Inhibit",
                  "sua{sv}", 1, "Close"};

int delayMs = 0;
uint lastCookie = 0;

void log(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

class Service : public QDBusVirtualObject
{
public:
    Service(const Kind &kind, bool refuse)
        : m_kind(kind)
        , m_refuse(refuse)
    {
    }

    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const bool isPortal = &m_kind == &portal;
        if (message.member() == QLatin1String("Inhibit") && message.interface() == QLatin1String(m_kind.interface) &&
            message.path() == QLatin1String(m_kind.path)) {
            // Idle (8) is the one kind of inhibition asked for.
            const bool wellFormed = message.signature() == QLatin1String(m_kind.signature) &&
                                    (m_kind.flagsAt < 0 || message.arguments().at(m_kind.flagsAt).toUInt() == 8);
            QDBusMessage reply;
            if (m_refuse || !wellFormed) {
                log(QStringLiteral("refused"));
                reply = message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                                 QStringLiteral("not now"));
            } else if (isPortal) {
                const QString request = QStringLiteral("%1/request/%2").arg(QLatin1String(m_kind.path)).arg(++lastCookie);
                log(QStringLiteral("inhibit ") + request);
                reply = message.createReply(QVariant::fromValue(QDBusObjectPath(request)));
            } else {
                log(QStringLiteral("inhibit %1").arg(++lastCookie));
                reply = message.createReply(lastCookie);
            }
            QTimer::singleShot(delayMs, [connection, reply] { connection.send(reply); });
            return true;
        }
        if (message.member() == QLatin1String(m_kind.release)) {
            log(QStringLiteral("release ") +
                (isPortal ? message.path() : QString::number(message.arguments().value(0).toUInt())));
            connection.send(message.createReply());
            return true;
        }
        return false;
    }

private:
    const Kind &m_kind;
    bool m_refuse;
};

bool offer(QDBusConnection &bus, const Kind &kind, bool refuse)
{
    return bus.registerVirtualObject(QLatin1String(kind.path), new Service(kind, refuse),
                                     QDBusConnection::SubPath) &&
           bus.registerService(QLatin1String(kind.service));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    if (argc > 2)
        delayMs = QString::fromLatin1(argv[2]).toInt();
    QDBusConnection bus = QDBusConnection::sessionBus();
    bool offered = false;
    if (mode == QLatin1String("screensaver"))
        offered = offer(bus, screenSaver, false);
    else if (mode == QLatin1String("screensaver-legacy"))
        offered = offer(bus, legacy, false);
    else if (mode == QLatin1String("gnome"))
        offered = offer(bus, gnome, false);
    else if (mode == QLatin1String("portal"))
        offered = offer(bus, portal, false);
    else if (mode == QLatin1String("refuse"))
        offered = offer(bus, screenSaver, true) && offer(bus, gnome, true);
    if (!offered)
        return 1;
    log(QStringLiteral("ready"));
    return QCoreApplication::exec();
}
