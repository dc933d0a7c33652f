// Casting from the window, on a network of the test's own with gmediarender
// as the TV: the episode's "投屏到…" lists it, choosing it shows the cast
// panel with its name and the position advancing, and "在本机播放" brings the
// episode back into the window.

#include "cast/cast_target.h"
#include "cast/renderer_list.h"
#include "player/episode_session.h"
#include "private_network.h"
#include "renderer_process.h"
#include "sample_site_process.h"
#include "scripted_server.h"
#include "shell/cast_panel.h"
#include "shell/player_view.h"
#include "window_fixture.h"

#include <QListWidget>
#include <QMenu>
#include <QStandardPaths>
#include <QTest>

using kinolark::shell::frmMain;
using State = kinolark::player::PlaybackTarget::State;

class tst_CastWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!PrivateNetwork::instance().ready())
            QSKIP(qPrintable(PrivateNetwork::instance().reason()));
        if (QStandardPaths::findExecutable("gmediarender").isEmpty())
            QSKIP("needs gmediarender (scripts/deps)");
        const QString media = qEnvironmentVariable("KINOLARK_BINARY_DIR") + "/tests/cast/media";
        QCOMPARE(QProcess::execute(qEnvironmentVariable("KINOLARK_SOURCE_DIR") + "/scripts/media",
                                   {media, "160x90", "20"}),
                 0);
        QVERIFY2(m_media.start({"--titles", "0", "--media", media}), qPrintable(m_media.error()));
        QVERIFY(m_site.listen());
        m_clip = m_media.site() + "/media/sample.mp4";
        m_site.on("Lx=Dy&Id=7", ScriptedServer::Reply(200, ("第01集$" + m_clip).toUtf8()));
        m_site.on("Lx=Nr&Id=7", ScriptedServer::Reply(200, "简介"));
    }

    void castAndComeBack()
    {
        RendererProcess tv;
        QVERIFY2(tv.start(PrivateNetwork::instance().rendererInterface(), "客厅电视",
                          "3d6c1a2e-0000-4000-8000-00000000c0de", 49494),
                 tv.output().constData());
        WindowFixture f(m_site.site());
        f.services.findRenderers = true;
        f.prepareCatalogue({});
        frmMain &w = f.load();
        w.titleModel().setTitles({{7, "天下"}});
        w.TreeView2->setCurrentIndex(w.titleModel().index(0));
        w.TreeView2_NodeClick();
        QCOMPARE(w.ListView1->count(), 1);

        // The episode's menu lists the TV once the search has found it.
        const std::unique_ptr<QMenu> menu = w.episodeMenu(w.ListView1->item(0));
        QMenu *toTv = nullptr;
        for (QAction *action : menu->actions())
            if (action->text() == "投屏到…")
                toTv = action->menu();
        QVERIFY(toTv);
        QAction *device = nullptr;
        QVERIFY(QTest::qWaitFor(
            [&] {
                emit toTv->aboutToShow();
                for (QAction *action : toTv->actions())
                    if (action->text() == "客厅电视")
                        device = action;
                return device != nullptr;
            },
            10000));
        device->trigger();

        kinolark::shell::CastPanel *panel = w.castPanel();
        QVERIFY(w.casting());
        QVERIFY(panel->isVisible());
        QVERIFY(!w.playerView()->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(w.castTarget()->state(), State::Playing, 20000);
        QCOMPARE(panel->headline(), QString("正在投屏到 客厅电视"));
        QTRY_VERIFY_WITH_TIMEOUT(w.castTarget()->position() >= 2, 10000);

        // Back into the window, from where the TV got to.
        const double onTv = w.castTarget()->position();
        w.playHere();
        QVERIFY(!w.casting());
        QVERIFY(!panel->isVisible());
        QVERIFY(w.playerView()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(w.playerView()->player()->position() >= onTv - 1, 15000);
        QCOMPARE(w.castTarget()->state(), State::Idle);
    }

private:
    SampleSiteProcess m_media;
    ScriptedServer m_site;
    QString m_clip;
};

int main(int argc, char *argv[])
{
    // Before any thread: a namespace is entered by the calling thread alone.
    PrivateNetwork::instance().enter();
    // The TV's Chinese name passes through GLib's idea of the charset.
    qputenv("CHARSET", "UTF-8");
    QApplication app(argc, argv);
    tst_CastWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cast_window.moc"
