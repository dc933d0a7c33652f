#include "browse/suggester.h"

#include "browse/category_tree.h"
#include "browse/suggestion_query.h"
#include "store/sqlite_statement.h"
#include "store/title_index.h"
#include "store/title_key.h"

#include <QHash>
#include <QSet>

#include <sqlite3.h>

#include <algorithm>

namespace kinolark::browse {

using store::SqliteStatement;
using store::TitleKey;

namespace {

// Titles read in key order before a scan gives way to an index: enough to
// fill the list whenever one title in a few hundred matches.
constexpr int scanBudget = 3000;
// Titles looked at when only names can be matched.
constexpr int newestScanned = 500;

const QHash<qint64, QString> &categoryNames()
{
    static const QHash<qint64, QString> names = [] {
        QHash<qint64, QString> byNumber;
        for (const CategoryNode &node : categoryTree()) {
            if (node.key.startsWith(QLatin1String("cid")))
                byNumber.insert(node.key.mid(3).toLongLong(), node.text);
        }
        return byNumber;
    }();
    return names;
}

bool matches(const QString &foldedName, const QString &text, bool prefixOnly)
{
    return prefixOnly ? foldedName.startsWith(text) : foldedName.contains(text);
}

// Sorted, each title once, at most `limit`.
QVector<qint64> firstKeys(QVector<qint64> keys, int limit)
{
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    if (keys.size() > limit)
        keys.resize(limit);
    return keys;
}

} // namespace

Suggester::Suggester() = default;

Suggester::~Suggester()
{
    close();
}

bool Suggester::open(const QString &path, const QByteArray &pinyinVersion)
{
    close();
    m_pinyinVersion = pinyinVersion;
    // Read and write, as readers of a write-ahead log must be; it never writes.
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        close();
        return false;
    }
    sqlite3_busy_timeout(m_db, 1000);
    m_idIsRowId = store::TitleIndex(m_db).titleIdIsRowId();
    refresh();
    return true;
}

void Suggester::close()
{
    sqlite3_close(m_db);
    m_db = nullptr;
    m_pinyinReady = false;
    m_namesReady = false;
}

void Suggester::setUseNameIndex(bool use)
{
    m_useNameIndex = use;
    refresh();
}

void Suggester::refresh()
{
    if (!m_db)
        return;
    store::TitleIndex index(m_db);
    m_pinyinReady = index.isCurrent(store::TitleIndex::Part::Pinyin, m_pinyinVersion);
    m_namesReady = m_useNameIndex && store::TitleIndex::ftsAvailable()
                   && index.isCurrent(store::TitleIndex::Part::Names, store::TitleIndex::namesVersion())
                   && store::execSql(m_db, "create virtual table if not exists temp.title_name_terms "
                                           "using fts5vocab(main, 'title_name_fts', 'instance')");
}

QVector<Suggestion> Suggester::suggest(const QString &text, int limit)
{
    const SuggestionQuery query = SuggestionQuery::from(text);
    if (!m_db || query.isEmpty() || limit <= 0)
        return {};
    if (!m_pinyinReady)
        return newestByName(query, limit);

    QVector<qint64> chosen;
    QSet<qint64> ids;
    const auto take = [&](const QVector<qint64> &keys) {
        for (const qint64 key : keys) {
            if (chosen.size() >= limit)
                return;
            const qint64 id = TitleKey::idOf(key);
            if (!ids.contains(id)) {
                ids.insert(id);
                chosen.append(key);
            }
        }
    };
    // Each source gives its first `limit` titles: those already chosen
    // are among them at most, so the rest still fill the list.
    take(nameKeys(query, Match::Prefix, limit));
    if (!query.pinyin.isEmpty()) {
        if (chosen.size() < limit)
            take(pinyinKeys("initials", query.pinyin, limit));
        if (chosen.size() < limit)
            take(pinyinKeys("pinyin", query.pinyin, limit));
    }
    if (chosen.size() < limit)
        take(nameKeys(query, Match::Contains, limit));
    return rows(chosen);
}

