#include "scripted_server.h"
#include "shell/main_window.h"
#include "window_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSqlQuery>
#include <QTcpServer>
#include <QtTest>

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
        f.services.requestTimeoutMs = 300;
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

    void slowSyncShowsProgressAndCanBeCancelled()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.on("Lx=All&Id=0", ScriptedServer::Reply(200, "1$8$a$a&&").hanging());
        WindowFixture f(server.site());
        f.services.requestTimeoutMs = 30000;
        frmMain &w = f.make();

        QElapsedTimer clock;
        qint64 shownAfter = -1;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (QProgressDialog *dialog = visibleProgress(); dialog && shownAfter < 0) {
                shownAfter = clock.elapsed();
                QPushButton *cancel = dialog->findChild<QPushButton *>();
                QVERIFY(cancel);
                QTest::mouseClick(cancel, Qt::LeftButton);
            }
        });
        poll.start(20);
        clock.start();
        QVERIFY(w.Form_Load());
        poll.stop();

        QVERIFY2(shownAfter >= 900, qPrintable(QString::number(shownAfter)));
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(f.messages.texts.isEmpty());
        QVERIFY(!visibleProgress());
        const Stored s = stored(f.file("data.db"));
        QCOMPARE(s.titles, 0);
        QCOMPARE(s.date, QString());
        QCOMPARE(server.count("Lx=Up"), 0);
    }
};

QTEST_MAIN(tst_SyncWindow)
#include "tst_sync_window.moc"
