// The window's built-in player without a web engine: the play page's
// hand-off is made by the test, the picture is drawn by libmpv's software
// renderer (no OpenGL offscreen), and the sound goes nowhere.

#include "library/watch_positions.h"
#include "player/episode_session.h"
#include "shell/player_controls.h"
#include "scripted_server.h"
#include "shell/play_hand_off.h"
#include "shell/player_view.h"
#include "temp_folder.h"
#include "window_fixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>

using kinolark::shell::frmMain;
using kinolark::shell::PlayerView;
using State = kinolark::player::Player::State;

class tst_EpisodePlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QProcess media;
        media.start(qEnvironmentVariable("KINOLARK_SOURCE_DIR") + "/scripts/media", {m_media.path(), "160x120", "4"});
        QVERIFY(media.waitForFinished(60000));
        QCOMPARE(media.exitCode(), 0);
        QVERIFY(m_server.listen());
        m_server.on("/clip.mp4", ScriptedServer::Reply(200, readAll(m_media.filePath("sample.mp4"))).type("video/mp4"));
        m_first = m_server.site() + "/clip.mp4";
        m_second = m_server.site() + "/clip.mp4?2";
        m_server.on("Lx=Dy&Id=7", ScriptedServer::Reply(200, ("第01集$" + m_first + "\r第02集$" + m_second
                                                             + "\r第03集$bdhd://vod.example/3.rmvb\r第04集$"
                                                             + m_long).toUtf8()));
        m_server.on("Lx=Nr&Id=7", ScriptedServer::Reply(200, "简介"));
        m_server.on("/tracks.mkv", ScriptedServer::Reply(200, readAll(m_media.filePath("tracks.mkv"))).type("video/x-matroska"));
        m_server.on("Lx=Dy&Id=9", ScriptedServer::Reply(200, ("正片$" + m_first).toUtf8()));
        m_server.on("Lx=Nr&Id=9", ScriptedServer::Reply(200, "电影"));
        m_server.on("Lx=Dy&Id=10", ScriptedServer::Reply(200, ("国语版$" + m_server.site() + "/tracks.mkv").toUtf8()));
        m_server.on("Lx=Nr&Id=10", ScriptedServer::Reply(200, "多音轨"));
    }

    void resumesDrawsAndMovesOnToTheNextEpisode()
    {
        WindowFixture f(m_server.site());
        frmMain &w = open(f);
        PlayerView *view = w.playerView();
        QVERIFY(!view->drawsWithOpenGl());
        kinolark::library::WatchPositions positions(w.conn.database());
        QVERIFY(positions.savePosition(7, 0, m_first, 1.5, 4, QDateTime::currentDateTimeUtc()));

        QList<double> reported;
        connect(view->player(), &kinolark::player::Player::positionChanged, this, [&](double at) { reported << at; });
        clickEpisode(w, 0);
        QVERIFY(handOff(f, w, m_first));
        QVERIFY(view->isVisible());
        QCOMPARE(view->geometry(), w.WebBrowser1->geometry());
        QCOMPARE(view->noticeText(), "从 00:01 继续播放");
        QTRY_COMPARE_WITH_TIMEOUT(view->player()->state(), State::Playing, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(reported.size() > 2, 10000);
        // Every position reported is past the resume point.
        QVERIFY2(*std::min_element(reported.cbegin(), reported.cend()) >= 1.4, qPrintable(QString::number(reported.at(1))));
        // The software renderer draws the test pattern.
        QTRY_VERIFY_WITH_TIMEOUT(litShare(view->grab().toImage()) > 0.3, 10000);

        QTest::keyClick(view, Qt::Key_Space);
        QTRY_COMPARE(view->player()->state(), State::Paused);
        QCOMPARE(view->statusText(), "已暂停");
        QVERIFY(view->showsControls());
        QTest::keyClick(view, Qt::Key_Down);
        QTRY_COMPARE(view->player()->volume(), 95);
        QTest::keyClick(view, Qt::Key_M);
        QTRY_VERIFY(view->player()->muted());
        QTest::keyClick(view, Qt::Key_Home);
        QTest::keyClick(view, Qt::Key_Space);
        QTRY_VERIFY_WITH_TIMEOUT(view->player()->position() < 1.0, 10000);

        // Played to its end: from the beginning next time, and the next
        // episode is announced; when the count ends it is played as if clicked.
        QTRY_VERIFY_WITH_TIMEOUT(view->countingDown(), 15000);
        QCOMPARE(view->player()->state(), State::Ended);
        QCOMPARE(positions.entry(7, 0)->position, 0.0);
        QVERIFY(positions.entry(7, 0)->duration > 3.5);
        f.navigations.clear();
        emit view->countdownFinished();
        QCOMPARE(w.ListView1->currentItem()->data(Qt::UserRole).toString(), "Pid1");
        QCOMPARE(f.navigations, (RecordingBrowser::Log{{"WebBrowser1", "about:blank"}, {"WebBrowser1", f.file("play.htm")}}));
        QVERIFY(readAll(f.file("play.htm")).contains(m_second.toUtf8()));
        QVERIFY(handOff(f, w, m_second));
        QCOMPARE(view->noticeText(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(view->player()->state(), State::Playing, 15000);

        // A title click ends it.
        w.TreeView2_NodeClick();
        QVERIFY(!view->isVisible());
        QCOMPARE(view->player()->state(), State::Idle);
    }

    void onlyTheShownEpisodeIsHandedOver()
    {
        WindowFixture f(m_server.site());
        frmMain &w = open(f);
        clickEpisode(w, 0);
        kinolark::shell::PlayHandOff *handOff = w.playHandOff();
        // Another page, another address: refused, and the page the program
        // wrote still hands over its own, once.
        QVERIFY(!handOff->deliver(QUrl::fromLocalFile(f.file("home.htm")), m_first, {680, 445}));
        QVERIFY(!handOff->deliver(QUrl::fromLocalFile(f.file("play.htm")), m_second, {680, 445}));
        QVERIFY(!w.playerView()->isVisible());
        QVERIFY(handOff->deliver(QUrl::fromLocalFile(f.file("play.htm")), m_first, {680, 445}));
        QVERIFY(w.playerView()->isVisible());
        QVERIFY(!handOff->deliver(QUrl::fromLocalFile(f.file("play.htm")), m_first, {680, 445}));
    }

    void unsupportedAddressOffersCopyAndExternalPlayer()
    {
        // A program takes the scheme.
        QTemporaryDir xdg;
        QVERIFY(QDir().mkpath(xdg.filePath("applications")));
        QVERIFY(writeAll(xdg.filePath("applications/bd.desktop"), "[Desktop Entry]\nType=Application\nName=BD\nExec=bd %u\n"));
        QVERIFY(writeAll(xdg.filePath("mimeapps.list"), "[Default Applications]\nx-scheme-handler/bdhd=bd.desktop\n"));
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS"})
            qputenv(name, xdg.path().toUtf8());
        WindowFixture f(m_server.site());
        QStringList opened;
        f.services.openUrl = [&](const QString &address, const std::function<void(bool)> &finished) {
            opened << address;
            finished(true);
        };
        frmMain &w = open(f);
        clickEpisode(w, 2);
        QVERIFY(handOff(f, w, "bdhd://vod.example/3.rmvb"));
        PlayerView *view = w.playerView();
        QVERIFY(view->showsUnsupported());
        QCOMPARE(view->player()->state(), State::Idle);
        button(view, "复制播放地址")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), "bdhd://vod.example/3.rmvb");
        button(view, "用外部播放器打开")->click();
        QCOMPARE(opened, QStringList{"bdhd://vod.example/3.rmvb"});
        QVERIFY2(f.messages.texts.isEmpty(), qPrintable(f.messages.texts.join('\n')));
    }

    // An address longer than the page can hand over gets a message in the
    // player area at once; the page is written all the same.
    void tooLongAnAddressIsSaidSo()
    {
        WindowFixture f(m_server.site());
        frmMain &w = open(f);
        clickEpisode(w, 3);
        QVERIFY(readAll(f.file("play.htm")).contains(m_long.toUtf8()));
        QVERIFY(w.playerView()->showsUnsupported());
        QVERIFY(w.playerView()->unsupportedText().startsWith("播放地址过长，无法播放\n"));
        QVERIFY(!handOff(f, w, m_long));
    }

    // The title's opening is skipped, with a word and a way back; where
    // its ending starts the episode counts as ended and the next is
    // counted down to; the speed is the title's, from the keys.
    void openingEndingAndSpeed()
    {
        WindowFixture f(m_server.site());
        f.prepareCatalogue({});
        {
            kinolark::store::Catalogue catalogue;
            catalogue.open(f.file("data.db"));
            QVERIFY(QSqlQuery(catalogue.database())
                        .exec("insert into playback_setting values (7, 1, 1.0, 1.0, 1)"));
        }
        frmMain &w = open(f, 7);
        PlayerView *view = w.playerView();
        clickEpisode(w, 0);
        QVERIFY(handOff(f, w, m_first));
        QTRY_VERIFY_WITH_TIMEOUT(view->showsOpeningSkipped(), 15000);
        QTRY_VERIFY(view->player()->position() >= 0.95);
        shot("14-opening-skipped.png", view);
        QTest::keyClick(view, Qt::Key_BracketRight);
        QTest::keyClick(view, Qt::Key_BracketRight);
        QCOMPARE(view->player()->rate(), 1.5);
        QCOMPARE(view->noticeText(), "1.5×");
        QCOMPARE(view->controls()->speedText(), "1.5×");
        menuShot("11-speed-menu.png", view, view->controls()->speedMenu());
        menuShot("12-skip-menu.png", view, view->controls()->skipMenu());
        QTRY_VERIFY_WITH_TIMEOUT(view->countingDown(), 15000);
        // Stopped where the ending starts: a second before the end.
        QCOMPARE(view->player()->state(), State::Paused);
        QVERIFY2(view->player()->position() < 3.5, qPrintable(QString::number(view->player()->position())));
        kinolark::library::WatchPositions positions(w.conn.database());
        QCOMPARE(positions.entry(7, 0)->position, 0.0);
        // The next episode plays as fast.
        emit view->countdownFinished();
        QVERIFY(handOff(f, w, m_second));
        QTRY_COMPARE_WITH_TIMEOUT(view->player()->state(), State::Playing, 15000);
        QCOMPARE(view->player()->rate(), 1.5);
        QTest::keyClick(view, Qt::Key_Backspace);
        QCOMPARE(view->player()->rate(), 1.0);
    }

    // After the last episode: the end, with play again and back.
    void theEndOffersReplayAndBack()
    {
        WindowFixture f(m_server.site());
        frmMain &w = open(f, 9);
        PlayerView *view = w.playerView();
        clickEpisode(w, 0);
        QVERIFY(handOff(f, w, m_first));
        QTRY_VERIFY_WITH_TIMEOUT(view->showsEnd(), 20000);
        QVERIFY(!view->countingDown());
        shot("15-end.png", view);
        f.navigations.clear();
        button(view, "重新播放")->click();
        QCOMPARE(f.navigations, (RecordingBrowser::Log{{"WebBrowser1", "about:blank"}, {"WebBrowser1", f.file("play.htm")}}));
        QVERIFY(handOff(f, w, m_first));
        QVERIFY(!view->showsEnd());
        QTRY_VERIFY_WITH_TIMEOUT(view->showsEnd(), 20000);
        button(view, "返回")->click();
        QVERIFY(!view->isVisible());
        QVERIFY(w.txtNr->isVisible());
    }

    // The picture stands in the middle of the area, with equal bars on
    // both sides; a seek lands where it was asked, not on a key frame.
    void centredPictureAndExactSeeks()
    {
        WindowFixture f(m_server.site());
        frmMain &w = open(f, 7);
        PlayerView *view = w.playerView();
        clickEpisode(w, 1);
        QVERIFY(handOff(f, w, m_second));
        QTRY_COMPARE_WITH_TIMEOUT(view->player()->state(), State::Playing, 15000);
        QTest::keyClick(view, Qt::Key_Space);
        QTRY_COMPARE(view->player()->state(), State::Paused);
        view->session()->seekTo(0.4);
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(view->player()->position() - 0.4) < 0.05, 5000);
        view->session()->seekBy(1);
        // The clip's key frames are two seconds apart.
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(view->player()->position() - 1.4) < 0.05, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(litShare(view->grab().toImage()) > 0.2, 10000);
        // The page's whole area, as the window shows it.
        const QImage frame = w.grab(w.WebBrowser1->geometry()).toImage();
        const int y = frame.height() / 2;
        // The focus ring runs round the area's edge.
        const int ring = 4;
        int left = ring, right = frame.width() - 1 - ring;
        while (left < frame.width() && qGray(frame.pixel(left, y)) < 40)
            ++left;
        while (right > 0 && qGray(frame.pixel(right, y)) < 40)
            --right;
        const int leftBar = left, rightBar = frame.width() - 1 - right;
        QVERIFY2(leftBar > 20 && qAbs(leftBar - rightBar) <= 2, qPrintable(QString("%1 | %2").arg(leftBar).arg(rightBar)));
    }

    // The track menu lists the episode's audio and subtitle tracks; a
    // subtitle file in GBK reads as Chinese; what is not one is refused
    // with a word, and playing goes on.
    void tracksAndSubtitleFiles()
    {
        WindowFixture f(m_server.site());
        frmMain &w = open(f, 10);
        PlayerView *view = w.playerView();
        kinolark::player::Player *player = view->player();
        clickEpisode(w, 0);
        QVERIFY(handOff(f, w, m_server.site() + "/tracks.mkv"));
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Playing, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(player->tracks().size(), 4, 5000);
        // The clip is short: it waits while the menu and the files are tried.
        player->setPaused(true);
        QTRY_COMPARE(player->state(), State::Paused);
        QMenu *menu = view->controls()->trackMenu();
        menuShot("13-track-menu.png", view, menu);
        emit menu->aboutToShow();
        QStringList items;
        for (QAction *action : menu->actions())
            if (!action->text().isEmpty())
                items << action->text();
        QCOMPARE(items, (QStringList{"音轨", "国语（chi）", "English（eng）", "字幕", "中文（chi）", "关闭字幕", "加载字幕文件…"}));
        for (QAction *action : menu->actions())
            if (action->text() == "English（eng）")
                action->trigger();
        QTRY_VERIFY(std::any_of(player->tracks().cbegin(), player->tracks().cend(), [](const kinolark::player::Track &t) {
            return t.title == "English" && t.selected;
        }));

        QVERIFY(view->loadSubtitleFile(m_media.filePath("subtitle-gbk.srt")));
        QTRY_COMPARE_WITH_TIMEOUT(player->subtitleText(), QString("外挂字幕：简体中文"), 5000);
        QTemporaryDir dir;
        const QString big = dir.filePath("big.srt");
        QFile file(big);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(50 * 1024 * 1024));
        file.close();
        QVERIFY(!view->loadSubtitleFile(big));
        QCOMPARE(view->noticeText(), "字幕文件过大，无法加载");
        QVERIFY(!view->loadSubtitleFile(dir.filePath("gone.srt")));
        QCOMPARE(view->noticeText(), "找不到这个字幕文件");
        QVERIFY(!view->loadSubtitleFile(QCoreApplication::applicationFilePath()));
        QCOMPARE(view->noticeText(), "只能加载 .srt、.ass、.ssa 或 .vtt 字幕文件");
        QCOMPARE(player->state(), State::Paused);
    }