// Names that start with the text (the name itself first, being shortest),
// or hold it.
QVector<qint64> Suggester::nameKeys(const SuggestionQuery &query, Match match, int limit)
{
    const QString start = QString(QChar(TitleKey::startMark));
    // Three characters or more make a phrase of the name index.
    if (m_namesReady && match == Match::Prefix && query.length >= 2)
        return nameIndexKeys(SuggestionQuery::ftsPhrase(start + query.name), limit);
    if (m_namesReady && match == Match::Contains && query.length >= 3)
        return nameIndexKeys(SuggestionQuery::ftsPhrase(query.name), limit);
    // Shorter texts: common ones are found at once among the shortest names;
    // rare ones through the index's pieces that begin with them.
    const Scan scan = scanByKey(query, match, limit);
    if (scan.complete)
        return scan.keys;
    if (m_namesReady)
        return nameTermKeys(match == Match::Prefix ? start + query.name : query.name, limit);
    return likeKeys(query, match, limit);
}

Suggester::Scan Suggester::scanByKey(const SuggestionQuery &query, Match match, int limit)
{
    Scan scan;
    // Each title is looked up by its id: only where that is the row id.
    if (!m_idIsRowId)
        return scan;
    SqliteStatement titles(m_db, "select p.sort_key, v.vod_name from "
                                 "(select sort_key, vod_id from title_pinyin where sort_key >= ? "
                                 "and sort_key % 2 = 0 order by sort_key limit ?) p "
                                 "join vod v on v.vod_id = p.vod_id");
    titles.bind(1, TitleKey::readingRow(TitleKey::firstOfLength(query.length), 0)).bind(2, scanBudget);
    int read = 0;
    while (titles.next()) {
        ++read;
        if (matches(TitleKey::folded(titles.text(1)), query.name, match == Match::Prefix))
            scan.keys.append(TitleKey::keyOfReadingRow(titles.integer(0)));
    }
    scan.complete = titles.ok() && (read < scanBudget || scan.keys.size() >= limit);
    scan.keys = firstKeys(scan.keys, limit);
    return scan;
}

QVector<qint64> Suggester::nameIndexKeys(const QByteArray &phrase, int limit)
{
    QVector<qint64> keys;
    SqliteStatement found(m_db, "select rowid from title_name_fts where title_name_fts match ? "
                                "order by rowid limit ?");
    found.bindUtf8(1, phrase).bind(2, limit);
    while (found.next())
        keys.append(found.integer(0));
    return keys;
}

QVector<qint64> Suggester::nameTermKeys(const QString &start, int limit)
{
    QVector<qint64> keys;
    const QString past = SuggestionQuery::pastPrefix(start);
    SqliteStatement found(m_db, past.isEmpty() ? "select doc, term from temp.title_name_terms where term >= ?"
                                               : "select doc, term from temp.title_name_terms where term >= ? "
                                                 "and term < ?");
    found.bind(1, start);
    if (!past.isEmpty())
        found.bind(2, past);
    while (found.next()) {
        if (past.isEmpty() && !found.text(1).startsWith(start))
            break;
        keys.append(found.integer(0));
    }
    return firstKeys(keys, limit);
}

QVector<qint64> Suggester::likeKeys(const SuggestionQuery &query, Match match, int limit)
{
    QVector<qint64> keys;
    const bool prefixOnly = match == Match::Prefix;
    SqliteStatement found(m_db, "select vod_id, vod_name from vod where vod_name like ? escape '\\'");
    found.bind(1, SuggestionQuery::likePattern(query.name, prefixOnly));
    while (found.next()) {
        const qint64 id = found.integer(0);
        const QString name = found.text(1);
        if (TitleKey::fits(id) && matches(TitleKey::folded(name), query.name, prefixOnly))
            keys.append(TitleKey::of(TitleKey::characterCount(name), id));
    }
    return firstKeys(keys, limit);
}

