#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariantList>

// Runs `sql` on `database` with `values` bound in order.
inline bool execSql(const QSqlDatabase &database, const QString &sql, const QVariantList &values = {})
{
    QSqlQuery query(database);
    query.prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    return query.exec();
}
