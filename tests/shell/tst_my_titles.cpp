#include "library/favourites.h"
#include "library/favourites_refresh.h"
#include "scripted_server.h"
#include "shell/main_window.h"
#include "shell/my_titles.h"
#include "browse/title_rows.h"
#include "sql_exec.h"
#include "window_fixture.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QTest>

using kinolark::library::Favourites;
using kinolark::shell::frmMain;
using Reply = ScriptedServer::Reply;

namespace {

const QList<WindowFixture::Row> catalogue{{1, 15, "天下", "t"}, {2, 15, "英雄", "y"}, {3, 15, "无名", "w"}};

QString episodes(int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << QString("第%1集$http://a/%1.mp4").arg(i, 2, 10, QLatin1Char('0'));
    return lines.join('\r');
}

// The catalogue the window will open: the play `lists` cached on `date`,
// `favourites` marked in that order.
void prepare(WindowFixture &f, const QString &date = {}, const QMap<qint64, QString> &lists = {},
             const QList<qint64> &favourites = {})
{
    f.prepareCatalogue(catalogue);
    kinolark::store::Catalogue c;
    QVERIFY(c.open(f.file("data.db")) == kinolark::store::Catalogue::OpenResult::Opened);
    for (auto it = lists.cbegin(); it != lists.cend(); ++it)
        QVERIFY(execSql(c.database(), "insert into vodplay values (?, ?, ?, 'd')", {it.key(), *it, date}));
    Favourites marks(c.database());
    for (int i = 0; i < favourites.size(); ++i)
        QVERIFY(marks.add(favourites.at(i), "x", QDateTime::currentDateTimeUtc().addSecs(i)));
}

// Each row's name, and its note after two spaces.
QStringList rows(frmMain &w)
{
    using kinolark::browse::TitleRows;
    QStringList texts;
    for (int i = 0; i < w.titleRows().rowCount(); ++i) {
        const QModelIndex row = w.titleRows().index(i, 0);
        const QString note = row.data(TitleRows::NoteRole).toString();
        texts << row.data().toString() + (note.isEmpty() ? QString() : "  " + note);
    }
    return texts;
}

QString favouritesText(frmMain &w)
{
    return w.myTitles().favouritesNode()->text(0);
}

// The row of title `id` in the title list.
QModelIndex titleRow(frmMain &w, qint64 id)
{
    const auto &model = w.titleRows();
    return model.match(model.index(0, 0), kinolark::browse::TitleListModel::IdRole, id, 1, Qt::MatchExactly).value(0);
}

void clickTitle(frmMain &w, qint64 id)
{
    w.TreeView2->setCurrentIndex(titleRow(w, id));
    w.TreeView2_NodeClick();
}

} // namespace

