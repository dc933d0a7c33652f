#include "fake_renderer.h"
#include "private_network.h"
#include "renderer_process.h"
#include "sample_site_process.h"

#include "cast/cast_metadata.h"
#include "cast/cast_session.h"
#include "cast/cast_target.h"
#include "cast/glib_loop.h"
#include "cast/renderer_device.h"
#include "cast/renderer_list.h"
#include "cast/soap_call.h"
#include "cast/transport_time.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QThread>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <QUuid>
#include <QXmlStreamReader>

#include <functional>

using namespace kinolark::cast;
namespace player = kinolark::player;

namespace {

// The text of the first `element` in `xml`, or the value of its `attribute`.
QString xmlValue(const QString &xml, const QString &element, const QString &attribute = {})
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == element)
            return attribute.isEmpty() ? reader.readElementText() : reader.attributes().value(attribute).toString();
    }
    return reader.hasError() ? QStringLiteral("<malformed>") : QString();
}

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

CastTiming quick()
{
    CastTiming timing;
    timing.answerTimeoutMs = 1000;
    timing.pollMs = 100;
    timing.startPollMs = 50;
    timing.unreachableMs = 1000;
    timing.noProgressMs = 500;
    return timing;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

QByteArray notify(const QByteArray &nts, const QByteArray &uuid, const QByteArray &location, int maxAge)
{
    return "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nCACHE-CONTROL: max-age=" + QByteArray::number(maxAge)
           + "\r\nLOCATION: " + location + "\r\nNT: urn:schemas-upnp-org:device:MediaRenderer:1\r\nNTS: " + nts
           + "\r\nSERVER: Linux/6 UPnP/1.0 test/1\r\nUSN: uuid:" + uuid
           + "::urn:schemas-upnp-org:device:MediaRenderer:1\r\n\r\n";
}

// Sends SSDP datagrams to the group from `host` on the test network.
class Announcer
{
public:
    explicit Announcer(const QString &host)
    {
        m_socket.bind(QHostAddress(host), 0);
        m_socket.setMulticastInterface(
            QNetworkInterface::interfaceFromName(PrivateNetwork::instance().testInterface()));
    }
    void send(const QByteArray &datagram)
    {
        m_socket.writeDatagram(datagram, QHostAddress(QStringLiteral("239.255.255.250")), 1900);
    }

private:
    QUdpSocket m_socket;
};

// The flood: NOTIFY ssdp:alive for invented renderers, each twice, from
// its own process so that the test's loop is measured, not the sender's.
int flood(const QString &host, quint16 port, int seconds)
{
    Announcer announcer(host);
    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;
    while (clock.elapsed() < seconds * 1000) {
        // 1,000 a second, in bursts of ten.
        while (sent < clock.elapsed()) {
            const QByteArray uuid = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
            const QByteArray alive = notify("ssdp:alive", uuid,
                                            "http://" + host.toLatin1() + ':' + QByteArray::number(port) + "/d/"
                                                + uuid + ".xml",
                                            1800);
            for (int copy = 0; copy < 2; ++copy)
                announcer.send(alive);
            sent += 2;
        }
        QThread::msleep(10);
    }
    return 0;
}

} // namespace

class TestCast : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void gupnpRunsOnQtsLoop();
    void castable_data();
    void castable();
    void metadata_data();
    void metadata();

    // A fake renderer on 127.0.0.1.
    void hostileDescription_data();
    void hostileDescription();
    void soapFailure_data();
    void soapFailure();
    void startPositionAndMetadata();
    void tvStops_data();
    void tvStops();
    void asPlaybackTarget();

    // gmediarender on the test's own network.
    void discovery();
    void castMp4();
    void castHls();
    void rendererKilledMidEpisode();
    void episodeEnd();
    void announcementFlood();

private:
    void requireNetwork();
    Renderer addFake(RendererList &list, FakeRenderer &fake);
    Renderer findRenderer(RendererList &list, RendererProcess &tv, const QString &name, const QString &uuid,
                          int port);

    QNetworkAccessManager m_network;
    SampleSiteProcess m_site;
    QString m_mediaError;
};

