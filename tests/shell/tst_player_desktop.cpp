// The window's player as the desktop sees it, on a session bus of the
// test's own: a screen saver service in another process is asked to keep
// the screen on while an episode plays, and playerctl drives the player.

#include "player/episode_session.h"
#include "private_bus.h"
#include "stand_in_process.h"
#include "scripted_server.h"
#include "shell/play_hand_off.h"
#include "shell/player_view.h"
#include "temp_folder.h"
#include "window_fixture.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using kinolark::shell::frmMain;
using State = kinolark::player::PlaybackTarget::State;

namespace {

// A program run without holding up the window's event loop, which answers
// it over the bus meanwhile.
QString run(const PrivateBus &bus, const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(bus.environment());
    process.start(program, arguments);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 15000)) {
        process.kill();
        process.waitForFinished();
        return QStringLiteral("<timed out>");
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString playerctl(const PrivateBus &bus, const QStringList &arguments)
{
    return run(bus, QStringLiteral("playerctl"), QStringList{QStringLiteral("-p"), QStringLiteral("kinolark")} + arguments);
}

} // namespace

class tst_PlayerDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("playerctl").isEmpty() || QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            QSKIP("needs playerctl and dbus-daemon");
        QProcess media;
        media.start(qEnvironmentVariable("KINOLARK_SOURCE_DIR") + "/scripts/media", {m_media.path(), "160x120", "12"});
        QVERIFY(media.waitForFinished(60000));
        QCOMPARE(media.exitCode(), 0);
        QVERIFY(m_server.listen());
        m_server.on("/clip.mp4", ScriptedServer::Reply(200, readAll(m_media.filePath("sample.mp4"))).type("video/mp4"));
        m_first = m_server.site() + "/clip.mp4";
        m_second = m_server.site() + "/clip.mp4?2";
        m_server.on("Lx=Dy&Id=7", ScriptedServer::Reply(200, ("第01集$" + m_first + "\r第02集$" + m_second).toUtf8()));
        m_server.on("Lx=Nr&Id=7", ScriptedServer::Reply(200, "简介"));
    }

    void mediaKeysAndTheScreenSaver()
    {
        PrivateBus bus;
        QVERIFY(bus.start());
        StandIn saver(QStringLiteral(STAND_IN));
        QVERIFY(saver.start(bus, QStringLiteral("screensaver")));
        WindowFixture f(m_server.site());
        f.services.desktopBus = bus.address();
        f.prepareCatalogue({});
        frmMain &w = f.load();
        w.titleModel().setTitles({{7, "天下"}});
        w.TreeView2->setCurrentIndex(w.titleModel().index(0));
        w.TreeView2_NodeClick();
        QTRY_VERIFY_WITH_TIMEOUT(playerctl(bus, {"-l"}).contains("kinolark"), 10000);
        QCOMPARE(playerctl(bus, {"status"}), QString("Stopped"));

        w.ListView1->setCurrentRow(w.ListView1->count() - 1); // the list shows the last line first
        w.ListView1_Click();
        QVERIFY(w.playHandOff()->deliver(QUrl::fromLocalFile(f.file("play.htm")), m_first, {680, 445}));
        kinolark::shell::PlayerView *view = w.playerView();
        QTRY_COMPARE_WITH_TIMEOUT(view->player()->state(), State::Playing, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(saver.events().size(), 1, 10000);
        QVERIFY(saver.events().at(0).startsWith("inhibit "));
        const QString cookie = saver.events().at(0).section(' ', 1);
        QTRY_COMPARE_WITH_TIMEOUT(playerctl(bus, {"status"}), QString("Playing"), 10000);
        QCOMPARE(playerctl(bus, {"metadata", "xesam:title"}), QString("第01集"));
        QCOMPARE(playerctl(bus, {"metadata", "xesam:album"}), QString("天下"));

        QCOMPARE(playerctl(bus, {"play-pause"}), QString());
        QTRY_COMPARE_WITH_TIMEOUT(view->player()->state(), State::Paused, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(saver.events(), (QStringList{"inhibit " + cookie, "release " + cookie}), 5000);

        // Twice as fast, from the bus.
        run(bus, "dbus-send", {"--session", "--print-reply", "--dest=org.mpris.MediaPlayer2.kinolark",
                               "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties.Set",
                               "string:org.mpris.MediaPlayer2.Player", "string:Rate", "variant:double:2"});
        QTRY_COMPARE(view->session()->rate(), 2.0);
        playerctl(bus, {"play"});
        QTRY_COMPARE_WITH_TIMEOUT(view->player()->state(), State::Playing, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(saver.events().size(), 3, 5000);
        const double from = playerctl(bus, {"position"}).toDouble();
        QElapsedTimer clock;
        clock.start();
        double moved = 0;
        QTRY_VERIFY_WITH_TIMEOUT((moved = playerctl(bus, {"position"}).toDouble() - from) >= 3, 10000);
        const double elapsed = clock.elapsed() / 1000.0;
        QVERIFY2(moved > 1.6 * elapsed && moved < 2.5 * elapsed,
                 qPrintable(QString("%1 s in %2 s").arg(moved).arg(elapsed)));

        // The next episode, as if clicked.
        f.navigations.clear();
        playerctl(bus, {"next"});
        QTRY_COMPARE_WITH_TIMEOUT(f.navigations.size(), 2, 5000);
        QVERIFY(readAll(f.file("play.htm")).contains(m_second.toUtf8()));

        // Closing the window gives the screen back.
        QVERIFY(w.playHandOff()->deliver(QUrl::fromLocalFile(f.file("play.htm")), m_second, {680, 445}));
        QTRY_COMPARE_WITH_TIMEOUT(view->player()->state(), State::Playing, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(saver.events().filter("inhibit").size(), 3, 5000);
        f.window.reset();
        QTRY_COMPARE_WITH_TIMEOUT(saver.events().filter("release").size(), 3, 5000);
    }

private:
    QTemporaryDir m_media;
    ScriptedServer m_server;
    QString m_first, m_second;
};

QTEST_MAIN(tst_PlayerDesktop)
#include "tst_player_desktop.moc"
