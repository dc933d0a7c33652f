#include "shell/busy_cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace kinolark::shell {

BusyCursor::BusyCursor(int delayMs)
{
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
        m_shown = true;
    });
    m_timer.start(delayMs);
}

BusyCursor::~BusyCursor()
{
    // Waits nest (a click during a wait); each takes back only its own.
    if (m_shown)
        QGuiApplication::restoreOverrideCursor();
}

} // namespace kinolark::shell
