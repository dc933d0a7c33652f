#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>

namespace kinolark::desktop {

// What the desktop's media controls see of the episode that plays.
struct MediaState
{
    enum class Status { Stopped, Playing, Paused };

    Status status = Status::Stopped; // Stopped: no episode; the episode's fields are not shown
    QString key;                     // the episode's identity: a new key is a new track
    QString episode;                 // the episode's name
    QString title;                   // the title's name
    qint64 lengthUs = 0;             // 0 while not known
    QString artUrl;                  // a picture's address; empty, none
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canSeek = true;             // false for a live stream
    double rate = 1;
    double volume = 1;               // 0 to 1
};

// The playing rates offered, slowest first.
constexpr std::array<double, 7> offeredRates{0.5, 0.75, 1, 1.25, 1.5, 2, 3};

// The offered rate nearest to `rate`; nothing for a rate that is not a
// forward speed (zero, negative, not a number, infinite).
std::optional<double> nearestOfferedRate(double rate);

} // namespace kinolark::desktop
