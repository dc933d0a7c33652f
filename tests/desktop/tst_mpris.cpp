#include "desktop/mpris_service.h"
#include "private_bus.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

using namespace kinolark::desktop;

namespace {

const QString service = QStringLiteral("org.mpris.MediaPlayer2.kinolark");

MediaState playing()
{
    MediaState state;
    state.status = MediaState::Status::Playing;
    state.key = QStringLiteral("7:3");
    state.episode = QStringLiteral("第3集");
    state.title = QStringLiteral("大江大河");
    state.lengthUs = 600'000'000;
    state.canGoNext = true;
    return state;
}

MediaState preset(const QString &name)
{
    MediaState state = playing();
    if (name == QLatin1String("nothing"))
        return MediaState();
    if (name == QLatin1String("paused"))
        state.status = MediaState::Status::Paused;
    if (name == QLatin1String("last"))
        state.canGoNext = false;
    if (name == QLatin1String("live")) {
        state.canSeek = false;
        state.lengthUs = 0;
    }
    return state;
}

} // namespace

class TestMpris : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void seenByPlayerctl();
    void requests_data();
    void requests();
    void changesAnnounced();
    void secondInstance();

    // From the listener's own connection to the bus.
    void propertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &invalidated);
    void seeked(qlonglong position);

private:
    // Runs a client to its end with the event loop going, so that the
    // service in this process can answer it; its output.
    QString run(const QString &program, QStringList arguments);
    QString send(const QStringList &arguments);

    PrivateBus m_bus;
    std::unique_ptr<MprisService> m_service;
    // The requests made since last asked.
    QStringList takeRequests();

    std::vector<std::unique_ptr<QSignalSpy>> m_spies;
    QList<QVariantMap> m_changes;
    QList<qlonglong> m_seeks;
    bool m_positionAnnounced = false;
};

