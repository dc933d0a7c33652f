#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>
#include <sys/prctl.h>

// gmediarender, the test's TV: GStreamer plays to fake sinks that keep the
// clock, so positions advance as on a real TV without picture or sound.
class RendererProcess
{
public:
    ~RendererProcess() { terminate(); }

    bool start(const QString &interface, const QString &name, const QString &uuid, int port)
    {
        m_process.setProgram(QStringLiteral("gmediarender"));
        m_process.setArguments({QStringLiteral("-I"), interface, QStringLiteral("-p"), QString::number(port),
                                QStringLiteral("-f"), name, QStringLiteral("-u"), uuid,
                                QStringLiteral("--gstout-videopipe"), QStringLiteral("fakesink sync=true"),
                                QStringLiteral("--gstout-audiopipe"), QStringLiteral("fakesink sync=true")});
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        while (!m_output.contains("Ready for rendering")) {
            if (!m_process.waitForReadyRead(10000))
                return false;
            m_output += m_process.readAll();
        }
        return true;
    }

    // As at a shutdown: it says byebye.
    void terminate()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            kill();
    }

    // As a TV unplugged: it says nothing.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    QByteArray output() { return m_output += m_process.readAll(); }

private:
    QProcess m_process;
    QByteArray m_output;
};
