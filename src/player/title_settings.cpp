#include "player/title_settings.h"

#include <cmath>

namespace kinolark::player {

const QList<double> &offeredRates()
{
    static const QList<double> rates{0.5, 0.75, 1, 1.25, 1.5, 2, 3};
    return rates;
}

double nearestRate(double rate)
{
    if (!std::isfinite(rate) || rate <= 0)
        return 1;
    double best = offeredRates().constFirst();
    for (const double offered : offeredRates()) {
        if (std::abs(offered - rate) < std::abs(best - rate))
            best = offered;
    }
    return best;
}

double stepRate(double rate, int steps)
{
    const QList<double> &rates = offeredRates();
    const int at = int(rates.indexOf(nearestRate(rate)));
    return rates.at(qBound(0, at + steps, int(rates.size()) - 1));
}

QString rateText(double rate)
{
    return QString::number(rate) + QStringLiteral("×");
}

std::optional<double> openingSkip(const TitleSettings &settings, double position, double duration)
{
    if (!settings.skip || !settings.openingEnd || !(duration > 0))
        return std::nullopt;
    const double end = *settings.openingEnd;
    // An opening as long as the episode is no opening of this one.
    if (!(end > 0) || end >= duration || position >= end)
        return std::nullopt;
    return end;
}

std::optional<double> endingStart(const TitleSettings &settings, double duration)
{
    if (!settings.skip || !settings.endingBefore || !(duration > 0))
        return std::nullopt;
    const double start = duration - *settings.endingBefore;
    if (!(start > 0) || start <= settings.openingEnd.value_or(0))
        return std::nullopt;
    return start;
}

SettingChange markOpeningEnd(const TitleSettings &settings, double position, double duration)
{
    SettingChange change{settings, QString()};
    if (!std::isfinite(position) || position <= 0)
        return change;
    change.settings.openingEnd = position;
    if (settings.endingBefore && duration > 0 && position >= duration - *settings.endingBefore) {
        change.settings.endingBefore.reset();
        change.note = QStringLiteral("片头结束在片尾开始之后，已清除片尾设置");
    }
    return change;
}

SettingChange markEndingStart(const TitleSettings &settings, double position, double duration)
{
    SettingChange change{settings, QString()};
    if (!(duration > 0) || !std::isfinite(position) || position <= 0 || position >= duration) {
        change.note = QStringLiteral("视频时长未知，无法设置片尾");
        return change;
    }
    change.settings.endingBefore = duration - position;
    if (settings.openingEnd && position <= *settings.openingEnd) {
        change.settings.openingEnd.reset();
        change.note = QStringLiteral("片尾开始在片头结束之前，已清除片头设置");
    }
    return change;
}

} // namespace kinolark::player