void TestCast::initTestCase()
{
    qRegisterMetaType<Renderer>();
    qRegisterMetaType<CastSession::State>();
    if (!PrivateNetwork::instance().ready())
        return;
    // The clips: an MP4 and HLS of 20 s, small, made once.
    const QString media = qEnvironmentVariable("KINOLARK_BINARY_DIR") + QStringLiteral("/tests/cast/media");
    const int made = QProcess::execute(qEnvironmentVariable("KINOLARK_SOURCE_DIR") + QStringLiteral("/scripts/media"),
                                       {media, QStringLiteral("160x90"), QStringLiteral("20")});
    if (made != 0)
        m_mediaError = QStringLiteral("scripts/media could not make the clips (ffmpeg)");
    else if (!m_site.start({QStringLiteral("--titles"), QStringLiteral("0"), QStringLiteral("--media"), media}))
        m_mediaError = m_site.error();
}

void TestCast::cleanup()
{
    // GLib's callbacks of cancelled calls come on a later turn of the loop.
    QTRY_COMPARE(SoapCall::pendingCallbacks(), 0);
}

void TestCast::requireNetwork()
{
    if (!PrivateNetwork::instance().ready())
        QSKIP(qPrintable(PrivateNetwork::instance().reason()));
    if (!m_mediaError.isEmpty())
        QFAIL(qPrintable(m_mediaError));
    if (QStandardPaths::findExecutable(QStringLiteral("gmediarender")).isEmpty())
        QFAIL("gmediarender is not installed (scripts/deps)");
}

void TestCast::gupnpRunsOnQtsLoop()
{
    // GUPnP's sockets and timers are GLib sources: every other case here needs them to run.
    QVERIFY(glibLoopInUse());
}

void TestCast::castable_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("castable");
    QTest::newRow("http") << "http://vod.example/1.mp4" << true;
    QTest::newRow("https, capitals") << "HTTPS://vod.example/a/index.m3u8?t=1" << true;
    QTest::newRow("dedicated player") << "bdhd://vod1.example/23/3.rmvb" << false;
    QTest::newRow("local file") << "file:///home/me/film.mp4" << false;
    QTest::newRow("no host") << "http:///x.mp4" << false;
}

void TestCast::castable()
{
    QFETCH(QString, address);
    QFETCH(bool, castable);
    QCOMPARE(isCastable(address), castable);
}

void TestCast::metadata_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("protocolInfo");
    QTest::newRow("mp4") << "第01集" << "http://v.example/a/1.mp4" << "http-get:*:video/mp4:*";
    QTest::newRow("hls with query") << "第02集 <高清>" << "https://v.example/b/index.m3u8?k=1&t=2"
                                    << "http-get:*:application/vnd.apple.mpegurl:*";
    QTest::newRow("upper-case suffix") << "Tom & Jerry" << "http://v.example/C.MP4" << "http-get:*:video/mp4:*";
    QTest::newRow("unknown") << "\"引号\" & <尖括号>" << "http://v.example/play?id=7&x=\"1\"" << "http-get:*:*:*";
    QTest::newRow("suffix only in the query") << "a<b" << "http://v.example/play?f=x.mp4" << "http-get:*:*:*";
}

void TestCast::metadata()
{
    QFETCH(QString, title);
    QFETCH(QString, address);
    QFETCH(QString, protocolInfo);
    QCOMPARE(protocolInfoFor(address), protocolInfo);
    // Read back with a strict XML reader: what was written is what the TV reads.
    const QString didl = didlLiteFor(title, address);
    QCOMPARE(xmlValue(didl, QStringLiteral("title")), title);
    QCOMPARE(xmlValue(didl, QStringLiteral("class")), QStringLiteral("object.item.videoItem"));
    QCOMPARE(xmlValue(didl, QStringLiteral("res")), address);
    QCOMPARE(xmlValue(didl, QStringLiteral("res"), QStringLiteral("protocolInfo")), protocolInfo);
}

Renderer TestCast::addFake(RendererList &list, FakeRenderer &fake)
{
    QSignalSpy finished(&list, &RendererList::addFinished);
    list.addByDescription(fake.descriptionUrl());
    if (!finished.wait(5000))
        return {};
    const QString error = finished.first().at(1).toString();
    if (!error.isEmpty()) {
        qWarning() << error;
        return {};
    }
    for (const Renderer &renderer : list.renderers()) {
        if (renderer.descriptionUrl == fake.descriptionUrl())
            return renderer;
    }
    return {};
}

