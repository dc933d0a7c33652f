#pragma once

#include "site/http_get_text.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QUrl;

namespace kinolark::site {

// The request every site GET sends: the transfer timeout of `options`, and
// redirects followed unless they lead from https to http.
QNetworkRequest siteRequest(const QUrl &url, const HttpOptions &options);
// What a finished reply amounts to. `refused` is why the program itself
// stopped it (empty when it did not); `tooLarge` that it stopped it at the
// size limit.
HttpAnswer answerOf(QNetworkReply &reply, const QString &refused, int timeoutMs, bool tooLarge = false);
// Stops `reply` once its answer is known to be longer than `maxBytes`,
// from its announced length or from what has arrived, and then calls
// `refused` with the reason.
void limitAnswerSize(QNetworkReply *reply, qint64 maxBytes, QObject *context,
                     const std::function<void(const QString &why)> &refused);

// One GET that runs behind the window: nothing waits for it, and its answer
// arrives through finished(), judged by the same rules as HttpGetText's
// (progress and cancel of the options are not used). finished() comes
// exactly once, never from inside the constructor or abort().
class HttpFetch : public QObject
{
    Q_OBJECT
public:
    HttpFetch(QNetworkAccessManager &network, const QString &address, const HttpOptions &options,
              QObject *parent = nullptr);
    ~HttpFetch() override;

    // Gives up: finished() follows with a failure, unless it came already.
    void abort();

signals:
    void finished(const kinolark::site::HttpAnswer &answer);

private:
    void finish(const HttpAnswer &answer);

    QPointer<QNetworkReply> m_reply;
    QTimer m_deadline;
    QString m_refused;
    bool m_tooLarge = false;
    int m_timeoutMs;
    bool m_done = false;
};

} // namespace kinolark::site
