// The player without a picture or sound device (vo=null, ao=null) against a
// short clip served over loopback HTTP: it plays to the end and reports where
// it is, starts where asked, and names what went wrong. The rules for
// resuming and for the addresses it may open, table by table.

#include "player/play_rules.h"
#include "player/player.h"
#include "scripted_server.h"
#include "temp_folder.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QTest>
#include <QSignalSpy>

#include <cmath>

using namespace kinolark;
using player::Failure;
using player::Player;

Q_DECLARE_METATYPE(Failure)

class tst_Player : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        QProcess media;
        media.start(qEnvironmentVariable("KINOLARK_SOURCE_DIR") + "/scripts/media",
                    {m_folder.path(), "160x120", "4"});
        QVERIFY(media.waitForFinished(60000));
        QCOMPARE(media.exitCode(), 0);
        m_clip = readAll(m_folder.filePath("sample.mp4"));
        QVERIFY(m_clip.size() > 1000);
        QVERIFY(m_server.listen());
        m_server.on("/clip.mp4", ScriptedServer::Reply(200, m_clip).type("video/mp4"));
    }

    void positionToKeep_data()
    {
        QTest::addColumn<double>("position");
        QTest::addColumn<double>("duration");
        QTest::addColumn<double>("kept");
        QTest::newRow("in the first 30 s") << 30.0 << 2700.0 << 0.0;
        QTest::newRow("just past 30 s") << 30.5 << 2700.0 << 30.5;
        QTest::newRow("in the middle") << 754.0 << 2700.0 << 754.0;
        QTest::newRow("just before the last 30 s") << 2669.5 << 2700.0 << 2669.5;
        QTest::newRow("in the last 30 s") << 2670.0 << 2700.0 << 0.0;
        QTest::newRow("at the end") << 2700.0 << 2700.0 << 0.0;
        QTest::newRow("length unknown") << 754.0 << 0.0 << 0.0;
        QTest::newRow("shorter than a minute") << 31.0 << 60.0 << 0.0;
        QTest::newRow("not a number") << std::nan("") << 2700.0 << 0.0;
    }

    void positionToKeep()
    {
        QFETCH(double, position);
        QFETCH(double, duration);
        QFETCH(double, kept);
        QCOMPARE(player::positionToKeep(position, duration), kept);
    }

    void clockText_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("start") << 0.0 << "00:00";
        QTest::newRow("minutes") << 754.9 << "12:34";
        QTest::newRow("three quarters") << 2700.0 << "45:00";
        QTest::newRow("hours") << 3723.0 << "1:02:03";
        QTest::newRow("unknown") << -1.0 << "--:--";
    }

    void clockText()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(player::clockText(seconds), text);
    }

    void canOpen_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("opens");
        QTest::newRow("http") << "http://vod.example/1.mp4" << true;
        QTest::newRow("https, upper case") << "HTTPS://vod.example/1.m3u8" << true;
        QTest::newRow("rtmp") << "rtmp://live.example/app/stream" << true;
        QTest::newRow("rtsp") << "rtsp://cam.example/1" << true;
        QTest::newRow("bdhd") << "bdhd://123|abc|1.rmvb" << false;
        QTest::newRow("qvod") << "qvod://123|abc|1.rmvb|" << false;
        QTest::newRow("ed2k") << "ed2k://|file|1.rmvb|123|abc|/" << false;
        QTest::newRow("thunder") << "thunder://QUFodHRwOi8vYS5iL2Mu" << false;
        QTest::newRow("local file") << "file:///etc/passwd" << false;
        QTest::newRow("descriptor") << "fdclose://3" << false;
        QTest::newRow("capture device") << "av://x11grab::0" << false;
        QTest::newRow("no scheme") << "vod.example/1.mp4" << false;
        QTest::newRow("empty") << "" << false;
        // Known to the player, but they reach any port of any host.
        QTest::newRow("tcp") << "tcp://127.0.0.1:18119" << false;
        QTest::newRow("udp") << "udp://127.0.0.1:18119" << false;
        QTest::newRow("gopher") << "gopher://127.0.0.1:18119/x" << false;
        QTest::newRow("ftp") << "ftp://127.0.0.1:18119/a.mp4" << false;
        QTest::newRow("concat") << "concat:http://a/1|http://a/2" << false;
        QTest::newRow("crypto") << "crypto+http://a/1" << false;
    }

    void canOpen()
    {
        QFETCH(QString, address);
        QFETCH(bool, opens);
        Player player({false, false, 5});
        const QStringList protocols = player.protocols();
        QVERIFY(protocols.contains("http"));
        QCOMPARE(player::canOpen(address, protocols), opens);
    }

    void classifyFailure_data()
    {
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<Failure>("failure");
        QTest::newRow("404") << QStringList{"ffmpeg: http: HTTP error 404 Not Found", "cplayer: Failed to open x."}
                             << Failure::NotFound;
        QTest::newRow("refused") << QStringList{"ffmpeg: tcp: Connection to tcp://127.0.0.1:9 failed: Connection refused"}
                                 << Failure::Network;
        QTest::newRow("unknown host") << QStringList{"ffmpeg: tcp: Failed to resolve hostname x: Name or service not known"}
                                      << Failure::Network;
        QTest::newRow("not media") << QStringList{"cplayer: Failed to recognize file format."} << Failure::Format;
        QTest::newRow("nothing said") << QStringList{} << Failure::Network;
    }

    void classifyFailure()
    {
        QFETCH(QStringList, log);
        QFETCH(Failure, failure);
        QCOMPARE(player::classifyFailure(-13, log), failure);
    }

    void playsToTheEndAndReportsPositions()
    {
        Player player({false, false, 5});
        QSignalSpy stopped(&player, &Player::stopped);
        QList<double> positions;
        connect(&player, &Player::positionChanged, this, [&](double at) { positions << at; });
        player.play(clip());
        QCOMPARE(player.state(), Player::State::Connecting);
        QTRY_VERIFY_WITH_TIMEOUT(player.position() > 1.0, 15000);
        QCOMPARE(player.state(), Player::State::Playing);
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 15000);
        const auto stop = stopped.at(0).at(0).value<Player::Stop>();
        QVERIFY(stop.loaded);
        QVERIFY(stop.reachedEnd);
        QVERIFY2(std::abs(stop.duration - 4) < 0.5, qPrintable(QString::number(stop.duration)));
        QVERIFY(stop.position > 3);
        QCOMPARE(player.state(), Player::State::Ended);
        QCOMPARE(player.stateText(), "播放结束");
        QVERIFY(std::is_sorted(positions.cbegin(), positions.cend()));
    }

    void startsWhereAskedAndStopsWhereItWas()
    {
        Player player({false, false, 5});
        QSignalSpy stopped(&player, &Player::stopped);
        player.play(clip(), 2.0);
        QTRY_COMPARE_WITH_TIMEOUT(player.state(), Player::State::Playing, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(player.position() > 2.2, 15000);
        player.togglePause();
        QTRY_COMPARE_WITH_TIMEOUT(player.state(), Player::State::Paused, 5000);
        QCOMPARE(player.stateText(), "已暂停");
        const double at = player.position();
        QVERIFY(at < 3.9);
        player.stop();
        QCOMPARE(player.state(), Player::State::Idle);
        QCOMPARE(stopped.count(), 1);
        const auto stop = stopped.at(0).at(0).value<Player::Stop>();
        QCOMPARE(stop.position, at);
        QVERIFY(!stop.reachedEnd);
    }

    void failures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<ScriptedServer::Reply>("reply");
        QTest::addColumn<Failure>("failure");
        QTest::newRow("404") << "/404.mp4" << ScriptedServer::Reply(404, "not found") << Failure::NotFound;
        QTest::newRow("not media") << "/text.mp4" << ScriptedServer::Reply(200, QByteArray(4000, 'x')).type("video/mp4")
                                   << Failure::Format;
        QTest::newRow("no answer") << "/hang.mp4" << ScriptedServer::Reply().hanging() << Failure::Network;
        QTest::newRow("cut in the middle") << "/cut.mp4" << ScriptedServer::Reply(200, QByteArray()).cut()
                                           << Failure::Interrupted;
    }

    void failures()
    {
        QFETCH(QString, path);
        QFETCH(ScriptedServer::Reply, reply);
        QFETCH(Failure, failure);
        if (reply.cutBody)
            reply.body = m_clip;
        m_server.on(path, reply.type("video/mp4"));
        Player player({false, false, 1});
        const QString address = m_server.site() + path;
        player.play(address);
        QTRY_COMPARE_WITH_TIMEOUT(player.state(), Player::State::Failed, 20000);
        QCOMPARE(player.failure(), failure);
        QCOMPARE(player.address(), address);
        QCOMPARE(player.stateText(), player::failureText(failure));
    }

    void addressesItCannotOpenNeverReachIt()
    {
        Player player({false, false, 5});
        for (const QString &address : {QString("bdhd://1|2|3.rmvb"), QString("file:///etc/passwd"),
                                       QString("http://127.0.0.1:1/" + QString(10000, QChar(u'x')))}) {
            player.play(address);
            QTRY_COMPARE_WITH_TIMEOUT(player.state(), Player::State::Failed, 10000);
            QCOMPARE(player.address(), address);
        }
    }

    // A playlist the site serves may name any address; what it names is
    // held to the streaming protocols too, and never reaches the ports.
    void playlistEntriesStayOnStreamingProtocols()
    {
        QTcpServer tcp;
        QVERIFY(tcp.listen(QHostAddress::LocalHost));
        int connections = 0;
        connect(&tcp, &QTcpServer::newConnection, &tcp, [&] {
            while (QTcpSocket *socket = tcp.nextPendingConnection()) {
                ++connections;
                socket->write("HTTP/1.0 200 OK\r\n\r\n"); // gopher or ftp would take it for a start
            }
        });
        QUdpSocket udp;
        QVERIFY(udp.bind(QHostAddress::LocalHost, 0));
        const QString at = QString("127.0.0.1:%1").arg(tcp.serverPort());
        const QByteArray list = QString("#EXTM3U\ntcp://%1\ngopher://%1/x\nftp://%1/a.mp4\nudp://127.0.0.1:%2\n")
                                    .arg(at).arg(udp.localPort()).toUtf8();
        m_server.on("/list.m3u", ScriptedServer::Reply(200, list).type("audio/x-mpegurl"));
        const QByteArray hls = QString("#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-KEY:METHOD=AES-128,URI=\"tcp://%1\"\n"
                                       "#EXTINF:4,\ngopher://%1/s.ts\n#EXT-X-ENDLIST\n").arg(at).toUtf8();
        m_server.on("/list.m3u8", ScriptedServer::Reply(200, hls).type("application/vnd.apple.mpegurl"));
        for (const QString &path : {QString("/list.m3u"), QString("/list.m3u8")}) {
            Player player({false, false, 2});
            player.play(m_server.site() + path);
            QTRY_VERIFY_WITH_TIMEOUT(player.state() == Player::State::Failed || player.state() == Player::State::Ended
                                         || player.state() == Player::State::Idle,
                                     20000);
            QCOMPARE(connections, 0);
            QVERIFY(!udp.hasPendingDatagrams());
        }
    }

private:
    QString clip() const { return m_server.site() + "/clip.mp4"; }

    QTemporaryDir m_folder;
    ScriptedServer m_server;
    QByteArray m_clip;
};

QTEST_GUILESS_MAIN(tst_Player)
#include "tst_player.moc"
