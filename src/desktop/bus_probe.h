#pragma once

#include <QString>

namespace kinolark::desktop {

// Whether the bus at `address` answers within `timeoutMs`: its daemon
// takes the first step of the handshake. libdbus itself waits 25 s for a
// bus that accepts the connection and then says nothing, inside Qt's one
// D-Bus thread. Only the unix socket addresses are probed; any other counts
// as answering and is left to libdbus.
// Returns an empty string when it answers, else why not.
QString probeBus(const QString &address, int timeoutMs);

} // namespace kinolark::desktop
