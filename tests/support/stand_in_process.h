#pragma once

#include "private_bus.h"

#include <QProcess>
#include <QStringList>
#include <QTest>

// A desktop service stand-in (tests/desktop/desktop_stand_in) in its own
// process on the test's bus; it prints "ready", then one line per call.
class StandIn
{
public:
    explicit StandIn(QString program)
        : m_program(std::move(program))
    {
    }
    ~StandIn()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool start(const PrivateBus &bus, const QString &mode, int delayMs = 0)
    {
        m_process.setProcessEnvironment(bus.environment());
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(m_program, {mode, QString::number(delayMs)});
        return QTest::qWaitFor([this] { return lines().contains(QStringLiteral("ready")); }, 10000);
    }

    QStringList lines()
    {
        while (m_process.canReadLine())
            m_lines.append(QString::fromUtf8(m_process.readLine()).trimmed());
        return m_lines;
    }

    // What the service logged, "ready" left out.
    QStringList events()
    {
        QStringList found = lines();
        found.removeAll(QStringLiteral("ready"));
        return found;
    }

private:
    QString m_program;
    QProcess m_process;
    QStringList m_lines;
};
