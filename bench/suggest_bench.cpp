// Suggestions while typing, on a generated catalogue of a million titles:
//  - the time from the pause timer to the rows being ready, for 1- to
//    6-character texts typed as users type them (the start of a title's
//    name, of its initials, of its whole pinyin), against the sqlite3
//    shell's LIKE scan of the same file;
//  - building the pinyin table (and, apart, the name index) for 200 000
//    titles from nothing, the dictionary and ICU loaded in that time;
//  - how much the side tables add to the file per 100 000 titles.
// --catalogue <file> keeps the generated million there and uses it again
// when it is there (the figures of its making are then not shown).

#include "browse/suggester.h"
#include "store/catalogue.h"
#include "store/sqlite_handle.h"
#include "store/sqlite_statement.h"
#include "store/title_index.h"
#include "store/title_index_builder.h"
#include "store/title_key.h"
#include "text/pinyin_reader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace kinolark;

namespace {

constexpr int bigCatalogue = 1000000;
constexpr int buildCatalogue = 200000;
constexpr int sampledTitles = 150;

struct Random
{
    explicit Random(quint64 seed) : state(seed) {}
    quint64 next()
    {
        quint64 z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double unit() { return double(next() >> 11) / double(1ULL << 53); }
    int below(int n) { return int(next() % quint64(n)); }
    quint64 state;
};

// Title names built from real words: two to four characters each, common
// words far more often than rare ones, with the suffixes, Latin words and
// numbers real catalogues have.
class NameMaker
{
public:
    NameMaker()
    {
        QFile file(text::PinyinReader::defaultDictionaryPath());
        if (file.open(QIODevice::ReadOnly)) {
            std::vector<std::pair<qint64, QString>> weighted;
            bool header = true;
            while (!file.atEnd()) {
                const QByteArray line = file.readLine().trimmed();
                if (header) {
                    header = line != "...";
                    continue;
                }
                const QList<QByteArray> fields = line.split('\t');
                const QString word = QString::fromUtf8(fields.value(0));
                if (fields.size() >= 3 && word.size() >= 2 && word.size() <= 4)
                    weighted.push_back({fields.at(2).toLongLong(), word});
            }
            std::sort(weighted.begin(), weighted.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
            for (size_t i = 0; i < weighted.size() && i < 40000; ++i)
                m_words << weighted[i].second;
        }
        if (m_words.isEmpty()) {
            const QString pool = QString::fromUtf16(u"天下第一人生江湖风云之战争爱情故事海上花开传奇少年英雄大时代光明夜行者"
                                                    u"城市猎人龙虎门神探家族秘密青春无敌王子公主春夏秋冬东西南北中国香港");
            for (int i = 0; i + 1 < pool.size(); ++i)
                m_words << pool.mid(i, 2);
        }
    }

    QString name(Random &random) const
    {
        // Frequent words first: the square of a uniform number favours the front.
        const auto word = [&] {
            const double u = random.unit();
            return m_words.at(qMin(int(u * u * m_words.size()), int(m_words.size()) - 1));
        };
        static const QStringList latin{QStringLiteral("Iron"), QStringLiteral("Love "), QStringLiteral("The "),
                                       QStringLiteral("IT"), QStringLiteral("X")};
        static const QStringList numbers{QStringLiteral("007"), QStringLiteral("1942"), QStringLiteral("24"),
                                         QStringLiteral("2012")};
        static const QStringList suffixes{QString::fromUtf16(u"第二季"), QStringLiteral("2"),
                                          QString::fromUtf16(u"(国语版)"), QString::fromUtf16(u"：终极之战"),
                                          QStringLiteral("3D"), QString::fromUtf16(u"续集")};
        QString name;
        const int roll = random.below(100);
        if (roll < 4)
            name += latin.at(random.below(int(latin.size())));
        else if (roll < 7)
            name += numbers.at(random.below(int(numbers.size())));
        const int words = 1 + (random.below(100) < 55 ? 1 : 0) + (random.below(100) < 20 ? 1 : 0);
        for (int i = 0; i < words; ++i)
            name += word();
        if (random.below(10) == 0)
            name += suffixes.at(random.below(int(suffixes.size())));
        return name;
    }

private:
    QStringList m_words;
};

// A catalogue of `count` titles, with no side tables yet.
void makeCatalogue(const QString &path, int count)
{
    store::Catalogue catalogue;
    if (catalogue.open(path) != store::Catalogue::OpenResult::Created)
        qFatal("cannot create %s", qPrintable(path));
    sqlite3 *db = store::sqliteHandle(catalogue.database());
    if (!db)
        qFatal("no SQLite handle");
    const NameMaker names;
    Random random(7);
    store::execSql(db, "begin");
    store::SqliteStatement insert(db, "insert into vod (vod_id, vod_cid, vod_name, vod_letter) values (?, ?, ?, 'a')");
    static const int categories[] = {8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 22, 3, 4};
    for (int i = 1; i <= count; ++i) {
        insert.reset();
        insert.bind(1, i).bind(2, categories[random.below(15)]).bind(3, names.name(random));
        if (!insert.run())
            qFatal("insert failed: %s", qPrintable(insert.error()));
    }
    store::execSql(db, "commit");
    QSqlQuery(catalogue.database()).exec(QStringLiteral("pragma wal_checkpoint(truncate)"));
}

qint64 fileBytes(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    store::execSql(db, "pragma wal_checkpoint(truncate)");
    sqlite3_close(db);
    return QFileInfo(path).size();
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(std::ceil(p * double(values.size())) - 1))];
}

// CPU time of the whole process, helper threads included.
double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double median(std::vector<double> values)
{
    return percentile(std::move(values), 0.5);
}

// The shell's own timer for each statement, output discarded.
std::vector<double> shellMs(const QString &file, const QStringList &statements)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"), {file});
    QString script = QStringLiteral(".output /dev/null\n.timer on\n");
    for (const QString &statement : statements)
        script += statement + QStringLiteral(";\n");
    shell.write(script.toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished(-1);
    const QString out = QString::fromUtf8(shell.readAllStandardOutput() + shell.readAllStandardError());
    std::vector<double> times;
    auto matches = QRegularExpression(QStringLiteral("Run Time: real ([0-9.]+)")).globalMatch(out);
    while (matches.hasNext())
        times.push_back(matches.next().captured(1).toDouble() * 1000.0);
    return times;
}

struct Query
{
    QString text;
    int length;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        qFatal("no temporary folder");
    if (!store::TitleIndex::ftsAvailable())
        std::printf("note: this SQLite has no FTS5 trigram tokenizer; names are matched by scans\n");