class tst_MyTitles : public QObject
{
    Q_OBJECT

private slots:
    // Like a category click (the window goes back to browsing), and an empty
    // node says so and keeps the list on show.
    void emptyNodesResetTheWindow_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("said");
        QTest::newRow("favourites") << "my.favourites" << "收藏" << "没有相关电影";
        QTest::newRow("history") << "my.history" << "观看记录" << "没有相关电影";
        QTest::newRow("downloads") << "my.downloads" << "下载" << "还没有下载的剧集";
    }
    void emptyNodesResetTheWindow()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QString, said);
        WindowFixture f;
        prepare(f);
        frmMain &w = f.load();
        f.clickNode("cid15");
        const QStringList listed = rows(w);
        w.txtSearch->setText("天下");

        f.clickNode(key);
        QCOMPARE(f.messages.texts, QStringList{said});
        QCOMPARE(rows(w), listed);
        QVERIFY(w.txtSearch->text().isEmpty());
        QCOMPARE(f.node(key)->text(0), text);
    }

    // Ctrl+D and the context menu mark and unmark, stored at once. A title
    // marked before it was ever opened has its play list fetched at once, to
    // count new episodes from.
    void markingFavourites()
    {
        ScriptedServer site;
        QVERIFY(site.listen());
        site.on("Lx=Dy&Id=1", Reply(200, episodes(12).toUtf8()));
        site.on("Lx=Nr&Id=1", Reply(200, "简介"));
        WindowFixture f(site.site());
        prepare(f);
        frmMain &w = f.load();
        f.clickNode("cid15");
        w.TreeView2->setFocus();
        w.TreeView2->setCurrentIndex(titleRow(w, 1));
        QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier);
        const auto &marks = w.myTitles().rows();
        QVERIFY(marks.isFavourite(1));
        QCOMPARE(favouritesText(w), QString("检查更新 0/1"));
        QTRY_COMPARE(favouritesText(w), QString("收藏 1"));
        QCOMPARE(site.requests, (QStringList{"Lx=Dy&Id=1", "Lx=Nr&Id=1"}));
        Favourites stored(w.conn.database());
        QVERIFY(stored.hasSeenList(1));

        std::unique_ptr<QMenu> menu = w.myTitles().titleMenu(titleRow(w, 3));
        QCOMPARE(menu->actions().constFirst()->text(), QString("收藏"));
        menu->actions().constFirst()->trigger();
        QVERIFY(marks.isFavourite(3));
        menu = w.myTitles().titleMenu(titleRow(w, 1));
        QCOMPARE(menu->actions().constFirst()->text(), QString("取消收藏"));
        menu->actions().constFirst()->trigger();
        QVERIFY(!marks.isFavourite(1));
        QTRY_COMPARE(favouritesText(w), QString("收藏 1")); // the site has no play list of 3
        QCOMPARE(stored.ids(), QList<qint64>{3});
        QVERIFY(f.messages.texts.isEmpty());
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
        prepare(f, "2026/12/6", {{1, episodes(12)}}, {1});
        frmMain &w = f.load();
        QPointer<kinolark::library::FavouritesRefresh> refresh = w.myTitles().refresh();
        QTRY_COMPARE(site.requests.size(), 1);
        w.close();
        QTRY_VERIFY(!refresh->isRunning());
        QVERIFY(!w.conn.isOpen());
    }

    // Every episode started is recorded; the history lists the titles newest
    // first with the episode played last.
    void historyOfPlayedTitles()
    {
        WindowFixture f;
        prepare(f, f.today, {{1, episodes(3)}, {2, "播放列表\r" + episodes(12)}});
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
        QCOMPARE(w.myTitles().historyNode()->text(0), QString("观看记录 2"));
        f.clickNode("my.history");
        QCOMPARE(rows(w), (QStringList{"天下  看到 第03集", "英雄  看到 第12集"}));
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
        prepare(f, "2026/12/6", {{1, episodes(12)}, {2, episodes(12)}, {3, episodes(12)}}, {1, 2, 3});
        frmMain &w = f.load();
        QCOMPARE(favouritesText(w), QString("检查更新 0/3"));
        QTRY_VERIFY(site.count("Lx=Dy&Id=3") == 1);

        f.clickNode("my.favourites");
        site.on("Lx=Dy&Id=3", Reply(200, episodes(13).toUtf8()));
        clickTitle(w, 3);
        QCOMPARE(w.ListView1->count(), 13);
        QTRY_VERIFY(!w.myTitles().refresh()->isRunning());
        QCOMPARE(favouritesText(w), QString("收藏 3（1 新）"));
        QCOMPARE(rows(w), (QStringList{"无名", "英雄", "天下  更新至第14集"}));
        QVERIFY(f.messages.texts.isEmpty());

        // Opening the title clears its mark.
        clickTitle(w, 1);
        QCOMPARE(favouritesText(w), QString("收藏 3"));
        QCOMPARE(rows(w).constLast(), QString("天下"));
    }
};

QTEST_MAIN(tst_MyTitles)
#include "tst_my_titles.moc"
