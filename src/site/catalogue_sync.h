#pragma once

#include "site/cancel_token.h"
#include "site/http_get_text.h"

#include <QString>

#include <functional>

class QNetworkAccessManager;

namespace kinolark::store {
class Catalogue;
}

namespace kinolark::text {
class PinyinReader;
}

namespace kinolark::site {

// What the daily sync did, for the window to act on.
struct SyncOutcome
{
    enum class Result {
        Skipped,     // synced earlier today; no request was sent
        Synced,      // the titles are stored and the day is marked
        SiteFailed,  // the catalogue request failed; nothing was stored
        StoreFailed, // the catalogue could not be written; nothing was stored
        Cancelled,   // the user stopped it; nothing was stored
    };
    Result result = Result::Skipped;
    int received = 0;         // titles in the answer
    int inserted = 0;         // titles new to the catalogue
    bool newerClient = false; // the site announced a newer client
    // Synced: the user cancelled once the titles were committed; only the
    // version check was dropped.
    bool cancelledAfterCommit = false;
    QString error;            // why it failed, for logs
    int errorStatus = 0;      // SiteFailed: the HTTP status the site answered with, 0 when it was not reached
};

// The first start of a day brings the catalogue up to date: it asks the site
// for the titles above the highest id it holds, stores the new ones together
// with the day, then asks whether a newer client exists. Later starts of the
// same day send nothing.
//
// A failed request or write leaves the catalogue as it was and the day
// unmarked, so the next start tries again; the version is then not asked.
class CatalogueSync
{
public:
    enum class Stage { Downloading, Storing };
    // Told how far the sync is: bytes received of the answer (total -1 when
    // unknown), then titles stored.
    using Progress = std::function<void(Stage stage, qint64 done, qint64 total)>;

    // `today` is asked at each use: a sync that runs past midnight marks the
    // day on which it stored the titles.
    CatalogueSync(store::Catalogue &catalogue, QNetworkAccessManager &network, QString endpoint,
                  std::function<QString()> today);
    CatalogueSync(store::Catalogue &catalogue, QNetworkAccessManager &network, QString endpoint,
                  const QString &today);

    void setRequestOptions(const HttpOptions &options) { m_options = options; }
    void setProgress(Progress progress) { m_progress = std::move(progress); }
    // New titles also go into the side tables that find titles as the user
    // types, read with `pinyin`.
    void setPinyinReader(const text::PinyinReader *pinyin) { m_pinyin = pinyin; }

    // False when the catalogue was synced today already.
    bool isDue() const;
    SyncOutcome run();
    // Stops a running sync as soon as it can; nothing is stored then. Until
    // the titles are committed; afterwards only the version check is dropped,
    // and the outcome says so.
    void cancel() { m_cancel.cancel(); }

private:
    bool versionIsNewer();

    store::Catalogue &m_catalogue;
    QNetworkAccessManager &m_network;
    QString m_endpoint;
    std::function<QString()> m_today;
    HttpOptions m_options;
    Progress m_progress;
    const text::PinyinReader *m_pinyin = nullptr;
    CancelToken m_cancel;
};

} // namespace kinolark::site
