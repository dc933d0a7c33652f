#pragma once

#include "cast/gobject_ptr.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTimer>

namespace kinolark::cast {

struct SoapResult
{
    enum class Failure {
        None,
        Timeout,     // no answer in time
        Unreachable, // no connection, or it broke
        Fault,       // a SOAP fault with a UPnP error code
        BadAnswer,   // an answer that is no SOAP: an HTML page, a fault without code
        HttpError,   // an HTTP status that is neither 200 nor a fault's 500
    };

    Failure failure = Failure::None;
    int code = 0;        // the UPnP error code of a fault, the HTTP status of HttpError
    QString description; // the fault's errorDescription, else GUPnP's or the network's message
    QHash<QByteArray, QString> out;

    bool ok() const { return failure == Failure::None; }
    // The device did not answer at all.
    bool noAnswer() const { return failure == Failure::Timeout || failure == Failure::Unreachable; }
};

// One SOAP action sent with GUPnP, answered asynchronously on GLib's loop.
// Emits finished once, then deletes itself. Deleting it earlier cancels
// the wait (the device may still carry the action out).
class SoapCall : public QObject
{
    Q_OBJECT
public:
    using Arguments = QList<QPair<QByteArray, QString>>;

    SoapCall(GUPnPServiceProxy *service, const QByteArray &action, const Arguments &in,
             const QList<QByteArray> &outNames, int timeoutMs, QObject *parent);
    ~SoapCall() override;

    QByteArray action() const { return m_action; }

    // Calls whose GLib callback has not run yet (tests wait for none to be
    // left before they end, so nothing is left for the leak checker).
    static int pendingCallbacks();

signals:
    void finished(const kinolark::cast::SoapResult &result);

private:
    struct Pending;
    static void onDone(GObject *source, GAsyncResult *result, gpointer data);
    void deliver(const SoapResult &result);

    QByteArray m_action;
    Pending *m_pending = nullptr;
    QTimer m_deadline;
    QElapsedTimer m_clock;
    bool m_timedOut = false;
};

} // namespace kinolark::cast

Q_DECLARE_METATYPE(kinolark::cast::SoapResult)
