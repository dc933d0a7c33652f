// Where the single-instance socket lives and whom it trusts: only a folder
// that is the user's alone, only a peer of the same user, and only a few
// quick askers at a time.
#include "shell/single_instance.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QStandardPaths>
#include <QTest>
#include <QSignalSpy>

#include <sys/stat.h>
#include <atomic>
#include <thread>
#include <unistd.h>

using kinolark::shell::SingleInstance;

namespace {

constexpr uid_t nobody = 65534;

// As another start of the program would: asks over the socket, in a thread
// of its own so the server can answer.
QByteArray askToActivate(const QString &path)
{
    QByteArray answer;
    std::atomic<bool> done{false};
    std::thread asker([&] {
        const auto finished = qScopeGuard([&] { done = true; });
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(3000))
            return;
        socket.write("activate\n");
        socket.waitForBytesWritten(3000);
        while (!socket.canReadLine() && socket.waitForReadyRead(3000)) {
        }
        answer = socket.readLine();
    });
    // The server answers from this thread's event loop.
    (void)QTest::qWaitFor([&] { return done.load(); }, 5000);
    asker.join();
    return answer;
}

int openFiles()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

} // namespace

class tst_InstanceSocket : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_home.filePath("cache")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath("data")));
    }

    // A runtime folder anyone else could have made or may enter is not used.
    void onlyAFolderOfTheUsersOwn_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("used");
        QTest::newRow("the user's, 0700") << "private" << true;
        QTest::newRow("open to all") << "0777" << false;
        QTest::newRow("another user's") << "nobody" << false;
        QTest::newRow("a link to the user's") << "link" << false;
        QTest::newRow("not set") << "unset" << false;
    }
    void onlyAFolderOfTheUsersOwn()
    {
        QFETCH(QString, kind);
        QFETCH(bool, used);
        QTemporaryDir dir;
        QString runtime = dir.filePath("run");
        QVERIFY(QDir().mkdir(runtime));
        ::chmod(QFile::encodeName(runtime).constData(), kind == "0777" ? 0777 : 0700);
        if (kind == "nobody") {
            if (::geteuid() != 0)
                QSKIP("needs root to give a folder to another user");
            QVERIFY(::chown(QFile::encodeName(runtime).constData(), nobody, nobody) == 0);
        }
        if (kind == "link") {
            QVERIFY(QFile::link(runtime, dir.filePath("link")));
            runtime = dir.filePath("link");
        }
        if (kind == "unset")
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));

        const QString path = SingleInstance::socketPath(dir.path());
        const QString folder = QFileInfo(path).path();
        QCOMPARE(folder == runtime, used);
        if (!used)
            QCOMPARE(folder, m_home.filePath("cache/kinolark/run"));
        QVERIFY(SingleInstance::isPrivateFolder(folder));
    }

    // A socket whose other end runs as another user is no instance of
    // ours, however it answers: the program starts and takes the name.
    void anotherUsersSocketIsNotTrusted()
    {
        if (::geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("needs root and setpriv to run a peer as another user");
        QTemporaryDir app, runtime, squat;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        const QString path = SingleInstance::socketPath(app.path());
        QVERIFY(QFileInfo(path).path() == runtime.path());
        // The other user listens in a folder of its own; the socket is then
        // put where the program looks, as a runtime folder squatted on would.
        QVERIFY(::chown(QFile::encodeName(squat.path()).constData(), nobody, nobody) == 0);
        const QString squatted = squat.filePath("socket");
        QProcess peer;
        peer.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", QCoreApplication::applicationFilePath(),
                               "--answer-ok-on", squatted});
        QVERIFY(peer.waitForReadyRead(10000));
        QCOMPARE(peer.readLine(), QByteArray("listening\n"));
        QVERIFY(QFile::rename(squatted, path));

        SingleInstance instance(app.path());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("held by another user"));
        QVERIFY2(!instance.handOver(), "a peer of another user was taken for a running program");
        QSignalSpy asked(&instance, &SingleInstance::activationRequested);
        QCOMPARE(askToActivate(path), QByteArray("ok\n"));
        QCOMPARE(asked.size(), 1);
        peer.kill();
        peer.waitForFinished();
    }

    // Connections that say nothing are closed, and never more than a few
    // wait at once; a real start still gets through afterwards.
    void idleConnectionsDoNotPileUp()
    {
        QTemporaryDir app, runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        SingleInstance instance(app.path());
        QVERIFY(!instance.handOver());
        const QString path = SingleInstance::socketPath(app.path());
        const int before = openFiles();

        std::vector<std::unique_ptr<QLocalSocket>> idle;
        for (int i = 0; i < 300; ++i) {
            idle.push_back(std::make_unique<QLocalSocket>());
            idle.back()->connectToServer(path);
        }
        const auto open = [&] {
            return std::count_if(idle.begin(), idle.end(), [](const auto &s) {
                return s->state() == QLocalSocket::ConnectedState;
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(open() <= SingleInstance::pendingLimit, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(open(), 0, SingleInstance::requestMs + 10000);
        idle.clear();
        QTRY_VERIFY_WITH_TIMEOUT(openFiles() <= before + 2, 10000);

        QSignalSpy asked(&instance, &SingleInstance::activationRequested);
        QCOMPARE(askToActivate(path), QByteArray("ok\n"));
        QCOMPARE(asked.size(), 1);
    }

private:
    QTemporaryDir m_home;
};

// Run as another user by the test: listens on the path given and answers
// every connection as a running program would.
static int answerOk(const QString &path)
{
    QLocalServer server;
    QObject::connect(&server, &QLocalServer::newConnection, &server, [&server] {
        while (QLocalSocket *socket = server.nextPendingConnection()) {
            socket->write("ok\n");
            socket->flush();
        }
    });
    if (!server.listen(path))
        return 1;
    std::printf("listening\n");
    std::fflush(stdout);
    QTimer::singleShot(30000, qApp, &QCoreApplication::quit);
    return QCoreApplication::exec();
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--answer-ok-on") == 0)
        return answerOk(QString::fromLocal8Bit(argv[2]));
    tst_InstanceSocket test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_instance_socket.moc"
