#include "fake_renderer.h"

#include <QTcpSocket>

FakeRenderer::FakeRenderer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

bool FakeRenderer::listen(const QHostAddress &address)
{
    return m_server.listen(address, 0);
}

QUrl FakeRenderer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://%1:%2%3").arg(host()).arg(port()).arg(path));
}

QByteArray FakeRenderer::describe(const QString &friendlyName, const QString &udn, const QString &controlBase)
{
    const QByteArray base = controlBase.toUtf8();
    return "<?xml version=\"1.0\"?>\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
           "<specVersion><major>1</major><minor>0</minor></specVersion><device>"
           "<deviceType>urn:schemas-upnp-org:device:MediaRenderer:1</deviceType>"
           "<friendlyName>" + friendlyName.toHtmlEscaped().toUtf8() + "</friendlyName>"
           "<modelName>Fake</modelName><UDN>" + udn.toUtf8() + "</UDN><serviceList>"
           "<service><serviceType>urn:schemas-upnp-org:service:AVTransport:1</serviceType>"
           "<serviceId>urn:upnp-org:serviceId:AVTransport</serviceId><SCPDURL>/av.xml</SCPDURL>"
           "<controlURL>" + base + "/av</controlURL><eventSubURL>/ev/av</eventSubURL></service>"
           "<service><serviceType>urn:schemas-upnp-org:service:RenderingControl:1</serviceType>"
           "<serviceId>urn:upnp-org:serviceId:RenderingControl</serviceId><SCPDURL>/rc.xml</SCPDURL>"
           "<controlURL>" + base + "/rc</controlURL><eventSubURL>/ev/rc</eventSubURL></service>"
           "</serviceList></device></root>\n";
}

FakeRenderer::Reply FakeRenderer::fault(int code, const QByteArray &description)
{
    Reply reply;
    reply.status = 500;
    reply.body = "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                 "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><s:Fault>"
                 "<faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
                 "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\">"
                 + (code >= 0 ? "<errorCode>" + QByteArray::number(code) + "</errorCode>" : QByteArray())
                 + "<errorDescription>" + description + "</errorDescription></UPnPError></detail>"
                 "</s:Fault></s:Body></s:Envelope>";
    return reply;
}

FakeRenderer::Reply FakeRenderer::answer(const QByteArray &action, const QList<QPair<QByteArray, QByteArray>> &out)
{
    Reply reply;
    reply.body = "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                 "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:" + action
                 + "Response xmlns:u=\"urn:schemas-upnp-org:service:AVTransport:1\">";
    for (const auto &[name, value] : out)
        reply.body += '<' + name + '>' + value + "</" + name + '>';
    reply.body += "</u:" + action + "Response></s:Body></s:Envelope>";
    return reply;
}

FakeRenderer::Reply FakeRenderer::respond(const QByteArray &action, const QByteArray &body)
{
    actions << action;
    lastBody.insert(action, body);
    emit actionReceived(action);
    if (script.contains(action))
        return script.value(action);
    if (action == "GetTransportInfo")
        return answer(action, {{"CurrentTransportState", transportState},
                               {"CurrentTransportStatus", "OK"},
                               {"CurrentSpeed", "1"}});
    if (action == "GetPositionInfo")
        return answer(action, {{"Track", "1"}, {"TrackDuration", trackDuration}, {"RelTime", relTime},
                               {"AbsTime", relTime}});
    if (action == "GetVolume")
        return answer(action, {{"CurrentVolume", "40"}});
    if (action == "GetMute")
        return answer(action, {{"CurrentMute", "0"}});
    if (action == "Play")
        transportState = "PLAYING";
    if (action == "Pause")
        transportState = "PAUSED_PLAYBACK";
    if (action == "Stop")
        transportState = "STOPPED";
    if (action == "Seek") {
        const qsizetype at = body.indexOf("<Target>");
        relTime = body.mid(at + 8, body.indexOf("</Target>") - at - 8);
    }
    return answer(action);
}

void FakeRenderer::serve(QTcpSocket *socket)
{
    auto *buffer = new QByteArray;
    connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
        delete buffer;
        socket->deleteLater();
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
        buffer->append(socket->readAll());
        const qsizetype end = buffer->indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buffer->left(end);
        const QByteArray lower = head.toLower();
        const qsizetype lengthAt = lower.indexOf("\r\ncontent-length:");
        const qsizetype length = lengthAt < 0 ? 0 : head.mid(lengthAt + 17).split('\r').value(0).trimmed().toLongLong();
        if (buffer->size() < end + 4 + length)
            return;
        const QByteArray body = buffer->mid(end + 4, length);
        buffer->clear();
        if (silent)
            return;
        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        const QString path = QString::fromLatin1(requestLine.value(1));
        Reply reply;
        if (requestLine.value(0) == "GET") {
            ++gets;
            if (path == QLatin1String("/description.xml") && !description.isEmpty())
                reply.body = description;
            else if (page)
                reply.body = page(path);
            if (reply.body.isEmpty())
                reply = Reply{404, "not found", "text/plain", false};
        } else {
            // SOAPACTION: "urn:schemas-upnp-org:service:AVTransport:1#Play"
            const qsizetype actionAt = lower.indexOf("\r\nsoapaction:");
            const QByteArray soapAction = head.mid(actionAt + 13).split('\r').value(0).trimmed();
            const QByteArray action = soapAction.mid(soapAction.indexOf('#') + 1).replace('"', "");
            reply = respond(action, body);
        }
        if (reply.hang)
            return;
        QByteArray answer = "HTTP/1.1 " + QByteArray::number(reply.status) + (reply.status == 200 ? " OK" : " Error")
                            + "\r\nContent-Type: " + reply.type + "\r\nContent-Length: "
                            + QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n" + reply.body;
        socket->write(answer);
        socket->disconnectFromHost();
    });
}
