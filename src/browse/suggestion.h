#pragma once

#include <QString>
#include <QtGlobal>

namespace kinolark::browse {

// One row of the suggestions under the search box.
struct Suggestion
{
    qint64 id = 0;
    QString name;
    qint64 category = 0;
    QString categoryName; // empty for a category the tree does not know
};

} // namespace kinolark::browse