private:
    frmMain &open(WindowFixture &f, qint64 id = 7)
    {
        if (!QFileInfo::exists(f.file("data.db")))
            f.prepareCatalogue({});
        frmMain &w = f.load();
        w.titleModel().setTitles({{id, "天下"}});
        w.TreeView2->setCurrentIndex(w.titleRows().index(0, 0));
        w.TreeView2_NodeClick();
        return w;
    }

    static void clickEpisode(frmMain &w, int line)
    {
        for (int row = 0; row < w.ListView1->count(); ++row) {
            if (w.ListView1->item(row)->data(Qt::UserRole).toString() == "Pid" + QString::number(line))
                w.ListView1->setCurrentRow(row);
        }
        w.ListView1_Click();
    }

    // What the play page's script does once the page is shown.
    static bool handOff(WindowFixture &f, frmMain &w, const QString &address)
    {
        return w.playHandOff()->deliver(QUrl::fromLocalFile(f.file("play.htm")), address, {680, 445});
    }

    // For the demo's screenshots, when it asks for them.
    static void shot(const QString &name, QWidget *widget)
    {
        const QString folder = qEnvironmentVariable("KINOLARK_SCREENSHOT_DIR");
        if (!folder.isEmpty())
            widget->grab().save(folder + "/" + name);
    }
    static void menuShot(const QString &name, QWidget *view, QMenu *menu)
    {
        if (qEnvironmentVariableIsEmpty("KINOLARK_SCREENSHOT_DIR"))
            return;
        menu->popup(view->mapToGlobal(QPoint(view->width() / 2, view->height() / 3)));
        (void)QTest::qWaitForWindowExposed(menu);
        QPixmap both = view->grab();
        QPainter painter(&both);
        painter.drawPixmap(view->width() / 2, view->height() / 3, menu->grab());
        painter.end();
        both.save(qEnvironmentVariable("KINOLARK_SCREENSHOT_DIR") + "/" + name);
        menu->hide();
    }

    static QPushButton *button(QWidget *view, const QString &text)
    {
        for (QPushButton *b : view->findChildren<QPushButton *>())
            if (b->text() == text)
                return b;
        return nullptr;
    }

    static double litShare(const QImage &image)
    {
        qint64 lit = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                lit += qGray(image.pixel(x, y)) > 40 ? 1 : 0;
        return image.isNull() ? 0 : double(lit) / (double(image.width()) * image.height());
    }

    QTemporaryDir m_media;
    ScriptedServer m_server;
    QString m_first, m_second;
    const QString m_long = "http://vod.example/" + QString(100 * 1024, 'x') + ".mp4";
};

QTEST_MAIN(tst_EpisodePlayer)
#include "tst_episode_player.moc"
