#pragma once

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sched.h>

// A network of the test's own: a new network namespace with a veth pair
// (10.231.0.1 on kl0 for the test, 10.231.0.2 on kl1 for the renderers,
// 10.231.0.3 on kl0 for invented devices) and multicast routed onto it, so SSDP works and no packet leaves. Entered at
// the start of main(), before any thread: every process the test starts is
// inside it too. Needs root (CI runs as root); otherwise the test's
// network cases skip with the reason.
class PrivateNetwork
{
public:
    static PrivateNetwork &instance()
    {
        static PrivateNetwork network;
        return network;
    }

    void enter()
    {
        if (::unshare(CLONE_NEWNET) != 0) {
            m_reason = QStringLiteral("cannot make a network namespace (unshare: %1); run as root")
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        // No IPv6: its address checks would delay the renderers' start by seconds.
        write("/proc/sys/net/ipv6/conf/all/disable_ipv6", "1");
        write("/proc/sys/net/ipv6/conf/default/disable_ipv6", "1");
        if (!run("ip link set lo up")) {
            m_reason = QStringLiteral("cannot bring up the loopback interface with ip (iproute2)");
            return;
        }
        if (run("ip link add kl0 type veth peer name kl1") && run("ip addr add 10.231.0.1/24 dev kl0")
            && run("ip addr add 10.231.0.2/24 dev kl1") && run("ip link set kl0 up") && run("ip link set kl1 up")) {
            m_rendererInterface = QStringLiteral("kl1");
            m_rendererAddress = QStringLiteral("10.231.0.2");
        } else if (run("ip link add kl0 type dummy") && run("ip addr add 10.231.0.1/24 dev kl0")
                   && run("ip link set kl0 up")) {
            // Without veth: one interface, multicast looped back on it.
            m_rendererInterface = QStringLiteral("kl0");
            m_rendererAddress = QStringLiteral("10.231.0.1");
        } else {
            m_reason = QStringLiteral("cannot make a veth pair or a dummy interface with ip");
            return;
        }
        if (!run("ip addr add 10.231.0.3/24 dev kl0") || !run("ip route add 239.0.0.0/8 dev kl0")) {
            m_reason = QStringLiteral("cannot route multicast onto the test network");
            return;
        }
        // Both ends are this host's: without these the kernel drops what
        // one end sends to the other as coming from a local address.
        for (const char *device : {"all", "default", "kl0", "kl1"}) {
            write(QByteArray("/proc/sys/net/ipv4/conf/") + device + "/accept_local", "1");
            write(QByteArray("/proc/sys/net/ipv4/conf/") + device + "/rp_filter", "0");
        }
        m_ready = true;
    }

    bool ready() const { return m_ready; }
    QString reason() const { return m_reason; }
    QString testAddress() const { return QStringLiteral("10.231.0.1"); }
    QString testInterface() const { return QStringLiteral("kl0"); }
    // Where the test's invented devices live: a host of their own.
    QString fakeAddress() const { return QStringLiteral("10.231.0.3"); }
    QString rendererAddress() const { return m_rendererAddress; }
    QString rendererInterface() const { return m_rendererInterface; }

private:
    static bool run(const char *command)
    {
        const QByteArray quiet = QByteArray(command) + " >/dev/null 2>&1";
        return std::system(quiet.constData()) == 0;
    }

    static void write(const QByteArray &path, const char *value)
    {
        if (FILE *file = std::fopen(path.constData(), "w")) {
            std::fputs(value, file);
            std::fclose(file);
        }
    }

    bool m_ready = false;
    QString m_reason = QStringLiteral("the test network was not made");
    QString m_rendererAddress;
    QString m_rendererInterface;
};
