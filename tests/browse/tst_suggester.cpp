#include "browse/suggester.h"
#include "browse/suggestion_query.h"
#include "site/catalogue_writer.h"
#include "store/catalogue.h"
#include "store/title_index.h"
#include "text/pinyin_reader.h"

#include <QTemporaryDir>
#include <QTest>

using kinolark::browse::Suggester;
using kinolark::browse::SuggestionQuery;
using kinolark::site::CatalogueRecord;
using kinolark::store::TitleIndex;
using kinolark::text::PinyinReader;

namespace {

// Ids rise down the list: a later title is a newer one.
const QStringList names{
    u"天下"_qs,        u"天下无贼"_qs,      u"天下第一"_qs,  u"无天下"_qs,      u"大江大河"_qs,
    u"大江东去"_qs,    u"大话西游"_qs,      u"打击"_qs,      u"天下无双"_qs,    u"长城"_qs,
    u"Iron Man"_qs,    u"钢铁侠 Iron"_qs,   u"007大破天门"_qs, u"重庆森林"_qs,  u"C++ 入门"_qs,
    u"天下-无贼"_qs,   u"\"引号\""_qs,      u"100%纯爱"_qs,  u"a_b"_qs,         u"NEAR AND"_qs,
    u"emoji 😀天下"_qs, u"地*"_qs,
};

} // namespace

class tst_Suggester : public QObject
{
    Q_OBJECT

public:
    enum class Setup { Small, Crowded, CrowdedWithoutNameIndex, NamesOnly };

private:
    // A catalogue holding `names` (ids 1...) and, but for the small one, 4000
    // titles named 某某 with higher ids, stored the way a sync stores them.
    void open(Suggester &suggester, Setup setup)
    {
        const QString path = m_dir.filePath(QString::number(int(setup)) + ".db");
        kinolark::store::Catalogue catalogue;
        if (catalogue.open(path) == kinolark::store::Catalogue::OpenResult::Created) {
            QList<CatalogueRecord> records;
            for (int i = 0; i < names.size(); ++i)
                records << CatalogueRecord{i + 1, 8 + i % 3, names.at(i), "a"};
            for (int i = 0; i < (setup == Setup::Small ? 0 : 4000); ++i)
                records << CatalogueRecord{1000 + i, 15, u"某某"_qs, "m"};
            const PinyinReader *reader = setup == Setup::NamesOnly ? nullptr : m_reader.get();
            QVERIFY(kinolark::site::CatalogueWriter(catalogue.database(), reader).write(records, "d").ok);
        }
        QVERIFY(suggester.open(path, TitleIndex::pinyinVersion(m_reader->sourceTag())));
        suggester.setUseNameIndex(setup != Setup::CrowdedWithoutNameIndex);
        QCOMPARE(suggester.pinyinReady(), setup != Setup::NamesOnly);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        if (!QFile::exists(PinyinReader::defaultDictionaryPath()))
            QSKIP("needs rime-data-pinyin-simp (scripts/deps)");
        m_reader = std::make_unique<PinyinReader>(PinyinReader::defaultDictionaryPath());
    }

