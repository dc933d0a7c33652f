#include "shell/single_instance.h"

#include "shell/bring_to_front.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <QWidget>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace kinolark::shell {

namespace {

const QByteArray activateRequest = QByteArrayLiteral("activate\n");
const QByteArray activatedAnswer = QByteArrayLiteral("ok\n");
// A program in the middle of its start-up answers late; it still owns the folder.
constexpr int answerMs = 5000;

// A folder of the user's own under `base`, made when missing.
QString ownFolderIn(const QString &base)
{
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        return QString();
    const QString folder = base + QStringLiteral("/kinolark/run");
    if (!QDir().mkpath(folder))
        return QString();
    const QByteArray path = QFile::encodeName(folder);
    struct stat info;
    // Made by this user with another mode: put right. Anyone else's: not used.
    if (::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid()
        && (info.st_mode & 077) != 0)
        ::chmod(path.constData(), 0700);
    return SingleInstance::isPrivateFolder(folder) ? folder : QString();
}

QString homeFolder(const char *variable, const char *fallback)
{
    const QString set = qEnvironmentVariable(variable);
    return !set.isEmpty() ? set : QDir::homePath() + QLatin1String(fallback);
}

// A lock file to trust: none yet, or a plain file of this user's.
bool lockFileUsable(const QString &path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return true;
    return S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

} // namespace

SingleInstance::SingleInstance(QString appFolder, QObject *parent)
    : QObject(parent)
    , m_path(socketPath(appFolder))
{
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::serve);
}

bool SingleInstance::isPrivateFolder(const QString &path)
{
    struct stat info;
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

bool SingleInstance::peerIsUser(const QLocalSocket &socket)
{
    struct ucred peer;
    socklen_t size = sizeof peer;
    const qintptr fd = socket.socketDescriptor();
    return fd >= 0 && ::getsockopt(int(fd), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

QString SingleInstance::socketPath(const QString &appFolder)
{
    // The same folder reached through a link is the same folder.
    QString folder = QDir(appFolder).canonicalPath();
    if (folder.isEmpty())
        folder = QDir::cleanPath(QDir(appFolder).absolutePath());
    const QByteArray hash = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    // A shared folder such as /tmp would let another user take the name
    // first, or answer in the program's place.
    QString place = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!isPrivateFolder(place))
        place = ownFolderIn(homeFolder("XDG_CACHE_HOME", "/.cache"));
    if (place.isEmpty())
        place = ownFolderIn(homeFolder("XDG_DATA_HOME", "/.local/share"));
    if (place.isEmpty())
        return QString();
    const QString path = place + QStringLiteral("/kinolark-") + QString::fromLatin1(hash);
    // The longest name a local socket can have.
    return QFile::encodeName(path).size() < qsizetype(sizeof(sockaddr_un::sun_path)) ? path : QString();
}

bool SingleInstance::handOver()
{
    if (m_path.isEmpty()) {
        qWarning("kinolark: no folder of the user's own for the single-instance socket; "
                 "starting without looking for another instance");
        return false;
    }
    // Two starts at the same moment: one looks and listens while the other
    // waits, so neither takes the other's fresh socket for a stale one. A
    // lock not had in time (a start that hangs) is gone on without.
    const QString lockPath = m_path + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (lockFileUsable(lockPath))
        lock.tryLock(2 * answerMs);
    else
        qWarning("kinolark: %s is not a file of this user's; going on without it", qPrintable(lockPath));

    QLocalSocket running;
    running.connectToServer(m_path);
    if (running.waitForConnected(answerMs)) {
        if (!peerIsUser(running)) {
            qWarning("kinolark: %s is held by another user; starting as if no other instance ran",
                     qPrintable(m_path));
            running.abort();
            return false;
        }
        running.write(activateRequest);
        const QDeadlineTimer deadline(answerMs);
        while (running.state() == QLocalSocket::ConnectedState && !running.canReadLine()
               && running.waitForReadyRead(int(deadline.remainingTime()))) {
        }
        return true;
    }
    // Nobody listens: a socket there was left by a program that was killed.
    QLocalServer::removeServer(m_path);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
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
        // Only a start of this user's, a few at a time, each quick to ask.
        if (!peerIsUser(*later) || m_pending >= pendingLimit) {
            later->abort();
            later->deleteLater();
            continue;
        }
        ++m_pending;
        connect(later, &QObject::destroyed, this, [this] { --m_pending; });
        connect(later, &QLocalSocket::disconnected, later, &QObject::deleteLater);
        QTimer::singleShot(requestMs, later, [later] {
            later->abort();
            later->deleteLater();
        });
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
