#pragma once

#include <QString>
#include <QtGlobal>

namespace kinolark::browse {

// One row of the title list.
struct Title
{
    qint64 id = 0;
    QString name;
};

} // namespace kinolark::browse
