#pragma once

#include "browse/suggestion.h"

#include <QByteArray>
#include <QString>
#include <QVector>

struct sqlite3;

namespace kinolark::browse {

struct SuggestionQuery;

// Finds the titles to suggest for what is typed in the search box, quickly
// enough to run on every pause in typing, also on a million titles. A title
// is suggested when its name holds the text (letter case aside), or its
// pinyin initials or its whole pinyin start with it (blanks taken out of
// the text). They come in this order: the name itself, names that start
// with the text, initials, whole pinyin, names that hold it elsewhere;
// within each, shorter names first, then newer titles.
//
// The look-ups go through the side tables (store::TitleIndex); until those
// are current only names are matched, by a scan of the newest titles.
// Keeps its own connection to the catalogue file, so it reads what others
// have committed and never waits for them.
class Suggester
{
public:
    static constexpr int maxSuggestions = 12;

    Suggester();
    ~Suggester();
    Suggester(const Suggester &) = delete;
    Suggester &operator=(const Suggester &) = delete;

    // `pinyinVersion` names the readings the side table must have been made
    // with (store::TitleIndex::pinyinVersion).
    bool open(const QString &path, const QByteArray &pinyinVersion);
    void close();
    bool isOpen() const { return m_db != nullptr; }

    // Reads again whether the side tables are current.
    void refresh();
    bool pinyinReady() const { return m_pinyinReady; }
    bool namesIndexed() const { return m_namesReady; }
    // Leaves the name index unused, as where SQLite lacks FTS5.
    void setUseNameIndex(bool use);

    QVector<Suggestion> suggest(const QString &text, int limit = maxSuggestions);

private:
    enum class Match { Prefix, Contains };
    struct Scan
    {
        QVector<qint64> keys; // title keys in order
        bool complete = false;
    };

    QVector<qint64> nameKeys(const SuggestionQuery &query, Match match, int limit);
    Scan scanByKey(const SuggestionQuery &query, Match match, int limit);
    QVector<qint64> nameIndexKeys(const QByteArray &phrase, int limit);
    QVector<qint64> nameTermKeys(const QString &start, int limit);
    QVector<qint64> likeKeys(const SuggestionQuery &query, Match match, int limit);
    QVector<qint64> pinyinKeys(const char *column, const QByteArray &prefix, int limit);
    QVector<Suggestion> newestByName(const SuggestionQuery &query, int limit);
    QVector<Suggestion> rows(const QVector<qint64> &keys);

    sqlite3 *m_db = nullptr;
    QByteArray m_pinyinVersion;
    bool m_pinyinReady = false;
    bool m_namesReady = false;
    bool m_useNameIndex = true;
    bool m_idIsRowId = false;
};

} // namespace kinolark::browse