void TestCast::hostileDescription_data()
{
    QTest::addColumn<QByteArray>("description");
    QTest::addColumn<QString>("logged");

    const QString udn = QStringLiteral("uuid:0000-hostile");
    QTest::newRow("not XML") << QByteArray("<html><body>It works!</body>") << "is not XML";
    QByteArray huge = FakeRenderer::describe(QStringLiteral("大"), udn);
    huge.insert(huge.indexOf("<serviceList>"), "<x>" + QByteArray(10 * 1024 * 1024, 'a') + "</x>");
    QTest::newRow("10 MB of XML") << huge << "larger than";
    QTest::newRow("control at another host")
        << FakeRenderer::describe(QStringLiteral("别处"), udn, QStringLiteral("http://127.0.0.2:%1/ctl"))
        << "is not http on the device's host";
    QTest::newRow("control at file:")
        << FakeRenderer::describe(QStringLiteral("文件"), udn, QStringLiteral("file:///etc/passwd#"))
        << "is not http on the device's host";
    QByteArray based = FakeRenderer::describe(QStringLiteral("基址"), udn);
    based.replace("<specVersion>", "<URLBase>http://127.0.0.2:%1/</URLBase><specVersion>");
    QTest::newRow("URLBase at another host") << based << "is not http on the device's host";
    QByteArray entities = FakeRenderer::describe(QStringLiteral("&a;"), udn);
    entities.insert(entities.indexOf("<root"), "<!DOCTYPE root [<!ENTITY a \"aaaaaaaaaa\">]>");
    QTest::newRow("a DTD") << entities << "has a DTD";
    QByteArray server = FakeRenderer::describe(QStringLiteral("服务器"), udn);
    server.replace("device:MediaRenderer:1", "device:MediaServer:1");
    QTest::newRow("not a renderer") << server << "names no MediaRenderer";
}

void TestCast::hostileDescription()
{
    QFETCH(QByteArray, description);
    QFETCH(QString, logged);
    // Where the control addresses lead: it must never be called.
    FakeRenderer elsewhere;
    QVERIFY(elsewhere.listen(QHostAddress(QStringLiteral("127.0.0.2"))));
    FakeRenderer fake;
    QVERIFY(fake.listen());
    fake.description = description.replace("%1", QByteArray::number(elsewhere.port()));

    RendererList list(&m_network);
    QSignalSpy finished(&list, &RendererList::addFinished);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("ignoring the device at .*") + logged));
    list.addByDescription(fake.descriptionUrl());
    QVERIFY(finished.wait(5000));
    QVERIFY(finished.first().at(1).toString().contains(QStringLiteral("无法添加设备")));
    QVERIFY(list.renderers().isEmpty());
    QCOMPARE(elsewhere.gets + elsewhere.actions.size(), 0);
}

void TestCast::soapFailure_data()
{
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<FakeRenderer::Reply>("reply");
    QTest::addColumn<QStringList>("says"); // empty: no failure, it plays

    QTest::newRow("address refused")
        << QByteArray("SetAVTransportURI") << FakeRenderer::fault(714, "Illegal MIME-type")
        << QStringList{"「假电视」拒绝了这个播放地址", "UPnP 错误 714", "Illegal MIME-type"};
    QTest::newRow("play refused") << QByteArray("Play") << FakeRenderer::fault(701, "Transition not available")
                                  << QStringList{"拒绝了这个操作", "701"};
    QTest::newRow("fault without code") << QByteArray("SetAVTransportURI") << FakeRenderer::fault(-1, "Error")
                                        << QStringList{"「假电视」报告了错误，但没有给出错误代码"};
    QTest::newRow("HTML error page")
        << QByteArray("Play")
        << FakeRenderer::Reply{500, "<html><body><h1>500 Internal Server Error</h1></body></html>", "text/html"}
        << QStringList{"「假电视」的应答无法识别"};
    QTest::newRow("not found") << QByteArray("Play") << FakeRenderer::Reply{404, "nope", "text/plain"}
                               << QStringList{"「假电视」返回了 HTTP 错误"};
    QTest::newRow("no answer") << QByteArray("Stop") << FakeRenderer::Reply{200, {}, {}, true}
                               << QStringList{"「假电视」没有响应", "1 秒内没有应答"};
    QTest::newRow("a refused Stop is fine") << QByteArray("Stop") << FakeRenderer::fault(701, "Transition not available")
                                            << QStringList{};
}

