// The whole program with the real web engine, against the sample site:
// start-up and sync, browsing, a title, an episode, live television, and a
// second start the same day.

#include "playback/play_page.h"
#include "recording_messages.h"
#include "sample_site_process.h"
#include "shell/main_window.h"
#include "shell/player_scheme.h"
#include "shell/web_engine_browser.h"
#include "shell/web_profile.h"
#include "store/today.h"
#include "temp_folder.h"
#include "web_engine_test_main.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QTest>

using namespace kinolark;

namespace {

QWebEngineView *view(shell::Browser *browser)
{
    return static_cast<shell::WebEngineBrowser *>(browser)->view();
}

// What a script in the shown page answers.
QVariant evaluate(shell::Browser *browser, const QString &script)
{
    QVariant result;
    bool done = false;
    view(browser)->page()->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        return QStringLiteral("<no answer>");
    return result;
}

QString pageText(shell::Browser *browser)
{
    return evaluate(browser, QStringLiteral("document.body ? document.body.innerText : ''")).toString();
}

QStringList catalogueRequests(const QString &log)
{
    QStringList requests;
    for (const QString &line : QString::fromUtf8(readAll(log)).split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("/Uploads/xml.php")))
            requests << line;
    return requests;
}

} // namespace

class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    // Normal use writes no warnings.
    void init() { QTest::failOnWarning(QRegularExpression(".*")); }

    void wholeFlow()
    {
        SampleSiteProcess site;
        QTemporaryDir folder;
        const QString log = folder.filePath("site.log");
        QVERIFY2(site.start({"--log", log}), qPrintable(site.error()));
        QVERIFY(QFile::copy(qEnvironmentVariable("KINOLARK_SOURCE_DIR") + "/data/tv.htm", folder.filePath("tv.htm")));

        QNetworkAccessManager network;
        RecordingMessages messages;
        shell::Services services;
        services.appFolder = folder.path();
        services.site = site.site();
        services.network = &network;
        QWebEngineProfile *profile = shell::makeWebProfile(qApp, {site.site(), playback::defaultPlayerScript()});
        services.makeBrowser = [profile](QWidget *parent) { return new shell::WebEngineBrowser(profile, parent); };
        new shell::PlayerScheme(profile);
        services.messages = &messages;
        services.today = &store::todayString;
        services.requestTimeoutMs = 20000;

        // Start-up: the first of the day syncs the catalogue and checks the version.
        auto window = std::make_unique<shell::frmMain>(services);
        shell::frmMain &w = *window;
        QVERIFY(w.Form_Load());
        QCOMPARE(catalogueRequests(log), (QStringList{"/Uploads/xml.php?Lx=All&Id=0", "/Uploads/xml.php?Lx=Up"}));
        QVERIFY2(messages.texts.isEmpty(), qPrintable(messages.texts.join('\n')));
        {
            QSqlQuery count(w.conn.database());
            QVERIFY(count.exec("select count(*) from vod") && count.next());
            QVERIFY(count.value(0).toInt() >= 400);
        }
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        // The notice page, written in GBK, reads as Chinese in the real engine.
        const QUrl home = QUrl::fromLocalFile(folder.filePath("home.htm"));
        QTRY_COMPARE_WITH_TIMEOUT(view(w.WebBrowser1)->url(), home, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(pageText(w.WebBrowser1).contains("本软件播放电影，需要安装百度影音"), 20000);

        // A category, a letter, a search.
        clickNode(w, "cid8");
        const int inCategory = w.titleModel().nodeCount();
        QVERIFY(inCategory > 0);
        clickNode(w, "8$'a'");
        QVERIFY(w.titleModel().nodeCount() > 0);
        QVERIFY(w.titleModel().nodeCount() < inCategory);
        const QString someName = w.titleModel().nodeText(1);
        w.txtSearch->setText(someName);
        QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
        bool found = false;
        for (int i = 1; i <= w.titleModel().nodeCount(); ++i)
            found = found || w.titleModel().nodeText(i) == someName;
        QVERIFY(found);
        QVERIFY2(messages.texts.isEmpty(), qPrintable(messages.texts.join('\n')));

        // A title with episodes: its description and its episodes.
        clickNode(w, "cid8");
        int row = 0;
        for (; row < w.titleModel().nodeCount() && w.ListView1->count() == 0; ++row) {
            messages.texts.clear();
            const QModelIndex index = w.titleRows().index(row, 0);
            w.TreeView2->scrollTo(index);
            QTest::mouseClick(w.TreeView2->viewport(), Qt::LeftButton, {}, w.TreeView2->visualRect(index).center());
        }
        QVERIFY(w.ListView1->count() > 0);
        QVERIFY(w.txtNr->isVisible());
        QVERIFY(!w.txtNr->toPlainText().trimmed().isEmpty());
        QVERIFY(!w.txtNr->toPlainText().contains("<p>"));
        QVERIFY(w.windowTitle().startsWith("当前选择的电影是："));

        // An episode: play.htm written and loaded in the first browser.
        QListWidgetItem *episode = w.ListView1->item(0);
        w.ListView1->scrollToItem(episode);
        QTest::mouseClick(w.ListView1->viewport(), Qt::LeftButton, {}, w.ListView1->visualItemRect(episode).center());
        const QUrl play = QUrl::fromLocalFile(folder.filePath("play.htm"));
        QTRY_COMPARE_WITH_TIMEOUT(view(w.WebBrowser1)->url(), play, 20000);
        QVERIFY(!w.txtNr->isVisible());
        const int line = episode->data(Qt::UserRole).toString().remove("Pid").toInt();
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(w.WebBrowser1, "BdPlayer['url']").toString(), w.PlayUrls.at(line), 20000);

        // Live television over the list and the player.
        clickNode(w, "cid0");
        QVERIFY(w.WebBrowser2->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(view(w.WebBrowser2)->url(), QUrl::fromLocalFile(folder.filePath("tv.htm")), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(pageText(w.WebBrowser2).contains("电视直播"), 20000);
        clickNode(w, "cid9");
        QVERIFY(!w.WebBrowser2->isVisible());
        QVERIFY2(messages.texts.isEmpty(), qPrintable(messages.texts.join('\n')));

        // A second start the same day asks the site nothing.
        window.reset();
        const QStringList before = catalogueRequests(log);
        auto again = std::make_unique<shell::frmMain>(services);
        QVERIFY(again->Form_Load());
        again->show();
        QVERIFY(QTest::qWaitForWindowExposed(again.get()));
        QTRY_COMPARE_WITH_TIMEOUT(view(again->WebBrowser1)->url(), home, 20000);
        QCOMPARE(catalogueRequests(log), before);
        QVERIFY(messages.texts.isEmpty());
    }

private:
    static void clickNode(shell::frmMain &w, const QString &key)
    {
        QTreeWidgetItem *item = nullptr;
        for (QTreeWidgetItemIterator it(w.TreeView1); *it && !item; ++it)
            if ((*it)->data(0, Qt::UserRole).toString() == key)
                item = *it;
        QVERIFY2(item, qPrintable(key));
        for (QTreeWidgetItem *p = item->parent(); p; p = p->parent())
            p->setExpanded(true);
        w.TreeView1->scrollToItem(item);
        QTest::mouseClick(w.TreeView1->viewport(), Qt::LeftButton, {}, w.TreeView1->visualItemRect(item).center());
    }
};

KINOLARK_WEBENGINE_TEST_MAIN(tst_EndToEnd)

#include "tst_end_to_end.moc"
