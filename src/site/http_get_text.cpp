#include "site/http_get_text.h"

#include "site/cancel_token.h"
#include "site/http_fetch.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace kinolark::site {

HttpAnswer HttpGetText(QNetworkAccessManager &network, const QString &address, const HttpOptions &options)
{
    HttpAnswer answer;
    if (options.cancel && options.cancel->isCancelled()) {
        answer.error = QStringLiteral("cancelled");
        return answer;
    }
    const QUrl url(address);
    if (!url.isValid() || url.scheme().isEmpty()) {
        answer.error = QStringLiteral("invalid address: %1").arg(address);
        return answer;
    }
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(network.get(siteRequest(url, options)),
                                                                    [](QNetworkReply *r) { r->deleteLater(); });
    QString refused;
    bool tooLarge = false;
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    limitAnswerSize(reply.get(), options.maxBytes, &loop, [&](const QString &why) {
        refused = why;
        tooLarge = true;
    });
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, &loop,
                     [&](qint64 received, qint64 total) {
                         if (!refused.isEmpty())
                             return;
                         if (options.progress && !options.progress(received, total)) {
                             refused = QStringLiteral("cancelled");
                             reply->abort();
                         }
                     });
    if (options.cancel) {
        QObject::connect(options.cancel, &CancelToken::cancelled, &loop, [&] {
            refused = QStringLiteral("cancelled");
            reply->abort();
        });
    }
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        refused = QStringLiteral("no complete answer within %1 ms").arg(options.deadlineMs);
        reply->abort();
    });
    deadline.start(options.deadlineMs);

    if (!reply->isFinished())
        loop.exec();
    if (!reply->isFinished()) {
        // The loop was ended from outside, e.g. the application is quitting.
        refused = QStringLiteral("interrupted");
        QObject::disconnect(reply.get(), nullptr, &loop, nullptr);
        reply->abort();
    }

    return answerOf(*reply, refused, options.timeoutMs, tooLarge);
}

} // namespace kinolark::site
