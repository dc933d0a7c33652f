#include "cast/transport_time.h"

#include <QList>

#include <cmath>

namespace kinolark::cast {

double parseTransportTime(QStringView text)
{
    const QList<QStringView> parts = text.trimmed().split(u':');
    if (parts.size() != 3)
        return -1;
    bool okHours = false, okMinutes = false, okSeconds = false;
    const qlonglong hours = parts[0].toLongLong(&okHours);
    const int minutes = parts[1].toInt(&okMinutes);
    // Fractions come as ".F" or, in old renderers, "F0/F1"; keep the whole seconds then.
    QStringView secondsText = parts[2];
    if (const qsizetype slash = secondsText.indexOf(u'/'); slash >= 0)
        secondsText = secondsText.left(secondsText.lastIndexOf(u'.', slash));
    const double seconds = secondsText.toDouble(&okSeconds);
    if (!okHours || !okMinutes || !okSeconds || hours < 0 || minutes < 0 || minutes > 59 || seconds < 0
        || seconds >= 60 || !std::isfinite(seconds) || hours > 1000000)
        return -1;
    return double(hours) * 3600 + minutes * 60 + seconds;
}

QString formatTransportTime(double seconds)
{
    const qlonglong whole = seconds > 0 && std::isfinite(seconds) ? qlonglong(seconds) : 0;
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

} // namespace kinolark::cast
