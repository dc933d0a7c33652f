#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace kinolark::cast {

// One GET of a device description: no redirects, at most `limit` bytes,
// `timeoutMs` in all. Emits finished once, then may be deleted.
class DescriptionFetch : public QObject
{
    Q_OBJECT
public:
    DescriptionFetch(QNetworkAccessManager *network, const QUrl &url, qsizetype limit, int timeoutMs,
                     QObject *parent = nullptr);
    ~DescriptionFetch() override;

    QUrl url() const { return m_url; }

signals:
    // `error` is empty on success (English, for the log).
    void finished(const QByteArray &body, const QString &error);

private:
    void finish(const QString &error);

    QUrl m_url;
    qsizetype m_limit;
    QNetworkReply *m_reply = nullptr;
    QByteArray m_body;
    QTimer m_deadline;
    bool m_done = false;
};

} // namespace kinolark::cast
