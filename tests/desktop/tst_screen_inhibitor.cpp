#include "desktop/screen_inhibitor.h"
#include "desktop/session_bus.h"
#include "private_bus.h"
#include "stand_in_process.h"
#include "x_saver_probe.h"
#include "x_server.h"

#include <QLocalServer>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace kinolark::desktop;

namespace {

int warnings = 0;
QtMessageHandler testHandler = nullptr;

void countWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg)
        ++warnings;
    testHandler(type, context, message);
}

} // namespace

class TestScreenInhibitor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sessionBus_data();
    void sessionBus();
    void inhibitAndRelease_data();
    void inhibitAndRelease();
    void releaseWhileAnswerPending();
    void failingServiceLoggedOnce_data();
    void failingServiceLoggedOnce();
    void xServerSaver();

private:
    PrivateBus m_bus;
};

void TestScreenInhibitor::initTestCase()
{
    QVERIFY(m_bus.start());
    testHandler = qInstallMessageHandler(countWarnings);
}

void TestScreenInhibitor::sessionBus_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("connects");
    QTest::newRow("a running bus") << "running" << true;
    QTest::newRow("no socket there") << "missing" << false;
    // Hello fails: Qt would drop the connection unclosed, and libdbus end
    // the program for it.
    QTest::newRow("a bus that refuses its clients") << "refusing" << false;
    // Accepts the connection and says nothing, as a hung daemon does.
    QTest::newRow("a silent bus") << "silent" << false;
}

void TestScreenInhibitor::sessionBus()
{
    QFETCH(QString, kind);
    QFETCH(bool, connects);
    QTemporaryDir folder;
    QLocalServer silent;
    PrivateBus refusing;
    QString address = m_bus.address();
    if (kind == QLatin1String("refusing")) {
        QVERIFY(refusing.start(true));
        address = refusing.address();
    } else if (kind != QLatin1String("running")) {
        address = QStringLiteral("unix:path=") + folder.filePath(QStringLiteral("bus"));
    }
    if (kind == QLatin1String("silent"))
        QVERIFY(silent.listen(folder.filePath(QStringLiteral("bus"))));

    SessionBus bus;
    int connected = 0;
    connect(&bus, &SessionBus::connected, [&connected](const QDBusConnection &given) {
        connected += given.isConnected() ? 1 : 100;
    });
    QSignalSpy unavailable(&bus, &SessionBus::unavailable);
    // The window's thread goes on meanwhile: a timer of its own keeps firing.
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
    tick.start(5);
    bus.start(address, 300);
    QTRY_VERIFY(connected + unavailable.size() > 0);
    QCOMPARE(connected, connects ? 1 : 0);
    QCOMPARE(unavailable.size(), connects ? 0 : 1);
    if (kind == QLatin1String("silent"))
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
}

void TestScreenInhibitor::inhibitAndRelease_data()
{
    QTest::addColumn<QString>("service");
    QTest::newRow("desktop portal") << "portal";
    QTest::newRow("freedesktop screen saver") << "screensaver";
    QTest::newRow("screen saver at its old path") << "screensaver-legacy";
    QTest::newRow("GNOME session manager") << "gnome";
}

// Play, pause, play, stop, play, quit: each play takes one inhibition,
// each of the others releases the one held, by its own cookie.
void TestScreenInhibitor::inhibitAndRelease()
{
    QFETCH(QString, service);
    StandIn standIn(QStringLiteral(STAND_IN));
    QVERIFY(standIn.start(m_bus, service));
    auto inhibitor = std::make_unique<ScreenInhibitor>(QByteArray());
    inhibitor->setBus(m_bus.connect(QStringLiteral("inhibit-") + service));

    const QList<bool> steps{true, true, false, true, false, true};
    int expected = 0;
    for (const bool play : steps) {
        if (play != inhibitor->isInhibited())
            ++expected;
        inhibitor->setInhibited(play);
        QTRY_COMPARE(standIn.events().size(), expected);
    }
    inhibitor.reset();
    QTRY_COMPARE(standIn.events().size(), expected + 1);

    const QStringList events = standIn.events();
    QSet<QString> cookies;
    for (int i = 0; i < events.size(); i += 2) {
        const QString taken = events.at(i);
        QVERIFY2(taken.startsWith(QLatin1String("inhibit ")), qPrintable(taken));
        const QString cookie = taken.section(QLatin1Char(' '), 1, 1);
        QCOMPARE(events.at(i + 1), QStringLiteral("release ") + cookie);
        QVERIFY(!cookies.contains(cookie));
        cookies.insert(cookie);
    }
}