    // The same answers through every path: a small catalogue read in key
    // order, a crowded one where short texts go through the index's pieces
    // and initials through their index, the same without the name index (as
    // where SQLite lacks FTS5), and before the side tables exist (names only).
    // Query syntax and wildcards in the text find only names that hold them.
    void ranking_data()
    {
        QTest::addColumn<int>("setup");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("namesOnly");

        // Matched by pinyin only: nothing before the side tables exist.
        const bool byPinyin = true;
        struct Case
        {
            const char *what;
            QString text;
            QStringList expected;
            bool byPinyin = false;
        };
        const QList<Case> cases{
            {"exact, prefixes by length then newest, then elsewhere", u"天下"_qs,
             {u"天下"_qs, u"天下无双"_qs, u"天下第一"_qs, u"天下无贼"_qs, u"天下-无贼"_qs, u"无天下"_qs, u"emoji 😀天下"_qs},
            },
            {"one character", u"贼"_qs, {u"天下无贼"_qs, u"天下-无贼"_qs}},
            {"initials", u"djdh"_qs, {u"大江大河"_qs}, byPinyin},
            {"initials, shortest first", u"dj"_qs, {u"打击"_qs, u"大江东去"_qs, u"大江大河"_qs}, byPinyin},
            {"whole pinyin", u"da"_qs, {u"打击"_qs, u"大话西游"_qs, u"大江东去"_qs, u"大江大河"_qs}, byPinyin},
            {"blanks taken out", u"da jiang"_qs, {u"大江东去"_qs, u"大江大河"_qs}, byPinyin},
            {"either reading", u"zq"_qs, {u"重庆森林"_qs}, byPinyin},
            {"dictionary reading", u"CQSL"_qs, {u"重庆森林"_qs}, byPinyin},
            {"name before initials", u"iron"_qs, {u"Iron Man"_qs, u"钢铁侠 Iron"_qs}},
            {"exact, letter case aside", u"IRON MAN"_qs, {u"Iron Man"_qs}},
            {"digits", u"007"_qs, {u"007大破天门"_qs}},
            {"digits and initials", u"007dp"_qs, {u"007大破天门"_qs}, byPinyin},
            {"plus signs", u"C++"_qs, {u"C++ 入门"_qs}},
            {"minus sign", u"天下-无贼"_qs, {u"天下-无贼"_qs}},
            {"lone quote", u"\""_qs, {u"\"引号\""_qs}},
            {"quoted", u"\"引号\""_qs, {u"\"引号\""_qs}},
            {"percent", u"%"_qs, {u"100%纯爱"_qs}},
            {"underscore", u"_"_qs, {u"a_b"_qs}},
            {"star", u"*"_qs, {u"地*"_qs}},
            {"query words", u"NEAR"_qs, {u"NEAR AND"_qs}},
            {"and", u"and"_qs, {u"NEAR AND"_qs}},
            {"emoji", u"😀"_qs, {u"emoji 😀天下"_qs}},
            {"emoji and text, two characters", u"😀天"_qs, {u"emoji 😀天下"_qs}},
            {"lone surrogate", QString(QChar(0xD83D)), {}},
            {"the name index's start mark", u"\u0002天下"_qs, {}},
            {"CR LF around", u"\r\n天下第一\r\n"_qs, {u"天下第一"_qs}},
            {"CR LF inside", u"天下\r\n第一"_qs, {}},
            {"200 characters", QString(200, QChar(u'天')), {}},
            {"blank", u"   "_qs, {}},
            {"nothing like it", u"xyzzy"_qs, {}},
        };
        for (int setup = 0; setup <= int(Setup::NamesOnly); ++setup) {
            for (const Case &c : cases) {
                QTest::addRow("%d %s", setup, c.what)
                    << setup << c.text << c.expected << (c.byPinyin ? QStringList() : c.expected);
            }
        }
    }
    void ranking()
    {
        QFETCH(int, setup);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, namesOnly);
        Suggester suggester;
        open(suggester, Setup(setup));
        QStringList found;
        for (const kinolark::browse::Suggestion &s : suggester.suggest(text))
            found << s.name;
        QCOMPARE(found, Setup(setup) == Setup::NamesOnly ? namesOnly : expected);
    }

    // At most twelve, the best: of the 4000 fillers, the newest.
    void limit()
    {
        Suggester suggester;
        open(suggester, Setup::Crowded);
        for (const QString &text : {u"某某"_qs, u"mm"_qs}) {
            const QVector<kinolark::browse::Suggestion> found = suggester.suggest(text);
            QCOMPARE(found.size(), Suggester::maxSuggestions);
            QCOMPARE(found.first().id, 4999);
            QCOMPARE(found.last().id, 4988);
        }
    }

    // The bound of a range of index terms: never a lone surrogate.
    void pastPrefix()
    {
        QCOMPARE(SuggestionQuery::pastPrefix("ab"), QString("ac"));
        QCOMPARE(SuggestionQuery::pastPrefix(u"\uD7FF"_qs), u"\uE000"_qs);
        QCOMPARE(SuggestionQuery::pastPrefix(u"a😀"_qs), u"a😁"_qs);
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<PinyinReader> m_reader;
};

QTEST_GUILESS_MAIN(tst_Suggester)
#include "tst_suggester.moc"
