#include "browse/suggester.h"
#include "site/catalogue_writer.h"
#include "store/catalogue.h"
#include "store/title_index.h"
#include "store/title_index_builder.h"
#include "store/title_index_writer.h"
#include "store/title_key.h"
#include "text/pinyin_reader.h"

#include <QSqlError>
#include <QThread>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using kinolark::browse::Suggester;
using kinolark::site::CatalogueRecord;
using kinolark::site::CatalogueWriter;
using kinolark::store::Catalogue;
using kinolark::store::TitleIndex;
using kinolark::store::TitleIndexBuilder;
using kinolark::text::PinyinReader;

namespace {

QVariant value(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql) || !query.next())
        return QVariant();
    return query.value(0);
}

bool exec(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql)) {
        qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        return false;
    }
    return true;
}

// Titles stored the way an older program stored them: no side tables.
bool insertTitles(const QSqlDatabase &db, const QList<QPair<qint64, QString>> &titles)
{
    QSqlQuery insert(db);
    insert.prepare("insert into vod (vod_id, vod_cid, vod_name, vod_letter) values (?, 8, ?, 'a')");
    for (const auto &title : titles) {
        insert.addBindValue(title.first);
        insert.addBindValue(title.second);
        if (!insert.exec())
            return false;
    }
    return true;
}

// How often the side tables hold the title: its reading rows, its name
// (the name index keeps no rows to count, only their pieces).
QString indexed(const QSqlDatabase &db, qint64 id, int nameLength = 2)
{
    exec(db, "create virtual table if not exists temp.name_pieces using fts5vocab(main, 'title_name_fts', 'instance')");
    const qint64 key = kinolark::store::TitleKey::of(nameLength, id);
    return value(db, QString("select count(*) from title_pinyin where vod_id = %1").arg(id)).toString() + '/'
           + value(db, QString("select count(distinct doc) from temp.name_pieces where doc = %1").arg(key)).toString();
}

QStringList ids(Suggester &suggester, const QString &text)
{
    QStringList out;
    for (const auto &s : suggester.suggest(text))
        out << QString::number(s.id);
    return out;
}

} // namespace

