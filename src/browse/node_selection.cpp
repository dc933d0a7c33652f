#include "browse/node_selection.h"

#include "browse/my_group.h"

namespace kinolark::browse {

namespace {

// "'0','1','['" -> 0, 1, [
QStringList unquotedList(const QString &list)
{
    QStringList values;
    const QStringList items = list.split(QLatin1Char(','));
    for (QString item : items) {
        if (item.size() >= 2 && item.startsWith(QLatin1Char('\'')) && item.endsWith(QLatin1Char('\'')))
            item = item.mid(1, item.size() - 2);
        values << item;
    }
    return values;
}

} // namespace

NodeSelection NodeSelection::fromKey(const QString &key)
{
    NodeSelection selection;
    bool numeric = false;
    if (key == myGroup::favouritesKey()) {
        selection.kind = Kind::Favourites;
    } else if (key == myGroup::historyKey()) {
        selection.kind = Kind::History;
    } else if (key == myGroup::downloadsKey()) {
        selection.kind = Kind::Downloads;
    } else if (key.contains(QStringLiteral("cid"))) {
        const qint64 n = QString(key).remove(QStringLiteral("cid")).toLongLong(&numeric);
        if (!numeric)
            return selection;
        selection.category = n;
        selection.kind = n == 0 ? Kind::LiveTv : Kind::Category;
    } else if (key.contains(QLatin1Char('$'))) {
        const QStringList parts = key.split(QLatin1Char('$'));
        const qint64 n = parts.at(0).toLongLong(&numeric);
        if (!numeric || parts.size() < 2)
            return selection;
        selection.category = n;
        selection.initials = unquotedList(parts.at(1));
        selection.kind = Kind::Initials;
    }
    return selection;
}

} // namespace kinolark::browse
