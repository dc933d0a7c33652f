#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

struct sqlite3;

namespace kinolark::store {

// The side tables that let titles be found as the user types, kept in the
// catalogue file beside its own tables (which they never change):
//
//   title_pinyin       the readings of each title (text::PinyinReader), one
//                      row a reading, keyed by TitleKey::readingRow and
//                      indexed for prefix search on both columns;
//   title_name_fts     an FTS5 trigram index of the names (TitleKey::
//                      indexedName), its rowid the TitleKey; it keeps no copy
//                      of the names. Only where SQLite has FTS5 and trigrams;
//   title_index_state  per part, what its rows were made with and the id up
//                      to which every title of the catalogue is in it.
//
// A part is current when it was made the way this program makes it and
// covers the highest id of the catalogue.
class TitleIndex
{
public:
    enum class Part { Pinyin, Names };
    struct PartState
    {
        bool present = false;
        QByteArray version;
        qint64 upto = -1; // every title with an id from 0 to this is in the part
    };

    explicit TitleIndex(sqlite3 *db);

    // Whether the linked SQLite has FTS5 with the trigram tokenizer.
    static bool ftsAvailable();
    // What this program's parts are made with; a part made otherwise is made
    // again.
    static QByteArray namesVersion();
    static QByteArray pinyinVersion(const QString &readerTag);
    static QByteArray versionOf(Part part, const QString &readerTag);

    // Creates what is missing of the side tables, but for the indexes of the
    // pinyin table: a build from nothing adds them at its end, which is
    // quicker than keeping them up to date all along.
    bool ensureTables();
    bool ensurePinyinIndexes();
    bool dropPinyinIndexes();
    // Whether the file has a table or an index of that name.
    bool exists(const char *name);
    PartState state(Part part);
    bool setState(Part part, const QByteArray &version, qint64 upto);
    // Empties a part.
    bool clear(Part part);
    // The highest title id in the catalogue; none for an empty one.
    std::optional<qint64> highestTitleId();
    // Made as `version` makes it, covering the catalogue, its indexes there.
    bool isCurrent(Part part, const QByteArray &version);
    // Whether vod_id is the table's row id, so a title is found by its id
    // without a scan.
    bool titleIdIsRowId();

    QString lastError() const { return m_error; }

private:
    sqlite3 *m_db;
    QString m_error;
};

} // namespace kinolark::store
