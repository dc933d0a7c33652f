#pragma once

#include <QSqlDatabase>

struct sqlite3;

namespace kinolark::store {

// The engine's own handle behind `db`, when it is an SQLite connection run by
// the very SQLite library linked here (the same build, so the handle means
// the same to both); null otherwise.
sqlite3 *sqliteHandle(const QSqlDatabase &db);

} // namespace kinolark::store
