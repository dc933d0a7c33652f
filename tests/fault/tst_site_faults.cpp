#include "scripted_server.h"
#include "shell/main_window.h"
#include "window_fixture.h"

#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSqlQuery>
#include <QTest>

using kinolark::shell::frmMain;
using Reply = ScriptedServer::Reply;

namespace {

const QString yesterday = "2026/12/6"; // the fixture's today is the day after
constexpr int bigAnswer = 50 * 1024 * 1024;

// The ways a site answer can go wrong, and how the user is told why. `body`
// is what a good answer would have been.
struct Failure
{
    QByteArray name;
    Reply reply;
    QString cause;
};
QList<Failure> failures(const QByteArray &body, const QString &query)
{
    QByteArray cutInCharacter = body;
    // Cut where half the bytes end: inside a three-byte character.
    while ((uchar(cutInCharacter.at(cutInCharacter.size() / 2)) & 0xC0) != 0x80)
        cutInCharacter.prepend(' ');
    return {
        {"body never finishes", Reply(200, body).stalled(), "无法连接影片网站"},
        {"cut inside a UTF-8 character", Reply(200, cutInCharacter).cut(), "无法连接影片网站"},
        {"redirect loop", Reply(302).header("Location: /Uploads/xml.php?" + query.toLatin1()),
         "影片网站出错（HTTP 302）"},
        {"error page with $, status 500", Reply(500, "<html><p>Error $ &&" + body + "</p></html>"),
         "影片网站出错（HTTP 500）"},
    };
}

QVariantList cachedRow(frmMain &w, qint64 id)
{
    QSqlQuery query(w.conn.database());
    query.prepare("select d_playurl, d_date, d_nr from vodplay where d_id = ?");
    query.addBindValue(id);
    if (!query.exec() || !query.next())
        return {};
    return {query.value(0), query.value(1), query.value(2)};
}

QStringList titles(frmMain &w)
{
    QSqlQuery query(w.conn.database());
    query.exec("select vod_id || ' ' || vod_name from vod order by vod_id");
    QStringList rows;
    while (query.next())
        rows << query.value(0).toString();
    return rows;
}

QStringList listed(frmMain &w)
{
    QStringList names;
    for (const kinolark::browse::Title &t : w.titleModel().titles())
        names << t.name;
    names.sort();
    return names;
}

QStringList episodes(frmMain &w)
{
    QStringList names;
    for (int i = 0; i < w.ListView1->count(); ++i)
        names << w.ListView1->item(i)->text();
    return names;
}

// Counts the turns of the event loop while it is running.
struct Ticker
{
    Ticker()
    {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this] { ++ticks; });
        timer.start();
    }
    QTimer timer;
    int ticks = 0;
};

} // namespace

