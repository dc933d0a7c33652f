#pragma once

#include <QDate>
#include <QString>

namespace kinolark::store {

// A date as the program stores and compares it: the system's short date
// format. Dates are compared as text, never as dates, so a change of the
// format counts as a new day.
QString dateString(const QDate &date);

// Today's date string, from the local clock.
QString todayString();

} // namespace kinolark::store
