#include "store/title_index_builder.h"

#include "store/sqlite_statement.h"
#include "store/title_index.h"
#include "store/title_index_inserter.h"
#include "text/pinyin_reader.h"

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace kinolark::store {

namespace {

// Long enough for a sync's transaction to end.
constexpr int busyTimeoutMs = 30000;

struct Connection
{
    ~Connection() { sqlite3_close(db); }
    sqlite3 *db = nullptr;
};

struct Plan
{
    TitleIndex::Part part;
    QByteArray version;
    qint64 upto = -1;
};

} // namespace

TitleIndexBuilder::TitleIndexBuilder(QString path, std::shared_ptr<const text::PinyinReader> reader)
    : m_path(std::move(path))
    , m_reader(std::move(reader))
{
}

void TitleIndexBuilder::setParts(bool pinyin, bool names)
{
    m_pinyin = pinyin;
    m_names = names;
}

TitleIndexBuilder::Result TitleIndexBuilder::run(const std::atomic_bool *cancel)
{
    Result result;
    const auto fail = [&result](sqlite3 *db, const QString &error) {
        execSql(db, "rollback");
        result.error = error;
        return result;
    };
    Connection connection;
    // Never creates the file: a catalogue that went away stays gone.
    if (sqlite3_open_v2(m_path.toUtf8().constData(), &connection.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        result.error = connection.db ? QString::fromUtf8(sqlite3_errmsg(connection.db)) : QStringLiteral("out of memory");
        return result;
    }
    sqlite3 *db = connection.db;
    sqlite3_busy_timeout(db, busyTimeoutMs);
    // As the window's own connection writes: the log is synced at
    // checkpoints. A large build keeps its pages, and the sorting of its
    // indexes, in memory, and sorts on two threads.
    execSql(db, "pragma synchronous=normal; pragma cache_size=-65536; pragma temp_store=memory; pragma threads=1");
    TitleIndex index(db);
    const QString tag = m_reader->sourceTag();

    std::vector<Plan> plans;
    if (m_pinyin)
        plans.push_back({TitleIndex::Part::Pinyin, TitleIndex::pinyinVersion(tag)});
    if (m_names && TitleIndex::ftsAvailable())
        plans.push_back({TitleIndex::Part::Names, TitleIndex::namesVersion()});

    // The tables, and a fresh start for each part made another way.
    QString error;
    if (!execSql(db, "begin immediate", &error))
        return fail(db, error);
    if (!index.ensureTables())
        return fail(db, index.lastError());
    for (const Plan &plan : plans) {
        const TitleIndex::PartState state = index.state(plan.part);
        if (!state.present || state.version != plan.version) {
            if ((plan.part == TitleIndex::Part::Pinyin && !index.dropPinyinIndexes()) || !index.clear(plan.part)
                || !index.setState(plan.part, plan.version, -1))
                return fail(db, index.lastError());
        }
    }
    if (!execSql(db, "commit", &error))
        return fail(db, error);

    TitleIndexInserter inserter(db, *m_reader);
    if (!inserter.isValid(m_pinyin, m_names && TitleIndex::ftsAvailable()))
        return fail(db, inserter.error().isEmpty() ? QString::fromUtf8(sqlite3_errmsg(db)) : inserter.error());
    SqliteStatement titles(db, "select vod_id, vod_name from vod where vod_id > ? and typeof(vod_id) = 'integer' "
                               "order by vod_id limit ?");
    if (!titles.isValid())
        return fail(db, titles.error());

    std::vector<std::pair<qint64, QString>> chunk;
    for (;;) {
        if (cancel && cancel->load()) {
            result.cancelled = true;
            return result;
        }
        if (!execSql(db, "begin immediate", &error))
            return fail(db, error);
        // Read again: another program may have moved a part on meanwhile.
        qint64 from = std::numeric_limits<qint64>::max();
        for (Plan &plan : plans) {
            const TitleIndex::PartState state = index.state(plan.part);
            if (!state.present || state.version != plan.version)
                return fail(db, QStringLiteral("the side tables were changed by another program"));
            plan.upto = state.upto;
            from = qMin(from, plan.upto);
        }
        chunk.clear();
        titles.reset();
        titles.bind(1, from).bind(2, m_chunkSize);
        while (titles.next()) {
            // The same id twice, in a catalogue without a key, counts once.
            const qint64 id = titles.integer(0);
            if (chunk.empty() || chunk.back().first != id)
                chunk.emplace_back(id, titles.text(1));
        }
        if (!titles.ok())
            return fail(db, titles.error());
        if (chunk.empty()) {
            // All there: the indexes a build from nothing left for its end.
            if (m_pinyin && !index.ensurePinyinIndexes())
                return fail(db, index.lastError());
            if (!execSql(db, "commit", &error))
                return fail(db, error);
            break;
        }

        for (const auto &[id, name] : chunk) {
            for (const Plan &plan : plans) {
                if (id <= plan.upto)
                    continue;
                if (plan.part == TitleIndex::Part::Pinyin)
                    inserter.gatherPinyin(id, name);
                else
                    inserter.gatherName(id, name);
            }
        }
        if (!inserter.flush())
            return fail(db, inserter.error());
        for (const Plan &plan : plans) {
            if (chunk.back().first > plan.upto && !index.setState(plan.part, plan.version, chunk.back().first))
                return fail(db, index.lastError());
        }
        if (!execSql(db, "commit", &error))
            return fail(db, error);
        result.titles += qint64(chunk.size());
    }
    result.ok = true;
    return result;
}

} // namespace kinolark::store
