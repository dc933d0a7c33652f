// The built-in player in the whole window, with the real web engine and real
// libmpv, against the sample site and its media: the play page hands its
// address over, the episode plays and is drawn, a title click stops it, and
// addresses that cannot or do not play say so.

#include "playback/play_page.h"
#include "recording_messages.h"
#include "sample_site_process.h"
#include "shell/main_window.h"
#include "shell/play_hand_off.h"
#include "shell/player_scheme.h"
#include "shell/player_view.h"
#include "shell/web_engine_browser.h"
#include "shell/web_profile.h"
#include "store/catalogue.h"
#include "store/today.h"
#include "temp_folder.h"
#include "web_engine_test_main.h"

#include <QApplication>
#include <QListView>
#include <QListWidget>
#include <QProcess>
#include <QScreen>
#include <QSqlQuery>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QTest>
#include <QSignalSpy>

using namespace kinolark;

namespace {

QWebEngineView *view(shell::Browser *browser)
{
    return static_cast<shell::WebEngineBrowser *>(browser)->view();
}

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

// Share of the pixels that are not (nearly) black.
double litShare(const QImage &image)
{
    qint64 lit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            lit += qGray(image.pixel(x, y)) > 40 ? 1 : 0;
    return image.isNull() ? 0 : double(lit) / (double(image.width()) * image.height());
}

} // namespace

