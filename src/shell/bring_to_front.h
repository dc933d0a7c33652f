#pragma once

class QWidget;

namespace kinolark::shell {

// Restores `window` if it is minimised, raises it and gives it the focus,
// also when another program's window took the focus since it last saw the
// user.
void bringToFront(QWidget *window);

} // namespace kinolark::shell
