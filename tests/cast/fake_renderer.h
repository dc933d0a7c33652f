#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>

#include <functional>

// A media renderer that is only an HTTP server in the test: it serves a
// description and answers SOAP actions from a script, with faults, HTML,
// silence or a plain success, and plays along for the state and position.
class FakeRenderer : public QObject
{
    Q_OBJECT
public:
    struct Reply
    {
        int status = 200;
        QByteArray body;
        QByteArray type = "text/xml; charset=\"utf-8\"";
        bool hang = false; // read the request, never answer
    };

    explicit FakeRenderer(QObject *parent = nullptr);

    bool listen(const QHostAddress &address = QHostAddress::LocalHost);
    QString host() const { return m_server.serverAddress().toString(); }
    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString &path) const;
    QUrl descriptionUrl() const { return url(QStringLiteral("/description.xml")); }

    // A MediaRenderer description with AVTransport and RenderingControl at
    // `controlBase` + "/av" and "/rc" (relative to the description unless absolute).
    static QByteArray describe(const QString &friendlyName, const QString &udn,
                               const QString &controlBase = QStringLiteral("/ctl"));
    static Reply fault(int code, const QByteArray &description);
    static Reply answer(const QByteArray &action, const QList<QPair<QByteArray, QByteArray>> &out = {});

    // Served at /description.xml.
    QByteArray description;
    // Serves any other GET path when set (null for 404).
    std::function<QByteArray(const QString &path)> page;
    // Scripted answers by action name; the rest get a plain success, with
    // the state and position below for GetTransportInfo and GetPositionInfo.
    QHash<QByteArray, Reply> script;
    QByteArray transportState = "STOPPED";
    QByteArray relTime = "0:00:00";
    QByteArray trackDuration = "0:00:00";
    bool silent = false; // answers nothing at all

    QList<QByteArray> actions;               // every action received, in order
    QHash<QByteArray, QByteArray> lastBody;  // the last request body of each action
    int gets = 0;

signals:
    void actionReceived(const QByteArray &action);

private:
    void serve(class QTcpSocket *socket);
    Reply respond(const QByteArray &action, const QByteArray &body);

    QTcpServer m_server;
};
