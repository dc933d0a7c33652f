#include "shell/main_window.h"
#include "shell/notice_page.h"
#include "shell/template_box.h"
#include "shell/chinese_translations.h"
#include "shell/message_box_sink.h"
#include "temp_folder.h"
#include "window_fixture.h"

#include <QLabel>
#include <QMenu>
#include <QMessageBox>

#include <QDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QStringDecoder>
#include <QTreeWidget>
#include <QTest>

using kinolark::shell::frmMain;

namespace {

// The named control that covers `point` of the window.
QString controlAt(QWidget *window, QPoint point)
{
    for (QWidget *w = window->childAt(point); w && w != window; w = w->parentWidget()) {
        if (!w->objectName().isEmpty() && w->parentWidget() == window)
            return w->objectName();
    }
    return QString();
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void geometry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<bool>("visible");
        // Twips divided by 15.
        QTest::newRow("TreeView1") << "TreeView1" << "frmMain" << QRect(8, 56, 153, 505) << true;
        QTest::newRow("frmSearch") << "frmSearch" << "frmMain" << QRect(8, 8, 153, 41) << true;
        QTest::newRow("txtSearch") << "txtSearch" << "frmSearch" << QRect(8, 16, 89, 18) << true;
        QTest::newRow("cmdSearch") << "cmdSearch" << "frmSearch" << QRect(104, 16, 41, 17) << true;
        QTest::newRow("TreeView2") << "TreeView2" << "frmMain" << QRect(168, 0, 177, 553) << true;
        QTest::newRow("WebBrowser1") << "WebBrowser1" << "frmMain" << QRect(352, 0, 705, 457) << true;
        QTest::newRow("WebBrowser2") << "WebBrowser2" << "frmMain" << QRect(168, 0, 889, 561) << false;
        QTest::newRow("ListView1") << "ListView1" << "frmMain" << QRect(352, 464, 705, 97) << true;
        QTest::newRow("Text1") << "Text1" << "frmMain" << QRect(160, 360, 129, 153) << false;
        QTest::newRow("txtNr") << "txtNr" << "frmMain" << QRect(352, 0, 705, 457) << false;
        QTest::newRow("Text2") << "Text2" << "frmMain" << QRect(144, 288, 49, 41) << false;
    }
    void geometry()
    {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QRect, rect);
        QFETCH(bool, visible);
        WindowFixture f;
        frmMain &w = f.make();
        QVERIFY(w.Form_Load());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto *control = w.findChild<QWidget *>(name);
        QVERIFY(control);
        QCOMPARE(control->parentWidget()->objectName(), container);
        QCOMPARE(control->geometry(), rect);
        QCOMPARE(control->isVisible(), visible);
        // The whole layout lies inside the client area.
        QVERIFY(QRect(0, 0, 1058, 564).contains(control->mapTo(&w, QPoint(0, 0))));
    }

    void windowSizeAndCaptions()
    {
        WindowFixture f(QStringLiteral("http://films.example:8080"));
        frmMain &w = f.make();
        QCOMPARE(w.size(), QSize(1058, 564));
        QCOMPARE(w.minimumSize(), QSize(1058, 564));
        QCOMPARE(w.windowTitle(), QStringLiteral("Lumovane http://films.example:8080"));
        QCOMPARE(w.frmSearch->title(), QStringLiteral("电影搜索："));
        QCOMPARE(w.cmdSearch->text(), QStringLiteral("查询"));
        QVERIFY(w.txtSearch->text().isEmpty());
        QVERIFY(w.txtNr->toPlainText().isEmpty());
        QVERIFY(w.windowIcon().availableSizes().contains(QSize(16, 16)));
        QVERIFY(!w.windowIcon().pixmap(16, 16).isNull());
    }

    void fonts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qreal>("points");
        QTest::newRow("TreeView1") << "TreeView1" << 12.0;
        QTest::newRow("TreeView2") << "TreeView2" << 11.25;
        QTest::newRow("ListView1") << "ListView1" << 10.5;
        QTest::newRow("txtNr") << "txtNr" << 14.25;
    }
    void fonts()
    {
        QFETCH(QString, name);
        QFETCH(qreal, points);
        WindowFixture f;
        frmMain &w = f.make();
        const QFont font = w.findChild<QWidget *>(name)->font();
        QCOMPARE(font.families().value(0), QStringLiteral("SimSun"));
        QCOMPARE(font.pointSizeF(), points);
        QCOMPARE(font.weight(), QFont::Normal);
        QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
        // Whatever font serves, it has the Chinese the window shows.
        QFontMetrics metrics(font);
        for (const QChar c : QStringLiteral("电视剧其它暂无播放地址"))
            QVERIFY2(metrics.inFontUcs4(c.unicode()), qPrintable(QFontInfo(font).family()));
        // Names and descriptions from the site carry emoji.
        for (const char32_t emoji : {U'\U0001F600', U'\U0001F3AC', U'\u2764'})
            QVERIFY2(metrics.inFontUcs4(emoji), qPrintable(QString::number(emoji, 16)));
    }

    // The one message seam shows text from the site as it is, never as
    // markup, with Qt's own buttons and menus in Chinese.
    void messagesArePlainChinese()
    {
        QCOMPARE(kinolark::shell::installChineseTranslations(qApp), (QStringList{"qtbase", "qtwebengine"}));
        const QString text = "无法打开：<b>粗体</b><font color=red>假的</font>";
        QString label, button;
        int width = 0, labelHeight = 0, lineHeight = 0;
        Qt::TextFormat format = Qt::AutoText;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            poll.stop();
            auto *shown = box->findChild<QLabel *>("qt_msgbox_label");
            label = shown ? shown->text() : QString();
            format = shown ? shown->textFormat() : Qt::AutoText;
            width = box->width();
            labelHeight = shown ? shown->height() : 0;
            lineHeight = shown ? shown->fontMetrics().lineSpacing() : 0;
            button = box->button(QMessageBox::Ok)->text();
            box->button(QMessageBox::Ok)->click();
        });
        poll.start(10);
        kinolark::shell::MessageBoxSink().show(text);
        QCOMPARE(label, text);
        QCOMPARE(format, Qt::PlainText);
        poll.start(10);
        kinolark::shell::MessageBoxSink().show("没有相关电影");
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(button, QString("确定"));
        // Wide enough for the caption, the short text on one line.
        QVERIFY2(width >= kinolark::shell::MessageBoxSink::minimumWidth, qPrintable(QString::number(width)));
        QVERIFY2(labelHeight < 2 * lineHeight, qPrintable(QString::number(labelHeight)));
        QLineEdit edit;
        const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        QVERIFY2(menu->actions().first()->text().startsWith("撤"), qPrintable(menu->actions().first()->text()));
    }

    // Real key presses; the browser's page widget is made late, as the web
    // engine's is, and Tab still leaves it for the episode list.
    void tabOrder_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("Tab") << int(Qt::Key_Tab)
                             << QStringList{"TreeView1", "txtSearch", "cmdSearch", "TreeView2", "WebBrowser1",
                                            "ListView1", "TreeView1"};
        QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab)
                                   << QStringList{"TreeView1", "ListView1", "WebBrowser1", "TreeView2", "cmdSearch",
                                                  "txtSearch", "TreeView1"};
    }
    void tabOrder()
    {
        QFETCH(int, key);
        QFETCH(QStringList, order);
        WindowFixture f;
        frmMain &w = f.make();
        QVERIFY(w.Form_Load());
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.TreeView1->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.TreeView1));
        // The control of the window that holds the focus.
        const auto focused = [&w] {
            QWidget *widget = QApplication::focusWidget();
            while (widget && widget->parentWidget() && widget->parentWidget() != &w
                   && widget->parentWidget() != w.frmSearch)
                widget = widget->parentWidget();
            return widget ? widget->objectName() : QString("<none>");
        };
        QStringList seen{focused()};
        for (int i = 0; i < 6; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                            key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
            seen << focused();
        }
        QCOMPARE(seen, order);
    }

    void stacking()
    {
        WindowFixture f;
        frmMain &w = f.make();
        QVERIFY(w.Form_Load());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QPoint inTitles(250, 300), inBrowser(700, 200), inEpisodes(700, 500), inTree(80, 300);
        QCOMPARE(controlAt(&w, inBrowser), QStringLiteral("WebBrowser1"));
        w.txtNr->show();
        QCOMPARE(controlAt(&w, inBrowser), QStringLiteral("txtNr"));
        w.WebBrowser2->show();
        QCOMPARE(controlAt(&w, inTitles), QStringLiteral("WebBrowser2"));
        QCOMPARE(controlAt(&w, inBrowser), QStringLiteral("WebBrowser2"));
        QCOMPARE(controlAt(&w, inEpisodes), QStringLiteral("WebBrowser2"));
        QCOMPARE(controlAt(&w, inTree), QStringLiteral("TreeView1"));
        QCOMPARE(controlAt(&w, QPoint(50, 30)), QStringLiteral("frmSearch"));
    }

    void noticePageFile()
    {
        WindowFixture f(QStringLiteral("http://films.example"));
        f.prepareCatalogue({}); // synced today: start-up sends no request
        // Whatever was there before is replaced.
        QVERIFY(writeAll(f.file(QStringLiteral("home.htm")), QByteArray(5000, 'x')));
        frmMain &w = f.make();
        QVERIFY(w.Form_Load());

        const QByteArray bytes = readAll(f.file(QStringLiteral("home.htm")));
        QStringDecoder gbk("GBK");
        const QString text = gbk(bytes);
        QVERIFY(!gbk.hasError());
        QCOMPARE(text, w.Text2->text() + QStringLiteral("\r\n"));
        QVERIFY(bytes.endsWith("</html>\r\n\r\n"));

        const QStringList lines = text.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 24); // 22 lines, the extra line end, and the empty rest
        QCOMPARE(lines.at(10), QStringLiteral("<a href=\"http://films.example/url.php?Lx=Baidu\">百度影音下载地址</a>"));
        QCOMPARE(lines.at(13),
                 QStringLiteral("<script type=\"text/javascript\" src=\"http://films.example/Uploads/soft.js\"></script>"));
        QCOMPARE(lines.at(18), QStringLiteral("<PARAM NAME='Autoplay' VALUE='0'> "));
        QVERIFY(!text.contains(QLatin1Char('\n')) || text.count(QLatin1Char('\n')) == text.count(QStringLiteral("\r\n")));
        // Chinese is written in GBK, two bytes a character.
        QVERIFY(bytes.contains(QByteArray::fromHex("b0d9b6c8d3b0d2f4"))); // 百度影音
    }

    void noticePageTemplateLines()
    {
        const QString text = kinolark::shell::noticePageTemplate(QStringLiteral("http://s"));
        QVERIFY(text.endsWith(QStringLiteral("</html>\r\n")));
        QCOMPARE(text.count(QStringLiteral("\r\n")), 22);
        QCOMPARE(text.count(QStringLiteral("http://s")), 2);
    }

    void startUpOrder()
    {
        WindowFixture f;
        f.prepareCatalogue({}); // synced today: start-up sends no request
        frmMain &w = f.make();
        QVERIFY(w.Form_Load());
        const QString home = f.file(QStringLiteral("home.htm"));
        QCOMPARE(f.navigations,
                 (RecordingBrowser::Log{{"WebBrowser2", "about:blank"},
                                        {"WebBrowser1", "about:blank"},
                                        {"WebBrowser1", home}}));
        QCOMPARE(w.strEndpoint, QStringLiteral("http://127.0.0.1:9/Uploads/xml.php?"));
        QVERIFY(w.conn.isOpen());
        QVERIFY(QFile::exists(f.file(QStringLiteral("data.db"))));
        QVERIFY(f.messages.texts.isEmpty());
        QCOMPARE(w.ListView1->viewMode(), QListView::ListMode);
        QCOMPARE(w.ListView1->editTriggers(), QAbstractItemView::NoEditTriggers);
    }

    void categoryTreeInWindow()
    {
        WindowFixture f;
        frmMain &w = f.make();
        QVERIFY(w.Form_Load());
        QTreeWidget *tree = w.TreeView1;
        // The 424 fixed nodes, then the group "我的" with its two nodes.
        QCOMPARE(tree->topLevelItemCount(), 4);
        int count = 0;
        for (QTreeWidgetItemIterator it(tree); *it && *it != tree->topLevelItem(3); ++it)
            ++count;
        QCOMPARE(count, 424);
        QTreeWidgetItem *mine = tree->topLevelItem(3);
        QCOMPARE(mine->text(0), QStringLiteral("我的"));
        QVERIFY(mine->isExpanded());
        QCOMPARE(mine->childCount(), 3);
        QCOMPARE(mine->child(0)->text(0), QStringLiteral("收藏"));
        QCOMPARE(mine->child(1)->text(0), QStringLiteral("观看记录"));
        QCOMPARE(mine->child(2)->text(0), QStringLiteral("下载"));
        for (int g = 0; g < 3; ++g) {
            QTreeWidgetItem *group = tree->topLevelItem(g);
            QVERIFY(group->isExpanded());
            for (int c = 0; c < group->childCount(); ++c)
                QVERIFY(!group->child(c)->isExpanded());
        }
        QTreeWidgetItem *live = tree->topLevelItem(2)->child(2);
        QCOMPARE(live->text(0), QStringLiteral("电视直播"));
        QCOMPARE(live->data(0, Qt::UserRole).toString(), QStringLiteral("cid0"));
        QCOMPARE(live->childCount(), 0);
        QTreeWidgetItem *action = tree->topLevelItem(1)->child(0);
        QCOMPARE(action->data(0, Qt::UserRole).toString(), QStringLiteral("cid8"));
        QCOMPARE(action->childCount(), 27);
        QCOMPARE(action->child(0)->data(0, Qt::UserRole).toString(), QStringLiteral("8$'a'"));
        QVERIFY(tree->selectedItems().isEmpty());
    }

    void brokenCatalogueIsRefusedAndKept()
    {
        WindowFixture f;
        const QByteArray junk = QByteArrayLiteral("Standard Jet DB, or something else entirely") + QByteArray(3000, '\x5a');
        QVERIFY(writeAll(f.file(QStringLiteral("data.db")), junk));
        frmMain &w = f.make();
        QVERIFY(!w.Form_Load());
        QCOMPARE(f.messages.texts.size(), 1);
        QVERIFY(f.messages.texts.first().contains(QDir::toNativeSeparators(f.file(QStringLiteral("data.db")))));
        QVERIFY(f.messages.texts.first().contains(QStringLiteral("无法打开")));
        QCOMPARE(readAll(f.file(QStringLiteral("data.db"))), junk);
    }

    void unwritableNoticePageIsReported()
    {
        WindowFixture f;
        f.prepareCatalogue({}); // synced today: start-up sends no request
        QVERIFY(QDir(f.folder.path()).mkdir(QStringLiteral("home.htm")));
        frmMain &w = f.make();
        QVERIFY(w.Form_Load());
        QCOMPARE(f.messages.texts.size(), 1);
        QVERIFY(f.messages.texts.first().startsWith(QStringLiteral("无法写入")));
    }

    void unloadClosesCatalogue()
    {
        WindowFixture f;
        frmMain &w = f.make();
        QVERIFY(w.Form_Load());
        QVERIFY(w.conn.isOpen());
        QVERIFY(w.close());
        QVERIFY(!w.conn.isOpen());
        // The file is complete and closed: another connection sees the schema.
        kinolark::store::Catalogue again;
        QCOMPARE(again.open(f.file(QStringLiteral("data.db"))), kinolark::store::Catalogue::OpenResult::Opened);
    }
};

QTEST_MAIN(tst_MainWindow)
#include "tst_main_window.moc"
