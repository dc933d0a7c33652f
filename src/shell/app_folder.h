#pragma once

#include <QString>

namespace kinolark::shell {

// True when files can be created in `folder`.
bool isWritableFolder(const QString &folder);

// The folder the program keeps its pages and catalogue in: the program's own
// folder, or `userFolder` when the program's folder is not writable (a
// system-wide install). The files supplied beside the program (the live TV
// page and a catalogue) are copied to `userFolder` the first time, so nothing
// shipped with the program is lost.
QString resolveAppFolder(const QString &programFolder, const QString &userFolder);

} // namespace kinolark::shell
