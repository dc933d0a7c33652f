#pragma once

#include <QByteArray>

struct _XDisplay;

// The test's own view of an X server's saver, kept apart from the Qt code
// because Xlib's macros clash with Qt's names.
class XSaverProbe
{
public:
    ~XSaverProbe();
    bool open(const QByteArray &display);
    // The saver comes on after `seconds` without input; it is off now.
    void setTimeout(int seconds);
    void reset();
    bool saverOn();

private:
    _XDisplay *m_display = nullptr;
};
