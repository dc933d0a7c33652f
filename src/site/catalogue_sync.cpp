#include "site/catalogue_sync.h"

#include "site/catalogue_answer.h"
#include "site/catalogue_writer.h"
#include "site/version_answer.h"
#include "store/catalogue.h"

namespace kinolark::site {

CatalogueSync::CatalogueSync(store::Catalogue &catalogue, QNetworkAccessManager &network, QString endpoint,
                             std::function<QString()> today)
    : m_catalogue(catalogue)
    , m_network(network)
    , m_endpoint(std::move(endpoint))
    , m_today(std::move(today))
{
}

CatalogueSync::CatalogueSync(store::Catalogue &catalogue, QNetworkAccessManager &network, QString endpoint,
                             const QString &today)
    : CatalogueSync(catalogue, network, std::move(endpoint), [today] { return today; })
{
}

bool CatalogueSync::isDue() const
{
    return m_catalogue.lastSyncDate() != m_today();
}

SyncOutcome CatalogueSync::run()
{
    SyncOutcome outcome;
    const QString lastSync = m_catalogue.lastSyncDate();
    const qint64 watermark = m_catalogue.watermark();
    if (lastSync == m_today())
        return outcome;

    HttpOptions options = m_options;
    options.cancel = &m_cancel;
    if (m_progress) {
        options.progress = [this](qint64 received, qint64 total) {
            m_progress(Stage::Downloading, received, total);
            return !m_cancel.isCancelled();
        };
    }
    const HttpAnswer answer =
        HttpGetText(m_network, m_endpoint + QStringLiteral("Lx=All&Id=") + QString::number(watermark), options);
    if (!answer.ok || m_cancel.isCancelled()) {
        outcome.result = m_cancel.isCancelled() ? SyncOutcome::Result::Cancelled : SyncOutcome::Result::SiteFailed;
        outcome.error = answer.error;
        outcome.errorStatus = answer.siteAnswered() ? answer.status : 0;
        return outcome;
    }

    // Everything is read before anything is written.
    QList<CatalogueRecord> records = parseCatalogueAnswer(answer.text);
    const QList<qint64> outliers = dropOutliers(records, watermark);
    for (const qint64 id : outliers)
        qWarning("catalogue sync: title %lld skipped: its id stands far above all the others", id);
    outcome.received = int(records.size());

    const CatalogueWriter::Progress storing = [this](qint64 done, qint64 total) {
        if (m_progress)
            m_progress(Stage::Storing, done, total);
        return !m_cancel.isCancelled();
    };
    const CatalogueWriter::Result written =
        CatalogueWriter(m_catalogue.database(), m_pinyin).write(records, m_today(), storing);
    if (!written.ok) {
        outcome.result = written.cancelled ? SyncOutcome::Result::Cancelled : SyncOutcome::Result::StoreFailed;
        outcome.error = written.error;
        return outcome;
    }
    outcome.result = SyncOutcome::Result::Synced;
    outcome.inserted = written.inserted;
    outcome.newerClient = versionIsNewer();
    outcome.cancelledAfterCommit = m_cancel.isCancelled();
    return outcome;
}

bool CatalogueSync::versionIsNewer()
{
    HttpOptions options = m_options;
    options.progress = nullptr;
    options.cancel = &m_cancel;
    const HttpAnswer answer = HttpGetText(m_network, m_endpoint + QStringLiteral("Lx=Up"), options);
    // A failed request tells nothing about the version.
    return answer.ok && readVersionAnswer(answer.text) == VersionAnswer::NewerClient;
}

} // namespace kinolark::site
