// What the desktop services cost the window's thread, on a private
// dbus-daemon:
//  - start: SessionBus::start and a ScreenInhibitor made before the window
//    shows, then, when the bus is connected, the MPRIS object registered and
//    the bus handed to the inhibitor; against the usual way of doing the
//    same on the window's thread (QDBusConnection::connectToBus, then
//    registerObject and registerService), measured in the same run;
//  - a bus that accepts the connection and never answers: the longest the
//    window's event loop is held while the services give up on it, against
//    the longest it is held idle over the same time.

#include "desktop/mpris_service.h"
#include "desktop/screen_inhibitor.h"
#include "desktop/session_bus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace kinolark::desktop;

namespace {

constexpr int runs = 21;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The window thread's time for the services, in ms.
double ourStart(const QString &address)
{
    QElapsedTimer clock;
    clock.start();
    SessionBus bus;
    bus.start(address);
    ScreenInhibitor inhibitor{QByteArray()};
    double spent = double(clock.nsecsElapsed()) / 1e6;

    std::unique_ptr<MprisService> mpris;
    QEventLoop loop;
    QObject::connect(&bus, &SessionBus::connected, &loop, [&](const QDBusConnection &connection) {
        clock.restart();
        mpris = std::make_unique<MprisService>(connection);
        inhibitor.setBus(connection);
        spent += double(clock.nsecsElapsed()) / 1e6;
        loop.quit();
    });
    QObject::connect(&bus, &SessionBus::unavailable, &loop, &QEventLoop::quit);
    loop.exec();
    if (!mpris) {
        std::fprintf(stderr, "the private bus is not there\n");
        std::exit(1);
    }
    // The name's answer, off the clock, so the next run finds it free.
    QEventLoop named;
    QObject::connect(mpris.get(), &MprisService::busNameAcquired, &named, &QEventLoop::quit);
    if (mpris->busName().isEmpty())
        named.exec();
    return spent;
}

double blockingStart(const QString &address, int run)
{
    const QString name = QStringLiteral("blocking-%1").arg(run);
    QObject object;
    QElapsedTimer clock;
    clock.start();
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        bus.registerObject(QStringLiteral("/org/mpris/MediaPlayer2"), &object);
        bus.registerService(QStringLiteral("org.mpris.MediaPlayer2.kinolark"));
        bus.unregisterService(QStringLiteral("org.mpris.MediaPlayer2.kinolark"));
        bus.unregisterObject(QStringLiteral("/org/mpris/MediaPlayer2"));
    }
    const double spent = double(clock.nsecsElapsed()) / 1e6;
    QDBusConnection::disconnectFromBus(name);
    return spent;
}

// The longest gap between ticks of a 1 ms timer while `work` runs, until
// `done` is true.
template<typename Work, typename Done>
double longestStall(Work &&work, Done &&done)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    tick.start(1);
    work();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    longest = std::max(longest, clock.nsecsElapsed() - last);
    return double(longest) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    QProcess daemon;
    QFile config(folder.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return 1;
    config.write("<busconfig><type>session</type><listen>unix:dir=" + QFile::encodeName(folder.path()) +
                 "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
                 "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    config.close();
    daemon.setStandardErrorFile(QProcess::nullDevice());
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config.fileName(),
                                                 QStringLiteral("--print-address"), QStringLiteral("--nofork")});
    while (!daemon.canReadLine()) {
        if (!daemon.waitForReadyRead(10000)) {
            std::fprintf(stderr, "dbus-daemon did not start\n");
            return 1;
        }
    }
    const QString address = QString::fromLatin1(daemon.readLine()).trimmed();

    std::vector<double> ours;
    std::vector<double> blocking;
    for (int run = 0; run < runs; ++run) {
        ours.push_back(ourStart(address));
        blocking.push_back(blockingStart(address, run));
    }
    const double oursMs = median(ours);
    const double blockingMs = median(blocking);

    // A bus that takes the connection and says nothing.
    QLocalServer silent;
    silent.listen(folder.filePath(QStringLiteral("silent")));
    const QString silentAddress = QStringLiteral("unix:path=") + silent.fullServerName();
    bool givenUp = false;
    SessionBus hung;
    ScreenInhibitor inhibitor{QByteArray()};
    QObject::connect(&hung, &SessionBus::unavailable, [&givenUp] { givenUp = true; });
    QElapsedTimer waited;
    waited.start();
    const double hungStall = longestStall(
        [&] {
            hung.start(silentAddress);
            inhibitor.setInhibited(true);
        },
        [&givenUp] { return givenUp; });
    const qint64 waitedMs = waited.elapsed();
    QElapsedTimer idle;
    idle.start();
    const double idleStall = longestStall([] {}, [&idle, waitedMs] { return idle.elapsed() >= waitedMs; });

    std::printf("window thread's time for the desktop services, median of %d runs\n", runs);
    std::printf("  %-52s %8.3f ms\n", "SessionBus, ScreenInhibitor, MprisService", oursMs);
    std::printf("  %-52s %8.3f ms\n", "connectToBus + registerService (anchor)", blockingMs);
    std::printf("a bus that never answers, given up after %lld ms\n", waitedMs);
    std::printf("  %-52s %8.3f ms\n", "longest event-loop stall, services starting", hungStall);
    std::printf("  %-52s %8.3f ms\n", "longest event-loop stall, idle (anchor)", idleStall);

    std::printf("@row\tdesktop services, window thread at start\t%.3f ms\t%.3f ms\t%.2fx\t<= 0.5 ms\t%s\n", oursMs,
                blockingMs, oursMs / blockingMs, oursMs <= 0.5 ? "yes" : "NO");
    std::printf("@row\twindow held by a bus that never answers\t%.1f ms\t%.1f ms\t%+.1f ms\t<= +10 ms\t%s\n",
                hungStall, idleStall, hungStall - idleStall, hungStall - idleStall <= 10 ? "yes" : "NO");
    std::printf("@note\tdesktop services: the window thread's time for SessionBus::start, a ScreenInhibitor and, once "
                "connected, the MPRIS object, against connecting and registering the name on that thread; a bus "
                "that never answers: the longest gap between 1 ms timer ticks while they give up on it, against the "
                "same time idle\n");
    daemon.terminate();
    daemon.waitForFinished();
    return 0;
}