// Titles whose initials or whole pinyin (`column`) start with `prefix`.
QVector<qint64> Suggester::pinyinKeys(const char *column, const QByteArray &prefix, int limit)
{
    // Initials have at most one letter a character, so shorter names
    // cannot match; a syllable may be six letters long.
    const bool initials = qstrcmp(column, "initials") == 0;
    const qint64 shortest = initials ? prefix.size() : 1;
    QVector<qint64> keys;
    {
        SqliteStatement titles(m_db, initials ? "select sort_key, initials from title_pinyin "
                                                "where sort_key >= ? order by sort_key limit ?"
                                              : "select sort_key, pinyin from title_pinyin "
                                                "where sort_key >= ? order by sort_key limit ?");
        titles.bind(1, TitleKey::readingRow(TitleKey::firstOfLength(shortest), 0)).bind(2, scanBudget);
        int read = 0;
        QVector<qint64> found;
        while (titles.next()) {
            ++read;
            if (titles.utf8(1).startsWith(prefix))
                found.append(TitleKey::keyOfReadingRow(titles.integer(0)));
        }
        found = firstKeys(found, limit);
        if (titles.ok() && (read < scanBudget || found.size() >= limit))
            return found;
    }
    QByteArray past = prefix;
    ++past.back();
    SqliteStatement titles(m_db, initials ? "select sort_key from title_pinyin where initials >= ? and initials < ?"
                                          : "select sort_key from title_pinyin where pinyin >= ? and pinyin < ?");
    titles.bindUtf8(1, prefix).bindUtf8(2, past);
    while (titles.next())
        keys.append(TitleKey::keyOfReadingRow(titles.integer(0)));
    return firstKeys(keys, limit);
}

// Before the side tables are current: the newest titles whose names hold
// the text, those that start with it first.
QVector<Suggestion> Suggester::newestByName(const SuggestionQuery &query, int limit)
{
    struct Candidate
    {
        bool prefix;
        qsizetype length;
        Suggestion suggestion;
    };
    std::vector<Candidate> candidates;
    SqliteStatement found(m_db, "select vod_id, vod_cid, vod_name from vod where vod_name like ? escape '\\' "
                                "order by vod_id desc limit ?");
    found.bind(1, SuggestionQuery::likePattern(query.name, false)).bind(2, newestScanned);
    while (found.next()) {
        const QString name = found.text(2);
        const QString folded = TitleKey::folded(name);
        if (!folded.contains(query.name))
            continue;
        const qint64 category = found.integer(1);
        candidates.push_back({folded.startsWith(query.name), TitleKey::characterCount(name),
                              {found.integer(0), name, category, categoryNames().value(category)}});
    }
    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate &a, const Candidate &b) {
        if (a.prefix != b.prefix)
            return a.prefix;
        if (a.length != b.length)
            return a.length < b.length;
        return a.suggestion.id > b.suggestion.id;
    });
    QVector<Suggestion> suggestions;
    for (const Candidate &candidate : candidates) {
        if (suggestions.size() >= limit)
            break;
        suggestions.append(candidate.suggestion);
    }
    return suggestions;
}

QVector<Suggestion> Suggester::rows(const QVector<qint64> &keys)
{
    QVector<Suggestion> suggestions;
    SqliteStatement title(m_db, "select vod_cid, vod_name from vod where vod_id = ?");
    for (const qint64 key : keys) {
        const qint64 id = TitleKey::idOf(key);
        title.reset();
        title.bind(1, id);
        // A title gone from the catalogue is left out.
        if (title.next()) {
            const qint64 category = title.integer(0);
            suggestions.append({id, title.text(1), category, categoryNames().value(category)});
        }
    }
    return suggestions;
}

} // namespace kinolark::browse
