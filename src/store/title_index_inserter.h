#pragma once

#include "store/sqlite_statement.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace kinolark::text {
class PinyinReader;
}

namespace kinolark::store {

// Puts titles into the side tables (TitleIndex): their readings into
// title_pinyin, their names into title_name_fts. Runs in its caller's
// transaction. A title whose id does not fit a TitleKey is left out.
class TitleIndexInserter
{
public:
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

    TitleIndexInserter(sqlite3 *db, const text::PinyinReader &reader);

    // Statements that could not be prepared (a table missing) fail here.
    bool isValid(bool pinyin, bool names) const;

    // A title's rows, added to `rows`.
    void pinyinRows(qint64 id, const QString &name, std::vector<PinyinRow> &rows) const;
    static void nameRows(qint64 id, const QString &name, std::vector<NameRow> &rows);

    bool insert(const PinyinRow &row);
    bool insert(const NameRow &row);

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
