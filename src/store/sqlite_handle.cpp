#include "store/sqlite_handle.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

namespace kinolark::store {

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    static const bool sameLibrary = [&db] {
        QSqlQuery query(db);
        return query.exec(QStringLiteral("select sqlite_source_id()")) && query.next()
               && query.value(0).toString() == QLatin1String(sqlite3_sourceid());
    }();
    return sameLibrary ? *static_cast<sqlite3 *const *>(handle.constData()) : nullptr;
}

} // namespace kinolark::store
