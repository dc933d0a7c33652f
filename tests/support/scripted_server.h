#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTcpServer>

#include <functional>

// An HTTP server on 127.0.0.1 that answers each request from a script, for
// answers a real site rarely gives: error statuses, stalls, cut bodies.
// Requests are matched by their query text ("Lx=Dy&Id=7"); every request
// received is recorded. A "Range: bytes=FROM-" request of a whole 200 answer
// gets the rest of its body from there (206), as media players expect.
class ScriptedServer : public QObject
{
    Q_OBJECT
public:
    struct Reply
    {
        Reply(int status_ = 200, QByteArray body_ = QByteArray())
            : status(status_), body(std::move(body_)) {}
        Reply &type(const QByteArray &contentType_) { contentType = contentType_; return *this; }
        Reply &header(const QByteArray &line) { extraHeaders << line; return *this; }
        Reply &delay(int ms) { delayMs = ms; return *this; }
        Reply &hanging() { hang = true; return *this; }
        Reply &cut() { cutBody = true; return *this; }
        Reply &stalled() { stallBody = true; return *this; }
        Reply &dripping(int everyMs) { dripMs = everyMs; return *this; }
        Reply &paced(int bytesPerSecond_) { bytesPerSecond = bytesPerSecond_; return *this; }

        int status;
        QByteArray body;
        QByteArray contentType = "text/html";
        QList<QByteArray> extraHeaders; // e.g. "Location: /x"
        int delayMs = 0;                // wait this long before answering
        bool hang = false;              // read the request, never answer
        bool cutBody = false;           // announce the whole body, send half, close
        bool stallBody = false;         // announce the whole body, send half, keep open
        int dripMs = 0;                 // send the body a byte at a time, one every dripMs
        int bytesPerSecond = 0;         // send the body this slowly; 0: at once
    };

    explicit ScriptedServer(QObject *parent = nullptr);

    bool listen();
    quint16 port() const { return m_server.serverPort(); }
    QString site() const; // "http://127.0.0.1:<port>"
    QString endpoint() const { return site() + QStringLiteral("/Uploads/xml.php?"); }

    // The reply for requests whose query (the text after "?") is `query`, or
    // whose path is `query` when it starts with "/". `fallback` answers the rest.
    void on(const QString &query, const Reply &reply) { m_replies.insert(query, reply); }
    void setFallback(const Reply &reply) { m_fallback = reply; }
    // Computes a reply; takes precedence over the table when set.
    std::function<Reply(const QString &query)> handler;

    QStringList requests; // query (or path) of each request, in order of arrival
    int count(const QString &query) const { return requests.count(query); }

signals:
    void requested(const QString &query);

private:
    void serve(class QTcpSocket *socket);

    QTcpServer m_server;
    QHash<QString, Reply> m_replies;
    Reply m_fallback{404, "not found"};
};