    // Building the side tables of 200 000 titles from nothing.
    const QString small = dir.filePath(QStringLiteral("200k.db"));
    makeCatalogue(small, buildCatalogue);
    QElapsedTimer clock;
    clock.start();
    double cpu = cpuMs();
    auto reader = std::make_shared<text::PinyinReader>(text::PinyinReader::defaultDictionaryPath());
    store::TitleIndexBuilder pinyinOnly(small, reader);
    pinyinOnly.setParts(true, false);
    const store::TitleIndexBuilder::Result pinyinBuilt = pinyinOnly.run();
    const double pinyinMs = clock.nsecsElapsed() / 1e6;
    const double pinyinCpuMs = cpuMs() - cpu;
    clock.restart();
    cpu = cpuMs();
    store::TitleIndexBuilder namesOnly(small, reader);
    namesOnly.setParts(false, true);
    const store::TitleIndexBuilder::Result namesBuilt = namesOnly.run();
    const double namesMs = clock.nsecsElapsed() / 1e6;
    const double namesCpuMs = cpuMs() - cpu;
    if (!pinyinBuilt.ok || !namesBuilt.ok)
        qFatal("build failed: %s%s", qPrintable(pinyinBuilt.error), qPrintable(namesBuilt.error));
    QFile loadFile(QStringLiteral("/proc/loadavg"));
    const QByteArray load = loadFile.open(QIODevice::ReadOnly) ? loadFile.readAll().split(' ').value(0) : QByteArray("?");
    std::printf("Side tables of %d titles, built from nothing (the dictionary loaded first); load average %s\n",
                buildCatalogue, load.constData());
    std::printf("  %-14s %10s %10s\n", "", "ms", "CPU ms");
    std::printf("  %-14s %10.0f %10.0f\n  %-14s %10.0f %10.0f\n\n", "pinyin table", pinyinMs, pinyinCpuMs, "name index",
                namesMs, namesCpuMs);

