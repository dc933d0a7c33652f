#include "site/http_fetch.h"

#include "site/bytes_to_text.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace kinolark::site {

QNetworkRequest siteRequest(const QUrl &url, const HttpOptions &options)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(options.timeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    return request;
}

HttpAnswer answerOf(QNetworkReply &reply, const QString &refused, int timeoutMs, bool tooLarge)
{
    HttpAnswer answer;
    answer.status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!refused.isEmpty()) {
        answer.error = refused;
        answer.tooLarge = tooLarge;
    } else if (reply.error() == QNetworkReply::OperationCanceledError) {
        // The transfer timeout cancels the request.
        answer.error = QStringLiteral("nothing received for %1 ms").arg(timeoutMs);
    } else if (reply.error() != QNetworkReply::NoError) {
        answer.error = reply.errorString();
    } else if (answer.status < 200 || answer.status > 299) {
        answer.error = QStringLiteral("HTTP status %1").arg(answer.status);
    } else {
        answer.ok = true;
        answer.text = BytesToText(reply.readAll());
    }
    return answer;
}

void limitAnswerSize(QNetworkReply *reply, qint64 maxBytes, QObject *context,
                     const std::function<void(const QString &why)> &refused)
{
    const auto refuse = [reply, maxBytes, refused] {
        if (reply->isFinished())
            return;
        refused(QStringLiteral("answer larger than %1 bytes").arg(maxBytes));
        reply->abort();
    };
    // A server that says how long its answer is gets no chance to send it.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, context, [reply, maxBytes, refuse] {
        bool known = false;
        const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && length > maxBytes)
            refuse();
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, context, [maxBytes, refuse](qint64 received, qint64) {
        if (received > maxBytes)
            refuse();
    });
}

HttpFetch::HttpFetch(QNetworkAccessManager &network, const QString &address, const HttpOptions &options,
                     QObject *parent)
    : QObject(parent)
    , m_timeoutMs(options.timeoutMs)
{
    const QUrl url(address);
    if (!url.isValid() || url.scheme().isEmpty()) {
        HttpAnswer answer;
        answer.error = QStringLiteral("invalid address: %1").arg(address);
        QTimer::singleShot(0, this, [this, answer] { finish(answer); });
        return;
    }
    m_reply = network.get(siteRequest(url, options));
    limitAnswerSize(m_reply, options.maxBytes, this, [this](const QString &why) {
        m_refused = why;
        m_tooLarge = true;
    });
    connect(m_reply, &QNetworkReply::finished, this,
            [this] { finish(answerOf(*m_reply, m_refused, m_timeoutMs, m_tooLarge)); });
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this, deadlineMs = options.deadlineMs] {
        m_refused = QStringLiteral("no complete answer within %1 ms").arg(deadlineMs);
        m_reply->abort();
    });
    m_deadline.start(options.deadlineMs);
}

HttpFetch::~HttpFetch()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void HttpFetch::abort()
{
    if (m_done)
        return;
    m_refused = QStringLiteral("cancelled");
    if (m_reply) {
        // The reply's finished() would come from inside abort(); answer later.
        m_reply->disconnect(this);
        m_reply->abort();
    }
    HttpAnswer answer;
    answer.error = m_refused;
    m_done = true; // no answer of the reply's any more
    m_deadline.stop();
    QTimer::singleShot(0, this, [this, answer] { emit finished(answer); });
}

void HttpFetch::finish(const HttpAnswer &answer)
{
    if (m_done)
        return;
    m_done = true;
    m_deadline.stop();
    emit finished(answer);
}

} // namespace kinolark::site
