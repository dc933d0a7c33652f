#pragma once

// A small X client for the start and memory benchmarks: it sees another
// process's window appear, reads its pixels, gives it the keyboard and asks
// it to close, all from outside that process. Kept free of Qt so the X
// headers' macros stay in their own file.

#include <sys/types.h>

#include <cstdint>
#include <vector>

struct _XDisplay; // Xlib's Display

namespace kinolark::bench {

class XWatch
{
public:
    XWatch(); // on $DISPLAY
    ~XWatch();
    XWatch(const XWatch &) = delete;
    XWatch &operator=(const XWatch &) = delete;

    bool ok() const { return m_display != nullptr; }

    // Starts listening for windows being mapped; call before starting the
    // process to watch.
    void listen();
    // Blocks until a top-level window of process `pid` is mapped, and returns
    // it; 0 after `timeoutMs`.
    unsigned long waitForWindow(pid_t pid, int timeoutMs);

    // The pixels of a rectangle of `window`, as the screen shows them.
    std::vector<std::uint8_t> grab(unsigned long window, int x, int y, int width, int height);
    void focus(unsigned long window);
    // Asks the window to close, as a window manager's close button does.
    void close(unsigned long window);

private:
    long windowPid(unsigned long window);

    ::_XDisplay *m_display = nullptr;
};

} // namespace kinolark::bench
