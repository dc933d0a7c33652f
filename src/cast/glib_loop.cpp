#include "cast/glib_loop.h"

#include <QAbstractEventDispatcher>

namespace kinolark::cast {

bool glibLoopInUse()
{
    const QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    // The GUI's dispatcher (QPAEventDispatcherGlib) derives from it.
    return dispatcher && dispatcher->inherits("QEventDispatcherGlib");
}

} // namespace kinolark::cast
