// Casting on gmediarender in a network namespace of the bench's own (as
// root; see tests/cast/private_network.h), against the same SOAP calls made
// with the curl command:
//  - choice of renderer to PLAYING: CastSession::start (Stop,
//    SetAVTransportURI, Play, then GetTransportInfo until PLAYING) against
//    curl sending those three and then asking GetTransportInfo until PLAYING;
//  - discovery of a renderer that is already up: RendererList::search() to
//    the renderer in the list.
//
// Usage: bench_cast --media DIR (DIR holds sample.mp4, see scripts/media).

#include "cast/cast_metadata.h"
#include "cast/cast_session.h"
#include "cast/renderer_device.h"
#include "cast/renderer_list.h"
#include "private_network.h"
#include "renderer_process.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace kinolark::cast;

namespace {

constexpr int runs = 7;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs the event loop, as a window's own does, until `done` after `signal`
// of `sender`. (QTest's waits sleep between turns of the loop, which would
// add their naps to every step of an HTTP exchange.)
template<typename Sender, typename Signal>
bool runUntil(Sender *sender, Signal signal, const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

QString xmlEscaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// One SOAP call with curl, as a shell script of a bare control point would.
QByteArray curlSoap(const QUrl &control, const QString &action, const QString &arguments)
{
    const QString envelope = QStringLiteral(
        "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:%1 "
        "xmlns:u=\"urn:schemas-upnp-org:service:AVTransport:1\">%2</u:%1></s:Body></s:Envelope>")
                                 .arg(action, arguments);
    QProcess curl;
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-s"), QStringLiteral("-m"), QStringLiteral("5"), QStringLiteral("-H"),
                QStringLiteral("Content-Type: text/xml; charset=\"utf-8\""), QStringLiteral("-H"),
                QStringLiteral("SOAPACTION: \"urn:schemas-upnp-org:service:AVTransport:1#%1\"").arg(action),
                QStringLiteral("--data-binary"), envelope, control.toString()});
    curl.waitForFinished(10000);
    return curl.readAllStandardOutput();
}

} // namespace

int main(int argc, char *argv[])
{
    PrivateNetwork &network = PrivateNetwork::instance();
    network.enter();
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString media = arguments.value(arguments.indexOf(QStringLiteral("--media")) + 1);
    const QString bin = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin"));
    if (!QFile::exists(media + QStringLiteral("/sample.mp4")))
        qFatal("usage: bench_cast --media DIR (with DIR/sample.mp4)");
    if (!network.ready()) {
        std::printf("@note\tcast: not measured: %s\n", qPrintable(network.reason()));
        return 0;
    }

    QProcess site;
    site.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    site.start(bin + QStringLiteral("/kinolark-sample-site"),
               {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--titles"), QStringLiteral("0"),
                QStringLiteral("--media"), media});
    if (!site.waitForStarted() || !site.waitForReadyRead(20000))
        qFatal("the sample site did not start");
    const QString address =
        QStringLiteral("http://127.0.0.1:") + QString::fromLatin1(site.readLine()).trimmed() + QStringLiteral("/media/sample.mp4");
    const QString title = QStringLiteral("第01集");

    RendererProcess tv;
    const QString uuid = QStringLiteral("cafe00b0-0000-4000-8000-000000000001");
    if (!tv.start(network.rendererInterface(), QStringLiteral("Bench TV"), uuid, 49600))
        qFatal("gmediarender did not start");
    QNetworkAccessManager access;

    // Discovery: a list of its own each time, as at a program's start.
    std::vector<double> found;
    Renderer renderer;
    for (int run = 0; run < runs; ++run) {
        RendererList list(&access);
        QElapsedTimer clock;
        clock.start();
        list.search();
        if (!runUntil(&list, &RendererList::added,
                      [&] { return list.renderer(QStringLiteral("uuid:") + uuid).isValid(); }, 5000))
            qFatal("the renderer was not found");
        found.push_back(clock.nsecsElapsed() / 1e6);
        renderer = list.renderer(QStringLiteral("uuid:") + uuid);
        // Its browsers' last searches done before the next list's.
        QTest::qWait(1200);
    }
    const double foundMs = median(found);
    std::printf("discovery (ms):");
    for (double ms : found)
        std::printf(" %.0f", ms);
    std::printf("\n");

    // Choice of renderer to PLAYING, ours and curl's in turn, from a stopped TV.
    std::vector<double> ours, anchor;
    char *controlText = gupnp_service_info_get_control_url(GUPNP_SERVICE_INFO(renderer.device->avTransport()));
    const QUrl control(QString::fromUtf8(controlText));
    g_free(controlText);
    const QString metadata = xmlEscaped(didlLiteFor(title, address));
    for (int run = 0; run < runs; ++run) {
        {
            CastSession session;
            QElapsedTimer clock;
            clock.start();
            session.start(renderer, address, title);
            if (!runUntil(&session, &CastSession::stateChanged,
                          [&] { return session.state() == CastSession::State::Playing; }, 10000))
                qFatal("the cast did not reach PLAYING");
            ours.push_back(clock.nsecsElapsed() / 1e6);
            session.stop();
            QTest::qWait(500);
        }
        QElapsedTimer clock;
        clock.start();
        curlSoap(control, QStringLiteral("Stop"), QStringLiteral("<InstanceID>0</InstanceID>"));
        curlSoap(control, QStringLiteral("SetAVTransportURI"),
                 QStringLiteral("<InstanceID>0</InstanceID><CurrentURI>%1</CurrentURI><CurrentURIMetaData>%2"
                                "</CurrentURIMetaData>")
                     .arg(xmlEscaped(address), metadata));
        curlSoap(control, QStringLiteral("Play"), QStringLiteral("<InstanceID>0</InstanceID><Speed>1</Speed>"));
        while (!curlSoap(control, QStringLiteral("GetTransportInfo"), QStringLiteral("<InstanceID>0</InstanceID>"))
                    .contains("<CurrentTransportState>PLAYING<")) {
            if (clock.elapsed() > 10000)
                qFatal("curl's cast did not reach PLAYING");
        }
        anchor.push_back(clock.nsecsElapsed() / 1e6);
        curlSoap(control, QStringLiteral("Stop"), QStringLiteral("<InstanceID>0</InstanceID>"));
        QTest::qWait(500);
    }
    const double oursMs = median(ours), anchorMs = median(anchor);
    std::printf("to PLAYING (ms), ours:");
    for (double ms : ours)
        std::printf(" %.0f", ms);
    std::printf("; curl:");
    for (double ms : anchor)
        std::printf(" %.0f", ms);
    std::printf("\n");

    std::printf("@row\tcast: renderer chosen to PLAYING\t%.0f ms\t%.0f ms\t%.2fx\t<= 1.2x + 100 ms\t%s\n", oursMs,
                anchorMs, oursMs / anchorMs, oursMs <= 1.2 * anchorMs + 100 ? "yes" : "no");
    std::printf("@row\tcast: renderer already up, search to list\t%.0f ms\t-\t-\t< 1500 ms\t%s\n", foundMs,
                foundMs < 1500 ? "yes" : "no");
    std::printf("@note\tcast: gmediarender in a network namespace of the bench's own, medians of %d; the anchor is "
                "curl sending Stop, SetAVTransportURI and Play, then GetTransportInfo until PLAYING\n",
                runs);
    site.terminate();
    site.waitForFinished();
    return 0;
}
