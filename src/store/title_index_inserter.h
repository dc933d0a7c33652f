#pragma once

#include "store/sqlite_statement.h"

#include <QString>

namespace kinolark::text {
class PinyinReader;
}

namespace kinolark::store {

// Puts one title into the side tables (TitleIndex): its readings into
// title_pinyin, its name into title_name_fts. Runs in its caller's
// transaction.
class TitleIndexInserter
{
public:
    TitleIndexInserter(sqlite3 *db, const text::PinyinReader &reader);

    // Statements that could not be prepared (a table missing) fail here.
    bool isValid(bool pinyin, bool names) const;

    bool addPinyin(qint64 id, const QString &name);
    bool addName(qint64 id, const QString &name);

    QString error() const { return m_error; }

private:
    const text::PinyinReader &m_reader;
    SqliteStatement m_pinyin;
    SqliteStatement m_name;
    QString m_error;
};

} // namespace kinolark::store
