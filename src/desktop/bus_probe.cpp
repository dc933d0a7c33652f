#include "desktop/bus_probe.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QStringList>

#include <dbus/dbus.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace kinolark::desktop {

namespace {

QString systemError(const char *what)
{
    return QLatin1String(what) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

class Socket
{
public:
    explicit Socket(int fd)
        : m_fd(fd)
    {
    }
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// The daemon at a unix socket address takes the first step of the
// handshake. libdbus flushes a message before it starts counting its
// timeout, and a message waits for the handshake: against a daemon that
// says nothing it would wait without end.
QString answersHandshake(const QString &address, int timeoutMs)
{
    // libdbus tries the entries in order; the first is the one it will use
    // on a normal session.
    const QString first = address.section(QLatin1Char(';'), 0, 0);
    if (!first.startsWith(QLatin1String("unix:")))
        return QString();
    QByteArray path;
    bool abstract = false;
    for (const QString &pair : first.mid(5).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString key = pair.section(QLatin1Char('='), 0, 0);
        const QByteArray value = QByteArray::fromPercentEncoding(pair.section(QLatin1Char('='), 1).toLatin1());
        if (key == QLatin1String("path") || key == QLatin1String("abstract")) {
            path = value;
            abstract = key == QLatin1String("abstract");
        }
    }
    // unix:runtime=, unix:dir= and the like: left to libdbus.
    if (path.isEmpty())
        return QString();

    sockaddr_un socketAddress{};
    socketAddress.sun_family = AF_UNIX;
    const std::size_t room = sizeof(socketAddress.sun_path) - 1;
    if (std::size_t(path.size()) > room)
        return QStringLiteral("bus address too long");
    char *at = socketAddress.sun_path + (abstract ? 1 : 0);
    std::memcpy(at, path.constData(), std::size_t(path.size()));
    const socklen_t length =
        socklen_t(offsetof(sockaddr_un, sun_path) + std::size_t(path.size()) + 1);

    Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.fd() < 0)
        return systemError("socket");
    // A full backlog (EAGAIN) is a daemon that does not take connections.
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr *>(&socketAddress), length) != 0)
        return systemError("connect");
    // The credentials byte, then a bare AUTH: any daemon answers it with
    // the mechanisms it offers.
    static const char greeting[] = "\0AUTH\r\n";
    if (::send(socket.fd(), greeting, sizeof(greeting) - 1, MSG_NOSIGNAL) != ssize_t(sizeof(greeting) - 1))
        return systemError("send");
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        pollfd watched{socket.fd(), POLLIN, 0};
        const int ready = ::poll(&watched, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return systemError("poll");
        if (ready == 0)
            return QStringLiteral("the bus does not answer within %1 ms").arg(timeoutMs);
        char answer[64];
        const ssize_t got = ::recv(socket.fd(), answer, sizeof(answer), 0);
        if (got > 0)
            return QString();
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        return got == 0 ? QStringLiteral("the bus closed the connection") : systemError("recv");
    }
}

} // namespace

QString probeBus(const QString &address, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const QString silent = answersHandshake(address, timeoutMs);
    if (!silent.isEmpty())
        return silent;
    // Then a whole Hello, which fails for a daemon that refuses us or is
    // not the one the address names.
    DBusError error;
    dbus_error_init(&error);
    // Connecting only opens the socket; the handshake waits for the first
    // message sent.
    DBusConnection *connection = dbus_connection_open_private(address.toUtf8().constData(), &error);
    if (!connection) {
        const QString why = QString::fromUtf8(error.message);
        dbus_error_free(&error);
        return why;
    }
    QString why;
    DBusMessage *hello =
        dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello");
    const int left = int(std::max<qint64>(deadline.remainingTime(), 1));
    DBusMessage *reply = hello ? dbus_connection_send_with_reply_and_block(connection, hello, left, &error) : nullptr;
    if (!reply)
        why = dbus_error_is_set(&error) ? QString::fromUtf8(error.message) : QStringLiteral("out of memory");
    if (reply)
        dbus_message_unref(reply);
    if (hello)
        dbus_message_unref(hello);
    dbus_error_free(&error);
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
    return why;
}

} // namespace kinolark::desktop
