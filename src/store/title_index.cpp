#include "store/title_index.h"

#include "store/sqlite_statement.h"

#include <sqlite3.h>

namespace kinolark::store {

namespace {

const char *partName(TitleIndex::Part part)
{
    return part == TitleIndex::Part::Pinyin ? "pinyin" : "names";
}

} // namespace

TitleIndex::TitleIndex(sqlite3 *db)
    : m_db(db)
{
}

bool TitleIndex::ftsAvailable()
{
    static const bool available = [] {
        sqlite3 *probe = nullptr;
        bool ok = sqlite3_open(":memory:", &probe) == SQLITE_OK
                  && execSql(probe, "create virtual table t using fts5(x, tokenize='trigram', content='', columnsize=0);"
                                    "create virtual table v using fts5vocab(t, 'instance');");
        sqlite3_close(probe);
        return ok;
    }();
    return available;
}

QByteArray TitleIndex::namesVersion()
{
    return QByteArrayLiteral("names 1");
}

QByteArray TitleIndex::pinyinVersion(const QString &readerTag)
{
    return QByteArrayLiteral("pinyin 1 ") + readerTag.toUtf8();
}

QByteArray TitleIndex::versionOf(Part part, const QString &readerTag)
{
    return part == Part::Pinyin ? pinyinVersion(readerTag) : namesVersion();
}

bool TitleIndex::ensureTables()
{
    if (!execSql(m_db,
                 "create table if not exists title_pinyin ("
                 "sort_key integer primary key, "
                 "vod_id integer not null, "
                 "initials text not null collate nocase, "
                 "pinyin text not null collate nocase);"
                 "create table if not exists title_index_state ("
                 "part text primary key, version text not null, upto integer not null);",
                 &m_error))
        return false;
    if (ftsAvailable()
        && !execSql(m_db,
                    "create virtual table if not exists title_name_fts using fts5("
                    "name, tokenize='trigram', content='', columnsize=0);",
                    &m_error))
        return false;
    return true;
}

bool TitleIndex::ensurePinyinIndexes()
{
    return execSql(m_db,
                   "create index if not exists title_pinyin_initials on title_pinyin (initials);"
                   "create index if not exists title_pinyin_pinyin on title_pinyin (pinyin);",
                   &m_error);
}

bool TitleIndex::dropPinyinIndexes()
{
    return execSql(m_db,
                   "drop index if exists title_pinyin_initials;"
                   "drop index if exists title_pinyin_pinyin;",
                   &m_error);
}

bool TitleIndex::exists(const char *name)
{
    SqliteStatement query(m_db, "select 1 from sqlite_schema where type in ('table', 'index') and name = ?");
    query.bindUtf8(1, name);
    return query.next();
}

TitleIndex::PartState TitleIndex::state(Part part)
{
    PartState state;
    if (!exists("title_index_state"))
        return state;
    SqliteStatement query(m_db, "select version, upto from title_index_state where part = ?");
    query.bindUtf8(1, partName(part));
    if (query.next()) {
        state.present = true;
        state.version = query.text(0).toUtf8();
        state.upto = query.integer(1);
    }
    return state;
}

bool TitleIndex::setState(Part part, const QByteArray &version, qint64 upto)
{
    SqliteStatement query(m_db, "insert or replace into title_index_state (part, version, upto) values (?, ?, ?)");
    query.bindUtf8(1, partName(part)).bindUtf8(2, version).bind(3, upto);
    if (!query.run()) {
        m_error = query.error();
        return false;
    }
    return true;
}

bool TitleIndex::clear(Part part)
{
    const char *sql = part == Part::Pinyin ? "delete from title_pinyin"
                                           : "insert into title_name_fts (title_name_fts) values ('delete-all')";
    return execSql(m_db, sql, &m_error);
}

std::optional<qint64> TitleIndex::highestTitleId()
{
    SqliteStatement highest(m_db, "select max(vod_id) from vod");
    if (!highest.next() || highest.text(0).isNull())
        return std::nullopt;
    if (highest.isInteger(0))
        return highest.integer(0);
    // Ids that are not numbers sort above all numbers; only numbers count.
    SqliteStatement numeric(m_db, "select max(vod_id) from vod where typeof(vod_id) = 'integer'");
    if (numeric.next() && numeric.isInteger(0))
        return numeric.integer(0);
    return std::nullopt;
}

bool TitleIndex::isCurrent(Part part, const QByteArray &version)
{
    const PartState current = state(part);
    if (!current.present || current.version != version)
        return false;
    if (part == Part::Names && !exists("title_name_fts"))
        return false;
    if (part == Part::Pinyin && (!exists("title_pinyin_initials") || !exists("title_pinyin_pinyin")))
        return false;
    const std::optional<qint64> highest = highestTitleId();
    return !highest || current.upto >= *highest;
}

bool TitleIndex::titleIdIsRowId()
{
    SqliteStatement columns(m_db, "select name, type, pk from pragma_table_info('vod')");
    bool idIsKey = false;
    int keyColumns = 0;
    while (columns.next()) {
        if (columns.integer(2) > 0) {
            ++keyColumns;
            idIsKey = idIsKey
                      || (columns.text(0).compare(QLatin1String("vod_id"), Qt::CaseInsensitive) == 0
                          && columns.text(1).compare(QLatin1String("integer"), Qt::CaseInsensitive) == 0);
        }
    }
    return idIsKey && keyColumns == 1;
}

} // namespace kinolark::store
