#include "scripted_server.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <memory>

ScriptedServer::ScriptedServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection())
            serve(socket);
    });
}

bool ScriptedServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QString ScriptedServer::site() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void ScriptedServer::serve(QTcpSocket *socket)
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
        const QList<QByteArray> requestLine = buffer->left(buffer->indexOf("\r\n")).split(' ');
        // "Range: bytes=FROM-", as media players send to seek.
        const qsizetype rangeAt = buffer->toLower().indexOf("\r\nrange: bytes=");
        const qint64 rangeFrom = rangeAt < 0 ? -1 : buffer->mid(rangeAt + 15).split('-').value(0).toLongLong();
        buffer->clear();
        const QUrl url(QString::fromLatin1(requestLine.value(1)));
        const QString key = url.hasQuery() ? url.query(QUrl::FullyDecoded) : url.path();
        requests << key;
        emit requested(key);

        Reply reply = handler ? handler(key) : m_replies.value(key, m_replies.value(url.path(), m_fallback));
        if (reply.hang)
            return;
        if (rangeFrom > 0 && reply.status == 200 && !reply.cutBody && !reply.stallBody
            && rangeFrom < reply.body.size()) {
            const qint64 size = reply.body.size();
            reply.status = 206;
            reply.extraHeaders << "Content-Range: bytes " + QByteArray::number(rangeFrom) + '-'
                                      + QByteArray::number(size - 1) + '/' + QByteArray::number(size);
            reply.body = reply.body.mid(rangeFrom);
        }
        auto send = [socket = QPointer<QTcpSocket>(socket), reply] {
            if (!socket)
                return;
            QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted\r\n";
            head += "Content-Type: " + reply.contentType + "\r\n";
            head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
            if (reply.status == 200 || reply.status == 206)
                head += "Accept-Ranges: bytes\r\n";
            for (const QByteArray &header : reply.extraHeaders)
                head += header + "\r\n";
            head += "Connection: close\r\n\r\n";
            socket->write(head);
            if (reply.dripMs > 0) {
                auto *drip = new QTimer(socket);
                auto sent = std::make_shared<qsizetype>(0);
                QObject::connect(drip, &QTimer::timeout, socket, [socket, drip, sent, body = reply.body] {
                    if (*sent >= body.size()) {
                        drip->stop();
                        socket->disconnectFromHost();
                        return;
                    }
                    socket->write(body.mid((*sent)++, 1));
                });
                drip->start(reply.dripMs);
                return;
            }
            if (reply.cutBody || reply.stallBody) {
                socket->write(reply.body.left(reply.body.size() / 2));
                socket->flush();
                if (reply.cutBody)
                    socket->disconnectFromHost();
                return;
            }
            if (reply.bytesPerSecond > 0) {
                // A slice every 50 ms until the body is sent.
                auto *pace = new QTimer(socket);
                auto sent = std::make_shared<qint64>(0);
                connect(pace, &QTimer::timeout, socket, [socket, pace, sent, reply] {
                    const qint64 slice = qMax(1, reply.bytesPerSecond / 20);
                    socket->write(reply.body.mid(*sent, slice));
                    *sent += slice;
                    if (*sent >= reply.body.size()) {
                        pace->stop();
                        socket->disconnectFromHost();
                    }
                });
                pace->start(50);
                return;
            }
            socket->write(reply.body);
            socket->disconnectFromHost();
        };
        if (reply.delayMs > 0)
            QTimer::singleShot(reply.delayMs, socket, send);
        else
            send();
    });
}
