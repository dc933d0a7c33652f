#include "browse/my_group.h"

namespace kinolark::browse::myGroup {

QString groupKey()
{
    return QStringLiteral("my");
}

QString favouritesKey()
{
    return QStringLiteral("my.favourites");
}

QString historyKey()
{
    return QStringLiteral("my.history");
}

QString downloadsKey()
{
    return QStringLiteral("my.downloads");
}

const QList<CategoryNode> &nodes()
{
    static const QList<CategoryNode> group{
        {QString(), groupKey(), QStringLiteral("我的")},
        {groupKey(), favouritesKey(), QStringLiteral("收藏")},
        {groupKey(), historyKey(), QStringLiteral("观看记录")},
        {groupKey(), downloadsKey(), QStringLiteral("下载")},
    };
    return group;
}

} // namespace kinolark::browse::myGroup
