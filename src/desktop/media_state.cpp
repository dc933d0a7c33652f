#include "desktop/media_state.h"

#include <cmath>

namespace kinolark::desktop {

std::optional<double> nearestOfferedRate(double rate)
{
    if (!std::isfinite(rate) || rate <= 0)
        return std::nullopt;
    double best = offeredRates.front();
    for (const double offered : offeredRates) {
        if (std::abs(offered - rate) < std::abs(best - rate))
            best = offered;
    }
    return best;
}

} // namespace kinolark::desktop
