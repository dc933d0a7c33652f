#include "browse/suggester.h"
#include "site/catalogue_writer.h"
#include "store/catalogue.h"
#include "store/title_index.h"
#include "store/title_index_builder.h"
#include "store/title_index_writer.h"
#include "store/title_key.h"
#include "text/pinyin_reader.h"

#include <QSqlQuery>
#include <QThread>
#include <QTemporaryDir>
#include <QTest>

using kinolark::browse::Suggester;
using kinolark::site::CatalogueRecord;
using kinolark::site::CatalogueWriter;
using kinolark::store::Catalogue;
using kinolark::store::TitleIndex;
using kinolark::store::TitleIndexBuilder;
using kinolark::text::PinyinReader;

// Each test has a fresh catalogue file of its own.
class tst_TitleIndex : public QObject
{
    Q_OBJECT

private:
    QSqlDatabase db() const { return m_catalogue->database(); }
    QVariant value(const QString &sql) const
    {
        QSqlQuery query(db());
        return query.exec(sql) && query.next() ? query.value(0) : QVariant();
    }

    // Titles stored the way an older program stored them: no side tables.
    bool insertTitles(const QList<QPair<qint64, QString>> &titles)
    {
        for (const auto &[id, name] : titles) {
            if (!QSqlQuery(db()).exec(QString("insert into vod values (%1, 8, '%2', 'a')").arg(id).arg(name)))
                return false;
        }
        return true;
    }

    CatalogueWriter::Result sync(const QList<CatalogueRecord> &records, const CatalogueWriter::Progress &progress = {})
    {
        return CatalogueWriter(db(), m_reader.get()).write(records, "d", progress);
    }

    // How often the side tables hold the title: its reading rows, its name
    // (the name index keeps no rows to count, only their pieces).
    QString indexed(qint64 id, int nameLength = 2)
    {
        QSqlQuery(db()).exec("create virtual table if not exists temp.name_pieces using fts5vocab(main, 'title_name_fts', 'instance')");
        const qint64 key = kinolark::store::TitleKey::of(nameLength, id);
        return value(QString("select count(*) from title_pinyin where vod_id = %1").arg(id)).toString() + '/'
               + value(QString("select count(distinct doc) from temp.name_pieces where doc = %1").arg(key)).toString();
    }

    // The ids a suggester finds, expecting readings as `reader` makes them.
    QStringList found(const QString &text, const PinyinReader *reader = nullptr)
    {
        Suggester suggester;
        if (!suggester.open(m_path, TitleIndex::pinyinVersion((reader ? reader : m_reader.get())->sourceTag())))
            return {"cannot open"};
        QStringList ids;
        for (const auto &s : suggester.suggest(text))
            ids << QString::number(s.id);
        return ids;
    }

private slots:
    void initTestCase()
    {
        if (!QFile::exists(PinyinReader::defaultDictionaryPath()))
            QSKIP("needs rime-data-pinyin-simp (scripts/deps)");
        if (!TitleIndex::ftsAvailable())
            QSKIP("this SQLite has no FTS5 trigram tokenizer");
        m_reader = std::make_shared<PinyinReader>(PinyinReader::defaultDictionaryPath());
    }

    void init()
    {
        m_catalogue.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = m_dir->filePath("data.db");
        m_catalogue = std::make_unique<Catalogue>();
        QVERIFY(m_catalogue->open(m_path) == Catalogue::OpenResult::Created);
    }

    // A catalogue from before the side tables: names only until the builder
    // has run (one stopped before its first transaction leaves it so), then
    // pinyin too; titles an older program stores later are caught up on the
    // next run.
    void catalogueWithoutSideTables()
    {
        QVERIFY(insertTitles({{1, u"大江大河"_qs}, {2, u"天下无贼"_qs}, {3, u"长城"_qs}}));
        QCOMPARE(found(u"天下"_qs), QStringList{"2"});
        QCOMPARE(found("djdh"), QStringList());

        TitleIndexBuilder builder(m_path, m_reader);
        builder.setChunkSize(2);
        const std::atomic_bool cancel{true};
        QVERIFY(builder.run(&cancel).cancelled);
        QCOMPARE(found("djdh"), QStringList());
        QCOMPARE(builder.run().titles, 3);
        QCOMPARE(found("djdh"), QStringList{"1"});

        QCOMPARE(builder.run().titles, 0);
        QVERIFY(insertTitles({{9, u"长城外"_qs}}));
        QCOMPARE(found("cc"), QStringList());
        QCOMPARE(builder.run().titles, 1);
        QCOMPARE(found("cc"), (QStringList{"3", "9"}));
        QCOMPARE(indexed(9, 3), QString("2/1")); // two readings, one name
    }

