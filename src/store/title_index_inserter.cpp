#include "store/title_index_inserter.h"

#include "store/title_key.h"
#include "text/pinyin_reader.h"

#include <algorithm>

namespace kinolark::store {

namespace {

constexpr int rowsAStep = 2048;

} // namespace

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

void TitleIndexInserter::gatherPinyin(qint64 id, const QString &name)
{
    if (!TitleKey::fits(id))
        return;
    const qint64 key = TitleKey::of(TitleKey::characterCount(name), id);
    const QList<text::PinyinReading> readings = m_reader.readings(name);
    // A name without any reading still gets its row: the table is also the
    // list of all titles in key order.
    for (int i = 0; i < readings.size(); ++i)
        m_pinyinRows.push_back({TitleKey::readingRow(key, i), id, readings.at(i).initials, readings.at(i).full});
}

void TitleIndexInserter::gatherName(qint64 id, const QString &name)
{
    if (TitleKey::fits(id))
        m_nameRows.push_back({TitleKey::of(TitleKey::characterCount(name), id), TitleKey::indexedName(name)});
}

bool TitleIndexInserter::flush(const std::function<bool()> &step)
{
    std::sort(m_pinyinRows.begin(), m_pinyinRows.end(), [](const auto &a, const auto &b) { return a.row < b.row; });
    std::sort(m_nameRows.begin(), m_nameRows.end(), [](const auto &a, const auto &b) { return a.key < b.key; });
    int written = 0;
    const auto stepped = [&] {
        if (++written % rowsAStep != 0 || !step || step())
            return true;
        m_error = QStringLiteral("cancelled");
        return false;
    };
    bool ok = true;
    for (const PinyinRow &row : m_pinyinRows) {
        m_pinyin.reset();
        m_pinyin.bind(1, row.row).bind(2, row.id).bindUtf8(3, row.initials).bindUtf8(4, row.full);
        if (!m_pinyin.run()) {
            m_error = m_pinyin.error();
            ok = false;
        }
        if (!ok || !stepped()) {
            ok = false;
            break;
        }
    }
    for (const NameRow &row : m_nameRows) {
        if (!ok)
            break;
        m_name.reset();
        m_name.bind(1, row.key).bindUtf8(2, row.text);
        if (!m_name.run()) {
            m_error = m_name.error();
            ok = false;
        }
        ok = ok && stepped();
    }
    m_pinyinRows.clear();
    m_nameRows.clear();
    return ok;
}

} // namespace kinolark::store
