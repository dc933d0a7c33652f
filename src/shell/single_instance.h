#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

class QLocalSocket;
class QWidget;

namespace kinolark::shell {

// One running program per application folder. The first start listens on a
// local socket named after the folder; a later start with the same folder
// asks it to bring its window to the front and ends, having written nothing.
//
// The socket lives only in a folder that is the user's alone (owned by the
// user, mode 0700), and a peer is trusted only when it runs as the same
// user: no one else can keep the program from starting, or knock on it.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(QString appFolder, QObject *parent = nullptr);

    // The socket of `appFolder`, in the user's runtime folder when that is
    // the user's alone, else in a folder of the user's cache or data; empty
    // when there is no such folder.
    static QString socketPath(const QString &appFolder);
    // Whether `path` is a folder (not a link) owned by this user that no one
    // else may enter.
    static bool isPrivateFolder(const QString &path);
    // Whether the other end of `socket` runs as this user.
    static bool peerIsUser(const QLocalSocket &socket);

    // True when a program already runs on the folder and has been asked to
    // come to the front: this one should end. Otherwise this program owns the
    // folder from now on, a socket left by a killed program included.
    bool handOver();

    // Later starts raise and activate `window`.
    void raiseOnRequest(QWidget *window);

    // A start has this long to say what it wants; at most this many wait.
    static constexpr int requestMs = 2000;
    static constexpr int pendingLimit = 8;

signals:
    void activationRequested();

private:
    void serve();

    QString m_path;
    int m_pending = 0; // outlives the server's sockets, which count it down
    QLocalServer m_server;
};

} // namespace kinolark::shell
