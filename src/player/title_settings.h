#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace kinolark::player {

// What the user set for a title, for each of its episodes.
struct TitleSettings
{
    double speed = 1;
    std::optional<double> openingEnd;   // seconds from the start
    std::optional<double> endingBefore; // seconds before the end, so it fits episodes of any length
    bool skip = true;                   // the opening and the ending are skipped

    bool operator==(const TitleSettings &other) const
    {
        return speed == other.speed && openingEnd == other.openingEnd && endingBefore == other.endingBefore
               && skip == other.skip;
    }
};

// The speeds offered, slowest first.
const QList<double> &offeredRates();
// The offered speed nearest to `rate`; 1 for one that is no speed at all.
double nearestRate(double rate);
// The offered speed `steps` places from `rate`, held to the slowest and
// the fastest.
double stepRate(double rate, int steps);
// "1.5×"
QString rateText(double rate);

// Where the opening ends, when an episode `duration` long that has got to
// `position` should jump there now; nothing when it should not.
std::optional<double> openingSkip(const TitleSettings &settings, double position, double duration);
// Where the ending starts in an episode `duration` long, when the ending
// is skipped; nothing when it is not.
std::optional<double> endingStart(const TitleSettings &settings, double duration);

// The settings after the user marks the opening's end, or the ending's
// start, at `position` of an episode `duration` long. Marks that cross win
// over the other one, which goes; `note` then says so.
struct SettingChange
{
    TitleSettings settings;
    QString note;
};
SettingChange markOpeningEnd(const TitleSettings &settings, double position, double duration);
SettingChange markEndingStart(const TitleSettings &settings, double position, double duration);

} // namespace kinolark::player
