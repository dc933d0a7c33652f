#include "cast/gupnp_includes.h"

#include "cast/soap_call.h"

#include "cast/cast_log.h"

#include <QPointer>

#include <atomic>

namespace kinolark::cast {

namespace {
std::atomic<int> pendingCount{0};

void freeValue(gpointer value)
{
    g_value_unset(static_cast<GValue *>(value));
    g_free(value);
}
} // namespace

// Lives until GLib's callback, which always comes, even after a cancel.
struct SoapCall::Pending
{
    QPointer<SoapCall> owner;
    GObjectPtr<GCancellable> cancellable;
    GObjectPtr<GUPnPServiceProxy> service;
    GUPnPServiceProxyAction *action = nullptr;
    QList<QByteArray> outNames;
};

SoapCall::SoapCall(GUPnPServiceProxy *service, const QByteArray &action, const Arguments &in,
                   const QList<QByteArray> &outNames, int timeoutMs, QObject *parent)
    : QObject(parent), m_action(action)
{
    GList *names = nullptr;
    GList *values = nullptr;
    QList<QByteArray> nameBytes;
    for (const auto &[name, value] : in) {
        nameBytes << name;
        auto *gvalue = g_new0(GValue, 1);
        g_value_init(gvalue, G_TYPE_STRING);
        g_value_set_string(gvalue, value.toUtf8().constData());
        values = g_list_append(values, gvalue);
    }
    for (const QByteArray &name : nameBytes)
        names = g_list_append(names, const_cast<char *>(name.constData()));

    m_pending = new Pending;
    m_pending->owner = this;
    m_pending->cancellable = GObjectPtr<GCancellable>(g_cancellable_new());
    m_pending->service = GObjectPtr<GUPnPServiceProxy>::shared(service);
    m_pending->action = gupnp_service_proxy_action_new_from_list(action.constData(), names, values);
    m_pending->outNames = outNames;
    g_list_free(names);
    g_list_free_full(values, freeValue);

    ++pendingCount;
    m_clock.start();
    gupnp_service_proxy_call_action_async(service, m_pending->action, m_pending->cancellable.get(), onDone,
                                          m_pending);

    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        g_cancellable_cancel(m_pending->cancellable.get());
    });
    m_deadline.start(timeoutMs);
}

SoapCall::~SoapCall()
{
    if (m_pending)
        g_cancellable_cancel(m_pending->cancellable.get());
}

int SoapCall::pendingCallbacks()
{
    return pendingCount;
}

void SoapCall::onDone(GObject *source, GAsyncResult *asyncResult, gpointer data)
{
    auto *pending = static_cast<Pending *>(data);
    SoapResult result;
    GError *error = nullptr;
    // Transport errors come from here; SOAP faults only when the results are read.
    if (gupnp_service_proxy_call_action_finish(GUPNP_SERVICE_PROXY(source), asyncResult, &error)) {
        GHashTable *out = g_hash_table_new_full(g_str_hash, g_str_equal, nullptr, freeValue);
        for (const QByteArray &name : pending->outNames) {
            auto *value = g_new0(GValue, 1);
            g_value_init(value, G_TYPE_STRING);
            g_hash_table_insert(out, const_cast<char *>(name.constData()), value);
        }
        if (gupnp_service_proxy_action_get_result_hash(pending->action, out, &error)) {
            for (const QByteArray &name : pending->outNames) {
                auto *value = static_cast<GValue *>(g_hash_table_lookup(out, name.constData()));
                const char *text = value ? g_value_get_string(value) : nullptr;
                if (text)
                    result.out.insert(name, QString::fromUtf8(text));
            }
        }
        g_hash_table_unref(out);
    }
    if (error) {
        result.description = QString::fromUtf8(error->message);
        if (error->domain == GUPNP_CONTROL_ERROR) {
            result.failure = SoapResult::Failure::Fault;
            result.code = error->code;
        } else if (error->domain == GUPNP_SERVER_ERROR) {
            const bool status = error->code == GUPNP_SERVER_ERROR_NOT_FOUND
                                || error->code == GUPNP_SERVER_ERROR_NOT_IMPLEMENTED
                                || error->code == GUPNP_SERVER_ERROR_OTHER;
            result.failure = status ? SoapResult::Failure::HttpError : SoapResult::Failure::BadAnswer;
        } else if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)
                   || g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) {
            result.failure = SoapResult::Failure::Timeout;
        } else {
            result.failure = SoapResult::Failure::Unreachable;
        }
        g_error_free(error);
    }
    gupnp_service_proxy_action_unref(pending->action);
    QPointer<SoapCall> owner = pending->owner;
    delete pending;
    --pendingCount;
    if (owner) {
        owner->m_pending = nullptr;
        owner->deliver(result);
    }
}

void SoapCall::deliver(const SoapResult &result)
{
    m_deadline.stop();
    SoapResult final = result;
    // A cancel of ours that was not a timeout means the owner is gone; a timeout is a timeout.
    if (m_timedOut && !result.ok())
        final.failure = SoapResult::Failure::Timeout;
    qCDebug(castLog).noquote() << m_action << "answered in" << m_clock.elapsed() << "ms:"
                               << (final.ok() ? QStringLiteral("ok") : final.description);
    emit finished(final);
    deleteLater();
}

} // namespace kinolark::cast
