#include "sample_catalogue.h"
#include "sample_site_process.h"
#include "scripted_server.h"
#include "site/catalogue_sync.h"
#include "site/site_address.h"
#include "store/catalogue.h"

#include <QNetworkAccessManager>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using kinolark::site::CatalogueSync;
using kinolark::site::SyncOutcome;
using kinolark::store::Catalogue;
using Result = SyncOutcome::Result;

Q_DECLARE_METATYPE(Result)

namespace {

const QString today = QStringLiteral("2026/12/7");

QStringList rows(const Catalogue &catalogue, const QString &statement)
{
    QStringList out;
    QSqlQuery query(catalogue.database());
    if (!query.exec(statement))
        return {QStringLiteral("<error>")};
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < query.record().count(); ++i)
            fields << (query.value(i).isNull() ? QStringLiteral("NULL") : query.value(i).toString());
        out << fields.join(QLatin1Char('|'));
    }
    return out;
}

QStringList titles(const Catalogue &catalogue)
{
    return rows(catalogue, QStringLiteral("select vod_id, vod_cid, vod_name, vod_letter from vod order by vod_id"));
}

QStringList dates(const Catalogue &catalogue)
{
    return rows(catalogue, QStringLiteral("select up_date from cdate"));
}

bool run(Catalogue &catalogue, const QString &statement)
{
    QSqlQuery query(catalogue.database());
    return query.exec(statement);
}

} // namespace

