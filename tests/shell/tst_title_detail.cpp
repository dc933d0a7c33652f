#include "playback/play_page.h"
#include "scripted_server.h"
#include "shell/player_view.h"
#include "shell/template_box.h"
#include "store/catalogue.h"
#include "temp_folder.h"
#include "text/ansi_file.h"
#include "window_fixture.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QToolTip>
#include <QSqlQuery>
#include <QTest>

using kinolark::shell::frmMain;
using Reply = ScriptedServer::Reply;

namespace {

const QString dy7 = "Lx=Dy&Id=7";

QStringList column(QListWidget *list, int role)
{
    QStringList values;
    for (int i = 0; i < list->count(); ++i)
        values << list->item(i)->data(role).toString();
    return values;
}

QListWidgetItem *episode(frmMain &w, const QString &key)
{
    for (int i = 0; i < w.ListView1->count(); ++i) {
        if (w.ListView1->item(i)->data(Qt::UserRole).toString() == key)
            return w.ListView1->item(i);
    }
    return nullptr;
}

// Notes the mouse events a widget receives.
class EventSpy : public QObject
{
public:
    EventSpy(QWidget *target, QList<QEvent::Type> *seen)
        : QObject(target)
        , m_seen(seen)
    {
        target->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonRelease)
            *m_seen << event->type();
        return false;
    }

private:
    QList<QEvent::Type> *m_seen;
};

void selectTitle(frmMain &w, int row)
{
    w.TreeView2->setCurrentIndex(w.titleRows().index(row, 0));
}

} // namespace

