#pragma once

#include "store/sqlite_statement.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

namespace kinolark::text {
class PinyinReader;
}

namespace kinolark::store {

// Puts titles into the side tables (TitleIndex): their readings into
// title_pinyin, their names into title_name_fts. Titles are gathered first
// and written in key order: the name index then takes each row without
// writing out what it holds so far, which rows out of order make it do.
// Runs in its caller's transaction. A title whose id does not fit a
// TitleKey is left out.
class TitleIndexInserter
{
public:
    TitleIndexInserter(sqlite3 *db, const text::PinyinReader &reader);

    // Statements that could not be prepared (a table missing) fail here.
    bool isValid(bool pinyin, bool names) const;

    void gatherPinyin(qint64 id, const QString &name);
    void gatherName(qint64 id, const QString &name);
    // Writes what was gathered. `step`, when given, is called every few
    // thousand rows; returning false stops the writing, which then fails.
    bool flush(const std::function<bool()> &step = {});

    QString error() const { return m_error; }

private:
    struct PinyinRow
    {
        qint64 row; // TitleKey::readingRow
        qint64 id;
        QByteArray initials;
        QByteArray full;
    };
    struct NameRow
    {
        qint64 key;
        QByteArray text; // TitleKey::indexedName
    };

    const text::PinyinReader &m_reader;
    SqliteStatement m_pinyin;
    SqliteStatement m_name;
    std::vector<PinyinRow> m_pinyinRows;
    std::vector<NameRow> m_nameRows;
    QString m_error;
};

} // namespace kinolark::store