// The service answers late; what is wanted when the answer comes decides.
void TestScreenInhibitor::releaseWhileAnswerPending()
{
    StandIn standIn(QStringLiteral(STAND_IN));
    QVERIFY(standIn.start(m_bus, QStringLiteral("screensaver"), 300));
    auto inhibitor = std::make_unique<ScreenInhibitor>(QByteArray());
    inhibitor->setBus(m_bus.connect(QStringLiteral("pending")));
    inhibitor->setInhibited(true);
    QTRY_COMPARE(standIn.events(), QStringList{"inhibit 1"});
    inhibitor->setInhibited(false);
    QTRY_COMPARE(standIn.events().size(), 2);

    // Paused before the answer: the cookie is released as it arrives.
    inhibitor->setInhibited(true);
    inhibitor->setInhibited(false);
    QTRY_COMPARE(standIn.events().size(), 4);
    // Paused and played again before the answer: exactly one held.
    inhibitor->setInhibited(true);
    inhibitor->setInhibited(false);
    inhibitor->setInhibited(true);
    inhibitor->setInhibited(false);
    inhibitor->setInhibited(true);
    QTRY_COMPARE(standIn.events().size(), 5);
    inhibitor->setInhibited(false);
    QTRY_COMPARE(standIn.events().size(), 6);
    // The quit before the answer still releases it.
    inhibitor->setInhibited(true);
    QTRY_COMPARE(standIn.events().size(), 7);
    inhibitor.reset();
    QTRY_COMPARE(standIn.events(), (QStringList{"inhibit 1", "release 1", "inhibit 2", "release 2", "inhibit 3",
                                                "release 3", "inhibit 4", "release 4"}));
}

void TestScreenInhibitor::failingServiceLoggedOnce_data()
{
    QTest::addColumn<QString>("service");
    QTest::addColumn<int>("refusalsPerPlay");
    QTest::newRow("a service that refuses") << "refuse" << 2;
    QTest::newRow("no service at all") << "" << 0;
}

void TestScreenInhibitor::failingServiceLoggedOnce()
{
    QFETCH(QString, service);
    QFETCH(int, refusalsPerPlay);
    StandIn standIn(QStringLiteral(STAND_IN));
    if (!service.isEmpty())
        QVERIFY(standIn.start(m_bus, service));
    ScreenInhibitor inhibitor{QByteArray()};
    inhibitor.setBus(m_bus.connect(QStringLiteral("failing-") + service));
    warnings = 0;

    inhibitor.setInhibited(true);
    // Nothing waited for an answer.
    QCOMPARE(warnings, 0);
    QTRY_COMPARE(warnings, 1);
    for (int play = 2; play <= 3; ++play) {
        inhibitor.setInhibited(false);
        inhibitor.setInhibited(true);
        QTRY_COMPARE(standIn.events().size(), refusalsPerPlay * play);
        QVERIFY(!QTest::qWaitFor([] { return warnings > 1; }, 300));
    }
    QCOMPARE(standIn.events().size(), refusalsPerPlay * 3);
}

// The X server's own saver, set to come on after a second untouched.
void TestScreenInhibitor::xServerSaver()
{
    XServer server;
    QVERIFY(server.start());
    XSaverProbe probe;
    QVERIFY(probe.open(server.display().toLocal8Bit()));
    probe.setTimeout(1);
    auto inhibitor = std::make_unique<ScreenInhibitor>(server.display().toLocal8Bit());

    inhibitor->setInhibited(true);
    QVERIFY(!probe.saverOn());
    QVERIFY(!QTest::qWaitFor([&probe] { return probe.saverOn(); }, 2000));
    inhibitor->setInhibited(false);
    QTRY_VERIFY_WITH_TIMEOUT(probe.saverOn(), 5000);

    // Played again, then the quit.
    probe.reset();
    inhibitor->setInhibited(true);
    QVERIFY(!probe.saverOn());
    inhibitor.reset();
    QTRY_VERIFY_WITH_TIMEOUT(probe.saverOn(), 5000);
}

QTEST_GUILESS_MAIN(TestScreenInhibitor)
#include "tst_screen_inhibitor.moc"