void TestMpris::initTestCase()
{
    QVERIFY(m_bus.start());
    m_service = std::make_unique<MprisService>(m_bus.connect(QStringLiteral("service")));
    // The name is asked for, not waited for.
    QVERIFY(m_service->busName().isEmpty());
    QSignalSpy acquired(m_service.get(), &MprisService::busNameAcquired);
    QVERIFY(acquired.wait());
    QCOMPARE(m_service->busName(), service);

    // Every request signal, recorded as "name arguments".
    const QMetaObject &meta = MprisService::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod signal = meta.method(i);
        if (signal.methodType() == QMetaMethod::Signal && signal.name().endsWith("Requested"))
            m_spies.push_back(std::make_unique<QSignalSpy>(m_service.get(), signal));
    }

    QDBusConnection listener = m_bus.connect(QStringLiteral("listener"));
    QVERIFY(listener.connect(service, QLatin1String(MprisService::objectPath),
                             QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
                             this, SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
    QVERIFY(listener.connect(service, QLatin1String(MprisService::objectPath),
                             QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Seeked"), this,
                             SLOT(seeked(qlonglong))));
}

void TestMpris::cleanupTestCase()
{
    QVERIFY2(!m_positionAnnounced, "Position was announced in PropertiesChanged");
    m_service.reset();
}

void TestMpris::propertiesChanged(const QString &interface, const QVariantMap &changed,
                                  const QStringList &invalidated)
{
    if (changed.contains(QStringLiteral("Position")) || invalidated.contains(QStringLiteral("Position")))
        m_positionAnnounced = true;
    QVariantMap change = changed;
    change.insert(QStringLiteral("interface"), interface);
    m_changes.append(change);
}

void TestMpris::seeked(qlonglong position)
{
    m_seeks.append(position);
}

QStringList TestMpris::takeRequests()
{
    QStringList made;
    for (const auto &spy : m_spies) {
        for (const QList<QVariant> &arguments : std::as_const(*spy)) {
            QString request = QString::fromLatin1(spy->signal()).section(QLatin1String("Requested"), 0, 0);
            for (const QVariant &argument : arguments)
                request += QLatin1Char(' ') + argument.toString();
            made.append(request);
        }
        spy->clear();
    }
    return made;
}

QString TestMpris::run(const QString &program, QStringList arguments)
{
    QProcess client;
    client.setProcessEnvironment(m_bus.environment());
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(program, arguments);
    if (!QTest::qWaitFor([&client] { return client.state() == QProcess::NotRunning; }, 10000)) {
        client.kill();
        client.waitForFinished();
        return QStringLiteral("(timed out)");
    }
    return QString::fromUtf8(client.readAllStandardOutput()).trimmed();
}

// dbus-send to the player: a method, or "set NAME VALUE" for a property.
QString TestMpris::send(const QStringList &arguments)
{
    QStringList call{QStringLiteral("--bus=") + m_bus.address(), QStringLiteral("--print-reply"),
                     QStringLiteral("--dest=") + service, QLatin1String(MprisService::objectPath)};
    if (arguments.constFirst() == QLatin1String("set")) {
        call << QStringLiteral("org.freedesktop.DBus.Properties.Set")
             << QStringLiteral("string:org.mpris.MediaPlayer2.Player")
             << QStringLiteral("string:") + arguments.at(1) << QStringLiteral("variant:double:") + arguments.at(2);
    } else {
        const QString interface = arguments.constFirst() == QLatin1String("Raise") ||
                                          arguments.constFirst() == QLatin1String("Quit")
                                      ? QStringLiteral("org.mpris.MediaPlayer2.")
                                      : QStringLiteral("org.mpris.MediaPlayer2.Player.");
        call << interface + arguments.constFirst();
        for (QString argument : arguments.mid(1))
            call << argument.replace(QLatin1String("TRACK"), m_service->trackId().path());
    }
    return run(QStringLiteral("dbus-send"), call);
}

void TestMpris::seenByPlayerctl()
{
    const QStringList player{QStringLiteral("-p"), QStringLiteral("kinolark")};
    m_service->setState(MediaState());
    QVERIFY(run(QStringLiteral("playerctl"), {QStringLiteral("-l")}).split(QLatin1Char('\n')).contains(
        QStringLiteral("kinolark")));
    QCOMPARE(run(QStringLiteral("playerctl"), player + QStringList{QStringLiteral("status")}),
             QStringLiteral("Stopped"));

    const QStringList format = player + QStringList{QStringLiteral("metadata"), QStringLiteral("--format"),
                                                    QStringLiteral("{{xesam:title}}|{{xesam:album}}|{{mpris:length}}|"
                                                                   "{{mpris:artUrl}}|{{mpris:trackid}}")};
    MediaState state = playing();
    state.lengthUs = 0;
    m_service->setState(state);
    m_service->setPosition(12'500'000);
    QCOMPARE(run(QStringLiteral("playerctl"), player + QStringList{QStringLiteral("status")}),
             QStringLiteral("Playing"));
    // No length before it is known, no picture unless there is one.
    // playerctl quotes an object path.
    const QString track = QLatin1Char('\'') + m_service->trackId().path() + QLatin1Char('\'');
    QCOMPARE(run(QStringLiteral("playerctl"), format), QStringLiteral("第3集|大江大河|||") + track);
    state.lengthUs = 2'500'000'000;
    state.artUrl = QStringLiteral("file:///tmp/cover.jpg");
    m_service->setState(state);
    QCOMPARE(run(QStringLiteral("playerctl"), format),
             QStringLiteral("第3集|大江大河|2500000000|file:///tmp/cover.jpg|") + track);
    // playerctl moves a playing position on by its own clock.
    const double seconds = run(QStringLiteral("playerctl"), player + QStringList{QStringLiteral("position")}).toDouble();
    QVERIFY2(seconds >= 12.5 && seconds < 13.5, qPrintable(QString::number(seconds)));

    // The root interface, and no OpenUri offered.
    const QString shape =
        run(QStringLiteral("gdbus"), {QStringLiteral("introspect"), QStringLiteral("--address"), m_bus.address(),
                                      QStringLiteral("--dest"), service, QStringLiteral("--object-path"),
                                      QLatin1String(MprisService::objectPath)});
    for (const char *expected :
         {"readonly s Identity = 'kinolark 电影'", "readonly s DesktopEntry = 'com.lumovane.kinolark'",
          "readonly b CanQuit = true", "readonly b CanRaise = true", "readonly b HasTrackList = false",
          "readonly as SupportedUriSchemes = []", "readonly d MinimumRate = 0.5", "readonly d MaximumRate = 3.0",
          "readonly b CanControl = true", "SetPosition(", "signal", "Seeked("})
        QVERIFY2(shape.contains(QString::fromUtf8(expected)), expected);
    QVERIFY(!shape.contains(QLatin1String("OpenUri")));
}

void TestMpris::requests_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("client"); // playerctl's arguments, or dbus-send's (see send())
    QTest::addColumn<QString>("request");    // what reaches the window; empty, nothing

    const auto playerctl = [](const char *command, const char *argument = nullptr) {
        QStringList arguments{QStringLiteral("playerctl"), QString::fromLatin1(command)};
        if (argument)
            arguments << QString::fromLatin1(argument);
        return arguments;
    };
    QTest::newRow("play-pause while playing") << "playing" << playerctl("play-pause") << "pause";
    QTest::newRow("play-pause while paused") << "paused" << playerctl("play-pause") << "play";
    QTest::newRow("play while playing") << "playing" << QStringList{"Play"} << "";
    QTest::newRow("stop") << "playing" << playerctl("stop") << "stop";
    QTest::newRow("next") << "playing" << playerctl("next") << "next";
    QTest::newRow("next after the last") << "last" << QStringList{"Next"} << "";
    QTest::newRow("previous before the first") << "playing" << QStringList{"Previous"} << "";
    QTest::newRow("raise") << "nothing" << QStringList{"Raise"} << "raise";
    QTest::newRow("quit") << "nothing" << QStringList{"Quit"} << "quit";

    for (const char *method : {"Play", "Pause", "PlayPause", "Stop", "Next", "Previous"})
        QTest::addRow("%s with nothing playing", method) << "nothing" << QStringList{method} << "";
    QTest::newRow("seek with nothing playing") << "nothing" << QStringList{"Seek", "int64:5000000"} << "";
    QTest::newRow("set position with nothing playing")
        << "nothing" << QStringList{"SetPosition", "objpath:TRACK", "int64:5000000"} << "";
    QTest::newRow("rate with nothing playing") << "nothing" << QStringList{"set", "Rate", "2"} << "";

    // Position 100 s of 600 s.
    QTest::newRow("seek 5 s") << "playing" << playerctl("position", "5+") << "seek 5000000";
    QTest::newRow("seek 10^9 s back: to the start")
        << "playing" << QStringList{"Seek", "int64:-1000000000000000"} << "seek -100000000";
    QTest::newRow("seek 10^9 µs on: the next episode") << "playing" << QStringList{"Seek", "int64:1000000000"}
                                                       << "next";
    QTest::newRow("seek past the end of the last") << "last" << QStringList{"Seek", "int64:1000000000"} << "";
    QTest::newRow("seek in a live stream") << "live" << QStringList{"Seek", "int64:5000000"} << "";
    QTest::newRow("set position") << "playing" << playerctl("position", "30") << "setPosition 30000000";
    QTest::newRow("set position, stale track")
        << "playing" << QStringList{"SetPosition", "objpath:/com/lumovane/kinolark/track/0", "int64:30000000"}
        << "";
    QTest::newRow("set position past the end")
        << "playing" << QStringList{"SetPosition", "objpath:TRACK", "int64:600000001"} << "";
    QTest::newRow("set position before the start")
        << "playing" << QStringList{"SetPosition", "objpath:TRACK", "int64:-1"} << "";

    const QList<std::pair<const char *, const char *>> rates{
        {"2", "rate 2"}, {"1.4", "rate 1.5"}, {"1.1", "rate 1"}, {"0.1", "rate 0.5"}, {"100", "rate 3"},
        {"0", "pause"},  {"-1", ""},          {"nan", ""},       {"inf", ""},
    };
    for (const auto &[rate, request] : rates)
        QTest::addRow("rate %s", rate) << "playing" << QStringList{"set", "Rate", rate} << request;
    QTest::newRow("volume 0.5") << "playing" << playerctl("volume", "0.5") << "volume 0.5";
    QTest::newRow("volume -1") << "playing" << QStringList{"set", "Volume", "-1"} << "volume 0";
    QTest::newRow("volume 7") << "playing" << QStringList{"set", "Volume", "7"} << "volume 1";
    QTest::newRow("volume nan") << "playing" << QStringList{"set", "Volume", "nan"} << "";
}

