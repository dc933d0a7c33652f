#include "playback/detail_cache.h"
#include "scripted_server.h"
#include "store/catalogue.h"

#include <QNetworkAccessManager>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using kinolark::playback::DetailCache;
using kinolark::playback::DetailOutcome;
using Reply = ScriptedServer::Reply;

namespace {

const QString today = "2026/12/7";
const QString yesterday = "2026/12/6";
const QString dy = "Lx=Dy&Id=7";
const QString nr = "Lx=Nr&Id=7";
const QVariant null = QVariant(QMetaType::fromType<QString>());

// The row of title 7 as (play list, date, description), or nothing.
QVariantList row(kinolark::store::Catalogue &catalogue)
{
    QSqlQuery query(catalogue.database());
    query.exec("select d_playurl, d_date, d_nr from vodplay where d_id = 7");
    if (!query.next())
        return {};
    return {query.value(0), query.value(1), query.value(2)};
}

void putRow(kinolark::store::Catalogue &catalogue, const QVariantList &values)
{
    QSqlQuery query(catalogue.database());
    query.prepare("insert into vodplay (d_id, d_playurl, d_date, d_nr) values (7, ?, ?, ?)");
    for (const QVariant &value : values)
        query.addBindValue(value);
    QVERIFY(query.exec());
}

} // namespace

