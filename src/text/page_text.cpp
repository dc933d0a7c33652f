#include "text/page_text.h"

namespace kinolark::text {

QStringList pageOpening()
{
    return {
        QStringLiteral("<html>"),
        QStringLiteral("<head>"),
        QStringLiteral("<style type=\"text/css\">"),
        QStringLiteral("body{margin-left:0px;margin-right:0px;margin-top:0px;margin-bottom:0px;}"),
        QStringLiteral("</style>"),
        QStringLiteral("</head>"),
        QStringLiteral("<body oncontextmenu=self.event.returnValue=false onselectstart=\"return false\" "
                       "STYLE=\"BACKGROUND-COLOR:#000;\">"),
    };
}

QString crlfLines(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

} // namespace kinolark::text
