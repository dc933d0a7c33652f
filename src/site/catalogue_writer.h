#pragma once

#include "site/catalogue_answer.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <functional>

namespace kinolark::text {
class PinyinReader;
}

namespace kinolark::site {

// Stores what a sync received: the titles new to the catalogue and the day of
// the sync, in one transaction, so the catalogue holds either all of it or
// none of it. Given a pinyin reader, the new titles go into the side tables
// that find titles as the user types (store::TitleIndexWriter) in the same
// transaction.
class CatalogueWriter
{
public:
    struct Result
    {
        bool ok = false;
        bool cancelled = false;
        int inserted = 0; // titles that were not in the catalogue before
        QString error;    // why nothing was stored, in the engine's words
    };
    // Told of the titles stored so far and how many there are to store;
    // returning false cancels, and nothing is stored.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    explicit CatalogueWriter(QSqlDatabase database, const text::PinyinReader *pinyin = nullptr);

    // Adds the titles whose id is not in the catalogue yet, leaving every
    // title already there as it is, and marks `day` as the last sync date.
    Result write(const QList<CatalogueRecord> &records, const QString &day,
                 const Progress &progress = Progress());

private:
    QSqlDatabase m_database;
    const text::PinyinReader *m_pinyin;
};

} // namespace kinolark::site
