#include "library/favourites.h"
#include "library/favourites_refresh.h"
#include "library/watch_positions.h"
#include "scripted_server.h"
#include "shell/main_window.h"
#include "shell/my_titles.h"
#include "shell/title_row_delegate.h"
#include "window_fixture.h"

#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTreeWidget>
#include <QtTest>

using kinolark::shell::frmMain;
using Reply = ScriptedServer::Reply;

namespace {

const QList<WindowFixture::Row> catalogue{
    {1, 15, "天下", "t"},
    {2, 15, "英雄", "y"},
    {3, 15, "无名", "w"},
};

QString episodes(int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << QString("第%1集$http://a/%1.mp4").arg(i, 2, 10, QLatin1Char('0'));
    return lines.join('\r');
}

QStringList rows(frmMain &w)
{
    QStringList texts;
    for (int i = 0; i < w.titleModel().rowCount(); ++i)
        texts << w.myTitles().rows()->rowText(w.titleModel().index(i));
    return texts;
}

// The row of title `id` in the title list.
QModelIndex titleRow(frmMain &w, qint64 id)
{
    const auto &titles = w.titleModel().titles();
    for (int i = 0; i < titles.size(); ++i) {
        if (titles.at(i).id == id)
            return w.titleModel().index(i);
    }
    return {};
}

void clickTitle(frmMain &w, qint64 id)
{
    w.TreeView2->setCurrentIndex(titleRow(w, id));
    w.TreeView2_NodeClick();
}

void cache(WindowFixture &f, qint64 id, const QString &playList, const QString &date)
{
    kinolark::store::Catalogue c;
    QVERIFY(c.open(f.file("data.db")) == kinolark::store::Catalogue::OpenResult::Opened);
    QSqlQuery query(c.database());
    query.prepare("insert or replace into vodplay values (?, ?, ?, 'd')");
    query.addBindValue(id);
    query.addBindValue(playList);
    query.addBindValue(date);
    QVERIFY(query.exec());
}

} // namespace

