#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <csignal>
#include <sys/prctl.h>

// The sample catalogue site, run as its own process on a free port.
class SampleSiteProcess
{
public:
    ~SampleSiteProcess() { stop(); }

    // Starts the site with `arguments` and waits for its port. False when it
    // does not start; why is in error().
    bool start(const QStringList &arguments = {})
    {
        const QString program = qEnvironmentVariable("KINOLARK_BINARY_DIR") + QStringLiteral("/bin/kinolark-sample-site");
        m_process.setProgram(program);
        m_process.setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A test that crashes takes its site with it.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start();
        if (!m_process.waitForStarted(10000)) {
            m_error = program + QStringLiteral(": ") + m_process.errorString();
            return false;
        }
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(20000)) {
                m_error = QStringLiteral("no port from the sample site");
                return false;
            }
        }
        bool ok = false;
        m_port = QString::fromLatin1(m_process.readLine()).trimmed().toUShort(&ok);
        if (!ok || m_port == 0) {
            m_error = QStringLiteral("the sample site printed no port");
            return false;
        }
        return true;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    quint16 port() const { return m_port; }
    QString site() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QString endpoint() const { return site() + QStringLiteral("/Uploads/xml.php?"); }
    QString error() const { return m_error; }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
