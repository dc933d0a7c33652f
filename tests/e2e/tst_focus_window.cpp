// Tab round the window with the real web engine and real key events: the
// stops are the shown controls in their order, and every stop shows where
// the focus is.

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
#include <QGroupBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <QWebEngineView>
#include <QTest>

using namespace kinolark;

class tst_FocusWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_site.start(), qPrintable(m_site.error()));
        QVERIFY(QFile::copy(qEnvironmentVariable("KINOLARK_SOURCE_DIR") + "/data/tv.htm", m_folder.filePath("tv.htm")));
        m_services.appFolder = m_folder.path();
        m_services.site = m_site.site();
        m_services.network = &m_network;
        QWebEngineProfile *profile = shell::makeWebProfile(qApp, {m_site.site(), playback::defaultPlayerScript()});
        m_services.makeBrowser = [profile](QWidget *parent) { return new shell::WebEngineBrowser(profile, parent); };
        new shell::PlayerScheme(profile);
        m_services.messages = &m_messages;
        m_services.today = &store::todayString;
        m_services.findRenderers = false;
        m_services.desktopBus = QStringLiteral("none");
        m_services.downloadsFolder = m_folder.filePath(QStringLiteral("downloads"));
        m_window = std::make_unique<shell::frmMain>(m_services);
        QVERIFY(m_window->Form_Load());
        m_window->show();
        // No window manager gives it the focus.
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QTRY_VERIFY_WITH_TIMEOUT(static_cast<shell::WebEngineBrowser *>(m_window->WebBrowser1)->view()->url().isLocalFile(),
                                 20000);
    }

    void tabRound_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("stops");
        QTest::newRow("start") << "start"
                               << QStringList{"txtSearch", "cmdSearch", "TreeView2", "WebBrowser1", "ListView1",
                                              "TreeView1"};
        // The description covers the first browser.
        QTest::newRow("title") << "title"
                               << QStringList{"txtSearch", "cmdSearch", "TreeView2", "ListView1", "txtNr",
                                              "TreeView1"};
        // Live television covers the title list, the browser and the episodes.
        QTest::newRow("live tv") << "tv" << QStringList{"txtSearch", "cmdSearch", "WebBrowser2", "TreeView1"};
    }
    void tabRound()
    {
        QFETCH(QString, state);
        QFETCH(QStringList, stops);
        shell::frmMain &w = *m_window;
        if (state == "title") {
            clickNode("cid8");
            for (int row = 0; row < w.titleModel().nodeCount() && w.ListView1->count() == 0; ++row) {
                const QRect rect = w.TreeView2->visualRect(w.titleRows().index(row, 0));
                QTest::mouseClick(w.TreeView2->viewport(), Qt::LeftButton, {}, rect.center());
            }
            QVERIFY(w.txtNr->isVisible());
        } else if (state == "tv") {
            clickNode("cid0");
            QVERIFY(w.WebBrowser2->isVisible());
        }
        QVERIFY(m_messages.texts.isEmpty());
        w.TreeView1->setFocus();
        QTRY_COMPARE(control(QApplication::focusWidget()), QString("TreeView1"));

        // Each stop as it looks holding the focus, compared with how it looks
        // once the focus has moved on.
        QStringList seen;
        QRect area;
        QImage holding;
        for (int i = 0; i < stops.size(); ++i) {
            const QString before = control(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            // A web page passes the focus on once it has gone through its links.
            // Its renderer answers the key in its own time.
            QTRY_VERIFY_WITH_TIMEOUT(control(QApplication::focusWidget()) != before, 20000);
            if (i > 0)
                QVERIFY2(w.grab(area).toImage() != holding, qPrintable(seen.constLast() + " shows no focus"));
            QWidget *focused = QApplication::focusWidget();
            seen << control(focused);
            while (focused->parentWidget() != &w && focused->parentWidget() != static_cast<QWidget *>(w.frmSearch))
                focused = focused->parentWidget();
            area = QRect(focused->mapTo(&w, QPoint(0, 0)), focused->size());
            holding = w.grab(area).toImage();
        }
        QCOMPARE(seen, stops);
    }

    void cleanupTestCase() { m_window.reset(); }

private:
    // The named control of the window that holds `widget`.
    QString control(QWidget *widget) const
    {
        for (; widget && widget != m_window.get(); widget = widget->parentWidget()) {
            if (!widget->objectName().isEmpty() && widget->objectName() != "frmSearch")
                return widget->objectName();
        }
        return "<none>";
    }

    void clickNode(const QString &key)
    {
        QTreeWidgetItem *item = nullptr;
        for (QTreeWidgetItemIterator it(m_window->TreeView1); *it && !item; ++it)
            if ((*it)->data(0, Qt::UserRole).toString() == key)
                item = *it;
        QVERIFY2(item, qPrintable(key));
        m_window->TreeView1->scrollToItem(item);
        QTest::mouseClick(m_window->TreeView1->viewport(), Qt::LeftButton, {},
                          m_window->TreeView1->visualItemRect(item).center());
    }

    SampleSiteProcess m_site;
    QTemporaryDir m_folder;
    QNetworkAccessManager m_network;
    RecordingMessages m_messages;
    shell::Services m_services;
    std::unique_ptr<shell::frmMain> m_window;
};

KINOLARK_WEBENGINE_TEST_MAIN(tst_FocusWindow)

#include "tst_focus_window.moc"
