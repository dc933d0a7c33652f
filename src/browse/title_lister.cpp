#include "browse/title_lister.h"

#include <QSqlError>
#include <QSqlQuery>

namespace kinolark::browse {

TitleListing listTitles(const QSqlDatabase &db, const TitleStatement &statement)
{
    TitleListing listing;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(statement.sql)) {
        listing.error = query.lastError().text();
        return listing;
    }
    for (const QVariant &value : statement.values)
        query.addBindValue(value);
    if (!query.exec()) {
        listing.error = query.lastError().text();
        return listing;
    }
    while (query.next()) {
        // A title without a name is listed with empty text.
        listing.titles.append(Title{query.value(0).toLongLong(), query.value(1).toString()});
    }
    if (query.lastError().isValid()) {
        listing.error = query.lastError().text();
        listing.titles.clear();
        return listing;
    }
    listing.ok = true;
    return listing;
}

} // namespace kinolark::browse