class tst_MyTitles : public QObject
{
    Q_OBJECT

private slots:
    // Like a category click: the window goes back to browsing, and an empty
    // node says so and keeps the list on show.
    void emptyNodesResetTheWindow_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("favourites") << "my.favourites";
        QTest::newRow("history") << "my.history";
    }
    void emptyNodesResetTheWindow()
    {
        QFETCH(QString, key);
        WindowFixture f;
        f.prepareCatalogue(catalogue);
        frmMain &w = f.load();
        f.clickNode("cid15");
        const QStringList listed = rows(w);
        w.txtSearch->setText("天下");
        w.setWindowTitle("当前选择的电影是：天下");
        w.txtNr->show();
        f.browser1()->clear();

        f.clickNode(key);
        QCOMPARE(f.messages.texts, QStringList{"没有相关电影"});
        QCOMPARE(rows(w), listed);
        QVERIFY(w.txtSearch->text().isEmpty());
        QCOMPARE(w.windowTitle(), QString("Lumovane http://127.0.0.1:9"));
        QVERIFY(!w.txtNr->isVisible());
        QCOMPARE(f.browser1()->addresses(), QStringList{f.file("home.htm")});
        QCOMPARE(w.myTitles().favouritesNode()->text(0), QString("收藏"));
        QCOMPARE(w.myTitles().historyNode()->text(0), QString("观看记录"));
    }

    // Ctrl+D and the context menu mark and unmark; the marks are stored at
    // once and shown in every list.
    void markingFavourites()
    {
        WindowFixture f;
        f.prepareCatalogue(catalogue);
        {
            frmMain &w = f.load();
            f.clickNode("cid15");
            w.TreeView2->setFocus();
            w.TreeView2->setCurrentIndex(titleRow(w, 1));
            QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier);
            const auto *rows = w.myTitles().rows();
            QVERIFY(rows->isFavourite(1));
            // The site is asked for the play list to count from; it cannot be reached.
            QTRY_COMPARE(w.myTitles().favouritesNode()->text(0), QString("收藏 (1)"));

            std::unique_ptr<QMenu> menu = w.myTitles().titleMenu(titleRow(w, 3));
            QCOMPARE(menu->actions().constFirst()->text(), QString("收藏"));
            menu->actions().constFirst()->trigger();
            QVERIFY(rows->isFavourite(3));
            menu = w.myTitles().titleMenu(titleRow(w, 1));
            QCOMPARE(menu->actions().constFirst()->text(), QString("取消收藏"));
            QVERIFY(!w.myTitles().titleMenu(QModelIndex()));
            QTRY_COMPARE(w.myTitles().favouritesNode()->text(0), QString("收藏 (2)"));

            f.clickNode("my.favourites");
            QCOMPARE(w.titleModel().nodeText(1), QString("无名")); // newest first
            QCOMPARE(w.titleModel().nodeText(2), QString("天下"));
            w.TreeView2->setCurrentIndex(w.titleModel().index(0));
            QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier);
            QVERIFY(!rows->isFavourite(3));
            QCOMPARE(w.myTitles().favouritesNode()->text(0), QString("收藏 (1)"));
            QVERIFY(f.messages.texts.isEmpty());
            menu.reset();
            f.window.reset();
        }
        // Kept across starts; this start checks for new episodes first.
        frmMain &w = f.load();
        QVERIFY(w.myTitles().rows()->isFavourite(1));
        QCOMPARE(w.myTitles().favouritesNode()->text(0), QString("收藏（正在检查更新 0/1）"));
        QTRY_COMPARE(w.myTitles().favouritesNode()->text(0), QString("收藏 (1)"));
    }

    // The window closes while the refresh waits for the site: the answers
    // that come later touch neither the closed catalogue nor the window.
    void closeWhileRefreshing()
    {
        QTest::failOnWarning(QRegularExpression(".*"));
        ScriptedServer site;
        QVERIFY(site.listen());
        site.setFallback(Reply(200, episodes(14).toUtf8()).delay(200));
        WindowFixture f(site.site());
        f.prepareCatalogue(catalogue);
        cache(f, 1, episodes(12), "2026/12/6");
        {
            kinolark::store::Catalogue c;
            QVERIFY(c.open(f.file("data.db")) == kinolark::store::Catalogue::OpenResult::Opened);
            QVERIFY(kinolark::library::Favourites(c.database()).add(1, "x", QDateTime::currentDateTimeUtc()));
        }
        frmMain &w = f.load();
        QPointer<kinolark::library::FavouritesRefresh> refresh = w.myTitles().refresh();
        QTRY_COMPARE(site.requests.size(), 1);
        w.close();
        QTRY_VERIFY(!refresh->isRunning());
        QVERIFY(!w.conn.isOpen());
    }

    // A title marked before it was ever opened: its play list is fetched at
    // once, so the next day has something to count new episodes against.
    void markingFetchesTheListToCountFrom()
    {
        ScriptedServer site;
        QVERIFY(site.listen());
        site.on("Lx=Dy&Id=2", Reply(200, episodes(12).toUtf8()));
        site.on("Lx=Nr&Id=2", Reply(200, "简介"));
        WindowFixture f(site.site());
        f.prepareCatalogue(catalogue);
        frmMain &w = f.load();
        f.clickNode("cid15");
        w.myTitles().toggle(titleRow(w, 2));
        QCOMPARE(w.myTitles().favouritesNode()->text(0), QString("收藏（正在检查更新 0/1）"));
        QTRY_COMPARE(w.myTitles().favouritesNode()->text(0), QString("收藏 (1)"));
        QCOMPARE(site.requests, (QStringList{"Lx=Dy&Id=2", "Lx=Nr&Id=2"}));
        kinolark::library::Favourites favourites(w.conn.database());
        QVERIFY(favourites.hasSeenList(2));
        QSqlQuery query(w.conn.database());
        QVERIFY(query.exec("update vodplay set d_playurl = d_playurl || '\r第13集$http://a/13.mp4'"));
        QCOMPARE(favourites.newEpisodes(2).mark(), QString("（更新至第13集）"));
    }

    // Every episode started is recorded; the history lists the titles newest
    // first with the episode and the position the player left.
    void historyOfPlayedTitles()
    {
        WindowFixture f;
        f.prepareCatalogue(catalogue);
        cache(f, 1, episodes(3), f.today);
        cache(f, 2, "播放列表\r" + episodes(12), f.today);
        frmMain &w = f.load();
        f.clickNode("cid15");
        const auto play = [&w](qint64 id, int line) {
            clickTitle(w, id);
            for (int i = 0; i < w.ListView1->count(); ++i) {
                if (w.ListView1->item(i)->data(Qt::UserRole).toString() == QString("Pid%1").arg(line))
                    w.ListView1->setCurrentRow(i);
            }
            w.ListView1_Click();
        };
        play(2, 12); // 英雄, 第12集
        play(1, 0);  // 天下, 第01集
        play(1, 2);  // 天下, 第03集
        QCOMPARE(w.myTitles().historyNode()->text(0), QString("观看记录 (2)"));
        kinolark::library::WatchPositions positions(w.conn.database());
        QVERIFY(positions.savePosition(1, 2, "http://a/3.mp4", 1425.2, 2700, QDateTime::currentDateTimeUtc()));

        f.clickNode("my.history");
        QCOMPARE(rows(w), (QStringList{"天下  看到 第03集 23:45", "英雄  看到 第12集"}));
        play(2, 1); // 英雄 again
        f.clickNode("my.history");
        QCOMPARE(rows(w).constFirst(), QString("英雄  看到 第01集"));
        // Another list shows no notes.
        f.clickNode("cid15");
        QCOMPARE(rows(w), (QStringList{"天下", "无名", "英雄"}));
        QVERIFY(f.messages.texts.isEmpty());
    }

    // The first start of a day: the window is up at once, the favourites'
    // play lists are refreshed behind it with the progress in the node, a
    // title click meanwhile wins, and the marks follow.
    void refreshOnTheDaysFirstStart()
    {
        ScriptedServer site;
        QVERIFY(site.listen());
        site.on("Lx=Dy&Id=1", Reply(200, episodes(14).toUtf8()).delay(100));
        site.on("Lx=Dy&Id=2", Reply(200, episodes(12).toUtf8()));
        site.on("Lx=Dy&Id=3", Reply(200, episodes(20).toUtf8()).hanging()); // until the click
        WindowFixture f(site.site());
        f.prepareCatalogue(catalogue);
        const QString yesterday = "2026/12/6";
        for (qint64 id : {1, 2, 3})
            cache(f, id, episodes(12), yesterday);
        {
            kinolark::store::Catalogue c;
            QVERIFY(c.open(f.file("data.db")) == kinolark::store::Catalogue::OpenResult::Opened);
            kinolark::library::Favourites favourites(c.database());
            for (qint64 id : {1, 2, 3})
                QVERIFY(favourites.add(id, "x", QDateTime::currentDateTimeUtc().addSecs(id)));
            QVERIFY(favourites.setRefreshedDay(yesterday));
        }
        frmMain &w = f.load();
        auto *refresh = w.myTitles().refresh();
        QVERIFY(refresh->isRunning());
        QCOMPARE(w.myTitles().favouritesNode()->text(0), QString("收藏（正在检查更新 0/3）"));
        QTRY_VERIFY(site.count("Lx=Dy&Id=3") == 1);

        f.clickNode("my.favourites");
        QCOMPARE(w.titleModel().nodeText(1), QString("无名"));
        site.on("Lx=Dy&Id=3", Reply(200, episodes(13).toUtf8()));
        clickTitle(w, 3);
        QCOMPARE(w.ListView1->count(), 13);
        QTRY_VERIFY(!refresh->isRunning());
        QCOMPARE(w.myTitles().favouritesNode()->text(0), QString("收藏 (3，1 部有更新)"));
        QCOMPARE(rows(w), (QStringList{"无名", "英雄", "天下（更新至第14集）"}));
        QVERIFY(f.messages.texts.isEmpty());

        // Opening the title clears its mark.
        clickTitle(w, 1);
        QCOMPARE(w.myTitles().favouritesNode()->text(0), QString("收藏 (3)"));
        QCOMPARE(rows(w).constLast(), QString("天下"));
    }
};

QTEST_MAIN(tst_MyTitles)
#include "tst_my_titles.moc"
