#pragma once

#include <QString>

#include <functional>

class QNetworkAccessManager;

namespace kinolark::site {

class CancelToken;

// The outcome of one site request. Only `ok` makes `text` an answer: a
// network error, a timeout, a cancelled wait or an HTTP status outside
// 200-299 is a failure, whatever body came with it.
struct HttpAnswer
{
    bool ok = false;
    QString text;   // the body, decoded by BytesToText; empty on failure
    int status = 0; // the HTTP status, 0 when none arrived
    QString error;  // why it failed, in the network layer's words
    bool tooLarge = false; // it was refused for being longer than the options allow

    // The site was reached and answered with an error status (404, 500...),
    // as against not reached at all.
    bool siteAnswered() const { return !ok && status != 0 && (status < 200 || status > 299); }
};

struct HttpOptions
{
    // Give up when nothing arrives for this long.
    int timeoutMs = 30000;
    // Give up when the whole answer takes longer than this: a server that
    // sends a byte now and then never trips the idle timeout.
    int deadlineMs = 120 * 1000;
    // Larger answers are refused rather than held in memory: reading stops
    // at the limit.
    qint64 maxBytes = qint64(512) * 1024 * 1024;
    // Told of every chunk received (bytes so far, total or -1); returning
    // false cancels the request.
    std::function<bool(qint64 received, qint64 total)> progress;
    // Cancelling it ends the wait at once, whether or not data is arriving.
    const CancelToken *cancel = nullptr;
};

// One GET of `address`. Waits for the whole answer in a local event loop,
// so the window keeps working meanwhile; other handlers may run during the
// wait and send requests of their own.
HttpAnswer HttpGetText(QNetworkAccessManager &network, const QString &address,
                       const HttpOptions &options = HttpOptions());

} // namespace kinolark::site
