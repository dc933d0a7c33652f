#pragma once

#include <QTimer>

namespace kinolark::shell {

// While it lives, and once a wait has lasted `delayMs`, the pointer shows
// that the program is busy. A short wait shows nothing.
class BusyCursor
{
public:
    explicit BusyCursor(int delayMs = 300);
    ~BusyCursor();
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;

private:
    QTimer m_timer;
    bool m_shown = false;
};

} // namespace kinolark::shell
