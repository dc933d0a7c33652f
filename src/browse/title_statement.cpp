#include "browse/title_statement.h"

namespace kinolark::browse {

TitleStatement TitleStatement::category(qint64 category)
{
    return {QStringLiteral("select vod_id,vod_name from vod where vod_cid=?"), {category}};
}

TitleStatement TitleStatement::initials(qint64 category, const QStringList &initials)
{
    TitleStatement statement;
    QStringList marks;
    statement.values << category;
    for (const QString &initial : initials) {
        marks << QStringLiteral("?");
        statement.values << initial;
    }
    // The collation is spelled out so catalogues whose column was declared
    // without it still match "a" and "A" alike.
    statement.sql = QStringLiteral("select vod_id,vod_name from vod where vod_cid=? "
                                   "and vod_letter collate nocase in(%1)")
                        .arg(marks.join(QLatin1Char(',')));
    return statement;
}

TitleStatement TitleStatement::search(const QString &text)
{
    return {QStringLiteral("select vod_id,vod_name from vod where vod_name like ?"),
            {QString(QLatin1Char('%') + text + QLatin1Char('%'))}};
}

TitleStatement TitleStatement::title(qint64 id)
{
    return {QStringLiteral("select vod_id,vod_name from vod where vod_id=?"), {id}};
}

} // namespace kinolark::browse