class tst_TitleDetail : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_server.listen()); }
    void init()
    {
        m_server.requests.clear();
        m_server.handler = nullptr;
        m_server.on(dy7, Reply(200, "E0$p://a\rE1$p://b\rE2$p://c"));
        m_server.on("Lx=Nr&Id=7", Reply(200, "<p>天下</p>简介"));
        m_server.on("Lx=Dy&Id=8", Reply(200, "F0$p://x\rF1$p://y"));
        m_server.on("Lx=Nr&Id=8", Reply(200, "eight"));
    }

    void showsTitleOnClick()
    {
        WindowFixture f(m_server.site());
        frmMain &w = open(f);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect rect = w.TreeView2->visualRect(w.titleRows().index(0, 0));
        QTest::mouseClick(w.TreeView2->viewport(), Qt::LeftButton, {}, rect.center());
        QTRY_COMPARE(w.ListView1->count(), 3);
        QCOMPARE(column(w.ListView1, Qt::DisplayRole), (QStringList{"E2", "E1", "E0"}));
        QCOMPARE(column(w.ListView1, Qt::UserRole), (QStringList{"Pid2", "Pid1", "Pid0"}));
        // A name that starts with a line feed still takes one line.
        w.ListView1->addItem("\nE9");
        QCOMPARE(w.ListView1->visualItemRect(w.ListView1->item(3)).height(),
                 w.ListView1->visualItemRect(w.ListView1->item(0)).height());
        delete w.ListView1->takeItem(3);
        QCOMPARE(w.windowTitle(), QString("当前选择的电影是：天下"));
        QCOMPARE(w.txtSearch->text(), QString("天下"));
        QVERIFY(w.txtNr->isVisible());
        QCOMPARE(w.txtNr->toPlainText(), QString(" 天下\n简介"));
        QCOMPARE(w.PlayUrls.size(), 1501);
        QCOMPARE(w.PlayUrls.mid(0, 4), (QVector<QString>{"p://a", "p://b", "p://c", ""}));
        QCOMPARE(f.browser1()->current(), f.file("home.htm"));
        QVERIFY(f.messages.texts.isEmpty());
        QCOMPARE(m_server.requests, (QStringList{dy7, "Lx=Nr&Id=7"}));
        // Enter on the selected title acts like a click: same day, no request.
        w.ListView1->clear();
        QTest::keyClick(w.TreeView2, Qt::Key_Return);
        QCOMPARE(w.ListView1->count(), 3);
        QCOMPARE(m_server.requests.size(), 2);
    }

    void noEpisodesKeepsDescription_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("no list") << Reply(200, "none") << "暂无播放地址";
        QTest::newRow("site answers an error") << Reply(500, "F0$p://x") << "影片网站出错（HTTP 500），请稍后再试。";
        QTest::newRow("site not reached") << Reply(200, "F0$p://x").hanging() << "无法连接影片网站，请稍后再试。";
    }
    void noEpisodesKeepsDescription()
    {
        QFETCH(Reply, reply);
        QFETCH(QString, text);
        m_server.on("Lx=Dy&Id=8", reply);
        WindowFixture f(m_server.site());
        f.services.requestTimeoutMs = 1000; // short: some rows wait it out
        frmMain &w = open(f);
        click(w, 0);
        click(w, 1);
        QCOMPARE(f.messages.texts, QStringList{text});
        QCOMPARE(w.ListView1->count(), 0);
        QCOMPARE(w.txtNr->toPlainText(), QString(" 天下\n简介"));
        QCOMPARE(w.windowTitle(), QString("当前选择的电影是：无名"));
        QCOMPARE(m_server.count("Lx=Nr&Id=8"), 0);
    }

    void staleRowShownWhenSiteFails_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QString>("text");
        QTest::newRow("error status") << Reply(503, "busy") << "影片网站出错（HTTP 503），显示的是以前保存的播放列表。";
        QTest::newRow("no answer") << Reply(200, "E9$p://n").hanging() << "无法连接影片网站，显示的是以前保存的播放列表。";
    }
    void staleRowShownWhenSiteFails()
    {
        QFETCH(Reply, reply);
        QFETCH(QString, text);
        WindowFixture f(m_server.site());
        f.services.requestTimeoutMs = 1000; // short: some rows wait it out
        frmMain &w = open(f);
        QSqlQuery query(w.conn.database());
        QVERIFY(query.exec("insert into vodplay values (7, 'E0$p://old', '2026/12/6', 'd')"));
        m_server.on(dy7, reply);
        click(w, 0);
        QCOMPARE(column(w.ListView1, Qt::DisplayRole), QStringList{"E0"});
        QCOMPARE(f.messages.texts, QStringList{text});
    }

    void playsEpisode()
    {
        WindowFixture f(m_server.site());
        frmMain &w = open(f);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        click(w, 0);
        const QString page = f.file("play.htm");
        for (int round = 0; round < 2; ++round) {
            f.navigations.clear();
            const QRect rect = w.ListView1->visualItemRect(episode(w, "Pid1"));
            QTest::mouseClick(w.ListView1->viewport(), Qt::LeftButton, {}, rect.center());
            QCOMPARE(f.navigations, (RecordingBrowser::Log{{"WebBrowser1", "about:blank"}, {"WebBrowser1", page}}));
            QVERIFY(!w.txtNr->isVisible());
            QCOMPARE(readAll(page), kinolark::text::toAnsi(kinolark::playback::playPageText(w.Text1->text(), "p://b")) + "\r\n");
            QFile::remove(page);
        }
        // Enter plays the selected episode too.
        w.ListView1->setCurrentItem(episode(w, "Pid0"));
        QTest::keyClick(w.ListView1, Qt::Key_Enter);
        QVERIFY(readAll(page).contains("'p://a'"));
        QVERIFY(f.messages.texts.isEmpty());
    }

    void episodeClickThatCannotPlay()
    {
        WindowFixture f(m_server.site());
        frmMain &w = open(f);
        w.ListView1_Click(); // nothing selected
        click(w, 0);
        QVERIFY(QDir().mkpath(f.file("play.htm"))); // cannot be written
        w.ListView1->setCurrentItem(episode(w, "Pid2"));
        f.navigations.clear();
        w.ListView1_Click();
        QVERIFY(f.navigations.isEmpty());
        QVERIFY(!w.txtNr->isHidden());
        QVERIFY(f.messages.texts.isEmpty());
        QCOMPARE(w.Text1->text(), kinolark::playback::playPageTemplate(m_server.site()));
    }

    // Title 7's answer is slow; something else happens while it waits.
    void overlappingClicks_data()
    {
        QTest::addColumn<bool>("secondTitle"); // else a category click
        QTest::newRow("second title") << true;
        QTest::newRow("category") << false;
    }
    void overlappingClicks()
    {
        QFETCH(bool, secondTitle);
        m_server.on(dy7, Reply(200, "E0$p://a\rE1$p://b\rE2$p://c").delay(400));
        WindowFixture f(m_server.site());
        frmMain &w = open(f);
        bool started = false;
        QObject context;
        connect(&m_server, &ScriptedServer::requested, &context, [&](const QString &query) {
            if (query != dy7 || std::exchange(started, true))
                return;
            QTimer::singleShot(0, &context, [&] {
                if (secondTitle) {
                    click(w, 1);
                } else {
                    w.TreeView1->setCurrentItem(f.node("dy"));
                    w.TreeView1_NodeClick();
                }
            });
        });
        click(w, 0);
        QVERIFY(started);
        if (secondTitle) {
            QCOMPARE(w.windowTitle(), QString("当前选择的电影是：无名"));
            QCOMPARE(column(w.ListView1, Qt::UserRole), (QStringList{"Pid1", "Pid0"}));
            QCOMPARE(w.txtNr->toPlainText(), QString("eight"));
            QCOMPARE(w.PlayUrls.at(0), QString("p://x"));
        } else {
            QCOMPARE(w.windowTitle(), "Lumovane " + m_server.site());
            QCOMPARE(w.ListView1->count(), 0);
            QVERIFY(w.txtNr->isHidden());
        }
        QVERIFY(f.messages.texts.isEmpty());
        // The older click still cached what it fetched.
        QSqlQuery query(w.conn.database());
        QVERIFY(query.exec("select d_nr from vodplay where d_id = 7") && query.next());
        QCOMPARE(query.value(0).toString(), QString("<p>天下</p>简介"));
    }

    // A title click that waits long for the site shows a busy pointer until
    // the answer is in; a quick one shows none.
    void busyPointerWhileWaiting_data()
    {
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<bool>("busy");
        QTest::newRow("slow") << 700 << true;
        QTest::newRow("quick") << 0 << false;
    }
    void busyPointerWhileWaiting()
    {
        QFETCH(int, delayMs);
        QFETCH(bool, busy);
        m_server.on(dy7, Reply(200, "E0$p://a").delay(delayMs));
        WindowFixture f(m_server.site());
        frmMain &w = open(f);
        bool seen = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            seen = seen || (QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::BusyCursor);
        });
        poll.start(20);
        click(w, 0);
        QCOMPARE(seen, busy);
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(w.ListView1->count(), 1);
    }

    // The window closes while a title click waits: the click ends without
    // touching the closed catalogue or the window, and without a warning.
    void closeWhileWaiting()
    {
        QTest::failOnWarning(QRegularExpression(".*"));
        m_server.on(dy7, Reply(200, "E0$p://a").delay(300));
        WindowFixture f(m_server.site());
        frmMain &w = open(f);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QObject context;
        connect(&m_server, &ScriptedServer::requested, &context, [&] { QTimer::singleShot(0, &w, [&] { w.close(); }); });
        click(w, 0);
        QVERIFY(!w.conn.isOpen());
        QCOMPARE(w.ListView1->count(), 0);
        QVERIFY(f.messages.texts.isEmpty());
    }

    // A press on an episode, then the pointer moved with the button held,
    // through the window as the platform would send it: with the left button
    // alone the list lets go, so nothing is drag-selected and the widget
    // under the pointer gets the moves and the release.
    void mouseMoveLetsGo_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("letGo");
        QTest::newRow("left") << Qt::LeftButton << true;
        QTest::newRow("middle") << Qt::MiddleButton << false;
    }
    void mouseMoveLetsGo()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, letGo);
        WindowFixture f(m_server.site());
        frmMain &w = open(f);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        click(w, 0);
        w.ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection); // a rubber band would show
        QWindow *window = w.windowHandle();
        const auto at = [&](QWidget *widget, QPoint p) { return widget->mapTo(&w, p); };
        const QPoint first = at(w.ListView1->viewport(), w.ListView1->visualItemRect(w.ListView1->item(0)).center());
        const QPoint last = at(w.ListView1->viewport(), w.ListView1->visualItemRect(w.ListView1->item(2)).center());
        const QPoint titles = at(w.TreeView2->viewport(), QPoint(20, 300));

        QList<QEvent::Type> reached;
        auto *filter = new EventSpy(w.TreeView2->viewport(), &reached);
        f.navigations.clear();
        QTest::mousePress(window, button, {}, first);
        QTest::mouseMove(window, last);
        if (letGo)
            QCOMPARE(w.ListView1->selectedItems().size(), 1);
        QTest::mouseMove(window, titles);
        QTest::mouseRelease(window, button, {}, titles);
        QCOMPARE(reached.contains(QEvent::MouseMove), letGo);
        QCOMPARE(reached.contains(QEvent::MouseButtonRelease), letGo);
        QVERIFY(f.navigations.isEmpty()); // no episode was played
        delete filter;
    }

    // Only media addresses leave the program; a web address goes to the
    // desktop's video player, not its web browser.
    void episodeMenu_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("videoPlayer"); // one is registered for video/mp4
        QTest::addColumn<QStringList>("started");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("said");
        const QString web = "http://v.example/a.mp4";
        QTest::newRow("web, video player") << web << true << QStringList{"player", "--fs", web} << "" << "";
        QTest::newRow("web, none registered") << web << false << QStringList{} << web
                                              << "没有找到默认的视频播放器，已交给系统默认的程序打开：" + web;
        QTest::newRow("stream") << "rtsp://cam.example/live" << true << QStringList{} << "rtsp://cam.example/live" << "";
        QTest::newRow("dedicated player") << "bdhd://1|AB|x.rmvb" << true << QStringList{} << "bdhd://1|AB|x.rmvb" << "";
        QTest::newRow("local file") << "file:///etc/passwd" << true << QStringList{} << ""
                                    << "这不是影音播放地址，不能交给外部播放器：file:///etc/passwd";
        QTest::newRow("script") << "javascript://%0aalert(1)" << true << QStringList{} << ""
                                << "这不是影音播放地址，不能交给外部播放器：javascript://%0aalert(1)";
    }
    void episodeMenu()
    {
        QFETCH(QString, address);
        QFETCH(bool, videoPlayer);
        QFETCH(QStringList, started);
        QFETCH(QString, opened);
        QFETCH(QString, said);
        QTemporaryDir xdg;
        QVERIFY(QDir().mkpath(xdg.filePath("applications")));
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"})
            qputenv(name, xdg.path().toUtf8());
        if (videoPlayer) {
            QVERIFY(writeAll(xdg.filePath("applications/player.desktop"),
                             "[Desktop Entry]\nType=Application\nName=Player\nExec=player --fs %U\n"));
            QVERIFY(writeAll(xdg.filePath("mimeapps.list"),
                             "[Default Applications]\nvideo/mp4=player.desktop\n"
                             "x-scheme-handler/rtsp=player.desktop\nx-scheme-handler/bdhd=player.desktop\n"));
        }
        m_server.on(dy7, Reply(200, ("E0$" + address).toUtf8()));
        WindowFixture f(m_server.site());
        QStringList openedNow;
        QStringList startedNow;
        f.services.openUrl = [&](const QString &url, const std::function<void(bool)> &finished) {
            openedNow << url;
            finished(true);
        };
        f.services.startProgram = [&](const QString &program, const QStringList &arguments) {
            startedNow = QStringList{program} + arguments;
            return true;
        };
        frmMain &w = open(f);
        QVERIFY(!w.episodeMenu(nullptr));
        click(w, 0);
        const std::unique_ptr<QMenu> menu = w.episodeMenu(episode(w, "Pid0"));
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 4);
        QCOMPARE(menu->actions().at(0)->text(), QString("用外部播放器打开"));
        QCOMPARE(menu->actions().at(1)->text(), QString("复制播放地址"));
        // Only a web address is kept or goes to a TV; the others say why.
        QCOMPARE(menu->actions().at(2)->text(), QString("下载"));
        QCOMPARE(menu->actions().at(3)->text(), QString("投屏到…"));
        for (int i : {2, 3}) {
            QCOMPARE(menu->actions().at(i)->isEnabled(), address.startsWith("http"));
            // An action's tool tip is its text unless a reason was set.
            QAction *action = menu->actions().at(i);
            QCOMPARE(action->toolTip() == action->text(), address.startsWith("http"));
        }
        menu->actions().at(0)->trigger();
        QCOMPARE(startedNow, started);
        QCOMPARE(openedNow, opened.isEmpty() ? QStringList() : QStringList{opened});
        QCOMPARE(f.messages.texts, said.isEmpty() ? QStringList() : QStringList{said});
        menu->actions().at(1)->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), address);
    }

    // A click that waits for the site says so over the right pane after a
    // moment, until the answer comes or fails; a quick one never does.
    void detailWaitIsShown_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<bool>("shown");
        QTest::newRow("slow answer") << 200 << 800 << true;
        QTest::newRow("slow failure") << 500 << 800 << true;
        QTest::newRow("quick answer") << 200 << 0 << false;
    }
    void detailWaitIsShown()
    {
        QFETCH(int, status);
        QFETCH(int, delayMs);
        QFETCH(bool, shown);
        m_server.on(dy7, Reply(status, "E0$p://a").delay(delayMs));
        m_server.on("Lx=Nr&Id=7", Reply(200, "简介"));
        WindowFixture f(m_server.site());
        frmMain &w = open(f);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto *label = w.findChild<QLabel *>("detailWait");
        QVERIFY(label);
        QElapsedTimer clock;
        qint64 shownAfter = -1;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (label->isVisible() && shownAfter < 0)
                shownAfter = clock.elapsed();
        });
        poll.start(10);
        clock.start();
        click(w, 0);
        poll.stop();
        QCOMPARE(shownAfter >= 0, shown);
        if (shown) {
            QVERIFY2(shownAfter >= 250, qPrintable(QString::number(shownAfter)));
            QCOMPARE(label->text(), QString("正在读取影片信息…"));
            QVERIFY(QRect(352, 0, 705, 457).contains(label->geometry()));
        }
        QVERIFY(!label->isVisible());
        QCOMPARE(f.messages.texts.size(), status == 200 ? 0 : 1);
    }

    // A dedicated player's address: the desktop is asked for a program that
    // takes the scheme, and the opener (a stand-in xdg-open) is watched.
    void externalOpener_data()
    {
        QTest::addColumn<bool>("registered"); // a program takes bdhd:
        QTest::addColumn<int>("exitCode");    // the opener's
        QTest::addColumn<bool>("opened");     // the opener was run
        QTest::addColumn<bool>("said");       // the user is told none opened it
        QTest::newRow("no program for it") << false << 0 << false << true;
        QTest::newRow("the opener fails") << true << 4 << true << true;
        QTest::newRow("the opener opens it") << true << 0 << true << false;
    }
    void externalOpener()
    {
        QFETCH(bool, registered);
        QFETCH(int, exitCode);
        QFETCH(bool, opened);
        QFETCH(bool, said);
        QTemporaryDir xdg;
        QVERIFY(QDir().mkpath(xdg.filePath("applications")));
        QVERIFY(QDir().mkpath(xdg.filePath("bin")));
        const QByteArray path = qgetenv("PATH");
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"})
            qputenv(name, xdg.path().toUtf8());
        qputenv("PATH", xdg.filePath("bin").toUtf8() + ':' + path);
        if (registered) {
            QVERIFY(writeAll(xdg.filePath("applications/bd.desktop"),
                             "[Desktop Entry]\nType=Application\nName=BD\nExec=bd %u\n"));
            QVERIFY(writeAll(xdg.filePath("mimeapps.list"), "[Default Applications]\nx-scheme-handler/bdhd=bd.desktop\n"));
        }
        const QString record = xdg.filePath("opened");
        const QString opener = xdg.filePath("bin/xdg-open");
        QVERIFY(writeAll(opener, QString("#!/bin/sh\nprintf '%s' \"$1\" > '%1'\nexit %2\n").arg(record).arg(exitCode).toUtf8()));
        QVERIFY(QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        const QString address = "bdhd://1|AB|x.rmvb";
        m_server.on(dy7, Reply(200, ("E0$" + address).toUtf8()));
        WindowFixture f(m_server.site());
        frmMain &w = open(f);
        click(w, 0);
        w.episodeMenu(episode(w, "Pid0"))->actions().at(0)->trigger();
        const QStringList expected{"没有找到可以打开 bdhd: 地址的程序。可以复制播放地址，交给已安装的播放器。"};
        if (opened)
            QTRY_COMPARE(readAll(record), address.toUtf8());
        QTRY_VERIFY(w.findChildren<QProcess *>().isEmpty());
        QCOMPARE(f.messages.texts, said ? expected : QStringList());
        QCOMPARE(QFile::exists(record), opened);
        qputenv("PATH", path);
    }

    // A copied address says so for a while: at its episode, or in the
    // player area when that shows.
    void copyIsConfirmed()
    {
        m_server.on(dy7, Reply(200, "E0$bdhd://1|AB|x.rmvb\rE1$http://v.example/1.mp4"));
        WindowFixture f(m_server.site());
        frmMain &w = open(f);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        click(w, 0);
        w.episodeMenu(episode(w, "Pid1"))->actions().at(1)->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("http://v.example/1.mp4"));
        QVERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QString("已复制播放地址"));
        QTRY_VERIFY_WITH_TIMEOUT(!QToolTip::isVisible(), 4000);

        w.playerView()->showUnsupported("bdhd://1|AB|x.rmvb");
        w.episodeMenu(episode(w, "Pid0"))->actions().at(1)->trigger();
        QCOMPARE(w.playerView()->noticeText(), QString("已复制播放地址"));
        QVERIFY(!QToolTip::isVisible());
    }

private:
    // A window whose catalogue was synced today, listing three titles.
    frmMain &open(WindowFixture &f)
    {
        {
            kinolark::store::Catalogue catalogue;
            catalogue.open(f.file("data.db"));
            QSqlQuery query(catalogue.database());
            query.prepare("update cdate set up_date = ?");
            query.addBindValue(f.today);
            query.exec();
        }
        frmMain &w = f.make();
        w.Form_Load();
        w.titleModel().setTitles({{7, "天下"}, {8, "无名"}, {9, "英雄"}});
        return w;
    }
    void click(frmMain &w, int row)
    {
        selectTitle(w, row);
        w.TreeView2_NodeClick();
    }

    ScriptedServer m_server;
};

QTEST_MAIN(tst_TitleDetail)
#include "tst_title_detail.moc"