void TestCast::soapFailure()
{
    QFETCH(QByteArray, action);
    QFETCH(FakeRenderer::Reply, reply);
    QFETCH(QStringList, says);
    FakeRenderer fake;
    QVERIFY(fake.listen());
    fake.description = FakeRenderer::describe(QStringLiteral("假电视"), QStringLiteral("uuid:fake-tv"));
    fake.script.insert(action, reply);
    RendererList list(&m_network);
    const Renderer renderer = addFake(list, fake);
    QVERIFY(renderer.isValid());

    CastSession session;
    session.setTiming(quick());
    QSignalSpy failed(&session, &CastSession::failed);
    if (!says.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cast session failed")));
    session.start(renderer, QStringLiteral("http://127.0.0.1:9/film.mp4"), QStringLiteral("第01集"));
    QCOMPARE(session.state(), CastSession::State::Starting);
    if (says.isEmpty()) {
        QTRY_COMPARE(session.state(), CastSession::State::Playing);
        QCOMPARE(fake.actions.mid(0, 3), (QList<QByteArray>{"Stop", "SetAVTransportURI", "Play"}));
        return;
    }
    QVERIFY(failed.wait(5000));
    QCOMPARE(failed.size(), 1);
    QCOMPARE(session.state(), CastSession::State::Failed);
    QVERIFY(!session.deviceLost());
    const QString text = failed.first().first().toString();
    for (const QString &part : says)
        QVERIFY2(text.contains(part), qPrintable(text));
    QCOMPARE(session.errorText(), text);
    // Nothing after the refusal.
    QCOMPARE(fake.actions.last(), action);
}

void TestCast::startPositionAndMetadata()
{
    FakeRenderer fake;
    QVERIFY(fake.listen());
    fake.description = FakeRenderer::describe(QStringLiteral("假电视"), QStringLiteral("uuid:fake-tv"));
    fake.trackDuration = "0:45:00";
    RendererList list(&m_network);
    const Renderer renderer = addFake(list, fake);
    QVERIFY(renderer.isValid());

    CastSession session;
    session.setTiming(quick());
    const QString title = QStringLiteral("第01集 <导演剪辑版> & \"特别篇\"");
    const QString address = QStringLiteral("http://127.0.0.1:9/a.m3u8?k=1&t=2");
    session.start(renderer, address, title, 95.5);
    QSignalSpy seek(&fake, &FakeRenderer::actionReceived);
    QTRY_VERIFY(fake.actions.contains("Seek"));
    QCOMPARE(fake.actions.mid(0, 3), (QList<QByteArray>{"Stop", "SetAVTransportURI", "Play"}));
    // The seek waits for PLAYING: a poll came between Play and Seek.
    QVERIFY(fake.actions.indexOf("GetTransportInfo") < fake.actions.indexOf("Seek"));
    const QString target = QString::fromUtf8(fake.lastBody.value("Seek"));
    QCOMPARE(xmlValue(target, QStringLiteral("Unit")), QStringLiteral("REL_TIME"));
    QCOMPARE(xmlValue(target, QStringLiteral("Target")), QStringLiteral("0:01:35"));

    // The metadata crosses two layers of escaping: the SOAP body and DIDL-Lite.
    const QString set = QString::fromUtf8(fake.lastBody.value("SetAVTransportURI"));
    QCOMPARE(xmlValue(set, QStringLiteral("CurrentURI")), address);
    const QString didl = xmlValue(set, QStringLiteral("CurrentURIMetaData"));
    QCOMPARE(xmlValue(didl, QStringLiteral("title")), title);
    QCOMPARE(xmlValue(didl, QStringLiteral("res"), QStringLiteral("protocolInfo")),
             QStringLiteral("http-get:*:application/vnd.apple.mpegurl:*"));
    QTRY_COMPARE(session.position(), 95.0);
    QCOMPARE(session.duration(), 2700.0);
    QCOMPARE(session.volume(), 40);
}

void TestCast::tvStops_data()
{
    QTest::addColumn<QByteArray>("at");      // the last position the TV reported
    QTest::addColumn<QByteArray>("state");   // what it says then
    QTest::addColumn<QString>("says"); // empty: the episode ended
    QTest::newRow("stopped at the end") << QByteArray("0:44:58") << QByteArray("STOPPED") << QString();
    QTest::newRow("no media at the end") << QByteArray("0:44:59") << QByteArray("NO_MEDIA_PRESENT") << QString();
    QTest::newRow("still playing at the end") << QByteArray("0:45:00") << QByteArray("PLAYING") << QString();
    QTest::newRow("stopped in the middle") << QByteArray("0:12:00") << QByteArray("STOPPED")
                                           << QStringLiteral("「假电视」自己停止了播放。");
    QTest::newRow("playing but never moving") << QByteArray("0:00:00") << QByteArray("PLAYING")
                                              << QStringLiteral("「假电视」没有开始播放这个地址。");
}

void TestCast::tvStops()
{
    QFETCH(QByteArray, at);
    QFETCH(QByteArray, state);
    QFETCH(QString, says);
    const bool ended = says.isEmpty();
    FakeRenderer fake;
    QVERIFY(fake.listen());
    fake.description = FakeRenderer::describe(QStringLiteral("假电视"), QStringLiteral("uuid:fake-tv"));
    fake.trackDuration = "0:45:00";
    RendererList list(&m_network);
    const Renderer renderer = addFake(list, fake);
    QVERIFY(renderer.isValid());
    CastSession session;
    session.setTiming(quick());
    QSignalSpy endedSpy(&session, &CastSession::ended);
    QSignalSpy failed(&session, &CastSession::failed);
    session.start(renderer, QStringLiteral("http://127.0.0.1:9/film.mp4"), QStringLiteral("第01集"));
    QTRY_COMPARE(session.state(), CastSession::State::Playing);
    fake.relTime = at;
    QTRY_COMPARE(session.position(), parseTransportTime(QString::fromLatin1(at)));
    if (!ended)
        QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("cast session failed: ") + says));
    // Many TVs go back to 0:00:00 once stopped.
    fake.transportState = state;
    if (state != "PLAYING")
        fake.relTime = "0:00:00";
    QTRY_VERIFY(endedSpy.size() + failed.size() > 0);
    QCOMPARE(endedSpy.size(), ended ? 1 : 0);
    QCOMPARE(session.state(), ended ? CastSession::State::Stopped : CastSession::State::Failed);
    if (!ended) {
        QCOMPARE(failed.first().first().toString(), says);
        QCOMPARE(session.position(), parseTransportTime(QString::fromLatin1(at)));
    }
}

