#pragma once

#include <QIcon>

namespace kinolark::shell {

// The player's control-bar symbols, drawn here: icon themes differ, and
// some lack them. All white on the bar's dark grey, at one stroke width.
enum class Glyph { Play, Pause, Sound, Muted, FullScreen, Window };
QIcon glyph(Glyph which);

} // namespace kinolark::shell
