#pragma once

#include <QString>
#include <QStringList>

namespace kinolark::text {

// The opening lines of the program's own pages, up to the body tag: no
// margins, a black background, no context menu and no text selection.
QStringList pageOpening();

// The lines as one text, each ended by CR LF, the last one too.
QString crlfLines(const QStringList &lines);

} // namespace kinolark::text