    // A catalogue made elsewhere: ids that are no key, twice, negative, too
    // large or not numbers, names missing. It gets the side tables; its own
    // tables stay exactly as they were.
    void foreignCatalogue()
    {
        m_catalogue.reset();
        QVERIFY(QFile::remove(m_path));
        {
            QSqlDatabase foreign = QSqlDatabase::addDatabase("QSQLITE", "foreign");
            foreign.setDatabaseName(m_path);
            QVERIFY(foreign.open());
            for (const char *sql : {"create table vod (vod_id integer, vod_cid integer, vod_name text, vod_letter text)",
                                    "create table vodplay (d_id integer, d_playurl text, d_date text, d_nr text)",
                                    "create table cdate (up_date text)", "insert into cdate values ('2020/1/1')",
                                    "insert into vod values (5, 8, '重庆森林', 'c'), (5, 8, '重复', 'c'), (6, 8, null, 'x'), "
                                    "(-1, 8, '负数', 'f'), (1099511627776, 8, '太大', 't'), ('x', 8, '文字', 'w'), "
                                    "(7, 8, 'Iron Man', 'i')"})
                QVERIFY2(QSqlQuery(foreign).exec(sql), sql);
            foreign.close();
        }
        QSqlDatabase::removeDatabase("foreign");
        m_catalogue = std::make_unique<Catalogue>();
        QVERIFY(m_catalogue->open(m_path) == Catalogue::OpenResult::Opened);
        const QString tables = "select (select group_concat(sql, ';') from sqlite_schema where name in "
                               "('vod', 'vodplay', 'cdate')) || (select group_concat(quote(vod_id) || vod_name) from vod)";
        const QVariant before = value(tables);
        QVERIFY(before.toString().contains(u"Iron Man"_qs));

        QVERIFY(TitleIndexBuilder(m_path, m_reader).run().ok);
        QCOMPARE(found("cqsl"), QStringList{"5"});
        QCOMPARE(found(u"重"_qs), QStringList{"5"});
        QCOMPARE(found("iron"), QStringList{"7"});
        QCOMPARE(found(u"太大"_qs), QStringList());
        QCOMPARE(value(tables), before);
    }

    // Readings made without the dictionary are made again with it.
    void otherReadingsMadeAgain()
    {
        QVERIFY(insertTitles({{1, u"重庆森林"_qs}}));
        const auto icuOnly = std::make_shared<PinyinReader>("/nonexistent/pinyin.dict.yaml");
        QVERIFY(TitleIndexBuilder(m_path, icuOnly).run().ok);
        QCOMPARE(found("zqsl", icuOnly.get()), QStringList{"1"});
        QCOMPARE(found("cqsl", icuOnly.get()), QStringList());

        QVERIFY(TitleIndexBuilder(m_path, m_reader).run().ok);
        QCOMPARE(found("cqsl"), QStringList{"1"});
        QCOMPARE(indexed(1, 4), QString("2/1"));
    }

    // The sync's new titles go into current side tables in its own
    // transaction; nothing of them stays when it is cancelled. Behind the
    // catalogue (an older program stored titles since), the sync fills in
    // only the titles below where they stand and the builder does the rest;
    // made another way, they are left to the builder.
    void syncFillsSideTables()
    {
        const QList<CatalogueRecord> records{{10, 8, u"银行"_qs, "y"}, {1, 8, u"音乐"_qs, "y"}};
        QVERIFY(sync(records, [](qint64 done, qint64 total) { return done < total; }).cancelled);
        QCOMPARE(value("select count(*) from sqlite_schema where name like 'title%'").toInt(), 0);
        QVERIFY(sync(records).ok);
        QCOMPARE(indexed(10), QString("2/1"));
        QCOMPARE(indexed(1), QString("2/1"));
        QVERIFY(sync({{12, 8, u"长城"_qs, "c"}}).ok);
        QCOMPARE(indexed(12), QString("2/1"));

        QVERIFY(insertTitles({{30, u"音乐"_qs}}));
        QVERIFY(sync({{7, 8, u"重庆"_qs, "c"}, {40, 8, u"便宜"_qs, "p"}}).ok);
        QCOMPARE(indexed(7), QString("2/1"));
        QCOMPARE(indexed(40), QString("0/0"));
        QCOMPARE(TitleIndexBuilder(m_path, m_reader).run().titles, 2);
        QCOMPARE(indexed(30), QString("2/1"));
        QCOMPARE(indexed(40), QString("2/1"));

        QVERIFY(QSqlQuery(db()).exec("update title_index_state set version = 'pinyin 0' where part = 'pinyin'"));
        QVERIFY(sync({{50, 8, u"西藏"_qs, "x"}}).ok);
        QCOMPARE(indexed(50), QString("0/1"));
    }

    // A first sync brings the whole catalogue and leaves the side tables to
    // the builder. Typing while the worker builds them: every list holds
    // only titles that match, by name until the side tables are there, then
    // by pinyin too.
    void typingWhileBuilding()
    {
        QList<CatalogueRecord> records;
        for (qint64 id = 1; id <= 2 * kinolark::store::TitleIndexWriter::mostInOneSync; ++id)
            records << CatalogueRecord{id, 8, id % 100 == 0 ? u"大江大河"_qs : u"某某"_qs + QString::number(id), "m"};
        QVERIFY(sync(records).ok);
        QCOMPARE(value("select count(*) from title_index_state").toInt(), 0);
        QCOMPARE(value("select count(*) from title_pinyin").toInt(), 0);

        TitleIndexBuilder builder(m_path, m_reader);
        builder.setChunkSize(500);
        TitleIndexBuilder::Result result;
        std::unique_ptr<QThread> thread(QThread::create([&] { result = builder.run(); }));
        Suggester suggester;
        QVERIFY(suggester.open(m_path, TitleIndex::pinyinVersion(m_reader->sourceTag())));
        thread->start();
        int lists = 0;
        while (!thread->isFinished()) {
            suggester.refresh();
            for (const QString &text : {u"大江"_qs, u"djdh"_qs}) {
                const QVector<kinolark::browse::Suggestion> suggested = suggester.suggest(text);
                for (const auto &s : suggested)
                    QCOMPARE(s.name, u"大江大河"_qs);
                ++lists;
            }
            thread->wait(1);
        }
        QVERIFY2(result.ok, qPrintable(result.error));
        QVERIFY(lists > 2);
        suggester.refresh();
        QCOMPARE(suggester.suggest("djdh").size(), Suggester::maxSuggestions);
    }

private:
    std::shared_ptr<PinyinReader> m_reader;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
    std::unique_ptr<Catalogue> m_catalogue;
};

QTEST_GUILESS_MAIN(tst_TitleIndex)
#include "tst_title_index.moc"