class tst_PlayerWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        QProcess media;
        media.start(qEnvironmentVariable("KINOLARK_SOURCE_DIR") + "/scripts/media",
                    {m_folder.filePath("media"), "320x180", "5"});
        QVERIFY(media.waitForFinished(60000));
        QCOMPARE(media.exitCode(), 0);
        QVERIFY2(m_site.start({"--media", m_folder.filePath("media")}), qPrintable(m_site.error()));

        m_services.appFolder = m_folder.path();
        m_services.site = m_site.site();
        m_services.network = &m_network;
        QWebEngineProfile *profile = shell::makeWebProfile(qApp, {m_site.site(), playback::defaultPlayerScript()});
        m_services.makeBrowser = [profile](QWidget *parent) { return new shell::WebEngineBrowser(profile, parent); };
        new shell::PlayerScheme(profile);
        m_services.messages = &m_messages;
        m_services.today = &store::todayString;
        m_services.requestTimeoutMs = 20000;

        m_window = std::make_unique<shell::frmMain>(m_services);
        QVERIFY(m_window->Form_Load());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QTRY_VERIFY_WITH_TIMEOUT(view(m_window->WebBrowser1)->url().isLocalFile(), 20000);
    }

    void init() { QTest::failOnWarning(QRegularExpression(".*")); }

    void episodeClickPlaysAndTitleClickStops()
    {
        shell::frmMain &w = *m_window;
        openTitle(6);
        QSignalSpy handedOff(w.playHandOff(), &shell::PlayHandOff::handedOff);
        clickEpisode(0);
        QTRY_COMPARE_WITH_TIMEOUT(handedOff.count(), 1, 20000);
        QCOMPARE(handedOff.at(0).at(0).toString(), w.PlayUrls.at(0));
        QCOMPARE(handedOff.at(0).at(1).toSize(), QSize(680, 445));

        shell::PlayerView *player = w.playerView();
        QVERIFY(player->isVisible());
        // The whole of the page's area: the picture is centred in it.
        QCOMPARE(player->geometry(), w.WebBrowser1->geometry());
        QTRY_VERIFY_WITH_TIMEOUT(player->player()->position() > 1.0, 20000);
        QCOMPARE(player->player()->state(), player::Player::State::Playing);
        QVERIFY(player->drawsWithOpenGl());
        // The test pattern is on the screen, not a black rectangle.
        QTRY_VERIFY_WITH_TIMEOUT(litShare(grab(player)) > 0.3, 10000);

        // A title click ends it, as soon as the notice page starts loading.
        openTitle(6);
        QTRY_VERIFY_WITH_TIMEOUT(!player->isVisible(), 10000);
        QCOMPARE(player->player()->state(), player::Player::State::Idle);
    }

    void unsupportedAndMissingAddressesSaySo()
    {
        shell::frmMain &w = *m_window;
        openTitle(23);
        shell::PlayerView *player = w.playerView();
        clickEpisode(2); // bdhd:
        QTRY_VERIFY_WITH_TIMEOUT(player->showsUnsupported(), 20000);
        QVERIFY(player->isVisible());

        clickEpisode(1); // 404
        QTRY_VERIFY_WITH_TIMEOUT(player->statusText().contains("找不到"), 20000);
        QVERIFY(!player->showsUnsupported());
        QVERIFY(player->statusText().contains("missing.mp4"));
        QVERIFY2(m_messages.texts.isEmpty(), qPrintable(m_messages.texts.join('\n')));
    }

    void twentyQuickClicksPlayTheLast()
    {
        shell::frmMain &w = *m_window;
        openTitle(6);
        // MP4 and HLS in turn, HLS last.
        for (int click = 0; click < 20; ++click)
            clickEpisode(click % 2);
        shell::PlayerView *player = w.playerView();
        QTRY_VERIFY_WITH_TIMEOUT(player->player()->position() > 1.0, 20000);
        QCOMPARE(player->player()->address(), w.PlayUrls.at(1));
        QVERIFY(player->player()->address().endsWith(".m3u8"));
        QCOMPARE(player->player()->state(), player::Player::State::Playing);
    }

    void handOffDeliversHostileAddressesExactly_data()
    {
        QTest::addColumn<QString>("address");
        const QString base = "http://127.0.0.1:1/";
        QTest::newRow("quote") << base + "it's";
        QTest::newRow("backslash") << base + "a\\'b\\\\";
        QTest::newRow("script end") << base + "</script><script>alert(1)</script>";
        QTest::newRow("CR LF") << base + "a\r\nb\rc\nd";
        QTest::newRow("non-ASCII") << base + "第一集 €/ü/🎬?x=中&y=%41+";
        QTest::newRow("10 000 characters") << base + QString(10000 - base.size(), QChar('x'));
    }

    void handOffDeliversHostileAddressesExactly()
    {
        QFETCH(QString, address);
        shell::frmMain &w = *m_window;
        openTitle(6);
        w.PlayUrls[0] = address;
        QSignalSpy handedOff(w.playHandOff(), &shell::PlayHandOff::handedOff);
        clickEpisode(0);
        QTRY_COMPARE_WITH_TIMEOUT(handedOff.count(), 1, 20000);
        QCOMPARE(handedOff.at(0).at(0).toString(), address);
        // Nothing plays there: the player says so and the window goes on.
        QTRY_VERIFY_WITH_TIMEOUT(w.playerView()->player()->state() == player::Player::State::Failed, 30000);
    }

    void onlyTheProgramsPlayPageHandsOver()
    {
        shell::frmMain &w = *m_window;
        QSignalSpy loaded(view(w.WebBrowser1)->page(), &QWebEnginePage::loadFinished);
        openTitle(6);
        // A script on the notice page (the site's own runs there) loads the
        // player script and asks for a hand-off as the play page does: it
        // is refused.
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 20000);
        QCOMPARE(view(w.WebBrowser1)->url().fileName(), "home.htm");
        QVERIFY(!w.playerView()->isVisible());
        QSignalSpy asked(w.WebBrowser1, &shell::Browser::handOffRequested);
        QSignalSpy handedOff(w.playHandOff(), &shell::PlayHandOff::handedOff);
        const QString script = "window.BdPlayer = {url: 'http://127.0.0.1:1/x', width: 680, height: 445};"
                               "var s = document.createElement('script');"
                               "s.src = 'kinolark://player/lib/player.js';"
                               "document.body.appendChild(s); 'ran';";
        QCOMPARE(evaluate(w.WebBrowser1, script).toString(), "ran");
        QTRY_COMPARE_WITH_TIMEOUT(asked.count(), 1, 20000);
        QCOMPARE(asked.at(0).at(0).toUrl(), QUrl::fromLocalFile(m_folder.filePath("home.htm")));
        // The page stays where it was.
        QCOMPARE(view(w.WebBrowser1)->url().fileName(), "home.htm");
        QCOMPARE(handedOff.count(), 0);
        QVERIFY(!w.playerView()->isVisible());
    }

    void closingWhilePlayingStoresWhereItStopped()
    {
        shell::frmMain &w = *m_window;
        openTitle(6);
        QTRY_VERIFY_WITH_TIMEOUT(!w.playerView()->isVisible(), 20000);
        clickEpisode(2);
        QTRY_VERIFY2_WITH_TIMEOUT(w.playerView()->player()->position() > 0.5,
                                  qPrintable(w.playerView()->statusText() + " / " + view(w.WebBrowser1)->url().toString()
                                             + " / " + QString::number(int(w.playerView()->player()->state()))),
                                  20000);
        m_window.reset();

        store::Catalogue catalogue;
        QCOMPARE(catalogue.open(m_folder.filePath("data.db")), store::Catalogue::OpenResult::Opened);
        QSqlQuery query(catalogue.database());
        QVERIFY(query.exec("select address, position, duration from watch_position where title_id = 6 and line = 2"));
        QVERIFY(query.next());
        QVERIFY(query.value(0).toString().endsWith("/media/sample.mp4"));
        QCOMPARE(query.value(1).toDouble(), 0.0); // within the first 30 s
        QVERIFY(query.value(2).toDouble() > 4);
    }

    void cleanupTestCase()
    {
        m_window.reset();
        m_site.stop();
    }