class tst_DetailCache : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_server.listen()); }
    void init()
    {
        m_server.requests.clear();
        m_server.handler = nullptr;
        m_dir = std::make_unique<QTemporaryDir>();
        m_catalogue = std::make_unique<kinolark::store::Catalogue>();
        QCOMPARE(m_catalogue->open(m_dir->filePath("data.db")), kinolark::store::Catalogue::OpenResult::Created);
    }
    void cleanup() { m_catalogue.reset(); }

    void stateMachine_data()
    {
        QTest::addColumn<QVariantList>("before"); // empty: no row
        QTest::addColumn<Reply>("playList");
        QTest::addColumn<Reply>("description");
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<QVariantList>("after");
        QTest::addColumn<bool>("unreachable");

        const QVariantList cached{"E1$p://a", yesterday, "old"};
        const QVariantList fresh{"E1$p://a", today, "old"};
        const Reply list(200, "E2$p://b");
        const Reply text(200, "<p>new</p>");
        QTest::newRow("fresh") << fresh << list << text << QStringList{} << fresh << false;
        QTest::newRow("stale: list replaced, description kept")
            << cached << list << text << QStringList{dy} << QVariantList{"E2$p://b", today, "old"} << false;
        QTest::newRow("today but empty list") << QVariantList{"", today, "old"} << list << text << QStringList{dy}
                                              << QVariantList{"E2$p://b", today, "old"} << false;
        QTest::newRow("no date") << QVariantList{"E1$p://a", null, "old"} << list << text << QStringList{dy}
                                 << QVariantList{"E2$p://b", today, "old"} << false;
        QTest::newRow("stale, rejected") << cached << Reply(200, "no list") << text << QStringList{dy} << cached
                                         << false;
        QTest::newRow("stale, empty answer") << cached << Reply(200, "") << text << QStringList{dy} << cached << false;
        QTest::newRow("stale, error page with $") << cached << Reply(500, "E9$p://err") << text << QStringList{dy}
                                                  << cached << true;
        QTest::newRow("absent") << QVariantList{} << list << text << QStringList{dy, nr}
                                << QVariantList{"E2$p://b", today, "<p>new</p>"} << false;
        QTest::newRow("absent, rejected") << QVariantList{} << Reply(200, "none") << text << QStringList{dy}
                                          << QVariantList{} << false;
        QTest::newRow("absent, 404") << QVariantList{} << Reply(404, "E9$p://x") << text << QStringList{dy}
                                     << QVariantList{} << true;
        QTest::newRow("absent, no answer") << QVariantList{} << Reply(200, "E9$p://x").hanging() << text
                                           << QStringList{dy} << QVariantList{} << true;
        QTest::newRow("stale, slow drip") << cached << Reply(200, "E9$p://" + QByteArray(40, 'x')).dripping(50)
                                          << text << QStringList{dy} << cached << true;
        QTest::newRow("fresh without description") << QVariantList{"E1$p://a", today, null} << list << text
                                                   << QStringList{} << QVariantList{"E1$p://a", today, null}
                                                   << false;
        QTest::newRow("empty description is one") << QVariantList{} << list << Reply(200, "") << QStringList{dy, nr}
                                                  << QVariantList{"E2$p://b", today, ""} << false;
        QTest::newRow("quotes stored intact")
            << QVariantList{} << Reply(200, "E'1$p://a'b\"c") << Reply(200, "it's '') \"x\"") << QStringList{dy, nr}
            << QVariantList{"E'1$p://a'b\"c", today, "it's '') \"x\""} << false;
    }
    void stateMachine()
    {
        QFETCH(QVariantList, before);
        QFETCH(Reply, playList);
        QFETCH(Reply, description);
        QFETCH(QStringList, requests);
        QFETCH(QVariantList, after);
        QFETCH(bool, unreachable);
        if (!before.isEmpty())
            putRow(*m_catalogue, before);
        m_server.on(dy, playList);
        m_server.on(nr, description);

        const DetailOutcome outcome = cache(300, 1000).load(7);
        QCOMPARE(m_server.requests, requests);
        const QVariantList stored = row(*m_catalogue);
        QCOMPARE(stored, after);
        if (!after.isEmpty())
            QCOMPARE(stored.at(2).isNull(), after.at(2).isNull());
        QCOMPARE(outcome.requestFailed, unreachable);
        QVERIFY(outcome.storeError.isEmpty());
        // What is shown is what is stored.
        QCOMPARE(outcome.detail.found, !after.isEmpty());
        QCOMPARE(outcome.detail.playList, after.value(0).toString());
        QCOMPARE(outcome.detail.description, after.value(2).toString());
    }

    // Answers past their limits are refused; rows stored before the limits
    // held are asked for again, and never shown.
    void tooLong_data()
    {
        QTest::addColumn<QVariantList>("before");
        QTest::addColumn<Reply>("playList");
        QTest::addColumn<Reply>("description");
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<QVariantList>("after");
        QTest::addColumn<QString>("shownList");

        const QString longList = "E9$p://" + QString(4 * 1024 * 1024, 'x');
        const QString longText = QString(512 * 1024 + 1, 'y');
        const Reply list(200, "E2$p://b");
        const Reply text(200, "<p>new</p>");
        const Reply tooLongText(200, longText.toUtf8());
        QTest::newRow("stored list too long") << QVariantList{longList, today, "old"} << list << text
                                              << QStringList{dy} << QVariantList{"E2$p://b", today, "old"}
                                              << "E2$p://b";
        QTest::newRow("stored list too long, site fails")
            << QVariantList{longList, yesterday, "old"} << Reply(500, "x") << text << QStringList{dy}
            << QVariantList{longList, yesterday, "old"} << "";
        QTest::newRow("stored description too long") << QVariantList{"E1$p://a", today, longText} << list << text
                                                     << QStringList{nr}
                                                     << QVariantList{"E1$p://a", today, "<p>new</p>"} << "E1$p://a";
        QTest::newRow("and too long again: dropped")
            << QVariantList{"E1$p://a", today, longText} << list << tooLongText << QStringList{nr}
            << QVariantList{"E1$p://a", today, ""} << "E1$p://a";
        QTest::newRow("both stale") << QVariantList{longList, yesterday, longText} << list << text
                                    << QStringList{dy, nr} << QVariantList{"E2$p://b", today, "<p>new</p>"}
                                    << "E2$p://b";
        QTest::newRow("new title, description too long")
            << QVariantList{} << list << tooLongText << QStringList{dy, nr} << QVariantList{} << "E2$p://b";
        QTest::newRow("play list announced too long")
            << QVariantList{"E1$p://a", yesterday, "old"} << Reply(200, longList.toUtf8() + "x") << text
            << QStringList{dy} << QVariantList{"E1$p://a", yesterday, "old"} << "E1$p://a";
    }
    void tooLong()
    {
        QFETCH(QVariantList, before);
        QFETCH(Reply, playList);
        QFETCH(Reply, description);
        QFETCH(QStringList, requests);
        QFETCH(QVariantList, after);
        QFETCH(QString, shownList);
        if (!before.isEmpty())
            putRow(*m_catalogue, before);
        m_server.on(dy, playList);
        m_server.on(nr, description);

        const DetailOutcome outcome = cache().load(7);
        QCOMPARE(m_server.requests, requests);
        QVERIFY(row(*m_catalogue) == after);
        QCOMPARE(outcome.detail.playList, shownList);
        QVERIFY(outcome.detail.description.size() <= 512 * 1024);
        QCOMPARE(outcome.tooLarge, description.body.size() > 512 * 1024 || playList.body.size() > 4 * 1024 * 1024);
        // Each is asked for once: the next click finds what it needs.
        if (!after.isEmpty() && after.value(1) == today) {
            cache().load(7);
            QCOMPARE(m_server.requests, requests);
        }
    }

    // The play list came, its description did not: the episodes are shown,
    // nothing is stored, and the next click asks for both again.
    void descriptionFails()
    {
        m_server.on(dy, Reply(200, "E2$p://b"));
        m_server.on(nr, Reply(503, "x"));
        const DetailOutcome first = cache(300).load(7);
        QVERIFY(first.requestFailed);
        QVERIFY(first.detail.found);
        QCOMPARE(first.detail.playList, QStringLiteral("E2$p://b"));
        QVERIFY(first.detail.description.isEmpty());
        QVERIFY(row(*m_catalogue).isEmpty());

        m_server.on(nr, Reply(200, "d"));
        const DetailOutcome second = cache(300).load(7);
        QCOMPARE(m_server.requests, (QStringList{dy, nr, dy, nr}));
        QVERIFY(!second.requestFailed);
        QCOMPARE(row(*m_catalogue), (QVariantList{"E2$p://b", today, "d"}));
    }

    void sameDayThenLaterDay()
    {
        m_server.on(dy, Reply(200, "E1$p://a"));
        m_server.on(nr, Reply(200, "d"));
        QString day = today;
        DetailCache days(m_catalogue->database(), m_network, m_server.endpoint(), [&] { return day; });
        days.load(7);
        days.load(7);
        QCOMPARE(m_server.requests, (QStringList{dy, nr}));
        day = "2026/12/8";
        m_server.on(dy, Reply(200, "E1$p://z"));
        QCOMPARE(days.load(7).detail.playList, QString("E1$p://z"));
        QCOMPARE(m_server.requests, (QStringList{dy, nr, dy}));
        QCOMPARE(row(*m_catalogue), (QVariantList{"E1$p://z", "2026/12/8", "d"}));
    }

    // The day turns while the site is asked: the row is of the day the
    // answer was stored on.
    void refreshAcrossMidnight_data()
    {
        QTest::addColumn<QVariantList>("before");
        QTest::newRow("new row") << QVariantList{};
        QTest::newRow("stale row") << QVariantList{"E0$p://old", "2026/12/6", "d"};
    }
    void refreshAcrossMidnight()
    {
        QFETCH(QVariantList, before);
        if (!before.isEmpty())
            putRow(*m_catalogue, before);
        m_server.on(dy, Reply(200, "E1$p://a"));
        m_server.on(nr, Reply(200, "d"));
        QString day = today;
        QObject context;
        connect(&m_server, &ScriptedServer::requested, &context, [&] { day = "2026/12/8"; });
        DetailCache cache(m_catalogue->database(), m_network, m_server.endpoint(), [&] { return day; });
        cache.load(7);
        QCOMPARE(row(*m_catalogue).value(1).toString(), QString("2026/12/8"));
    }

    void unsavedListIsShown()
    {
        QSqlQuery(m_catalogue->database())
            .exec("create trigger refuse before insert on vodplay begin select raise(abort, 'full'); end");
        m_server.on(dy, Reply(200, "E1$p://a"));
        m_server.on(nr, Reply(200, "d"));
        const DetailOutcome outcome = cache().load(7);
        QVERIFY(outcome.storeError.contains("full"));
        QVERIFY(outcome.detail.found);
        QCOMPARE(outcome.detail.playList, QString("E1$p://a"));
        QCOMPARE(outcome.detail.description, QString("d"));
        QVERIFY(row(*m_catalogue).isEmpty());
        QCOMPARE(m_server.requests, (QStringList{dy, nr}));
    }

    // A second load of the same new title runs while the first waits: the
    // first then finds the row made and updates it instead of adding one.
    void nestedLoadOfSameTitle()
    {
        int dyCount = 0;
        m_server.handler = [&](const QString &query) {
            if (query == dy)
                return ++dyCount == 1 ? Reply(200, "E1$p://first").delay(400) : Reply(200, "E1$p://second");
            return Reply(200, "d");
        };
        DetailOutcome inner;
        bool started = false;
        QObject context;
        connect(&m_server, &ScriptedServer::requested, &context, [&](const QString &query) {
            if (query == dy && !std::exchange(started, true))
                QTimer::singleShot(0, &context, [&] { inner = cache().load(7); });
        });
        const DetailOutcome outer = cache().load(7);
        QCOMPARE(inner.detail.playList, QString("E1$p://second"));
        QVERIFY(outer.storeError.isEmpty());
        QCOMPARE(outer.detail.playList, QString("E1$p://first"));
        QCOMPARE(m_server.count(nr), 1);
        QCOMPARE(row(*m_catalogue), (QVariantList{"E1$p://first", today, "d"}));
    }

private:
    DetailCache cache(int timeoutMs = 5000, int deadlineMs = 30000)
    {
        return DetailCache(m_catalogue->database(), m_network, m_server.endpoint(), [] { return today; },
                           timeoutMs, deadlineMs);
    }

    ScriptedServer m_server;
    QNetworkAccessManager m_network;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<kinolark::store::Catalogue> m_catalogue;
};

QTEST_GUILESS_MAIN(tst_DetailCache)
#include "tst_detail_cache.moc"
