#include "store/title_ids.h"

namespace kinolark::store {

qint64 trustedTop(const QList<qint64> &descending)
{
    // The top of the ids under the lowest gap among the first few.
    qsizetype top = 0;
    for (qsizetype i = 0; i + 1 < descending.size() && i < outlierCount; ++i) {
        if (descending.at(i) - descending.at(i + 1) > outlierGap)
            top = i + 1;
    }
    return top < descending.size() ? descending.at(top) : 0;
}

} // namespace kinolark::store
