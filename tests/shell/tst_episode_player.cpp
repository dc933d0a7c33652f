// The window's built-in player without a web engine: the play page's
// hand-off is made by the test, the picture is drawn by libmpv's software
// renderer (no OpenGL offscreen), and the sound goes nowhere.

#include "library/watch_positions.h"
#include "scripted_server.h"
#include "shell/play_hand_off.h"
#include "shell/player_view.h"
#include "temp_folder.h"
#include "window_fixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSqlQuery>
#include <QtTest>

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
        QCOMPARE(view->geometry(), QRect(352, 0, 680, 445));
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

private:
    frmMain &open(WindowFixture &f)
    {
        f.prepareCatalogue({});
        frmMain &w = f.load();
        w.titleModel().setTitles({{7, "天下"}});
        w.TreeView2->setCurrentIndex(w.titleModel().index(0));
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
