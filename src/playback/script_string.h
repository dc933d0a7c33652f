#pragma once

#include <QString>

namespace kinolark::playback {

// `text` made safe to stand between single quotes in a script inside an
// HTML page written in GBK: the string means exactly `text`, and nothing in
// it can end the string, the line or the script element. Text that needs
// no care comes back unchanged.
QString scriptStringContent(const QString &text);

} // namespace kinolark::playback
