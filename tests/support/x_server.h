#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

// An X server of the test's own (Xvfb), for the built program's windows,
// and xdotool to find and work them.
class XServer
{
public:
    ~XServer()
    {
        m_server.terminate();
        m_server.waitForFinished(10000);
    }

    // False when Xvfb does not start or names no display.
    bool start()
    {
        // The server picks a free display and names it once it is ready.
        m_server.setProcessChannelMode(QProcess::SeparateChannels);
        m_server.setStandardErrorFile(QProcess::nullDevice());
        m_server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        // No reset when the last client leaves: the next program could not
        // connect meanwhile.
        m_server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                                QStringLiteral("-screen"), QStringLiteral("0"),
                                                QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                                                QStringLiteral("tcp"), QStringLiteral("-noreset")});
        if (!m_server.waitForStarted(10000))
            return false;
        while (!m_server.canReadLine()) {
            if (!m_server.waitForReadyRead(30000))
                return false;
        }
        m_display = QLatin1Char(':') + QString::fromLatin1(m_server.readLine()).trimmed();
        return m_display.size() > 1;
    }

    QString display() const { return m_display; }

    // Runs xdotool on this server: its output, or a null string when it
    // fails or finds nothing.
    QString xdotool(const QStringList &arguments, int timeoutMs = 60000) const
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), arguments);
        if (!tool.waitForFinished(timeoutMs)) {
            tool.kill();
            tool.waitForFinished();
            return QString();
        }
        if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
            return QString();
        return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
    }

private:
    QProcess m_server;
    QString m_display;
};
