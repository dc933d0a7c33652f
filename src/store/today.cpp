#include "store/today.h"

#include <QLocale>

namespace kinolark::store {

QString dateString(const QDate &date)
{
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

QString todayString()
{
    return dateString(QDate::currentDate());
}

} // namespace kinolark::store
