// Full screen and back under a real window manager (openbox on the test's
// X server): the window comes back exactly where, and as large as, it was.

#include "shell/player_view.h"
#include "window_fixture.h"

#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

using kinolark::shell::frmMain;

class tst_FullScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("openbox").isEmpty() || QStandardPaths::findExecutable("xprop").isEmpty())
            QSKIP("needs openbox and xprop");
        m_manager.setStandardErrorFile(QProcess::nullDevice());
        m_manager.start("openbox", {"--sm-disable"});
        QVERIFY(m_manager.waitForStarted(10000));
        // Managing the screen: windows made from now on are framed.
        QVERIFY(QTest::qWaitFor(
            [] {
                QProcess xprop;
                xprop.start("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"});
                xprop.waitForFinished(5000);
                return xprop.readAllStandardOutput().contains("window id");
            },
            10000));
    }
    void cleanupTestCase()
    {
        m_manager.terminate();
        m_manager.waitForFinished(5000);
    }

    void backToTheExactGeometry()
    {
        WindowFixture f;
        f.prepareCatalogue({});
        frmMain &w = f.load();
        // Framed by the window manager, and settled.
        QTRY_VERIFY_WITH_TIMEOUT(w.frameGeometry() != w.geometry(), 10000);
        w.move(100, 80);
        QTRY_COMPARE(w.geometry().topLeft(), QPoint(100, 80) + (w.geometry().topLeft() - w.frameGeometry().topLeft()));
        const QRect before = w.geometry();
        const QRect frameBefore = w.frameGeometry();

        kinolark::shell::PlayerView *view = w.playerView();
        view->showUnsupported("bdhd://vod.example/1.rmvb");
        const QRect viewBefore = view->geometry();
        view->setFullScreen(true);
        QTRY_VERIFY_WITH_TIMEOUT(w.isFullScreen() && w.geometry() == w.screen()->geometry(), 10000);
        QTRY_COMPARE(view->geometry(), w.rect());

        view->setFullScreen(false);
        QTRY_VERIFY_WITH_TIMEOUT(!w.isFullScreen() && w.geometry() == before, 10000);
        QTRY_COMPARE(w.frameGeometry(), frameBefore);
        QCOMPARE(w.size(), QSize(frmMain::clientWidth, frmMain::clientHeight));
        QCOMPARE(view->geometry(), viewBefore);
    }

private:
    QProcess m_manager;
};

QTEST_MAIN(tst_FullScreen)
#include "tst_full_screen.moc"
