#pragma once

#include <QSqlDatabase>
#include <QString>

namespace kinolark::store {

// The user's own tables beside the catalogue's three: favourites, the
// library's small state, where episodes were left, per-title player
// settings and downloads. Made when missing, each time a catalogue opens;
// the catalogue's own tables are never touched.
bool createUserTables(const QSqlDatabase &database, QString *error);

} // namespace kinolark::store
