#include "library/favourites.h"
#include "shell/main_window.h"
#include "window_fixture.h"

#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QTest>

using kinolark::shell::frmMain;

namespace {

const QList<WindowFixture::Row> catalogue{
    {1, 8, "Avatar", "A"},
    {2, 8, "angel heart", "a"},
    {3, 8, "Batman", "b"},
    {4, 8, "2012", "2"},
    {5, 8, "[REC]", "["},
    {6, 9, "王's 故事", "w"},
    {7, 9, "王的故事", "w"},
    {8, 15, "天下  第一", "t"},
    {9, 3, "动画 100%", "d"},
    {10, 3, "", "x"},
    {11, 4, "o'clock", "o"},
};

QStringList listed(frmMain &w)
{
    QStringList names;
    const auto &model = w.titleModel();
    for (int i = 1; i <= model.nodeCount(); ++i)
        names << model.nodeText(i);
    return names;
}

} // namespace

class tst_BrowseWindow : public QObject
{
    Q_OBJECT

private slots:
    void nodeClicks_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("names");
        // In the order the catalogue hands them over: its index runs by initial.
        QTest::newRow("category") << "cid8" << QStringList{"2012", "[REC]", "Avatar", "angel heart", "Batman"};
        QTest::newRow("letter, either case") << "8$'a'" << QStringList{"Avatar", "angel heart"};
        QTest::newRow("other initials") << "8$'0','1','2','3','4','5','6','7','8','9','['"
                                        << QStringList{"2012", "[REC]"};
        QTest::newRow("quote in a name") << "cid4" << QStringList{"o'clock"};
        QTest::newRow("empty name listed") << "3$'x'" << QStringList{""};
    }
    void nodeClicks()
    {
        QFETCH(QString, key);
        QFETCH(QStringList, names);
        WindowFixture f;
        f.prepareCatalogue(catalogue);
        frmMain &w = f.load();
        w.txtSearch->setText("something");
        w.setWindowTitle("当前选择的电影是：x");
        w.txtNr->show();
        f.browser1()->clear();

        f.clickNode(key);
        QCOMPARE(listed(w), names);
        QVERIFY(w.txtSearch->text().isEmpty());
        QCOMPARE(w.windowTitle(), QStringLiteral("Lumovane http://127.0.0.1:9"));
        QVERIFY(!w.txtNr->isVisible());
        QCOMPARE(f.browser1()->addresses(), QStringList{f.file("home.htm")});
        QVERIFY(w.TreeView2->isVisible());
        QVERIFY(!w.WebBrowser2->isVisible());
        QVERIFY(f.messages.texts.isEmpty());
        // Keys carry the ids.
        QCOMPARE(w.titleModel().nodeKey(1).left(6), QStringLiteral("vod_id"));
    }

    // Each new list shows from its first row, whatever the list before it
    // was scrolled to.
    void newListOpensAtTop_data()
    {
        QTest::addColumn<QString>("next");
        QTest::newRow("category") << "cid9";
        QTest::newRow("letter") << "8$'b'";
        QTest::newRow("search") << "search";
        QTest::newRow("favourites") << "my.favourites";
    }
    void newListOpensAtTop()
    {
        QFETCH(QString, next);
        QList<WindowFixture::Row> many;
        for (int i = 1; i <= 600; ++i)
            many.push_back({i, i <= 300 ? 8 : 9, QString("片名 %1").arg(i), i % 2 ? "a" : "b"});
        WindowFixture f;
        f.prepareCatalogue(many);
        {
            kinolark::store::Catalogue c;
            c.open(f.file("data.db"));
            kinolark::library::Favourites favourites(c.database());
            for (int i = 1; i <= 100; ++i)
                QVERIFY(favourites.add(i, "x", QDateTime::currentDateTimeUtc().addSecs(i)));
        }
        frmMain &w = f.load();
        f.clickNode("cid8");
        w.TreeView2->scrollToBottom();
        QVERIFY(w.TreeView2->verticalScrollBar()->value() > 0);

        if (next == "search") {
            w.txtSearch->setText("片名");
            QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
        } else {
            f.clickNode(next);
        }
        QVERIFY(f.messages.texts.isEmpty());
        QCOMPARE(w.TreeView2->verticalScrollBar()->value(), 0);
        QCOMPARE(w.TreeView2->indexAt(QPoint(5, 5)).row(), 0);
    }

    void groupSelectsNothing()
    {
        WindowFixture f;
        f.prepareCatalogue(catalogue);
        frmMain &w = f.load();
        f.clickNode("cid9");
        const QStringList before = listed(w);
        w.txtSearch->setText("x");
        f.clickNode("dy");
        QCOMPARE(listed(w), before);
        QVERIFY(w.txtSearch->text().isEmpty());
        QCOMPARE(f.browser1()->current(), f.file("home.htm"));
        QVERIFY(f.messages.texts.isEmpty());
    }

    void emptyCategoryKeepsList()
    {
        WindowFixture f;
        f.prepareCatalogue(catalogue);
        frmMain &w = f.load();
        f.clickNode("cid9");
        const QStringList before = listed(w);
        f.clickNode("cid22");
        QCOMPARE(f.messages.texts, QStringList{"没有相关电影"});
        QCOMPARE(listed(w), before);
        QVERIFY(w.TreeView2->isVisible());
    }

    void liveTelevision()
    {
        WindowFixture f;
        f.prepareCatalogue(catalogue);
        QVERIFY(writeTv(f));
        frmMain &w = f.load();
        f.clickNode("cid8");
        const QStringList before = listed(w);
        f.browser2()->clear();

        f.clickNode("cid0");
        QVERIFY(w.WebBrowser2->isVisible());
        QCOMPARE(f.browser2()->addresses(), (QStringList{"about:blank", f.file("tv.htm")}));
        QCOMPARE(listed(w), before);

        // A category without titles leaves the television page up.
        f.clickNode("cid22");
        QVERIFY(w.WebBrowser2->isVisible());
        // One with titles hides it again, blanked.
        f.clickNode("cid9");
        QVERIFY(!w.WebBrowser2->isVisible());
        QCOMPARE(f.browser2()->current(), QStringLiteral("about:blank"));
        QCOMPARE(listed(w), (QStringList{"王's 故事", "王的故事"}));
    }

    void missingTelevisionPage()
    {
        WindowFixture f;
        f.prepareCatalogue(catalogue);
        frmMain &w = f.load();
        f.clickNode("cid0");
        QCOMPARE(f.messages.texts.size(), 1);
        QVERIFY(f.messages.texts.first().contains("tv.htm"));
        QVERIFY(!w.WebBrowser2->isVisible());
    }

    void sameNodeTwiceRebuilds()
    {
        WindowFixture f;
        f.prepareCatalogue(catalogue);
        frmMain &w = f.load();
        f.clickNode("cid9");
        QCOMPARE(listed(w).size(), 2);
        QSqlQuery insert(w.conn.database());
        QVERIFY(insert.exec("insert into vod values (50, 9, '新片', 'x')"));
        f.clickNode("cid9");
        QCOMPARE(listed(w).size(), 3);
        QCOMPARE(f.browser1()->addresses().count(f.file("home.htm")), 3);
    }

    void enterActsLikeClick()
    {
        WindowFixture f;
        f.prepareCatalogue(catalogue);
        frmMain &w = f.load();
        QTreeWidgetItem *item = f.node("cid15");
        w.TreeView1->setCurrentItem(item);
        w.TreeView1->setFocus();
        QTest::keyClick(w.TreeView1, Qt::Key_Down); // first letter node? no: cid16
        QTest::keyClick(w.TreeView1, Qt::Key_Up);
        QTest::keyClick(w.TreeView1, Qt::Key_Return);
        QCOMPARE(listed(w), QStringList{"天下  第一"});
    }

    void labelsCannotBeEdited()
    {
        WindowFixture f;
        f.prepareCatalogue(catalogue);
        frmMain &w = f.load();
        f.clickNode("cid8");
        QTreeWidgetItem *item = f.node("cid8");
        w.TreeView1->setCurrentItem(item);
        QTest::keyClick(w.TreeView1, Qt::Key_F2);
        w.TreeView1->editItem(item);
        QVERIFY(!w.TreeView1->findChild<QLineEdit *>());
        QCOMPARE(item->text(0), QStringLiteral("动作片"));

        const QModelIndex first = w.titleRows().index(0, 0);
        w.TreeView2->setCurrentIndex(first);
        QTest::keyClick(w.TreeView2, Qt::Key_F2);
        w.TreeView2->edit(first);
        QVERIFY(!w.TreeView2->findChild<QLineEdit *>());
        QCOMPARE(first.data().toString(), QStringLiteral("2012"));

        bool cancel = false;
        w.TreeView1_BeforeLabelEdit(cancel);
        QVERIFY(cancel);
        cancel = false;
        w.TreeView2_BeforeLabelEdit(cancel);
        QVERIFY(cancel);
    }

    void search_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("inner spaces kept") << "  天下  第一 " << QStringList{"天下  第一"};
        QTest::newRow("inner spaces not loosened") << "天下 第一" << QStringList();
        QTest::newRow("quote matched literally") << "王's" << QStringList{"王's 故事"};
        QTest::newRow("latin ignores case") << "BATMAN" << QStringList{"Batman"};
        QTest::newRow("underscore matches any one") << "_"
                                                    << QStringList{"Avatar", "angel heart", "Batman", "2012", "[REC]",
                                                                   "王's 故事", "王的故事", "天下  第一", "动画 100%",
                                                                   "o'clock"};
        QTest::newRow("percent is a wildcard") << "王%事" << QStringList{"王's 故事", "王的故事"};
        QTest::newRow("all categories") << "a" << QStringList{"Avatar", "angel heart", "Batman"};
    }
    void search()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, names);
        WindowFixture f;
        f.prepareCatalogue(catalogue);
        frmMain &w = f.load();
        f.clickNode("cid4");
        QTreeWidgetItem *selected = w.TreeView1->currentItem();
        w.setWindowTitle("当前选择的电影是：o'clock");
        w.txtNr->show();
        f.browser1()->clear();

        w.txtSearch->setText(typed);
        QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
        QStringList sortedNames = listed(w);
        sortedNames.sort();
        names.sort();
        if (names.isEmpty()) {
            QCOMPARE(f.messages.texts, QStringList{"没有相关电影"});
            QCOMPARE(listed(w), QStringList{"o'clock"});
        } else {
            QCOMPARE(sortedNames, names);
            QVERIFY(f.messages.texts.isEmpty());
        }
        // A search changes nothing else.
        QCOMPARE(w.txtSearch->text(), typed);
        QCOMPARE(w.windowTitle(), QStringLiteral("当前选择的电影是：o'clock"));
        QVERIFY(w.txtNr->isVisible());
        QVERIFY(f.browser1()->addresses().isEmpty());
        QCOMPARE(w.TreeView1->currentItem(), selected);
        QVERIFY(selected->isSelected());
    }

    void emptySearchIsRefused_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("empty") << "";
        QTest::newRow("spaces") << "     ";
    }
    void emptySearchIsRefused()
    {
        QFETCH(QString, typed);
        WindowFixture f;
        f.prepareCatalogue(catalogue);
        frmMain &w = f.load();
        f.clickNode("cid9");
        w.txtSearch->setText(typed);
        QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
        QCOMPARE(f.messages.texts, QStringList{"搜索内容不能为空"});
        QCOMPARE(listed(w).size(), 2);
        QCOMPARE(w.txtSearch->text(), typed);
    }

    void enterInSearchBoxSearches()
    {
        WindowFixture f;
        f.prepareCatalogue(catalogue);
        frmMain &w = f.load();
        w.txtSearch->setFocus();
        QTest::keyClicks(w.txtSearch, "bat");
        QTest::keyClick(w.txtSearch, Qt::Key_Return);
        QCOMPARE(listed(w), QStringList{"Batman"});
        // The next category click empties the box.
        f.clickNode("cid9");
        QVERIFY(w.txtSearch->text().isEmpty());
    }

private:
    static bool writeTv(WindowFixture &f)
    {
        QFile tv(f.file("tv.htm"));
        return tv.open(QIODevice::WriteOnly) && tv.write("<p>tv</p>") > 0;
    }
};

QTEST_MAIN(tst_BrowseWindow)
#include "tst_browse_window.moc"
