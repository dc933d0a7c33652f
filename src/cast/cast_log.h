#pragma once

#include <QLoggingCategory>

namespace kinolark::cast {

// What the control point ignores, and why: hostile descriptions, floods.
Q_DECLARE_LOGGING_CATEGORY(castLog)

} // namespace kinolark::cast
