#include "shell/single_instance.h"

#include "shell/bring_to_front.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QWidget>

namespace kinolark::shell {

namespace {

const QByteArray activateRequest = QByteArrayLiteral("activate\n");
const QByteArray activatedAnswer = QByteArrayLiteral("ok\n");
// A program in the middle of its start-up answers late; it still owns the folder.
constexpr int answerMs = 5000;

} // namespace

SingleInstance::SingleInstance(QString appFolder, QObject *parent)
    : QObject(parent)
    , m_path(socketPath(appFolder))
{
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::serve);
}

QString SingleInstance::socketPath(const QString &appFolder)
{
    // The same folder reached through a link is the same folder.
    QString folder = QDir(appFolder).canonicalPath();
    if (folder.isEmpty())
        folder = QDir::cleanPath(QDir(appFolder).absolutePath());
    const QByteArray hash = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    // The runtime folder is the user's alone (mode 0700): no one else can
    // take the name or knock on the socket.
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    return runtime + QStringLiteral("/kinolark-") + QString::fromLatin1(hash);
}

bool SingleInstance::handOver()
{
    // Two starts at the same moment: one looks and listens while the other
    // waits, so neither takes the other's fresh socket for a stale one. A
    // lock not had in time (a start that hangs) is gone on without.
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.tryLock(2 * answerMs);

    QLocalSocket running;
    running.connectToServer(m_path);
    if (running.waitForConnected(answerMs)) {
        running.write(activateRequest);
        const QDeadlineTimer deadline(answerMs);
        while (running.state() == QLocalSocket::ConnectedState && !running.canReadLine()
               && running.waitForReadyRead(int(deadline.remainingTime()))) {
        }
        return true;
    }
    // Nobody listens: a socket there was left by a program that was killed.
    QLocalServer::removeServer(m_path);
    if (!m_server.listen(m_path))
        qWarning("kinolark: %s: %s", qPrintable(m_path), qPrintable(m_server.errorString()));
    return false;
}

void SingleInstance::raiseOnRequest(QWidget *window)
{
    connect(this, &SingleInstance::activationRequested, window, [window] {
        // Still starting: the window comes up in front by itself.
        if (window->isVisible())
            bringToFront(window);
    });
}

void SingleInstance::serve()
{
    while (QLocalSocket *later = m_server.nextPendingConnection()) {
        connect(later, &QLocalSocket::disconnected, later, &QObject::deleteLater);
        connect(later, &QLocalSocket::readyRead, this, [this, later] {
            if (!later->canReadLine()) {
                if (later->bytesAvailable() > activateRequest.size())
                    later->abort(); // not a start of ours
                return;
            }
            if (later->readLine() == activateRequest) {
                emit activationRequested();
                later->write(activatedAnswer);
            }
            later->disconnectFromServer();
        });
    }
}

} // namespace kinolark::shell
