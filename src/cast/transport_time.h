#pragma once

#include <QString>
#include <QStringView>

namespace kinolark::cast {

// AVTransport times: "H+:MM:SS" with optional fractions ("0:01:02.500",
// "01:02:03"). Seconds, or -1 for "NOT_IMPLEMENTED", empty text and
// anything malformed.
double parseTransportTime(QStringView text);

// "H:MM:SS", as Seek's REL_TIME target; negative values count as 0.
QString formatTransportTime(double seconds);

} // namespace kinolark::cast