class tst_TitleIndex : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QFile::exists(PinyinReader::defaultDictionaryPath()))
            QSKIP("needs rime-data-pinyin-simp (scripts/deps)");
        if (!TitleIndex::ftsAvailable())
            QSKIP("this SQLite has no FTS5 trigram tokenizer");
        m_reader = std::make_shared<PinyinReader>(PinyinReader::defaultDictionaryPath());
    }

    // A catalogue from before the side tables: names only until the builder
    // has run, then pinyin too; later titles from an older program are
    // caught up on the next run.
    void catalogueWithoutSideTables()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("data.db");
        Catalogue catalogue;
        QVERIFY(catalogue.open(path) == Catalogue::OpenResult::Created);
        QVERIFY(insertTitles(catalogue.database(), {{1, u"大江大河"_qs}, {2, u"天下无贼"_qs}, {3, u"长城"_qs}}));

        Suggester suggester;
        QVERIFY(suggester.open(path, TitleIndex::pinyinVersion(m_reader->sourceTag())));
        QVERIFY(!suggester.pinyinReady());
        QCOMPARE(ids(suggester, u"天下"_qs), QStringList{"2"});
        QCOMPARE(ids(suggester, "djdh"), QStringList());

        TitleIndexBuilder builder(path, m_reader);
        builder.setChunkSize(2);
        TitleIndexBuilder::Result result = builder.run();
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.titles, 3);
        suggester.refresh();
        QVERIFY(suggester.pinyinReady());
        QVERIFY(suggester.namesIndexed());
        QCOMPARE(ids(suggester, "djdh"), QStringList{"1"});
        QCOMPARE(ids(suggester, u"天下"_qs), QStringList{"2"});

        QCOMPARE(builder.run().titles, 0);
        QVERIFY(insertTitles(catalogue.database(), {{9, u"长城外"_qs}}));
        suggester.refresh();
        QVERIFY(!suggester.pinyinReady());
        result = builder.run();
        QCOMPARE(result.titles, 1);
        suggester.refresh();
        QCOMPARE(ids(suggester, "cc"), (QStringList{"3", "9"}));
        QCOMPARE(indexed(catalogue.database(), 9, 3), QString("2/1")); // two readings, one name
    }

    // A catalogue made elsewhere: ids that are no key, twice, negative, too
    // large or not numbers, names missing. It gets the side tables; its own
    // tables stay exactly as they were.
    void foreignCatalogue()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("data.db");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "foreign");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QVERIFY(exec(db, "create table vod (vod_id integer, vod_cid integer, vod_name text, vod_letter text)"));
            QVERIFY(exec(db, "create table vodplay (d_id integer, d_playurl text, d_date text, d_nr text)"));
            QVERIFY(exec(db, "create table cdate (up_date text)"));
            QVERIFY(exec(db, "insert into cdate values ('2020/1/1')"));
            QVERIFY(exec(db, "insert into vod values (5, 8, '重庆森林', 'c'), (5, 8, '重复', 'c'), (6, 8, null, 'x'), "
                             "(-1, 8, '负数', 'f'), (1099511627776, 8, '太大', 't'), ('x', 8, '文字', 'w'), "
                             "(7, 8, 'Iron Man', 'i')"));
            db.close();
        }
        QSqlDatabase::removeDatabase("foreign");
        Catalogue catalogue;
        QVERIFY(catalogue.open(path) == Catalogue::OpenResult::Opened);
        const QString schema = "select group_concat(sql, ';') from sqlite_schema where name in ('vod', 'vodplay', 'cdate')";
        const QString rows = "select group_concat(quote(vod_id) || vod_name, ';') from vod";
        const QVariant schemaBefore = value(catalogue.database(), schema);
        const QVariant rowsBefore = value(catalogue.database(), rows);

        const TitleIndexBuilder::Result result = TitleIndexBuilder(path, m_reader).run();
        QVERIFY2(result.ok, qPrintable(result.error));
        Suggester suggester;
        QVERIFY(suggester.open(path, TitleIndex::pinyinVersion(m_reader->sourceTag())));
        QVERIFY(suggester.pinyinReady());
        QCOMPARE(ids(suggester, "cqsl"), QStringList{"5"});
        QCOMPARE(ids(suggester, u"重"_qs), QStringList{"5"});
        QCOMPARE(ids(suggester, "iron"), QStringList{"7"});
        QCOMPARE(ids(suggester, u"太大"_qs), QStringList());
        QCOMPARE(value(catalogue.database(), schema), schemaBefore);
        QCOMPARE(value(catalogue.database(), rows), rowsBefore);
    }

    // Readings made without the dictionary are made again with it; the
    // name index, made the same way either way, is kept.
    void otherReadingsMadeAgain()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("data.db");
        Catalogue catalogue;
        QVERIFY(catalogue.open(path) == Catalogue::OpenResult::Created);
        QVERIFY(insertTitles(catalogue.database(), {{1, u"重庆森林"_qs}}));
        const auto icuOnly = std::make_shared<PinyinReader>("/nonexistent/pinyin.dict.yaml");
        QVERIFY(TitleIndexBuilder(path, icuOnly).run().ok);
        Suggester suggester;
        QVERIFY(suggester.open(path, TitleIndex::pinyinVersion(icuOnly->sourceTag())));
        QCOMPARE(ids(suggester, "zqsl"), QStringList{"1"});
        QCOMPARE(ids(suggester, "cqsl"), QStringList());

        QVERIFY(TitleIndexBuilder(path, m_reader).run().ok);
        QVERIFY(suggester.open(path, TitleIndex::pinyinVersion(m_reader->sourceTag())));
        QCOMPARE(ids(suggester, "cqsl"), QStringList{"1"});
        QCOMPARE(indexed(catalogue.database(), 1, 4), QString("2/1"));
    }

    // Stopped before its first transaction, a build leaves nothing to undo;
    // the next one does all of it.
    void cancelledThenResumed()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("data.db");
        Catalogue catalogue;
        QVERIFY(catalogue.open(path) == Catalogue::OpenResult::Created);
        QVERIFY(insertTitles(catalogue.database(), {{1, u"长城"_qs}, {2, u"银行"_qs}}));
        std::atomic_bool cancel{true};
        TitleIndexBuilder builder(path, m_reader);
        TitleIndexBuilder::Result result = builder.run(&cancel);
        QVERIFY(result.cancelled);
        QCOMPARE(value(catalogue.database(), "select upto from title_index_state where part = 'pinyin'").toInt(), -1);
        cancel = false;
        result = builder.run(&cancel);
        QVERIFY(result.ok);
        QCOMPARE(result.titles, 2);
    }

    // The sync's new titles go into current side tables in its own
    // transaction; nothing of them stays when it is cancelled.
    void syncFillsSideTables()
    {
        QTemporaryDir dir;
        Catalogue catalogue;
        QVERIFY(catalogue.open(dir.filePath("data.db")) == Catalogue::OpenResult::Created);
        const QList<CatalogueRecord> records{{3, 8, u"银行"_qs, "y"}, {1, 8, u"音乐"_qs, "y"}};
        const auto cancelAtEnd = [](qint64 done, qint64 total) { return done < total; };
        const CatalogueWriter::Result cancelled =
            CatalogueWriter(catalogue.database(), m_reader.get()).write(records, "d", cancelAtEnd);
        QVERIFY(cancelled.cancelled);
        QCOMPARE(value(catalogue.database(), "select count(*) from sqlite_schema where name like 'title%'").toInt(), 0);

        QVERIFY(CatalogueWriter(catalogue.database(), m_reader.get()).write(records, "d").ok);
        QCOMPARE(indexed(catalogue.database(), 3), QString("2/1"));
        QCOMPARE(indexed(catalogue.database(), 1), QString("2/1"));
        QCOMPARE(value(catalogue.database(), "select upto from title_index_state where part = 'pinyin'").toInt(), 3);
        QCOMPARE(value(catalogue.database(), "select upto from title_index_state where part = 'names'").toInt(), 3);

        QVERIFY(CatalogueWriter(catalogue.database(), m_reader.get()).write({{8, 8, u"长城"_qs, "c"}}, "e").ok);
        QCOMPARE(indexed(catalogue.database(), 8), QString("2/1"));
        QCOMPARE(value(catalogue.database(), "select upto from title_index_state where part = 'names'").toInt(), 8);
    }

    // Typing while the worker builds: every list holds only titles that
    // match, by name until the side tables are there, then by pinyin too.
    void suggestionsWhileBuilding()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("data.db");
        Catalogue catalogue;
        QVERIFY(catalogue.open(path) == Catalogue::OpenResult::Created);
        QList<QPair<qint64, QString>> titles;
        for (qint64 id = 1; id <= 20000; ++id)
            titles << qMakePair(id, id % 100 == 0 ? u"大江大河"_qs : u"某某"_qs + QString::number(id));
        QVERIFY(insertTitles(catalogue.database(), titles));

        TitleIndexBuilder builder(path, m_reader);
        builder.setChunkSize(500);
        TitleIndexBuilder::Result result;
        std::unique_ptr<QThread> thread(QThread::create([&] { result = builder.run(); }));
        Suggester suggester;
        QVERIFY(suggester.open(path, TitleIndex::pinyinVersion(m_reader->sourceTag())));
        thread->start();
        int lists = 0;
        while (!thread->isFinished()) {
            suggester.refresh();
            for (const QString &text : {u"大江"_qs, u"djdh"_qs}) {
                const QVector<kinolark::browse::Suggestion> found = suggester.suggest(text);
                for (const auto &s : found)
                    QCOMPARE(s.name, u"大江大河"_qs);
                QVERIFY(found.size() <= Suggester::maxSuggestions);
                ++lists;
            }
            thread->wait(1);
        }
        QVERIFY2(result.ok, qPrintable(result.error));
        QVERIFY(lists > 2);
        suggester.refresh();
        QVERIFY(suggester.pinyinReady());
        QCOMPARE(suggester.suggest("djdh").size(), Suggester::maxSuggestions);
    }

    // A first sync brings the whole catalogue: its titles are left to the
    // builder, which the window starts once it shows.
    void largeSyncLeftToBuilder()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("data.db");
        Catalogue catalogue;
        QVERIFY(catalogue.open(path) == Catalogue::OpenResult::Created);
        QList<CatalogueRecord> records;
        for (qint64 id = 1; id <= kinolark::store::TitleIndexWriter::mostInOneSync + 1; ++id)
            records << CatalogueRecord{id, 8, id == 5 ? u"大江大河"_qs : u"某某"_qs, "m"};
        QVERIFY(CatalogueWriter(catalogue.database(), m_reader.get()).write(records, "d").ok);
        QCOMPARE(value(catalogue.database(), "select count(*) from title_index_state").toInt(), 0);
        QCOMPARE(value(catalogue.database(), "select count(*) from title_pinyin").toInt(), 0);

        QVERIFY(TitleIndexBuilder(path, m_reader).run().ok);
        Suggester suggester;
        QVERIFY(suggester.open(path, TitleIndex::pinyinVersion(m_reader->sourceTag())));
        QVERIFY(suggester.pinyinReady());
        QCOMPARE(ids(suggester, "djdh"), QStringList{"5"});
    }

    // Side tables behind the catalogue (an older program stored titles
    // since): the sync fills in only the titles below where they stand; the
    // builder does the rest. Made another way, they are left to the builder.
    void syncIntoSideTablesBehind()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("data.db");
        Catalogue catalogue;
        QVERIFY(catalogue.open(path) == Catalogue::OpenResult::Created);
        QVERIFY(insertTitles(catalogue.database(), {{1, u"长城"_qs}, {10, u"银行"_qs}}));
        QVERIFY(TitleIndexBuilder(path, m_reader).run().ok);
        QVERIFY(insertTitles(catalogue.database(), {{30, u"音乐"_qs}}));

        QVERIFY(CatalogueWriter(catalogue.database(), m_reader.get()).write({{7, 8, u"重庆"_qs, "c"}, {40, 8, u"便宜"_qs, "p"}}, "d").ok);
        QCOMPARE(indexed(catalogue.database(), 7), QString("2/1"));
        QCOMPARE(indexed(catalogue.database(), 40), QString("0/0"));
        QCOMPARE(value(catalogue.database(), "select upto from title_index_state where part = 'pinyin'").toInt(), 10);

        const TitleIndexBuilder::Result result = TitleIndexBuilder(path, m_reader).run();
        QCOMPARE(result.titles, 2);
        QCOMPARE(indexed(catalogue.database(), 30), QString("2/1"));
        QCOMPARE(indexed(catalogue.database(), 40), QString("2/1"));
        QCOMPARE(indexed(catalogue.database(), 7), QString("2/1"));

        QVERIFY(exec(catalogue.database(), "update title_index_state set version = 'pinyin 0' where part = 'pinyin'"));
        QVERIFY(CatalogueWriter(catalogue.database(), m_reader.get()).write({{50, 8, u"西藏"_qs, "x"}}, "e").ok);
        QCOMPARE(indexed(catalogue.database(), 50), QString("0/1"));
    }

private:
    std::shared_ptr<PinyinReader> m_reader;
};

QTEST_GUILESS_MAIN(tst_TitleIndex)
#include "tst_title_index.moc"
