#include "site/catalogue_writer.h"

#include "store/sqlite_handle.h"
#include "store/sqlite_statement.h"
#include "store/statements.h"
#include "store/title_index_writer.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <memory>

namespace kinolark::site {

namespace {

constexpr int progressStep = 2048;

// The ids among `records` that the catalogue already holds. One range query
// rather than a look-up per title: it stays fast on a file whose ids are not
// a key.
bool existingIds(QSqlDatabase database, const QList<CatalogueRecord> &records, QSet<qint64> *ids,
                 QString *error)
{
    if (records.isEmpty())
        return true;
    const auto [low, high] = std::minmax_element(records.cbegin(), records.cend(),
                                                 [](const CatalogueRecord &a, const CatalogueRecord &b) {
                                                     return a.id < b.id;
                                                 });
    QSqlQuery query(database);
    query.setForwardOnly(true);
    query.prepare(store::sql::selectTitleIdsBetween());
    query.addBindValue(low->id);
    query.addBindValue(high->id);
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    while (query.next())
        ids->insert(query.value(0).toLongLong());
    return true;
}

} // namespace

CatalogueWriter::CatalogueWriter(QSqlDatabase database, const text::PinyinReader *pinyin)
    : m_database(std::move(database))
    , m_pinyin(pinyin)
{
}

CatalogueWriter::Result CatalogueWriter::write(const QList<CatalogueRecord> &records, const QString &day,
                                               const Progress &progress)
{
    Result result;
    if (!m_database.transaction()) {
        result.error = m_database.lastError().text();
        return result;
    }
    const auto fail = [&](const QString &error) {
        m_database.rollback();
        result.ok = false;
        result.inserted = 0;
        result.error = error;
        return result;
    };

    QSet<qint64> present;
    QString error;
    if (!existingIds(m_database, records, &present, &error))
        return fail(error);

    const qint64 total = records.size();
    if (progress && !progress(0, total)) {
        result.cancelled = true;
        return fail(QStringLiteral("cancelled"));
    }
    // Without the engine's own handle the side tables fall behind; they are
    // caught up on the next start.
    sqlite3 *handle = store::sqliteHandle(m_database);
    std::unique_ptr<store::TitleIndexWriter> index;
    if (handle && m_pinyin) {
        index = std::make_unique<store::TitleIndexWriter>(handle, *m_pinyin);
        qint64 newTitles = 0;
        for (const CatalogueRecord &record : records)
            newTitles += present.contains(record.id) ? 0 : 1;
        if (!index->begin(newTitles))
            return fail(index->error());
    }
    // Straight through the engine where it can be reached: a first sync
    // stores a whole catalogue, and a value object a field costs a third.
    std::unique_ptr<store::SqliteStatement> direct;
    QSqlQuery insert(m_database);
    insert.setForwardOnly(true);
    if (handle) {
        direct = std::make_unique<store::SqliteStatement>(handle, store::sql::insertTitle().toUtf8().constData());
        if (!direct->isValid())
            return fail(direct->error());
    } else if (!insert.prepare(store::sql::insertTitle())) {
        return fail(insert.lastError().text());
    }
    const auto store = [&](const CatalogueRecord &record) {
        if (direct) {
            direct->reset();
            direct->bind(1, record.id).bind(2, record.category).bind(3, record.name).bind(4, record.letter);
            if (!direct->run()) {
                error = direct->error();
                return false;
            }
            return true;
        }
        insert.bindValue(0, record.id);
        insert.bindValue(1, record.category);
        insert.bindValue(2, record.name);
        insert.bindValue(3, record.letter);
        if (!insert.exec()) {
            error = insert.lastError().text();
            return false;
        }
        return true;
    };
    qint64 done = 0;
    for (const CatalogueRecord &record : records) {
        if (!present.contains(record.id)) {
            if (!store(record))
                return fail(error);
            if (index)
                index->add(record.id, record.name);
            ++result.inserted;
        }
        if (++done % progressStep == 0 && progress && !progress(done, total)) {
            result.cancelled = true;
            return fail(QStringLiteral("cancelled"));
        }
    }
    insert.finish();
    direct.reset();
    // The side tables are written last, in one go; the progress stays at
    // the end meanwhile, and may still cancel.
    bool stopped = false;
    const auto step = [&] {
        stopped = progress && !progress(total, total);
        return !stopped;
    };
    if (index && !index->finish(step)) {
        result.cancelled = stopped;
        return fail(stopped ? QStringLiteral("cancelled") : index->error());
    }

    QSqlQuery date(m_database);
    date.prepare(store::sql::updateLastSyncDate());
    date.addBindValue(day);
    if (!date.exec())
        return fail(date.lastError().text());
    // A catalogue without a date row has never been synced; give it one.
    if (date.numRowsAffected() == 0) {
        date.prepare(store::sql::insertLastSyncDate());
        date.addBindValue(day);
        if (!date.exec())
            return fail(date.lastError().text());
    }
    date.finish();

    if (progress && !progress(total, total)) {
        result.cancelled = true;
        return fail(QStringLiteral("cancelled"));
    }
    if (!m_database.commit())
        return fail(m_database.lastError().text());
    result.ok = true;
    return result;
}

} // namespace kinolark::site
