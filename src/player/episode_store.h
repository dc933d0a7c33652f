#pragma once

#include "player/title_settings.h"

#include <QString>

#include <optional>

namespace kinolark::player {

// What the episode that plays keeps between plays and starts: where each
// episode was left, each title's settings and the volume. The player knows
// nothing of where they are kept.
class EpisodeStore
{
public:
    virtual ~EpisodeStore() = default;

    // Where `address`, the title's play-list line `line`, was left.
    virtual std::optional<double> resumePosition(qint64 titleId, int line, const QString &address) = 0;
    // Playing stopped: the next play starts at `position` (0 for the
    // beginning); `duration` is the episode's length.
    virtual void savePosition(qint64 titleId, int line, const QString &address, double position,
                              double duration) = 0;
    virtual TitleSettings settings(qint64 titleId) = 0;
    virtual void saveSettings(qint64 titleId, const TitleSettings &settings) = 0;
    struct Volume
    {
        int level = 100;
        bool muted = false;
    };
    virtual Volume volume() = 0;
    virtual void saveVolume(const Volume &volume) = 0;
};

} // namespace kinolark::player
