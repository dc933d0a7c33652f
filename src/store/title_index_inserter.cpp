#include "store/title_index_inserter.h"

#include "store/title_key.h"
#include "text/pinyin_reader.h"

namespace kinolark::store {

TitleIndexInserter::TitleIndexInserter(sqlite3 *db, const text::PinyinReader &reader)
    : m_reader(reader)
    , m_pinyin(db, "insert into title_pinyin (sort_key, vod_id, initials, pinyin) values (?, ?, ?, ?)")
    , m_name(db, "insert into title_name_fts (rowid, name) values (?, ?)")
{
}

bool TitleIndexInserter::isValid(bool pinyin, bool names) const
{
    return (!pinyin || m_pinyin.isValid()) && (!names || m_name.isValid());
}

void TitleIndexInserter::pinyinRows(qint64 id, const QString &name, std::vector<PinyinRow> &rows) const
{
    if (!TitleKey::fits(id))
        return;
    const qint64 key = TitleKey::of(TitleKey::characterCount(name), id);
    const QList<text::PinyinReading> readings = m_reader.readings(name);
    // A name without any reading still gets its row: the table is also the
    // list of all titles in key order.
    for (int i = 0; i < readings.size(); ++i)
        rows.push_back({TitleKey::readingRow(key, i), id, readings.at(i).initials, readings.at(i).full});
}

void TitleIndexInserter::nameRows(qint64 id, const QString &name, std::vector<NameRow> &rows)
{
    if (TitleKey::fits(id))
        rows.push_back({TitleKey::of(TitleKey::characterCount(name), id), TitleKey::indexedName(name)});
}

bool TitleIndexInserter::insert(const PinyinRow &row)
{
    m_pinyin.reset();
    m_pinyin.bind(1, row.row).bind(2, row.id).bindUtf8(3, row.initials).bindUtf8(4, row.full);
    if (!m_pinyin.run()) {
        m_error = m_pinyin.error();
        return false;
    }
    return true;
}

bool TitleIndexInserter::insert(const NameRow &row)
{
    m_name.reset();
    m_name.bind(1, row.key).bindUtf8(2, row.text);
    if (!m_name.run()) {
        m_error = m_name.error();
        return false;
    }
    return true;
}

bool TitleIndexInserter::addPinyin(qint64 id, const QString &name)
{
    std::vector<PinyinRow> rows;
    pinyinRows(id, name, rows);
    for (const PinyinRow &row : rows) {
        if (!insert(row))
            return false;
    }
    return true;
}

bool TitleIndexInserter::addName(qint64 id, const QString &name)
{
    std::vector<NameRow> rows;
    nameRows(id, name, rows);
    return rows.empty() || insert(rows.front());
}

} // namespace kinolark::store
