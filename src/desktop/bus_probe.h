#pragma once

#include <QString>

namespace kinolark::desktop {

// Whether the bus at `address` takes a client within `timeoutMs`: the
// handshake and Hello, over a connection of the probe's own that it closes
// again. Qt's own connect would wait without end, inside Qt's one D-Bus
// thread, for a daemon that accepts the connection and then says nothing;
// and when Hello fails there, Qt 6.4 drops the connection unclosed, which
// libdbus punishes by ending the program.
// Returns an empty string when it answers, else why not.
QString probeBus(const QString &address, int timeoutMs);

} // namespace kinolark::desktop
