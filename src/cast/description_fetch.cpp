#include "cast/description_fetch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace kinolark::cast {

DescriptionFetch::DescriptionFetch(QNetworkAccessManager *network, const QUrl &url, qsizetype limit,
                                   int timeoutMs, QObject *parent)
    : QObject(parent), m_url(url), m_limit(limit)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("kinolark UPnP/1.0"));
    m_reply = network->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, [this] {
        m_body += m_reply->read(m_limit + 1 - m_body.size());
        if (m_body.size() > m_limit)
            finish(QStringLiteral("description larger than %1 bytes").arg(m_limit));
    });
    connect(m_reply, &QNetworkReply::finished, this, [this] {
        if (m_done)
            return;
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (m_reply->error() != QNetworkReply::NoError && status == 0) {
            finish(m_reply->errorString());
            return;
        }
        if (status < 200 || status > 299) {
            finish(QStringLiteral("HTTP status %1").arg(status));
            return;
        }
        m_body += m_reply->read(m_limit + 1 - m_body.size());
        finish(m_body.size() > m_limit ? QStringLiteral("description larger than %1 bytes").arg(m_limit)
                                       : QString());
    });
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { finish(QStringLiteral("no answer in time")); });
    m_deadline.start(timeoutMs);
}

DescriptionFetch::~DescriptionFetch()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

void DescriptionFetch::finish(const QString &error)
{
    if (m_done)
        return;
    m_done = true;
    m_deadline.stop();
    m_reply->disconnect(this);
    m_reply->abort();
    m_reply->deleteLater();
    m_reply = nullptr;
    if (!error.isEmpty())
        m_body.clear();
    emit finished(m_body, error);
}

} // namespace kinolark::cast