void TestMpris::requests()
{
    QFETCH(QString, state);
    QFETCH(QStringList, client);
    QFETCH(QString, request);
    m_service->setState(preset(state));
    m_service->setPosition(100'000'000);
    takeRequests();
    // Both clients wait for the answer, which comes after the request is
    // handled.
    if (client.constFirst() == QLatin1String("playerctl"))
        run(client.constFirst(), QStringList{QStringLiteral("-p"), QStringLiteral("kinolark")} + client.mid(1));
    else
        send(client);
    QCOMPARE(takeRequests(), request.isEmpty() ? QStringList() : QStringList{request});
}

// Each change is announced with what changed and nothing else; the
// position never, a jump by Seeked.
void TestMpris::changesAnnounced()
{
    // Every earlier change is in once this one is.
    MediaState marker;
    marker.volume = 0.25;
    m_service->setState(marker);
    QTRY_VERIFY(!m_changes.isEmpty() && m_changes.constLast().value("Volume") == 0.25);
    m_changes.clear();
    m_seeks.clear();

    const QStringList episodeFlags{"CanGoNext", "CanPause", "CanPlay", "CanSeek", "Metadata", "PlaybackStatus"};
    MediaState state = playing();
    const QList<std::pair<std::function<void()>, QStringList>> steps{
        {[&] { m_service->setState(state); }, episodeFlags + QStringList{"Volume"}},
        {[&] {
             m_service->setState(state);
             m_service->setPosition(5'000'000);
             m_service->notifySeeked(42'000'000);
             state.status = MediaState::Status::Paused;
             m_service->setState(state);
         },
         {"PlaybackStatus"}},
        {[&] {
             state.rate = 2;
             m_service->setState(state);
         },
         {"Rate"}},
        // Another episode of the same name is another track.
        {[&] {
             state.key = QStringLiteral("7:4");
             m_service->setState(state);
         },
         {"Metadata"}},
        {[&] { m_service->setState(MediaState()); }, episodeFlags + QStringList{"Rate"}},
    };
    for (const auto &[step, announced] : steps) {
        step();
        QTRY_COMPARE(m_changes.size(), 1);
        QVariantMap change = m_changes.takeFirst();
        QCOMPARE(change.take("interface").toString(), QStringLiteral("org.mpris.MediaPlayer2.Player"));
        QStringList expected = announced;
        expected.sort();
        QCOMPARE(change.keys(), expected);
    }
    QCOMPARE(m_seeks, QList<qlonglong>{42'000'000});
}

// A second player on the bus takes a name of its own.
void TestMpris::secondInstance()
{
    MprisService other(m_bus.connect(QStringLiteral("other")));
    QSignalSpy acquired(&other, &MprisService::busNameAcquired);
    QVERIFY(acquired.wait());
    QCOMPARE(other.busName(), service + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid()));
    QVERIFY(run(QStringLiteral("playerctl"), {QStringLiteral("-l")}).contains(QStringLiteral("kinolark.instance")));
}

QTEST_GUILESS_MAIN(TestMpris)
#include "tst_mpris.moc"
