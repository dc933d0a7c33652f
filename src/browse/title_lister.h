#pragma once

#include "browse/title.h"
#include "browse/title_statement.h"

#include <QSqlDatabase>
#include <QVector>

namespace kinolark::browse {

struct TitleListing
{
    bool ok = false;
    QVector<Title> titles; // in the order the catalogue gives them
    QString error;         // the engine's words when not ok
};

// Runs `statement` on `db` and reads every row, front to back, once.
TitleListing listTitles(const QSqlDatabase &db, const TitleStatement &statement);

} // namespace kinolark::browse
