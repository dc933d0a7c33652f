#pragma once

#include <QString>
#include <QStringList>

namespace kinolark::shell {

// True when files can be created in `folder`; writes nothing.
bool isWritableFolder(const QString &folder);

// The folder the program keeps its pages and catalogue in: the program's own
// folder, or `userFolder` (created if need be) when the program's folder is
// not writable, as after a system-wide install.
QString resolveAppFolder(const QString &programFolder, const QString &userFolder);

// Copies the files supplied with the program (the live TV page, a catalogue)
// into `appFolder` where they are missing there, taking each from the first
// of `sources` that has it. A file already in `appFolder` is never replaced.
void provideSuppliedFiles(const QString &appFolder, const QStringList &sources);

} // namespace kinolark::shell