class tst_CatalogueSync : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;
    QNetworkAccessManager m_network;

    SyncOutcome sync(Catalogue &catalogue, const QString &endpoint, int timeoutMs = 2000, int deadlineMs = 120000)
    {
        CatalogueSync s(catalogue, m_network, endpoint, today);
        kinolark::site::HttpOptions options;
        options.timeoutMs = timeoutMs;
        options.deadlineMs = deadlineMs;
        s.setRequestOptions(options);
        return s.run();
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("data.db"));
        QFile::remove(m_path);
    }

    void firstStartStoresAndMarksTheDay()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=0", ScriptedServer::Reply(200, QStringLiteral("1$8$天下$t&&2$9$Tom's$t&&").toUtf8()));
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up1"));
        Catalogue catalogue;
        QCOMPARE(catalogue.open(m_path), Catalogue::OpenResult::Created);

        const SyncOutcome outcome = sync(catalogue, server.endpoint());
        QCOMPARE(outcome.result, Result::Synced);
        QCOMPARE(outcome.inserted, 2);
        QVERIFY(!outcome.newerClient);
        QCOMPARE(server.requests, (QStringList{"Lx=All&Id=0", "Lx=Up"}));
        QCOMPARE(titles(catalogue), (QStringList{"1|8|天下|t", "2|9|Tom's|t"}));
        QCOMPARE(dates(catalogue), QStringList{today});

        // A second start the same day sends nothing and changes nothing.
        CatalogueSync again(catalogue, m_network, server.endpoint(), today);
        QVERIFY(!again.isDue());
        QCOMPARE(again.run().result, Result::Skipped);
        QCOMPARE(server.requests.size(), 2);
        QCOMPARE(titles(catalogue).size(), 2);

        // The next day asks from the highest id on.
        server.on("Lx=All&Id=2", ScriptedServer::Reply(200, "3$8$x$x&&"));
        CatalogueSync nextDay(catalogue, m_network, server.endpoint(), QStringLiteral("2026/12/8"));
        QCOMPARE(nextDay.run().result, Result::Synced);
        QCOMPARE(server.requests.mid(2), (QStringList{"Lx=All&Id=2", "Lx=Up"}));
        QCOMPARE(dates(catalogue), QStringList{"2026/12/8"});
    }

    // The day turns while the catalogue downloads: the day stored is the
    // one the sync finished on, so the next start that day sends nothing.
    void syncAcrossMidnight()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=0", ScriptedServer::Reply(200, "1$8$a$a&&"));
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up1"));
        Catalogue catalogue;
        QVERIFY(catalogue.open(m_path) != Catalogue::OpenResult::NotACatalogue);
        QString day = today;
        QObject context;
        connect(&server, &ScriptedServer::requested, &context, [&] { day = "2026/12/8"; });
        CatalogueSync s(catalogue, m_network, server.endpoint(), [&] { return day; });
        QCOMPARE(s.run().result, Result::Synced);
        QCOMPARE(dates(catalogue), QStringList{"2026/12/8"});
        QVERIFY(!s.isDue());
    }

    void gb2312Answer()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        QStringEncoder gbk("GBK");
        const QByteArray body = gbk.encode(QStringLiteral("1$8$中文电影$z&&2$3$電視$d&&"));
        QVERIFY(!body.contains(QStringLiteral("中").toUtf8()));
        server.on("Lx=All&Id=0", ScriptedServer::Reply(200, body));
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up1"));
        Catalogue catalogue;
        catalogue.open(m_path);
        QCOMPARE(sync(catalogue, server.endpoint()).result, Result::Synced);
        QCOMPARE(titles(catalogue), (QStringList{"1|8|中文电影|z", "2|3|電視|d"}));
    }

    void existingTitlesAndDuplicates()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=5",
                  ScriptedServer::Reply(200, "5$9$changed$c&&6$8$first$f&&6$9$second$s&&4$8$below$b&&"));
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up1"));
        Catalogue catalogue;
        catalogue.open(m_path);
        QVERIFY(run(catalogue, "insert into vod values (5, 8, 'old', 'o')"));
        const SyncOutcome outcome = sync(catalogue, server.endpoint());
        QCOMPARE(outcome.result, Result::Synced);
        QCOMPARE(outcome.received, 3);
        QCOMPARE(outcome.inserted, 2);
        // The site need not send newer titles only.
        QCOMPARE(titles(catalogue), (QStringList{"4|8|below|b", "5|8|old|o", "6|8|first|f"}));
    }

    // Ids no title has, or far above all the others, would be the highest
    // from then on and stop every later sync: they are skipped, and those
    // stored before are passed over when the sync asks.
    void idsThatStandApart_data()
    {
        QTest::addColumn<QList<qint64>>("stored");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QList<qint64>>("after");
        const qint64 max64 = std::numeric_limits<qint64>::max();
        QTest::newRow("an id past every column") << QList<qint64>{} << "1$8$a$a&&2$8$b$b&&9223372036854775807$8$MAX$A&&"
                                                 << "Id=0" << QList<qint64>{1, 2};
        QTest::newRow("one far above") << QList<qint64>{5} << "6$8$a$a&&3000000$8$b$b&&" << "Id=5"
                                       << QList<qint64>{5, 6};
        QTest::newRow("far above the catalogue alone") << QList<qint64>{5} << "2000000$8$b$b&&" << "Id=5"
                                                       << QList<qint64>{5};
        QTest::newRow("a million up is in reach") << QList<qint64>{5} << "6$8$a$a&&1000006$8$b$b&&" << "Id=5"
                                                  << QList<qint64>{5, 6, 1000006};
        QTest::newRow("a few far above") << QList<qint64>{5}
                                         << "6$8$a$a&&2000000000$8$b$b&&2000000001$8$c$c&&2000000002$8$d$d&&"
                                         << "Id=5" << QList<qint64>{5, 6};
        QTest::newRow("first sync of one title") << QList<qint64>{} << "5000000$8$a$a&&" << "Id=0"
                                                 << QList<qint64>{5000000};
        QTest::newRow("stored past the column") << QList<qint64>{1, 2, max64} << "3$8$c$c&&" << "Id=2"
                                                << QList<qint64>{1, 2, 3, max64};
        QTest::newRow("stored far above") << QList<qint64>{1, 2, 2000000000} << "3$8$c$c&&" << "Id=2"
                                          << QList<qint64>{1, 2, 3, 2000000000};
        QList<qint64> jump{1};
        for (qint64 id = 3000000; id < 3000017; ++id)
            jump << id;
        QTest::newRow("the site's own jump") << jump << "" << "Id=3000016" << jump;
    }
    void idsThatStandApart()
    {
        QFETCH(QList<qint64>, stored);
        QFETCH(QString, answer);
        QFETCH(QString, asked);
        QFETCH(QList<qint64>, after);
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&" + asked, ScriptedServer::Reply(200, answer.toUtf8()));
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up1"));
        Catalogue catalogue;
        catalogue.open(m_path);
        for (qint64 id : stored)
            QVERIFY(run(catalogue, QString("insert into vod values (%1, 8, 'x', 'x')").arg(id)));
        QCOMPARE(sync(catalogue, server.endpoint()).result, Result::Synced);
        QCOMPARE(server.requests.value(0), "Lx=All&" + asked);
        QStringList ids;
        for (qint64 id : after)
            ids << QString::number(id);
        QCOMPARE(rows(catalogue, "select vod_id from vod order by vod_id"), ids);
    }

    void answerWithoutSeparatorStillMarksTheDay()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=0", ScriptedServer::Reply(200, "1$8$only$o"));
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up2"));
        Catalogue catalogue;
        catalogue.open(m_path);
        const SyncOutcome outcome = sync(catalogue, server.endpoint());
        QCOMPARE(outcome.result, Result::Synced);
        QCOMPARE(outcome.inserted, 0);
        QVERIFY(outcome.newerClient);
        QVERIFY(titles(catalogue).isEmpty());
        QCOMPARE(dates(catalogue), QStringList{today});
    }

    void dateRowIsAddedWhenMissing()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=0", ScriptedServer::Reply(200, "1$8$a$a&&"));
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up1"));
        Catalogue catalogue;
        catalogue.open(m_path);
        QVERIFY(run(catalogue, "delete from cdate"));
        QVERIFY(catalogue.lastSyncDate().isEmpty());
        QCOMPARE(sync(catalogue, server.endpoint()).result, Result::Synced);
        QCOMPARE(dates(catalogue), QStringList{today});
    }

    void everyDateRowIsMarked()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=0", ScriptedServer::Reply(200, ""));
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up1"));
        Catalogue catalogue;
        catalogue.open(m_path);
        QVERIFY(run(catalogue, "insert into cdate values ('2001/1/1')"));
        QCOMPARE(sync(catalogue, server.endpoint()).result, Result::Synced);
        QCOMPARE(dates(catalogue), (QStringList{today, today}));
    }

    void failedRequestStoresNothing_data()
    {
        QTest::addColumn<ScriptedServer::Reply>("reply");
        const QByteArray records = "1$8$a$a&&2$8$b$b&&";
        QTest::newRow("500 with records") << ScriptedServer::Reply(500, records);
        QTest::newRow("404") << ScriptedServer::Reply(404, records);
        QTest::newRow("no answer") << ScriptedServer::Reply(200, records).hanging();
        QTest::newRow("cut body") << ScriptedServer::Reply(200, records).cut();
        QTest::newRow("stalled body") << ScriptedServer::Reply(200, records).stalled();
        // A byte now and then never lets the idle timeout trip.
        QTest::newRow("slow drip") << ScriptedServer::Reply(200, records).dripping(50);
    }
    void failedRequestStoresNothing()
    {
        QFETCH(ScriptedServer::Reply, reply);
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=0", reply);
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up2"));
        Catalogue catalogue;
        catalogue.open(m_path);
        QElapsedTimer clock;
        clock.start();
        const SyncOutcome outcome = sync(catalogue, server.endpoint(), 300, 500);
        QCOMPARE(outcome.result, Result::SiteFailed);
        QVERIFY(!outcome.error.isEmpty());
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(titles(catalogue).isEmpty());
        QCOMPARE(dates(catalogue), QStringList{QString()});
        // No version check after a failed sync.
        QCOMPARE(server.count("Lx=Up"), 0);
        QVERIFY(!outcome.newerClient);
    }

    void refusedConnection()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const QString endpoint = kinolark::site::endpointFor(QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort()));
        probe.close();
        Catalogue catalogue;
        catalogue.open(m_path);
        QCOMPARE(sync(catalogue, endpoint).result, Result::SiteFailed);
        QCOMPARE(dates(catalogue), QStringList{QString()});
    }

    // A write that fails halfway takes back the titles written before it.
    void failedWriteStoresNothing()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=0", ScriptedServer::Reply(200, "1$8$a$a&&2$8$boom$b&&3$8$c$c&&"));
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up2"));
        Catalogue catalogue;
        catalogue.open(m_path);
        QVERIFY(run(catalogue, "create trigger refuse before insert on vod when new.vod_name = 'boom' "
                               "begin select raise(abort, 'refused'); end"));
        const SyncOutcome outcome = sync(catalogue, server.endpoint());
        QCOMPARE(outcome.result, Result::StoreFailed);
        QVERIFY(outcome.error.contains("refused"));
        QVERIFY(titles(catalogue).isEmpty());
        QCOMPARE(dates(catalogue), QStringList{QString()});
        QCOMPARE(server.count("Lx=Up"), 0);
        // The connection is usable afterwards: no transaction left open.
        QVERIFY(catalogue.database().transaction());
        QVERIFY(catalogue.database().rollback());
    }

    void cancelWhileWaiting()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=0", ScriptedServer::Reply(200, "1$8$a$a&&").hanging());
        Catalogue catalogue;
        catalogue.open(m_path);
        CatalogueSync s(catalogue, m_network, server.endpoint(), today);
        QTimer::singleShot(100, this, [&s] { s.cancel(); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(s.run().result, Result::Cancelled);
        QVERIFY(clock.elapsed() < 10000); // well before the 30 s timeout
        QCOMPARE(dates(catalogue), QStringList{QString()});
    }

    void cancelWhileStoring()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        QByteArray body;
        for (int id = 1; id <= 5000; ++id)
            body += QByteArray::number(id) + "$8$name$n&&";
        server.on("Lx=All&Id=0", ScriptedServer::Reply(200, body));
        Catalogue catalogue;
        catalogue.open(m_path);
        CatalogueSync s(catalogue, m_network, server.endpoint(), today);
        qint64 storedWhenCancelled = -1;
        s.setProgress([&](CatalogueSync::Stage stage, qint64 done, qint64) {
            if (stage == CatalogueSync::Stage::Storing && done > 0 && storedWhenCancelled < 0) {
                storedWhenCancelled = done;
                s.cancel();
            }
        });
        QCOMPARE(s.run().result, Result::Cancelled);
        QVERIFY(storedWhenCancelled > 0);
        QVERIFY(titles(catalogue).isEmpty());
        QCOMPARE(dates(catalogue), QStringList{QString()});
        QCOMPARE(server.count("Lx=Up"), 0);
    }

    void versionAnswers_data()
    {
        QTest::addColumn<ScriptedServer::Reply>("reply");
        QTest::addColumn<bool>("newer");
        QTest::newRow("Up1") << ScriptedServer::Reply(200, "Up1") << false;
        QTest::newRow("Up2") << ScriptedServer::Reply(200, "Up2") << true;
        QTest::newRow("Up") << ScriptedServer::Reply(200, "Up") << true;
        QTest::newRow("Up1 CR LF") << ScriptedServer::Reply(200, "Up1\r\n") << true;
        QTest::newRow("up1") << ScriptedServer::Reply(200, "up1") << false;
        QTest::newRow("UTF-8 BOM") << ScriptedServer::Reply(200, "\xEF\xBB\xBFUp1") << false;
        QTest::newRow("error status") << ScriptedServer::Reply(503, "Up2") << false;
        QTest::newRow("no answer") << ScriptedServer::Reply(200, "Up2").hanging() << false;
    }
    void versionAnswers()
    {
        QFETCH(ScriptedServer::Reply, reply);
        QFETCH(bool, newer);
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=0", ScriptedServer::Reply(200, "1$8$a$a&&"));
        server.on("Lx=Up", reply);
        Catalogue catalogue;
        catalogue.open(m_path);
        const SyncOutcome outcome = sync(catalogue, server.endpoint(), 300);
        // The titles stay stored whatever the version answer.
        QCOMPARE(outcome.result, Result::Synced);
        QCOMPARE(outcome.newerClient, newer);
        QCOMPARE(titles(catalogue).size(), 1);
    }

    // A file made by another tool: plain types, no keys.
    void foreignCatalogue()
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
            db.setDatabaseName(m_path);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec("create table VOD (Vod_Id int, vod_cid int, vod_name varchar(255), vod_letter varchar(1))"));
            QVERIFY(query.exec("create table vodplay (d_Id int, d_PlayUrl text, d_date text, d_nr text)"));
            QVERIFY(query.exec("create table cdate (up_date text)"));
            QVERIFY(query.exec("insert into vod values (5, 8, 'Old', 'o'), (9, 3, 'New', 'n')"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("setup"));

        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=9", ScriptedServer::Reply(200, "9$4$again$a&&10$8$ten$t&&5$1$x$x&&11$8$eleven$e&&"));
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up1"));
        Catalogue catalogue;
        QCOMPARE(catalogue.open(m_path), Catalogue::OpenResult::Opened);
        const SyncOutcome outcome = sync(catalogue, server.endpoint());
        QCOMPARE(outcome.result, Result::Synced);
        QCOMPARE(outcome.inserted, 2);
        QCOMPARE(titles(catalogue), (QStringList{"5|8|Old|o", "9|3|New|n", "10|8|ten|t", "11|8|eleven|e"}));
        QCOMPARE(dates(catalogue), QStringList{today});
    }

    // The sample site end to end: every generated title arrives as sent.
    void sampleSite()
    {
        SampleSiteProcess site;
        QVERIFY2(site.start({QStringLiteral("--version-flag"), QStringLiteral("2")}), qPrintable(site.error()));
        Catalogue catalogue;
        catalogue.open(m_path);
        const SyncOutcome outcome = sync(catalogue, site.endpoint());
        QCOMPARE(outcome.result, Result::Synced);
        QVERIFY(outcome.newerClient);

        const kinolark::sample::SampleCatalogue expected(420);
        QCOMPARE(outcome.inserted, int(expected.titles().size()));
        QStringList wanted;
        for (const kinolark::sample::SampleTitle &t : expected.titles()) {
            wanted << QStringLiteral("%1|%2|%3|%4").arg(t.id).arg(t.category).arg(t.name, t.letter);
        }
        QCOMPARE(titles(catalogue), wanted);
    }

    // The next day's answer comes in GB2312 when the highest id is odd.
    void sampleSiteInGb2312()
    {
        SampleSiteProcess site;
        QVERIFY2(site.start({QStringLiteral("--charset"), QStringLiteral("gb2312")}), qPrintable(site.error()));
        Catalogue catalogue;
        catalogue.open(m_path);
        QCOMPARE(sync(catalogue, site.endpoint()).result, Result::Synced);
        QCOMPARE(titles(catalogue).size(), 420);
        const kinolark::sample::SampleCatalogue expected(1);
        QCOMPARE(rows(catalogue, "select vod_name from vod where vod_id = 1"),
                 QStringList{expected.titles().front().name});
    }
};

QTEST_GUILESS_MAIN(tst_CatalogueSync)
#include "tst_catalogue_sync.moc"
