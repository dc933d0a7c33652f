#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

class QWidget;

namespace kinolark::shell {

// One running program per application folder. The first start listens on a
// local socket named after the folder; a later start with the same folder
// asks it to bring its window to the front and ends, having written nothing.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(QString appFolder, QObject *parent = nullptr);

    // The socket of `appFolder`, in the user's runtime folder.
    static QString socketPath(const QString &appFolder);

    // True when a program already runs on the folder and has been asked to
    // come to the front: this one should end. Otherwise this program owns the
    // folder from now on, a socket left by a killed program included.
    bool handOver();

    // Later starts raise and activate `window`.
    void raiseOnRequest(QWidget *window);

signals:
    void activationRequested();

private:
    void serve();

    QString m_path;
    QLocalServer m_server;
};

} // namespace kinolark::shell