void TestCast::asPlaybackTarget()
{
    FakeRenderer fake;
    QVERIFY(fake.listen());
    fake.description = FakeRenderer::describe(QStringLiteral("假电视"), QStringLiteral("uuid:fake-tv"));
    fake.trackDuration = "0:45:00";
    RendererList list(&m_network);
    CastTarget target;
    target.setRenderer(addFake(list, fake));
    target.session().setTiming(quick());
    QSignalSpy stopped(&target, &player::PlaybackTarget::stopped);
    target.play(QStringLiteral("http://127.0.0.1:9/01.mp4"), 0);
    QCOMPARE(target.state(), player::PlaybackTarget::State::Connecting);
    QTRY_COMPARE(target.state(), player::PlaybackTarget::State::Playing);
    fake.relTime = "0:20:00";
    QTRY_COMPARE(target.position(), 1200.0);

    // The next episode: the first is reported where it stood.
    target.play(QStringLiteral("http://127.0.0.1:9/02.mp4"), 0);
    QCOMPARE(stopped.size(), 1);
    auto stop = stopped.takeFirst().first().value<player::PlaybackTarget::Stop>();
    QCOMPARE(stop.address, QStringLiteral("http://127.0.0.1:9/01.mp4"));
    QCOMPARE(stop.position, 1200.0);
    QVERIFY(stop.loaded && !stop.reachedEnd);

    QTRY_COMPARE(target.state(), player::PlaybackTarget::State::Playing);
    fake.relTime = "0:44:59";
    QTRY_COMPARE(target.position(), 2699.0);
    fake.transportState = "STOPPED";
    QVERIFY(stopped.wait(3000));
    stop = stopped.takeFirst().first().value<player::PlaybackTarget::Stop>();
    QVERIFY(stop.reachedEnd);
    QCOMPARE(target.state(), player::PlaybackTarget::State::Ended);
}

