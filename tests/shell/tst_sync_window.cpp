#include "scripted_server.h"
#include "shell/main_window.h"
#include "window_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTest>

using kinolark::shell::frmMain;

namespace {

const QString updateNotice = QStringLiteral("提示：软件有更新，请下载最新版本！");

QProgressDialog *visibleProgress()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *dialog = qobject_cast<QProgressDialog *>(w);
        if (dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

// What the catalogue file holds, read through a connection of the test's own.
struct Stored
{
    int titles = -1;
    QString date;
};

Stored stored(const QString &path)
{
    Stored s;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("select count(*) from vod")) && query.next())
                s.titles = query.value(0).toInt();
            if (query.exec(QStringLiteral("select up_date from cdate")) && query.next())
                s.date = query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return s;
}

} // namespace

class tst_SyncWindow : public QObject
{
    Q_OBJECT

private slots:
    void newerClientShowsNoticeThenDownloadPage()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=0", ScriptedServer::Reply(200, "1$8$a$a&&"));
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up2"));
        WindowFixture f(server.site());
        frmMain &w = f.make();
        QVERIFY(w.Form_Load());
        QCOMPARE(f.messages.texts, QStringList{updateNotice});
        const QString home = f.file(QStringLiteral("home.htm"));
        QCOMPARE(f.navigations, (RecordingBrowser::Log{{"WebBrowser2", "about:blank"},
                                                       {"WebBrowser1", "about:blank"},
                                                       {"WebBrowser1", home},
                                                       {"WebBrowser1", server.site() + "/kinol_soft.html"}}));
        QCOMPARE(stored(f.file("data.db")).titles, 1);
    }

    void currentClientKeepsNoticePage()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=0", ScriptedServer::Reply(200, "1$8$a$a&&2$8$b$b&&"));
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up1"));
        WindowFixture f(server.site());
        QVERIFY(f.make().Form_Load());
        QVERIFY(f.messages.texts.isEmpty());
        QCOMPARE(f.browser1()->current(), f.file(QStringLiteral("home.htm")));
        QCOMPARE(stored(f.file("data.db")).titles, 2);
        QCOMPARE(stored(f.file("data.db")).date, f.today);
        QVERIFY(!visibleProgress());

        // Started again the same day: no request at all.
        f.make();
        QVERIFY(f.window->Form_Load());
        QCOMPARE(server.requests, (QStringList{"Lx=All&Id=0", "Lx=Up"}));
        QVERIFY(f.messages.texts.isEmpty());
        QVERIFY(f.window->conn.isOpen());
    }

    void failedSyncIsReportedAndRetried_data()
    {
        QTest::addColumn<int>("status"); // 0: no answer, -1: nobody listening
        QTest::newRow("HTTP 500") << 500;
        QTest::newRow("no answer") << 0;
        QTest::newRow("connection refused") << -1;
    }
    void failedSyncIsReportedAndRetried()
    {
        QFETCH(int, status);
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=0", status > 0 ? ScriptedServer::Reply(status, "1$8$a$a&&")
                                            : ScriptedServer::Reply(200, "1$8$a$a&&").hanging());
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up2"));
        QString site = server.site();
        if (status < 0) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            site = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
        }
        WindowFixture f(site);
        f.services.requestTimeoutMs = 1000; // short: some rows wait it out
        frmMain &w = f.make();
        QVERIFY(w.Form_Load());
        QCOMPARE(f.messages.texts.size(), 1);
        QVERIFY(f.messages.texts.first().contains(QStringLiteral("影片目录")));
        QVERIFY(f.messages.texts.first().contains(QStringLiteral("下次启动")));
        QCOMPARE(f.browser1()->current(), f.file(QStringLiteral("home.htm")));
        QCOMPARE(server.count("Lx=Up"), 0);
        const Stored s = stored(f.file("data.db"));
        QCOMPARE(s.titles, 0);
        QCOMPARE(s.date, QString());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        // The next start tries again.
        server.on("Lx=All&Id=0", ScriptedServer::Reply(200, "1$8$a$a&&"));
        WindowFixture again(server.site());
        again.services.appFolder = f.folder.path();
        QVERIFY(again.make().Form_Load());
        QCOMPARE(stored(f.file("data.db")).titles, 1);
    }

    // The real dialog's 取消, clicked while the answer arrives, while the
    // titles are stored, and once they are committed (the version is being
    // asked). Before the commit nothing is kept and the day stays unsynced;
    // after it the user is told the catalogue is up to date.
    void cancelAtEachStage_data()
    {
        QTest::addColumn<QString>("stage");
        QTest::addColumn<int>("titles");
        QTest::newRow("waiting") << "waiting" << 0;
        QTest::newRow("downloading") << "downloading" << 0;
        QTest::newRow("storing") << "storing" << 0;
        QTest::newRow("committed") << "committed" << 20000;
    }
    void cancelAtEachStage()
    {
        QFETCH(QString, stage);
        QFETCH(int, titles);
        QByteArray answer;
        for (int id = 1; id <= 20000; ++id)
            answer += QByteArray::number(id) + "$8$name" + QByteArray::number(id) + "$n&&";
        ScriptedServer server;
        QVERIFY(server.listen());
        ScriptedServer::Reply all(200, answer);
        if (stage == "waiting")
            all.hanging();
        else if (stage == "downloading")
            all.dripping(2);
        else
            all.delay(1200); // the dialog shows after a second
        server.on("Lx=All&Id=0", all);
        server.on("Lx=Up", ScriptedServer::Reply(200, "Up2").hanging());
        WindowFixture f(server.site());
        frmMain &w = f.make();

        QElapsedTimer clock;
        qint64 shownAfter = -1;
        QString title;
        QSize shownSize, clickedSize;
        bool clicked = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            QProgressDialog *dialog = visibleProgress();
            if (!dialog || clicked)
                return;
            if (shownAfter < 0) {
                shownAfter = clock.elapsed();
                title = dialog->windowTitle();
                shownSize = dialog->size();
            }
            const QString label = dialog->labelText();
            const bool now = stage == "waiting" || (stage == "downloading" && label.contains("已下载"))
                             || (stage == "storing" && label.contains("正在保存") && server.count("Lx=Up") == 0)
                             || (stage == "committed" && server.count("Lx=Up") == 1);
            if (QPushButton *cancel = dialog->findChild<QPushButton *>(); now && cancel) {
                clicked = true;
                clickedSize = dialog->size();
                QTest::mouseClick(cancel, Qt::LeftButton);
            }
        });
        poll.start(5);
        clock.start();
        QVERIFY(w.Form_Load());
        poll.stop();

        QVERIFY(clicked);
        QCOMPARE(title, QString("更新影片目录"));
        // The dialog keeps its size, so the button stays under the pointer.
        QCOMPARE(clickedSize, shownSize);
        // Without a sign of progress it waits a second before it shows.
        if (stage == "waiting")
            QVERIFY2(shownAfter >= 900, qPrintable(QString::number(shownAfter)));
        QVERIFY(clock.elapsed() < 20000);
        QVERIFY(!visibleProgress());
        const Stored s = stored(f.file("data.db"));
        QCOMPARE(s.titles, titles);
        if (titles == 0) {
            QVERIFY2(f.messages.texts.isEmpty(), qPrintable(f.messages.texts.join('\n')));
            QCOMPARE(s.date, QString());
            QCOMPARE(server.count("Lx=Up"), 0);
        } else {
            QCOMPARE(f.messages.texts.size(), 1);
            QVERIFY2(f.messages.texts.first().startsWith("影片目录已更新"), qPrintable(f.messages.texts.first()));
            QCOMPARE(s.date, f.today);
        }
    }
};

QTEST_MAIN(tst_SyncWindow)
#include "tst_sync_window.moc"
