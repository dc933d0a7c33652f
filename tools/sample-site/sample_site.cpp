#include "sample_site.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

#include <cstdio>

namespace kinolark::sample {

namespace {

using Status = QHttpServerResponder::StatusCode;

QByteArray contentType(bool gb2312)
{
    return gb2312 ? QByteArrayLiteral("text/plain; charset=gb2312") : QByteArrayLiteral("text/plain; charset=utf-8");
}

QByteArray page(const QString &title, const QString &body)
{
    return (QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>") + title
            + QStringLiteral("</title></head>\n<body style=\"font-family: sans-serif\">\n") + body
            + QStringLiteral("\n</body></html>\n"))
        .toUtf8();
}

// Answers after `delayMs`, unless the client has gone by then.
void answerLater(QHttpServerResponder &&responder, int delayMs, QByteArray body, QByteArray type)
{
    if (delayMs <= 0) {
        responder.write(body, type);
        return;
    }
    auto held = std::make_shared<QHttpServerResponder>(std::move(responder));
    QPointer<QTcpSocket> socket = held->socket();
    QTimer::singleShot(delayMs, held->socket(), [held, socket, body, type] {
        if (socket && socket->state() == QAbstractSocket::ConnectedState)
            held->write(body, type);
    });
}

} // namespace

SampleSite::SampleSite(Settings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_catalogue(m_settings.titles)
{
    if (!m_settings.logFile.isEmpty()) {
        m_log = std::make_unique<QFile>();
        const bool opened = m_settings.logFile == QLatin1String("-")
                                ? m_log->open(stdout, QIODevice::WriteOnly | QIODevice::Text)
                                : (m_log->setFileName(m_settings.logFile),
                                   m_log->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text));
        if (!opened) {
            std::fprintf(stderr, "kinolark-sample-site: cannot write the log %s\n", qPrintable(m_settings.logFile));
            m_log.reset();
        }
    }

    m_server.route(QStringLiteral("/Uploads/xml.php"),
                   [this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
                       catalogueQuery(request, std::move(responder));
                   });
    m_server.route(QStringLiteral("/kinol_soft.html"), [this](const QHttpServerRequest &request) {
        log(request);
        return QHttpServerResponse(
            QByteArrayLiteral("text/html; charset=utf-8"),
            page(QStringLiteral("kinolark 下载"),
                 QStringLiteral("<h1>kinolark 新版本</h1>\n<p>这里是示例影片网站的客户端下载页面。</p>")));
    });
    m_server.route(QStringLiteral("/url.php"), [this](const QHttpServerRequest &request) {
        log(request);
        if (request.query().queryItemValue(QStringLiteral("Lx")) != QLatin1String("Baidu"))
            return QHttpServerResponse(Status::NotFound);
        QHttpServerResponse response(Status::Found);
        response.addHeader(QByteArrayLiteral("Location"), QByteArrayLiteral("/Uploads/player.html"));
        return response;
    });
    m_server.route(QStringLiteral("/Uploads/player.html"), [this](const QHttpServerRequest &request) {
        log(request);
        return QHttpServerResponse(
            QByteArrayLiteral("text/html; charset=utf-8"),
            page(QStringLiteral("百度影音下载"), QStringLiteral("<p>百度影音播放器的下载页面（示例）。</p>")));
    });
    m_server.route(QStringLiteral("/Uploads/soft.js"), [this](const QHttpServerRequest &request) {
        log(request);
        return QHttpServerResponse(QByteArrayLiteral("application/javascript"),
                                   QByteArrayLiteral("// Sample site script for the notice page.\n"
                                                     "var kinolarkSampleSite = true;\n"));
    });
    m_server.route(QStringLiteral("/Uploads/loading.html"), [this](const QHttpServerRequest &request) {
        log(request);
        return QHttpServerResponse(QByteArrayLiteral("text/html; charset=utf-8"),
                                   page(QStringLiteral("加载中"), QStringLiteral("<p>正在加载播放器…</p>")));
    });
    // A series goes on between two starts of the program:
    // /sample/add-episodes?Id=7&N=2 adds two episodes to title 7.
    m_server.route(QStringLiteral("/sample/add-episodes"), [this](const QHttpServerRequest &request) {
        log(request);
        bool idOk = false;
        bool countOk = false;
        const qint64 id = request.query().queryItemValue(QStringLiteral("Id")).toLongLong(&idOk);
        const QString n = request.query().queryItemValue(QStringLiteral("N"));
        const int count = n.isEmpty() ? 1 : n.toInt(&countOk);
        if (!idOk || (!n.isEmpty() && !countOk) || !m_catalogue.addEpisodes(id, count))
            return QHttpServerResponse(QByteArrayLiteral("text/plain"), QByteArrayLiteral("no such title"),
                                       Status::NotFound);
        return QHttpServerResponse(QByteArrayLiteral("text/plain"),
                                   QByteArray::number(m_catalogue.addedEpisodes(id)) + " added\n");
    });
    m_server.setMissingHandler([this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        log(request);
        if (!m_settings.mediaDir.isEmpty() && request.url().path().startsWith(QStringLiteral("/media/"))) {
            serveMedia(request, std::move(responder));
            return;
        }
        responder.write(QByteArrayLiteral("not found"), QByteArrayLiteral("text/plain"), Status::NotFound);
    });
}

SampleSite::~SampleSite() = default;

quint16 SampleSite::listen(quint16 port)
{
    const quint16 listening = m_server.listen(QHostAddress::LocalHost, port);
    m_address = QStringLiteral("http://127.0.0.1:%1").arg(listening);
    return listening;
}

QString SampleSite::playList(qint64 id) const
{
    const SampleTitle *title = m_catalogue.find(id);
    if (m_settings.mediaDir.isEmpty() || !title)
        return m_catalogue.playList(id);
    // The first two action films play from this site: an MP4, an HLS
    // stream, an address that answers 404, and one for a dedicated player.
    // The third is encrypted HLS, its key on the site; the fourth's
    // playlist names a local file as a segment.
    const int index = int(title - m_catalogue.titles().data());
    const QString media = m_address + QStringLiteral("/media/");
    const QString mp4 = media + QStringLiteral("sample.mp4");
    const QString hls = media + QStringLiteral("hls/sample.m3u8");
    if (index == 35)
        return QStringList{QStringLiteral("加密版$") + media + QStringLiteral("hls-aes/sample.m3u8"),
                           QStringLiteral("高清版$") + mp4}
            .join(QLatin1Char('\r'));
    if (index == 50)
        return QStringLiteral("本地片段版$") + media + QStringLiteral("hls-local/sample.m3u8");
    if (index == 5)
        return QStringList{QStringLiteral("第01集$") + mp4, QStringLiteral("第02集$") + hls,
                           QStringLiteral("第03集$") + mp4}
            .join(QLatin1Char('\r'));
    if (index == 20)
        return QStringList{QStringLiteral("高清版$") + mp4, QStringLiteral("国语版$") + media + QStringLiteral("missing.mp4"),
                           QStringLiteral("粤语版$bdhd://vod1.sample-media.example/23/3.rmvb")}
            .join(QLatin1Char('\r'));
    return m_catalogue.playList(id);
}

void SampleSite::serveMedia(const QHttpServerRequest &request, QHttpServerResponder &&responder)
{
    const QDir folder(m_settings.mediaDir);
    const QString wanted = QFileInfo(folder.filePath(request.url().path().mid(7))).canonicalFilePath();
    QFile file(wanted);
    if (wanted.isEmpty() || !wanted.startsWith(folder.canonicalPath() + QLatin1Char('/'))
        || !file.open(QIODevice::ReadOnly)) {
        responder.write(QByteArrayLiteral("not found"), QByteArrayLiteral("text/plain"), Status::NotFound);
        return;
    }
    const QByteArray body = file.readAll();
    const QByteArray type = wanted.endsWith(QLatin1String(".m3u8")) ? "application/vnd.apple.mpegurl"
                            : wanted.endsWith(QLatin1String(".ts"))  ? "video/mp2t"
                            : wanted.endsWith(QLatin1String(".key")) ? "application/octet-stream"
                                                                     : "video/mp4";
    // Players seek with byte ranges: "bytes=FROM-" or "bytes=FROM-TO".
    const QByteArray range = request.value(QByteArrayLiteral("Range"));
    if (range.startsWith("bytes=") && !body.isEmpty()) {
        const QList<QByteArray> ends = range.mid(6).split('-');
        bool fromOk = false, toOk = false;
        const qint64 from = ends.value(0).toLongLong(&fromOk);
        qint64 to = ends.value(1).isEmpty() ? body.size() - 1 : ends.value(1).toLongLong(&toOk);
        if (ends.value(1).isEmpty())
            toOk = true;
        to = qMin(to, qint64(body.size()) - 1);
        if (!fromOk || !toOk || from < 0 || from > to) {
            responder.write(QByteArray(), {{"Content-Range", "bytes */" + QByteArray::number(body.size())}},
                            Status::RequestRangeNotSatisfiable);
            return;
        }
        responder.write(body.mid(from, to - from + 1),
                        {{"Content-Type", type},
                         {"Accept-Ranges", "bytes"},
                         {"Content-Range", "bytes " + QByteArray::number(from) + '-' + QByteArray::number(to) + '/'
                                               + QByteArray::number(body.size())}},
                        Status::PartialContent);
        return;
    }
    responder.write(body, {{"Content-Type", type}, {"Accept-Ranges", "bytes"}});
}

void SampleSite::log(const QHttpServerRequest &request)
{
    if (!m_log)
        return;
    const QUrl url = request.url();
    QByteArray line = url.path(QUrl::FullyEncoded).toUtf8();
    if (url.hasQuery())
        line += '?' + url.query(QUrl::FullyEncoded).toUtf8();
    m_log->write(line + '\n');
    m_log->flush();
}

void SampleSite::catalogueQuery(const QHttpServerRequest &request, QHttpServerResponder &&responder)
{
    log(request);
    const QUrlQuery query = request.query();
    const QString kind = query.queryItemValue(QStringLiteral("Lx"));
    bool idOk = false;
    const qint64 id = query.queryItemValue(QStringLiteral("Id")).toLongLong(&idOk);

    if (kind == QLatin1String("Up")) {
        responder.write(QByteArrayLiteral("Up") + m_settings.versionFlag.toUtf8(), contentType(false));
        return;
    }
    if (kind != QLatin1String("All") && kind != QLatin1String("Dy") && kind != QLatin1String("Nr")) {
        responder.write(QByteArrayLiteral("unknown query"), QByteArrayLiteral("text/plain"), Status::NotFound);
        return;
    }
    if (!idOk) {
        responder.write(QByteArrayLiteral("bad id"), QByteArrayLiteral("text/plain"), Status::BadRequest);
        return;
    }
    if (kind == QLatin1String("All")) {
        const bool gb2312 = m_settings.allCharset == Charset::Alternating ? id % 2 != 0
                                                                           : m_settings.allCharset == Charset::Gb2312;
        answerLater(std::move(responder), m_settings.allDelayMs,
                    SampleCatalogue::encode(m_catalogue.allAnswer(id), gb2312), contentType(gb2312));
        return;
    }
    const bool gb2312 = SampleCatalogue::inGb2312(id);
    const QString text = kind == QLatin1String("Dy") ? playList(id) : m_catalogue.description(id);
    answerLater(std::move(responder), m_settings.detailDelayMs, SampleCatalogue::encode(text, gb2312),
                kind == QLatin1String("Nr") ? QByteArray("text/html; charset=") + (gb2312 ? "gb2312" : "utf-8")
                                            : contentType(gb2312));
}

} // namespace kinolark::sample