private:
    QImage grab(QWidget *widget)
    {
        const QPoint at = widget->mapToGlobal(QPoint(0, 0));
        return widget->screen()->grabWindow(0, at.x(), at.y(), widget->width(), widget->height()).toImage();
    }

    void openTitle(qint64 id)
    {
        shell::frmMain &w = *m_window;
        if (w.titleModel().nodeCount() == 0 || !titleRow(id).isValid())
            clickNode("cid8");
        const QModelIndex index = titleRow(id);
        QVERIFY2(index.isValid(), qPrintable(QString::number(id)));
        w.TreeView2->scrollTo(index);
        QTest::mouseClick(w.TreeView2->viewport(), Qt::LeftButton, {}, w.TreeView2->visualRect(index).center());
        QTRY_VERIFY_WITH_TIMEOUT(w.ListView1->count() > 0, 20000);
    }

    QModelIndex titleRow(qint64 id)
    {
        browse::TitleRows &model = m_window->titleRows();
        for (int row = 0; row < model.rowCount(); ++row) {
            const QModelIndex index = model.index(row, 0);
            if (index.data(browse::TitleListModel::IdRole).toLongLong() == id)
                return index;
        }
        return {};
    }

    void clickEpisode(int line)
    {
        QListWidget *list = m_window->ListView1;
        for (int row = 0; row < list->count(); ++row) {
            QListWidgetItem *item = list->item(row);
            if (item->data(Qt::UserRole).toString() == "Pid" + QString::number(line)) {
                list->scrollToItem(item);
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
                return;
            }
        }
        QFAIL(qPrintable("no episode on line " + QString::number(line)));
    }

    void clickNode(const QString &key)
    {
        QTreeWidgetItem *item = nullptr;
        for (QTreeWidgetItemIterator it(m_window->TreeView1); *it && !item; ++it)
            if ((*it)->data(0, Qt::UserRole).toString() == key)
                item = *it;
        QVERIFY2(item, qPrintable(key));
        for (QTreeWidgetItem *p = item->parent(); p; p = p->parent())
            p->setExpanded(true);
        m_window->TreeView1->scrollToItem(item);
        QTest::mouseClick(m_window->TreeView1->viewport(), Qt::LeftButton, {},
                          m_window->TreeView1->visualItemRect(item).center());
    }

    QTemporaryDir m_folder;
    SampleSiteProcess m_site;
    QNetworkAccessManager m_network;
    RecordingMessages m_messages;
    shell::Services m_services;
    std::unique_ptr<shell::frmMain> m_window;
};

KINOLARK_WEBENGINE_TEST_MAIN(tst_PlayerWindow)

#include "tst_player_window.moc"