    // The million.
    const int keepAt = QCoreApplication::arguments().indexOf(QStringLiteral("--catalogue"));
    const QString kept = keepAt > 0 ? QCoreApplication::arguments().value(keepAt + 1) : QString();
    const QString big = kept.isEmpty() ? dir.filePath(QStringLiteral("1m.db")) : kept;
    const bool made = !QFile::exists(big);
    qint64 bareBytes = 0;
    double growthPer100k = 0;
    if (made) {
        std::printf("Building a catalogue of %d titles...\n", bigCatalogue);
        clock.restart();
        makeCatalogue(big, bigCatalogue);
        bareBytes = fileBytes(big);
        std::printf("  titles stored in %.1f s, %.1f MB\n", clock.nsecsElapsed() / 1e9, bareBytes / 1e6);
        clock.restart();
        const store::TitleIndexBuilder::Result built = store::TitleIndexBuilder(big, reader).run();
        if (!built.ok)
            qFatal("build failed: %s", qPrintable(built.error));
        const qint64 indexedBytes = fileBytes(big);
        growthPer100k = double(indexedBytes - bareBytes) / 1e6 / (bigCatalogue / 100000.0);
        std::printf("  side tables built in %.1f s, file now %.1f MB (+%.1f MB per 100 000 titles)\n\n",
                    clock.nsecsElapsed() / 1e9, indexedBytes / 1e6, growthPer100k);
    }

    // What users type: the start of a title's name, initials, whole pinyin.
    std::vector<Query> chinese, pinyin;
    {
        sqlite3 *db = nullptr;
        sqlite3_open(big.toUtf8().constData(), &db);
        store::SqliteStatement name(db, "select vod_name from vod where vod_id = ?");
        Random random(11);
        for (int i = 0; i < sampledTitles; ++i) {
            name.reset();
            name.bind(1, 1 + random.below(bigCatalogue));
            if (!name.next())
                continue;
            const QString title = name.text(0);
            const std::u32string points = title.toStdU32String();
            for (int k = 1; k <= 6 && k <= int(points.size()); ++k)
                chinese.push_back({QString::fromStdU32String(points.substr(0, size_t(k))), k});
            const text::PinyinReading reading = reader->readings(title).constFirst();
            for (const QByteArray &letters : {reading.initials, reading.full}) {
                for (int k = 1; k <= 6 && k <= letters.size(); ++k)
                    pinyin.push_back({QString::fromLatin1(letters.left(k)), k});
            }
        }
        sqlite3_close(db);
    }
    std::vector<Query> all = chinese;
    all.insert(all.end(), pinyin.begin(), pinyin.end());

