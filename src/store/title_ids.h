#pragma once

#include <QList>
#include <QtGlobal>

namespace kinolark::store {

// The ids a title may have: those of the 32-bit integer column the
// catalogue's format was made for. Ids grow in sequence, so one far above
// all the others is no title of the site's.
constexpr qint64 highestTitleId = 2147483647;
constexpr qint64 outlierGap = 1000000;

inline bool isTitleId(qint64 id)
{
    return id >= 1 && id <= highestTitleId;
}

// The highest id of `descending` (ids from the highest down) that is not
// cut off from those below it by more than `outlierGap`: a few ids above
// such a gap (at most `outlierCount`) are no titles of the site's. More
// than that are taken for a jump in the site's own numbering. 0 when there
// are no ids.
constexpr int outlierCount = 16;
qint64 trustedTop(const QList<qint64> &descending);

} // namespace kinolark::store
