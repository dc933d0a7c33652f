#pragma once

namespace kinolark::cast {

// True when the running thread's Qt event loop is GLib's main loop
// (QEventDispatcherGlib, Qt's default on Linux unless QT_NO_GLIB is set).
// GUPnP's sockets and timers are GLib sources: without it they never run.
bool glibLoopInUse();

} // namespace kinolark::cast
