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

bool TitleIndexInserter::addPinyin(qint64 id, const QString &name)
{
    if (!TitleKey::fits(id))
        return true;
    const qint64 key = TitleKey::of(TitleKey::characterCount(name), id);
    const QList<text::PinyinReading> readings = m_reader.readings(name);
    // A name without any reading still gets its row: the table is also the
    // list of all titles in key order.
    for (int i = 0; i < readings.size(); ++i) {
        m_pinyin.reset();
        m_pinyin.bind(1, TitleKey::readingRow(key, i))
            .bind(2, id)
            .bindUtf8(3, readings.at(i).initials)
            .bindUtf8(4, readings.at(i).full);
        if (!m_pinyin.run()) {
            m_error = m_pinyin.error();
            return false;
        }
    }
    return true;
}

bool TitleIndexInserter::addName(qint64 id, const QString &name)
{
    if (!TitleKey::fits(id))
        return true;
    m_name.reset();
    m_name.bind(1, TitleKey::of(TitleKey::characterCount(name), id)).bindUtf8(2, TitleKey::indexedName(name));
    if (!m_name.run()) {
        m_error = m_name.error();
        return false;
    }
    return true;
}

} // namespace kinolark::store
