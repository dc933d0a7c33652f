#include "cast/cast_log.h"

namespace kinolark::cast {

Q_LOGGING_CATEGORY(castLog, "kinolark.cast", QtInfoMsg)

} // namespace kinolark::cast