// A site that misbehaves: the window keeps working, waits without freezing,
// and no failed answer takes the place of what is stored.
class tst_SiteFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_site.listen()); }
    void init()
    {
        m_site.requests.clear();
        m_site.setFallback(Reply(404, "not found"));
    }

    // The daily sync at start-up. The catalogue holds title 5 and was last
    // synced yesterday.
    void syncAnswer_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QString>("cause"); // empty: no failure

        const QByteArray good = QString("6$8$天下$t&&7$8$英雄之路$y&&").toUtf8();
        for (const Failure &failure : failures(good, "Lx=All&Id=5"))
            QTest::newRow(failure.name.constData()) << failure.reply << QStringList{"5 kept"} << failure.cause;
        QTest::newRow("50 MB answer") << Reply(200, good + QByteArray(bigAnswer, 'x') + "&&8$8$last$l&&")
                                      << QStringList{"5 kept", "6 天下", "7 英雄之路", "8 last"} << QString();
        QTest::newRow("50 MB without a record") << Reply(200, QByteArray(bigAnswer, '$'))
                                                << QStringList{"5 kept"} << QString();
    }
    void syncAnswer()
    {
        QFETCH(Reply, reply);
        QFETCH(QStringList, stored);
        QFETCH(QString, cause);
        const bool failed = !cause.isEmpty();
        m_site.on("Lx=All&Id=5", reply);
        m_site.on("Lx=Up", Reply(200, "Up1"));
        WindowFixture f(m_site.site());
        // Short only where the wait itself is tested: a loaded machine
        // can stand still for a few hundred milliseconds.
        f.services.requestTimeoutMs = reply.stallBody ? 1000 : 5000;
        f.prepareCatalogue({{5, 8, "kept", "k"}});
        markSynced(f, yesterday);

        frmMain &w = f.make();
        {
            Ticker ticker;
            QVERIFY(w.Form_Load());
            QVERIFY2(ticker.ticks > 0, "the event loop stood still during the wait");
        }
        QCOMPARE(titles(w), stored);
        QCOMPARE(w.conn.lastSyncDate(), failed ? yesterday : f.today);
        QCOMPARE(f.messages.texts, failed ? QStringList{"影片目录更新失败：" + cause + "。下次启动时将再次更新。"}
                                          : QStringList());
        QCOMPARE(m_site.count("Lx=Up"), failed ? 0 : 1);

        // The window works.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        f.clickNode("cid8");
        QStringList names;
        for (const QString &row : stored)
            names << row.section(' ', 1);
        names.sort();
        QCOMPARE(listed(w), names);
        QCOMPARE(f.messages.texts.size(), failed ? 1 : 0);
    }

    // A title click. Title 5 has a play list cached yesterday; title 6 has
    // none yet and its site answers well.
    void playListAnswer_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QByteArray>("storedList"); // empty: the old one stays
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("said");

        const QByteArray good = QString("第1集$p://new/一\r第2集$p://new/二").toUtf8();
        // The cached list serves, and the user learns why it is not new.
        for (const Failure &failure : failures(good, "Lx=Dy&Id=5"))
            QTest::newRow(failure.name.constData()) << failure.reply << QByteArray() << QStringList{"E0"}
                                                    << QStringList{failure.cause + "，显示的是以前保存的播放列表。"};
        // The longest play list is stored; a longer answer is not read to
        // its end, and the cached list serves.
        const QByteArray head = "N0$p://new\rN1$p://";
        const QByteArray longest = head + QByteArray(4 * 1024 * 1024 - head.size(), 'y');
        QTest::newRow("4 MB play list") << Reply(200, longest) << longest << QStringList{"N1", "N0"} << QStringList();
        const QStringList tooLarge{"影片网站的回答过大，显示的是以前保存的播放列表。"};
        QTest::newRow("50 MB play list") << Reply(200, head + QByteArray(bigAnswer, 'y')) << QByteArray()
                                         << QStringList{"E0"} << tooLarge;
        QTest::newRow("one byte too many") << Reply(200, longest + 'y') << QByteArray() << QStringList{"E0"}
                                           << tooLarge;
        QTest::newRow("50 MB without a play list")
            << Reply(200, QByteArray(bigAnswer, 'z')) << QByteArray() << QStringList{"E0"} << tooLarge;
    }
    void playListAnswer()
    {
        QFETCH(Reply, reply);
        QFETCH(QByteArray, storedList);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, said);
        m_site.on("Lx=Dy&Id=5", reply);
        m_site.on("Lx=Dy&Id=6", Reply(200, "F0$p://six"));
        m_site.on("Lx=Nr&Id=6", Reply(200, "<p>six</p>"));
        WindowFixture f(m_site.site());
        f.services.requestTimeoutMs = reply.stallBody ? 1000 : 5000;
        f.prepareCatalogue({{5, 8, "five", "f"}, {6, 8, "six", "s"}});
        {
            kinolark::store::Catalogue catalogue;
            catalogue.open(f.file("data.db"));
            QSqlQuery query(catalogue.database());
            query.prepare("insert into vodplay values (5, 'E0$p://old', ?, '<p>old</p>')");
            query.addBindValue(yesterday);
            QVERIFY(query.exec());
        }
        frmMain &w = f.load();
        f.clickNode("cid8");
        QCOMPARE(listed(w), (QStringList{"five", "six"}));
        const QVariantList before = cachedRow(w, 5);

        {
            Ticker ticker;
            clickTitle(w, 5);
            QVERIFY2(ticker.ticks > 0, "the event loop stood still during the wait");
        }
        QCOMPARE(episodes(w), shown);
        QCOMPARE(w.txtNr->toPlainText(), QString(" old\n"));
        QCOMPARE(f.messages.texts, said);
        f.messages.texts.clear();
        if (storedList.isEmpty()) {
            QCOMPARE(cachedRow(w, 5), before);
        } else {
            const QVariantList row = cachedRow(w, 5);
            QCOMPARE(row.value(0).toString().size(), storedList.size());
            QVERIFY(row.value(0).toString() == QString::fromLatin1(storedList));
            QCOMPARE(row.value(1).toString(), f.today);
            QCOMPARE(row.value(2), before.value(2));
        }

        // The window works: another title, then a category.
        clickTitle(w, 6);
        QCOMPARE(episodes(w), QStringList{"F0"});
        QCOMPARE(w.txtNr->toPlainText(), QString(" six\n"));
        f.clickNode("cid8");
        QCOMPARE(listed(w), (QStringList{"five", "six"}));
        QVERIFY(f.messages.texts.isEmpty());
    }

private:
    static void markSynced(WindowFixture &f, const QString &day)
    {
        kinolark::store::Catalogue catalogue;
        catalogue.open(f.file("data.db"));
        QSqlQuery query(catalogue.database());
        query.prepare("update cdate set up_date = ?");
        query.addBindValue(day);
        QVERIFY(query.exec());
    }

    static void clickTitle(frmMain &w, qint64 id)
    {
        const QVector<kinolark::browse::Title> &list = w.titleModel().titles();
        for (int row = 0; row < list.size(); ++row) {
            if (list.at(row).id != id)
                continue;
            const QRect rect = w.TreeView2->visualRect(w.titleRows().index(row, 0));
            QTest::mouseClick(w.TreeView2->viewport(), Qt::LeftButton, {}, rect.center());
            return;
        }
        QFAIL("title not listed");
    }

    ScriptedServer m_site;
};

QTEST_MAIN(tst_SiteFaults)
#include "tst_site_faults.moc"