Renderer TestCast::findRenderer(RendererList &list, RendererProcess &tv, const QString &name, const QString &uuid,
                                int port)
{
    if (!tv.start(PrivateNetwork::instance().rendererInterface(), name, uuid, port))
        return {};
    list.search();
    const QString id = QStringLiteral("uuid:") + uuid;
    if (!QTest::qWaitFor([&] { return list.renderer(id).isValid(); }, 5000))
        qWarning() << "not found:" << id << tv.output();
    return list.renderer(id);
}

void TestCast::discovery()
{
    requireNetwork();
    // Two TVs of the same name: both listed, told apart by their addresses.
    RendererProcess first, second;
    QVERIFY(first.start(PrivateNetwork::instance().rendererInterface(), QStringLiteral("Living Room TV"),
                        QStringLiteral("cafe0001-0000-4000-8000-000000000001"), 49494));
    QVERIFY(second.start(PrivateNetwork::instance().rendererInterface(), QStringLiteral("Living Room TV"),
                         QStringLiteral("cafe0001-0000-4000-8000-000000000002"), 49500));
    RendererList list(&m_network);
    QSignalSpy searching(&list, &RendererList::searchingChanged);
    list.search();
    QVERIFY(list.searching());
    QTRY_COMPARE_WITH_TIMEOUT(list.renderers().size(), 2, 15000);
    const QList<Renderer> found = list.renderers();
    QCOMPARE(found[0].friendlyName, QStringLiteral("Living Room TV"));
    QCOMPARE(found[1].friendlyName, found[0].friendlyName);
    QVERIFY(found[0].address != found[1].address);
    for (const Renderer &renderer : found)
        QVERIFY(renderer.address.startsWith(PrivateNetwork::instance().rendererAddress() + QLatin1Char(':')));

    // A TV switched off says byebye and leaves the list (gmediarender says
    // nothing when it ends: the test says it for it).
    QSignalSpy removed(&list, &RendererList::removed);
    second.terminate();
    Announcer announcer(PrivateNetwork::instance().fakeAddress());
    announcer.send(notify("ssdp:byebye", "cafe0001-0000-4000-8000-000000000002", {}, 1800));
    QVERIFY(removed.wait(3000));
    QCOMPARE(removed.first().first().toString(), QStringLiteral("uuid:cafe0001-0000-4000-8000-000000000002"));
    QCOMPARE(list.renderers().size(), 1);

    // One that announces itself while the list listens, and then lets its announcement expire.
    FakeRenderer brief;
    QVERIFY(brief.listen(QHostAddress(PrivateNetwork::instance().fakeAddress())));
    brief.description = FakeRenderer::describe(QStringLiteral("卧室电视"), QStringLiteral("uuid:brief-tv"));
    QSignalSpy added(&list, &RendererList::added);
    announcer.send(notify("ssdp:alive", "brief-tv", brief.descriptionUrl().toEncoded(), 2));
    QVERIFY(added.wait(3000));
    QCOMPARE(added.first().first().value<Renderer>().friendlyName, QStringLiteral("卧室电视"));
    QVERIFY(removed.wait(4000));
    QCOMPARE(removed.last().first().toString(), QStringLiteral("uuid:brief-tv"));
    QCOMPARE(list.renderers().size(), 1);
    QTRY_VERIFY(!list.searching());
    QCOMPARE(searching.size(), 2);
}

