#include "browse/node_selection.h"
#include "browse/title_lister.h"
#include "browse/title_list_model.h"
#include "browse/title_rows.h"

#include <QAbstractItemModelTester>
#include <QSqlError>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QSignalSpy>
#include <QAbstractItemModelTester>

using namespace kinolark::browse;

Q_DECLARE_METATYPE(NodeSelection::Kind)
Q_DECLARE_METATYPE(TitleStatement)

class tst_TitleList : public QObject
{
    Q_OBJECT

private slots:
    void keys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<NodeSelection::Kind>("kind");
        QTest::addColumn<qint64>("category");
        QTest::addColumn<QStringList>("initials");
        using K = NodeSelection::Kind;
        QTest::newRow("group") << "dsj" << K::Nothing << qint64(0) << QStringList();
        QTest::newRow("category") << "cid15" << K::Category << qint64(15) << QStringList();
        QTest::newRow("live tv") << "cid0" << K::LiveTv << qint64(0) << QStringList();
        QTest::newRow("letter") << "15$'a'" << K::Initials << qint64(15) << QStringList{"a"};
        QTest::newRow("other initials") << "3$'0','1','2','3','4','5','6','7','8','9','['" << K::Initials << qint64(3)
                                        << QStringList{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "["};
        QTest::newRow("quote as initial") << "3$''''" << K::Initials << qint64(3) << QStringList{"''"};
        QTest::newRow("not a number") << "cidx" << K::Nothing << qint64(0) << QStringList();
        QTest::newRow("dollar without number") << "x$'a'" << K::Nothing << qint64(0) << QStringList();
        QTest::newRow("my group") << "my" << K::Nothing << qint64(0) << QStringList();
        QTest::newRow("favourites") << "my.favourites" << K::Favourites << qint64(0) << QStringList();
        QTest::newRow("history") << "my.history" << K::History << qint64(0) << QStringList();
        QTest::newRow("downloads") << "my.downloads" << K::Downloads << qint64(0) << QStringList();
        QTest::newRow("favourites key, extended") << "my.favourites2" << K::Nothing << qint64(0) << QStringList();
    }
    void keys()
    {
        QFETCH(QString, key);
        QFETCH(NodeSelection::Kind, kind);
        QFETCH(qint64, category);
        QFETCH(QStringList, initials);
        const NodeSelection selection = NodeSelection::fromKey(key);
        QCOMPARE(selection.kind, kind);
        QCOMPARE(selection.category, category);
        QCOMPARE(selection.initials, initials);
    }

    void titleKeys()
    {
        QCOMPARE(TitleListModel::keyOf(1234), QStringLiteral("vod_id1234"));
        QCOMPARE(TitleListModel::idOfKey("vod_id1234"), 1234);
        QCOMPARE(TitleListModel::idOfKey("vod_id"), -1);
        QCOMPARE(TitleListModel::idOfKey("cid8"), -1);
    }

    void modelBehaves()
    {
        TitleListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setTitles({{3, "c"}, {1, "a"}, {2, QString()}});
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.nodeCount(), 3);
        QCOMPARE(model.nodeKey(1), QStringLiteral("vod_id3"));
        QCOMPARE(model.nodeText(2), QStringLiteral("a"));
        QCOMPARE(model.nodeText(3), QString());
        QCOMPARE(model.nodeKey(0), QString());
        QCOMPARE(model.nodeKey(4), QString());
        QCOMPARE(model.index(1).data(TitleListModel::IdRole).toLongLong(), 1);
        QVERIFY(!(model.flags(model.index(0)) & Qt::ItemIsEditable));
        model.clear();
        QCOMPARE(model.rowCount(), 0);
        QVector<Title> many;
        for (int i = 0; i < 100000; ++i)
            many.append({i, QString::number(i)});
        model.setTitles(many);
        QCOMPARE(model.rowCount(), 100000);
    }

    // The rows with the user's marks and notes: a list brings its notes
    // when it comes, any marked favourite makes every row two lines, and
    // the tool tip holds the whole text.
    void rowsCarryMarksAndNotes()
    {
        TitleListModel titles;
        TitleRows rows(&titles);
        QAbstractItemModelTester tester(&rows, QAbstractItemModelTester::FailureReportingMode::QtTest);
        titles.setTitles({{1, "a"}, {2, "b"}});
        QVERIFY(!rows.twoLines());
        rows.setFavourites({{2, QString()}});
        QVERIFY(rows.index(1, 0).data(TitleRows::FavouriteRole).toBool());
        QVERIFY(!rows.twoLines());
        QSignalSpy layout(&rows, &QAbstractItemModel::layoutChanged);
        rows.setFavourite(2, "更新至第3集");
        QCOMPARE(layout.size(), 1);
        QVERIFY(rows.twoLines());
        QCOMPARE(rows.index(1, 0).data(TitleRows::NoteRole).toString(), QString("更新至第3集"));
        QCOMPARE(rows.index(0, 0).data(TitleRows::NoteRole).toString(), QString());

        rows.setNextList({{1, "看到 第2集 01:00"}, {2, "看到 第1集"}}, true);
        titles.setTitles({{2, "b"}, {1, "a"}});
        rows.clearNextList();
        QCOMPARE(rows.index(1, 0).data(TitleRows::NoteRole).toString(), QString("看到 第2集 01:00"));
        // A mark says more than the list's note.
        QCOMPARE(rows.index(0, 0).data(TitleRows::NoteRole).toString(), QString("更新至第3集"));
        QCOMPARE(rows.index(0, 0).data(Qt::ToolTipRole).toString(), QString("b\n看到 第1集\n更新至第3集"));
        QCOMPARE(rows.index(0, 0).data(Qt::DisplayRole).toString(), QString("b"));

        // The next list brings nothing: no notes, one line once no mark shows.
        titles.setTitles({{1, "a"}});
        QCOMPARE(rows.index(0, 0).data(TitleRows::NoteRole).toString(), QString());
        QVERIFY(!rows.twoLines());
        rows.removeFavourite(2);
        QCOMPARE(rows.favouriteCount(), 0);
        QCOMPARE(rows.markedCount(), 0);
    }

    void listing_data()
    {
        QTest::addColumn<bool>("foreign");
        QTest::newRow("own catalogue") << false;
        QTest::newRow("catalogue without collations") << true;
    }
    void listing()
    {
        QFETCH(bool, foreign);
        QTemporaryDir dir;
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "listing");
        db.setDatabaseName(dir.filePath("t.db"));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(foreign ? "create table vod (vod_id int, vod_cid int, vod_name text, vod_letter text)"
                                   : "create table vod (vod_id integer primary key, vod_cid integer, "
                                     "vod_name text collate nocase, vod_letter text collate nocase)"));
        QVERIFY(query.exec("insert into vod values (1, 8, 'Avatar', 'A'), (2, 8, 'angel', 'a'), "
                           "(3, 8, 'Batman', 'b'), (4, 9, 'Amelie', 'a'), (5, 8, null, 'n')"));

        auto names = [&](const TitleStatement &statement) {
            const TitleListing listing = listTitles(db, statement);
            QStringList result;
            for (const Title &t : listing.titles)
                result << QString::number(t.id) + ":" + t.name;
            result.sort();
            return result;
        };
        QCOMPARE(names(TitleStatement::initials(8, {"a"})), (QStringList{"1:Avatar", "2:angel"}));
        QCOMPARE(names(TitleStatement::initials(8, {"b", "n"})), (QStringList{"3:Batman", "5:"}));
        QCOMPARE(names(TitleStatement::category(9)), QStringList{"4:Amelie"});
        QCOMPARE(names(TitleStatement::search("AN")), (QStringList{"2:angel", "3:Batman"}));
        QCOMPARE(names(TitleStatement::search("x' or '1'='1")), QStringList());

        const TitleListing broken = listTitles(db, {"select vod_id, vod_name from nothing", {}});
        QVERIFY(!broken.ok);
        QVERIFY(!broken.error.isEmpty());
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("listing");
    }

    // Whatever a catalogue holds, the list reads it as a plain query does.
    void listingReadsStoredValues_data()
    {
        QTest::addColumn<QString>("insert");
        QTest::addColumn<TitleStatement>("statement");
        const TitleStatement all = TitleStatement::category(8);
        QTest::newRow("null name") << "insert into vod values (1, 8, null, 'a')" << all;
        QTest::newRow("empty name") << "insert into vod values (1, 8, '', 'a')" << all;
        QTest::newRow("quote and dollar") << "insert into vod values (1, 8, 'O''Brien $5 && 50%', 'o')" << all;
        QTest::newRow("emoji and CJK") << "insert into vod values (1, 8, '功夫 😀 熊猫', 'g')" << all;
        QTest::newRow("number as name") << "insert into vod values (1, 8, 2012, '2')" << all;
        QTest::newRow("real as name") << "insert into vod values (1, 8, 1.5, '1')" << all;
        QTest::newRow("line breaks") << "insert into vod values (1, 8, 'a' || char(13, 10) || 'b', 'a')" << all;
        QTest::newRow("large ids") << "insert into vod values (9007199254740993, 8, 'x', 'x'), (-7, 8, 'y', 'y')"
                                   << all;
        QTest::newRow("large category") << "insert into vod values (1, 4294967303, 'z', 'z')"
                                        << TitleStatement::category(4294967303LL);
        QTest::newRow("search with emoji") << "insert into vod values (1, 8, '功夫 😀 熊猫', 'g'), (2, 8, '熊猫', 'x')"
                                           << TitleStatement::search("😀");
        QTest::newRow("search with quote") << "insert into vod values (1, 8, 'O''Brien', 'o'), (2, 8, 'OBrien', 'o')"
                                           << TitleStatement::search("o'b");
        QTest::newRow("value of another type") << "insert into vod values (1, 8, 'n', 'n'), (2, 9, 'm', 'm')"
                                               << TitleStatement{"select vod_id,vod_name from vod where vod_cid=?",
                                                                 {QVariant(8.0)}};
    }
    void listingReadsStoredValues()
    {
        QFETCH(QString, insert);
        QFETCH(TitleStatement, statement);
        QTemporaryDir dir;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "values");
            db.setDatabaseName(dir.filePath("t.db"));
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec("create table vod (vod_id integer primary key, vod_cid integer, "
                               "vod_name text collate nocase, vod_letter text collate nocase)"));
            QVERIFY2(query.exec(insert), qPrintable(query.lastError().text()));

            QVector<Title> expected;
            QSqlQuery plain(db);
            QVERIFY(plain.prepare(statement.sql));
            for (const QVariant &value : statement.values)
                plain.addBindValue(value);
            QVERIFY(plain.exec());
            while (plain.next())
                expected.append({plain.value(0).toLongLong(), plain.value(1).toString()});
            QVERIFY(!expected.isEmpty());

            const TitleListing listing = listTitles(db, statement);
            QVERIFY(listing.ok);
            QCOMPARE(listing.titles.size(), expected.size());
            for (qsizetype i = 0; i < expected.size(); ++i) {
                QCOMPARE(listing.titles.at(i).id, expected.at(i).id);
                QCOMPARE(listing.titles.at(i).name, expected.at(i).name);
                QCOMPARE(listing.titles.at(i).name.isNull(), expected.at(i).name.isNull());
            }
        }
        QSqlDatabase::removeDatabase("values");
    }

    void listingReportsEngineErrors_data()
    {
        QTest::addColumn<TitleStatement>("statement");
        QTest::newRow("no such table") << TitleStatement{"select vod_id, vod_name from nothing", {}};
        QTest::newRow("too few values") << TitleStatement{"select vod_id, vod_name from vod where vod_cid=?", {}};
        QTest::newRow("too many values") << TitleStatement{"select vod_id, vod_name from vod", {8}};
        QTest::newRow("fails while reading")
            << TitleStatement{"select vod_id, json(vod_name) from vod", {}};
    }
    void listingReportsEngineErrors()
    {
        QFETCH(TitleStatement, statement);
        QTemporaryDir dir;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "errors");
            db.setDatabaseName(dir.filePath("t.db"));
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec("create table vod (vod_id integer primary key, vod_cid integer, vod_name text)"));
            QVERIFY(query.exec("insert into vod values (1, 8, 'a'), (2, 8, 'b')"));
            const TitleListing listing = listTitles(db, statement);
            QVERIFY(!listing.ok);
            QVERIFY(listing.titles.isEmpty());
            QVERIFY(!listing.error.isEmpty());
        }
        QSqlDatabase::removeDatabase("errors");
    }
};


QTEST_GUILESS_MAIN(tst_TitleList)
#include "tst_title_list.moc"