    clock.restart();
    browse::Suggester suggester;
    if (!suggester.open(big, store::TitleIndex::pinyinVersion(reader->sourceTag())) || !suggester.pinyinReady())
        qFatal("the suggestions are not ready");
    const double openMs = clock.nsecsElapsed() / 1e6;
    for (int i = 0; i < 20; ++i) // the connection's first pages
        suggester.suggest(all[size_t(i)].text);
    std::vector<double> shortTimes, longTimes, allTimes;
    std::vector<std::pair<double, QString>> slowest;
    int rows = 0;
    for (const Query &query : all) {
        QElapsedTimer timer;
        timer.start();
        rows += int(suggester.suggest(query.text).size());
        const double ms = timer.nsecsElapsed() / 1e6;
        (query.length >= 3 ? longTimes : shortTimes).push_back(ms);
        allTimes.push_back(ms);
        slowest.emplace_back(ms, query.text);
    }
    std::sort(slowest.begin(), slowest.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    slowest.resize(std::min<size_t>(slowest.size(), 8));

    // The anchor: the shell's LIKE scan for a sample of the same texts.
    QStringList shortLike, longLike;
    for (size_t i = 0; i < chinese.size(); i += 7) {
        QString text = chinese[i].text;
        text.replace(QLatin1Char('\''), QLatin1String("''"));
        (chinese[i].length >= 3 ? longLike : shortLike)
            << QStringLiteral("select vod_id, vod_name from vod where vod_name like '%%1%'").arg(text);
    }
    const double shortAnchor = median(shellMs(big, shortLike));
    const double longAnchor = median(shellMs(big, longLike));
    std::vector<double> anchorAll = shellMs(big, shortLike + longLike);
    const double anchor = median(anchorAll);

    std::printf("Suggestions on %d titles: %zu texts typed (%zu Chinese, %zu pinyin), %d rows in all\n",
                bigCatalogue, all.size(), chinese.size(), pinyin.size(), rows);
    std::printf("  opening the suggestions: %.1f ms\n", openMs);
    std::printf("  %-26s %8s %8s %8s %8s %14s\n", "texts", "count", "p50 ms", "p95 ms", "max ms", "sqlite3 LIKE ms");
    const auto line = [](const char *what, const std::vector<double> &times, double anchorMs) {
        std::printf("  %-26s %8zu %8.2f %8.2f %8.2f %14.1f\n", what, times.size(), percentile(times, 0.5),
                    percentile(times, 0.95), percentile(times, 1.0), anchorMs);
    };
    line("1-2 characters", shortTimes, shortAnchor);
    line("3-6 characters", longTimes, longAnchor);
    line("all", allTimes, anchor);
    std::printf("  slowest:");
    for (const auto &[ms, text] : slowest)
        std::printf(" \"%s\" %.1f ms,", qPrintable(text), ms);
    std::printf("\n");

    const double p95 = percentile(allTimes, 0.95);
    const double longP95 = percentile(longTimes, 0.95);
    std::printf("@row\tsuggestions, 1-6 chars, 1M titles (p95)\t%.2f ms\t%.1f ms\t%.3fx\t<= 10 ms\t%s\n", p95, anchor,
                p95 / anchor, p95 <= 10.0 ? "yes" : "NO");
    std::printf("@row\tsuggestions, 3-6 chars, 1M titles (p95)\t%.2f ms\t%.1f ms\t%.3fx\t<= 0.10x\t%s\n", longP95,
                longAnchor, longP95 / longAnchor, longP95 / longAnchor <= 0.1 ? "yes" : "NO");
    std::printf("@row\tpinyin table for 200k titles\t%.0f ms\t-\t-\t<= 1000 ms\t%s\n", pinyinMs,
                pinyinMs <= 1000.0 ? "yes" : "NO");
    if (made) {
        const double barePer100k = bareBytes / 1e6 / (bigCatalogue / 100000.0);
        std::printf("@row\tside tables, growth per 100k titles\t%.1f MB\t%.1f MB\t%.2fx\t-\t-\n", growthPer100k,
                    barePer100k, growthPer100k / barePer100k);
    }
    std::printf("@note\tsuggestions: Suggester::suggest from the pause timer to rows ready, prefixes of %d random titles' "
                "names, initials and whole pinyin; anchor: the sqlite3 shell's own timer for LIKE '%%text%%' on the same "
                "file; growth: anchor is the catalogue without side tables\n",
                sampledTitles);
    std::printf("@note\tpinyin table for 200k titles: %.0f ms of CPU (load average %s); the name index besides it %.0f ms "
                "(%.0f ms of CPU)\n",
                pinyinCpuMs, load.constData(), namesMs, namesCpuMs);
    return 0;
}
