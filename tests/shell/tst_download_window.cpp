// Downloads from the window, against a site of the test's own: two episodes
// queued from the episode list, one paused, one finished, and the finished
// one played from 我的 → 下载 once the site has gone.
#include "download/download_list.h"
#include "download/download_manager.h"
#include "player/player.h"
#include "scripted_server.h"
#include "shell/main_window.h"
#include "shell/my_titles.h"
#include "shell/player_view.h"
#include "window_fixture.h"

#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QTest>

using namespace kinolark;
using download::DownloadList;
using library::DownloadState;
using Reply = ScriptedServer::Reply;

namespace {

QAction *action(QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions()) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

} // namespace

class tst_DownloadWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_media.isValid());
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25",
                                "-f", "lavfi", "-i", "sine", "-t", "3", "-c:v", "mpeg4", "-c:a", "aac", "-shortest",
                                m_media.filePath("clip.mp4")});
        QVERIFY(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0);
        QFile clip(m_media.filePath("clip.mp4"));
        QVERIFY(clip.open(QIODevice::ReadOnly));
        m_clip = clip.readAll();
    }

    void queuePauseFinishAndPlayOffline()
    {
        auto site = std::make_unique<ScriptedServer>();
        QVERIFY(site->listen());
        const QString root = site->site();
        site->on("Lx=Dy&Id=7", Reply(200, QString("第1集$%1/a.mp4\r第2集$%1/slow.mp4\r第3集$bdhd://x").arg(root).toUtf8()));
        site->on("Lx=Nr&Id=7", Reply(200, "简介"));
        site->on("/a.mp4", Reply(200, m_clip).type("video/mp4"));
        site->on("/slow.mp4", Reply(200, m_clip).type("video/mp4").paced(2000));

        WindowFixture f(root);
        f.prepareCatalogue({{7, 8, "天下", "t"}});
        QStringList opened;
        f.services.openUrl = [&](const QString &url, std::function<void(bool)> done) {
            opened << url;
            done(true);
        };
        shell::frmMain &w = f.load();
        download::DownloadManager *downloads = w.downloads();
        QVERIFY(downloads);
        f.clickNode("cid8");
        w.TreeView2->setCurrentIndex(w.titleRows().index(0, 0));
        w.TreeView2_NodeClick();
        QCOMPARE(w.ListView1->count(), 3);

        // Through each episode's menu; the bdhd: one cannot be kept.
        const auto episodeItem = [&](const QString &name) -> QListWidgetItem * {
            const QList<QListWidgetItem *> found = w.ListView1->findItems(name, Qt::MatchExactly);
            return found.isEmpty() ? nullptr : found.constFirst();
        };
        for (const QString name : {"第1集", "第2集", "第3集"}) {
            const std::unique_ptr<QMenu> menu = w.episodeMenu(episodeItem(name));
            QVERIFY(menu);
            QAction *keep = action(menu.get(), "下载");
            QVERIFY(keep);
            QCOMPARE(keep->isEnabled(), name != QString("第3集"));
            if (keep->isEnabled())
                keep->trigger();
        }
        QCOMPARE(downloads->count(), 2);

        // The slow one is paused from its row under 我的 → 下载.
        f.clickNode("my.downloads");
        auto *list = qobject_cast<DownloadList *>(w.TreeView2->model());
        QVERIFY(list);
        QCOMPARE(list->rowCount(), 2);
        const auto rowOf = [&](const QString &episode) {
            for (int i = 0; i < list->rowCount(); ++i) {
                if (list->rowAt(i)->entry.episodeName == episode)
                    return list->index(i);
            }
            return QModelIndex();
        };
        QCOMPARE(rowOf("第2集").data(Qt::DisplayRole).toString(), QString("天下"));
        QTRY_VERIFY(rowOf("第2集").data(browse::TitleRows::NoteRole).toString().startsWith("第2集 · 下载中"));
        // As much as the narrow tree has room for; the tool tip in full.
        QTRY_COMPARE(w.myTitles().downloadsNode()->toolTip(0), QString("下载 2 个，1 个正在下载"));
        QVERIFY(QStringList({"下载（1 个正在下载）", "下载（1 个进行中）", "下载 1/2"})
                    .contains(w.myTitles().downloadsNode()->text(0)));
        {
            const std::unique_ptr<QMenu> menu = w.downloadMenu(rowOf("第2集"));
            QVERIFY(menu);
            QVERIFY(!action(menu.get(), "继续"));
            action(menu.get(), "暂停")->trigger();
        }
        QTRY_COMPARE(rowOf("第2集").data(DownloadList::StateRole).toInt(), int(DownloadState::Paused));
        QTRY_COMPARE_WITH_TIMEOUT(rowOf("第1集").data(DownloadList::StateRole).toInt(), int(DownloadState::Done), 20000);
        QVERIFY(rowOf("第1集").data(browse::TitleRows::NoteRole).toString().startsWith("第1集 · 已完成"));
        QTRY_COMPARE(w.myTitles().downloadsNode()->text(0), QString("下载 (2)"));
        {
            const std::unique_ptr<QMenu> menu = w.downloadMenu(rowOf("第2集"));
            QVERIFY(action(menu.get(), "继续"));
        }
        const QString file = downloads->localFileFor(7, 0);
        QVERIFY(QFile::exists(file));
        QVERIFY(file.startsWith(f.services.downloadsFolder + "/"));
        action(w.downloadMenu(rowOf("第1集")).get(), "打开所在文件夹")->trigger();
        QCOMPARE(opened, QStringList{QUrl::fromLocalFile(QFileInfo(file).absolutePath()).toString()});

        // The site goes; the finished row opens its title from the cache and
        // plays the file, with no play page.
        site.reset();
        f.messages.texts.clear();
        w.TreeView2->setCurrentIndex(rowOf("第1集"));
        w.TreeView2_NodeClick();
        QCOMPARE(w.windowTitle(), QString("当前选择的电影是：天下"));
        QTRY_COMPARE_WITH_TIMEOUT(w.playerView()->player()->state(), player::Player::State::Playing, 15000);
        QCOMPARE(w.playerView()->player()->address(), QFileInfo(file).absoluteFilePath());
        QVERIFY(!QFile::exists(f.file("play.htm")));
        QVERIFY(f.messages.texts.isEmpty());
        // The episode list marks the kept one.
        QVERIFY(episodeItem("第1集")->data(Qt::UserRole + 1).toBool());
        QVERIFY(!episodeItem("第2集")->data(Qt::UserRole + 1).toBool());

        // 删除 asks first; a no keeps everything.
        f.clickNode("my.downloads");
        list = qobject_cast<DownloadList *>(w.TreeView2->model());
        f.messages.answer = false;
        action(w.downloadMenu(rowOf("第1集")).get(), "删除")->trigger();
        QCOMPARE(f.messages.questions.size(), 1);
        QVERIFY(f.messages.questions.constFirst().contains("天下 第1集"));
        QCOMPARE(downloads->count(), 2);
        f.messages.answer = true;
        action(w.downloadMenu(rowOf("第2集")).get(), "删除")->trigger();
        QTRY_COMPARE(list->rowCount(), 1);
        QCOMPARE(w.myTitles().downloadsNode()->text(0), QString("下载 (1)"));
        QVERIFY(QFile::exists(file));
    }

    // A title's menu queues all its episodes, in play-list order; those
    // that are no web address are counted out.
    void downloadWholeTitle()
    {
        ScriptedServer site;
        QVERIFY(site.listen());
        site.on("Lx=Dy&Id=7", Reply(200, QString("第1集$%1/a.mp4\r第2集$bdhd://x\r第3集$%1/b.mp4")
                                             .arg(site.site()).toUtf8()));
        site.on("Lx=Nr&Id=7", Reply(200, "简介"));
        site.setFallback(Reply(404));
        WindowFixture f(site.site());
        f.prepareCatalogue({{7, 8, "天下", "t"}});
        shell::frmMain &w = f.load();
        f.clickNode("cid8");
        const std::unique_ptr<QMenu> menu = w.myTitles().titleMenu(w.titleRows().index(0, 0));
        QVERIFY(menu);
        QAction *all = action(menu.get(), "下载全部剧集");
        QVERIFY(all);
        all->trigger();
        QCOMPARE(w.ListView1->count(), 3);
        QCOMPARE(f.messages.texts, QStringList{"1 集的播放地址不是网址，无法下载。"});
        QList<int> lines;
        QStringList names;
        for (const download::DownloadRow &row : w.downloads()->rows()) {
            lines.prepend(row.entry.line); // newest first
            names.prepend(row.entry.episodeName);
        }
        QCOMPARE(lines, (QList<int>{0, 2}));
        QCOMPARE(names, (QStringList{"第1集", "第3集"}));
    }

private:
    QTemporaryDir m_media;
    QByteArray m_clip;
};

QTEST_MAIN(tst_DownloadWindow)
#include "tst_download_window.moc"
