#include "text/han_latin_table.h"
#include "text/icu_syllable.h"
#include "text/pinyin_dictionary.h"
#include "text/pinyin_reader.h"

#include <QFile>
#include <QTemporaryFile>
#include <QTest>

using kinolark::text::PinyinDictionary;
using kinolark::text::PinyinReader;
using kinolark::text::PinyinReading;

namespace {

QStringList shown(const QList<PinyinReading> &readings)
{
    QStringList out;
    for (const PinyinReading &r : readings)
        out << QString::fromLatin1(r.initials + '/' + r.full);
    return out;
}

} // namespace

class tst_PinyinReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QFile::exists(PinyinReader::defaultDictionaryPath()))
            QSKIP("needs rime-data-pinyin-simp (scripts/deps)");
        m_reader = std::make_unique<PinyinReader>(PinyinReader::defaultDictionaryPath());
    }

    // The dictionary's reading first; ICU's alone beside it where it
    // differs, and alone without the dictionary.
    void readings_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("长城") << u"长城"_qs << QStringList{"cc/changcheng", "zc/zhangcheng"};
        QTest::newRow("银行") << u"银行"_qs << QStringList{"yh/yinhang", "yx/yinxing"};
        QTest::newRow("音乐") << u"音乐"_qs << QStringList{"yy/yinyue", "yl/yinle"};
        QTest::newRow("重庆") << u"重庆"_qs << QStringList{"cq/chongqing", "zq/zhongqing"};
        QTest::newRow("便宜") << u"便宜"_qs << QStringList{"py/pianyi", "by/bianyi"};
        QTest::newRow("西藏") << u"西藏"_qs << QStringList{"xz/xizang", "xc/xicang"};
        QTest::newRow("还珠格格") << u"还珠格格"_qs << QStringList{"hzgg/haizhugege"};
        QTest::newRow("大江大河") << u"大江大河"_qs << QStringList{"djdh/dajiangdahe"};
        QTest::newRow("digits kept") << u"007大破天门"_qs << QStringList{"007dptm/007dapotianmen"};
        QTest::newRow("latin kept, lower case") << u"Iron Man 3"_qs << QStringList{"ironman3/ironman3"};
        QTest::newRow("mixed") << u"I Love北京"_qs << QStringList{"ilovebj/ilovebeijing"};
        QTest::newRow("longest word wins") << u"中华人民共和国"_qs << QStringList{"zhrmghg/zhonghuarenmingongheguo"};
        QTest::newRow("full width and accents") << u"ＡＢ１Café"_qs << QStringList{"ab1cafe/ab1cafe"};
        QTest::newRow("signs, emoji, kana dropped") << u"天下！😀「の」"_qs << QStringList{"tx/tianxia"};
        QTest::newRow("lone surrogate dropped") << QString(QChar(0xD800)) + u"天"_qs << QStringList{"t/tian"};
        QTest::newRow("rare character from the table") << u"㐀"_qs << QStringList{"q/qiu"};
        QTest::newRow("character past the table, from ICU") << u"𠀀"_qs << QStringList{"h/he"};
        QTest::newRow("empty") << QString() << QStringList{"/"};
    }
    void readings()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, expected);
        QCOMPARE(shown(m_reader->readings(name)), expected);
        const PinyinReader icuOnly(QStringLiteral("/nonexistent/pinyin.dict.yaml"));
        QCOMPARE(shown(icuOnly.readings(name)), QStringList{expected.last()});
    }

    // One reader from several threads at once gives what it gives alone.
    void sharedBetweenThreads()
    {
        // A fresh reader, so the threads also race to load it.
        const PinyinReader reader(PinyinReader::defaultDictionaryPath());
        const QString name = u"重庆森林😀Ａ"_qs;
        const QList<PinyinReading> alone = m_reader->readings(name);
        QAtomicInt wrong;
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back(QThread::create([&] {
                for (int i = 0; i < 500; ++i)
                    wrong.fetchAndAddRelaxed(reader.readings(name) != alone);
            }));
            threads.back()->start();
        }
        for (const auto &thread : threads)
            QVERIFY(thread->wait(30000));
        QCOMPARE(wrong.loadRelaxed(), 0);
    }

    // The dictionary file as Rime writes it: a header, then entries.
    void dictionaryFile_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("found");
        const QString header = "# Rime dictionary\n---\nname: test\n...\n\n";
        QTest::newRow("heaviest reading") << header + "行\txing\t10\n行\thang\t20\n" << "1 hang";
        QTest::newRow("first of equals") << header + "行\txing\t5\n行\thang\t5\n" << "1 xing";
        QTest::newRow("percent weight") << header + "行\txing\t1%\n行\thang\t0.5%\n" << "1 xing";
        QTest::newRow("no weight") << header + "行\thang\n" << "1 hang";
        QTest::newRow("longest word") << header + "行\txing\t1\n行长\thang zhang\t1\n行长好\ta b c\t1\n" << "3 a b c";
        QTest::newRow("too long a word") << header + "行\txing\t1\n行长好人们\ta b c d e\t1\n" << "1 xing";
        QTest::newRow("header lines are not words") << "---\n行\tbad\t99\n...\n行\txing\t1\n" << "1 xing";
        QTest::newRow("CR LF lines") << QString(header + "行\thang\t1\r\n").replace("\n", "\r\n") << "1 hang";
    }
    void dictionaryFile()
    {
        QFETCH(QString, text);
        QFETCH(QString, found);
        QTemporaryFile file;
        QVERIFY(file.open() && file.write(text.toUtf8()) > 0 && file.flush());
        PinyinDictionary dictionary;
        QVERIFY(dictionary.load(file.fileName()));
        const PinyinDictionary::Word word = dictionary.longestWordAt(u"行长好人们"_qs);
        QCOMPARE(QString::number(word.length) + ' ' + QString::fromLatin1(word.syllables), found);
    }

    // The table the build makes reads each character as ICU does: its
    // bounds, and every 97th common character.
    void tableAgreesWithIcu()
    {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> icu(
            icu::Transliterator::createInstance("Han-Latin; Latin-ASCII", UTRANS_FORWARD, status));
        QVERIFY(U_SUCCESS(status));
        std::vector<char32_t> characters{0x3400, 0x4DBF, 0x9FFF, 0xF900, 0xFAFF};
        for (char32_t c = 0x4E00; c <= 0x9FFF; c += 97)
            characters.push_back(c);
        for (char32_t c : characters)
            QCOMPARE(kinolark::text::hanLatinSyllable(c), kinolark::text::icuSyllable(*icu, c).c_str());
    }

private:
    std::unique_ptr<PinyinReader> m_reader;
};

QTEST_GUILESS_MAIN(tst_PinyinReader)
#include "tst_pinyin_reader.moc"