void TestCast::castMp4()
{
    requireNetwork();
    RendererList list(&m_network);
    RendererProcess tv;
    const Renderer renderer = findRenderer(list, tv, QStringLiteral("TV"), QStringLiteral("cafe0002-0000-4000-8000-0000000000a1"), 49510);
    QVERIFY(renderer.isValid());

    CastSession session;
    CastTiming timing;
    timing.pollMs = 250;
    session.setTiming(timing);
    session.start(renderer, m_site.site() + QStringLiteral("/media/sample.mp4"), QStringLiteral("第01集 <测试> & \"片\""));
    QTRY_COMPARE_WITH_TIMEOUT(session.state(), CastSession::State::Playing, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(session.duration(), 20.0, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(session.position() >= 1, 15000);

    session.pause();
    QTRY_COMPARE(session.state(), CastSession::State::Paused);
    // The TV says so too, round after round.
    const double pausedAt = session.position();
    QTest::qWait(600);
    QCOMPARE(session.state(), CastSession::State::Paused);
    QVERIFY(session.position() <= pausedAt + 1);
    session.resume();
    QTRY_COMPARE(session.state(), CastSession::State::Playing);

    // Read back from the TV: past where the seek put it, as it plays on.
    session.seekTo(12);
    QTRY_VERIFY_WITH_TIMEOUT(session.position() >= 13 && session.position() < 17, 4000);

    QVERIFY(session.hasVolume());
    session.setVolume(30);
    QTRY_COMPARE(session.volume(), 30);
    session.setMuted(true);
    QTRY_VERIFY(session.muted());

    session.stop();
    QCOMPARE(session.state(), CastSession::State::Stopped);
    // The TV itself has stopped (asked until it has: the Stop may still be on its way).
    QString tvState;
    std::function<void()> ask = [&] {
        auto *question = new SoapCall(renderer.device->avTransport(), "GetTransportInfo", {{"InstanceID", "0"}},
                                      {"CurrentTransportState"}, 5000, this);
        connect(question, &SoapCall::finished, this, [&](const SoapResult &result) {
            tvState = result.out.value("CurrentTransportState");
            if (tvState != QLatin1String("STOPPED") && !QTest::currentTestFailed())
                QTimer::singleShot(50, this, ask);
        });
    };
    ask();
    QTRY_COMPARE(tvState, QStringLiteral("STOPPED"));
}

void TestCast::castHls()
{
    requireNetwork();
    RendererList list(&m_network);
    RendererProcess tv;
    const Renderer renderer = findRenderer(list, tv, QStringLiteral("TV"), QStringLiteral("cafe0003-0000-4000-8000-0000000000b1"), 49520);
    QVERIFY(renderer.isValid());
    CastSession session;
    CastTiming timing;
    timing.pollMs = 250;
    session.setTiming(timing);
    session.start(renderer, m_site.site() + QStringLiteral("/media/hls/sample.m3u8"), QStringLiteral("第02集"));
    QTRY_COMPARE_WITH_TIMEOUT(session.state(), CastSession::State::Playing, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(session.position() >= 1, 15000);
    session.stop();
}

void TestCast::rendererKilledMidEpisode()
{
    requireNetwork();
    RendererList list(&m_network);
    RendererProcess tv;
    const Renderer renderer = findRenderer(list, tv, QStringLiteral("TV"), QStringLiteral("cafe0004-0000-4000-8000-0000000000c1"), 49530);
    QVERIFY(renderer.isValid());
    // The real timing: gone within 10 s is the promise.
    CastSession session;
    QSignalSpy failed(&session, &CastSession::failed);
    // Cast from where the built-in player was.
    session.start(renderer, m_site.site() + QStringLiteral("/media/sample.mp4"), QStringLiteral("第03集"), 4);
    QTRY_COMPARE_WITH_TIMEOUT(session.state(), CastSession::State::Playing, 15000);
    QTRY_VERIFY_WITH_TIMEOUT(session.position() >= 6, 18000);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("无法再连接到「TV」")));
    QElapsedTimer gone;
    gone.start();
    tv.kill();
    QVERIFY(failed.wait(10000));
    QVERIFY(gone.elapsed() < 10000);
    QVERIFY(session.deviceLost());
    QCOMPARE(failed.first().first().toString(), QStringLiteral("无法再连接到「TV」。"));
    // "在本机播放" goes on from the TV's last position.
    QVERIFY(session.position() >= 6);
    QVERIFY(session.position() < 6 + gone.elapsed() / 1000.0 + 1);
}

void TestCast::episodeEnd()
{
    requireNetwork();
    RendererList list(&m_network);
    RendererProcess tv;
    const Renderer renderer = findRenderer(list, tv, QStringLiteral("TV"), QStringLiteral("cafe0005-0000-4000-8000-0000000000d1"), 49540);
    QVERIFY(renderer.isValid());
    CastSession session;
    CastTiming timing;
    timing.pollMs = 250;
    session.setTiming(timing);
    QSignalSpy ended(&session, &CastSession::ended);
    session.start(renderer, m_site.site() + QStringLiteral("/media/sample.mp4"), QStringLiteral("第04集"), 18);
    QVERIFY(ended.wait(10000));
    QCOMPARE(session.state(), CastSession::State::Stopped);
    QCOMPARE(session.position(), 20.0);
}

void TestCast::announcementFlood()
{
    requireNetwork();
    const PrivateNetwork &network = PrivateNetwork::instance();
    // The invented devices' descriptions, served from the test's address.
    FakeRenderer descriptions;
    QVERIFY(descriptions.listen(QHostAddress(network.fakeAddress())));
    descriptions.page = [](const QString &path) {
        const QString uuid = path.section(QLatin1Char('/'), -1).section(QLatin1Char('.'), 0, 0);
        return FakeRenderer::describe(QStringLiteral("Flood"), QStringLiteral("uuid:") + uuid);
    };
    RendererList list(&m_network);
    list.search();
    const qint64 before = residentKb();

    QProcess flooder;
    flooder.setProcessChannelMode(QProcess::ForwardedChannels);
    flooder.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--flood"), network.fakeAddress(), QString::number(descriptions.port()),
                   QStringLiteral("5")});
    QVERIFY(flooder.waitForStarted());
    // The loop keeps turning: the longest gap between 20 ms ticks.
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, worst = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&] {
        worst = std::max(worst, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start(20);
    QTest::qWait(1000);

    // A real TV switched on in the middle of it is found. (Its start is
    // waited for without the loop: not counted.)
    RendererProcess tv;
    tick.stop();
    QVERIFY(tv.start(network.rendererInterface(), QStringLiteral("TV"),
                     QStringLiteral("cafe0006-0000-4000-8000-0000000000e1"), 49550));
    last = clock.elapsed();
    tick.start(20);
    list.search();
    QTRY_VERIFY_WITH_TIMEOUT(list.renderer(QStringLiteral("uuid:cafe0006-0000-4000-8000-0000000000e1")).isValid(),
                             3000);
    QVERIFY(flooder.state() == QProcess::Running);
    QVERIFY(QTest::qWaitFor([&] { return flooder.state() == QProcess::NotRunning; }, 10000));
    tick.stop();

    int invented = 0;
    QSet<QString> ids;
    for (const Renderer &listed : list.renderers()) {
        invented += listed.friendlyName == QLatin1String("Flood") ? 1 : 0;
        ids.insert(listed.id);
    }
    QVERIFY2(invented > 0 && invented <= RendererList::maxPerHost, qPrintable(QString::number(invented)));
    QCOMPARE(ids.size(), list.renderers().size());
    qInfo("longest stand-still of the loop: %lld ms, resident memory grew by %lld KB", worst, residentKb() - before);
    QVERIFY2(worst < 500, qPrintable(QStringLiteral("the loop stood still for %1 ms").arg(worst)));
    // Under the address sanitizer freed memory is held back on purpose.
    if (!sanitized)
        QVERIFY2(residentKb() - before < 40 * 1024, qPrintable(QString::number(residentKb() - before)));
}

int main(int argc, char *argv[])
{
    if (argc == 5 && qstrcmp(argv[1], "--flood") == 0)
        return flood(QString::fromLatin1(argv[2]), quint16(QByteArray(argv[3]).toUInt()), QByteArray(argv[4]).toInt());
    // Before any thread: a namespace is entered by the calling thread alone.
    PrivateNetwork::instance().enter();
    QCoreApplication app(argc, argv);
    TestCast test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

Q_DECLARE_METATYPE(FakeRenderer::Reply)

#include "tst_cast.moc"
