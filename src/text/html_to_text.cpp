#include "text/html_to_text.h"

#include <QRegularExpression>

namespace kinolark::text {

namespace {

// "<", one character that is not a line break, then the longest run without
// "<", then ">": a match ends at the last ">" before the next "<", and a "<"
// with no ">" before the next "<" is left alone. Line breaks are the
// characters a script engine treats as line terminators.
const QRegularExpression &tagPattern()
{
    static const QRegularExpression pattern(QStringLiteral("<[^\\r\\n\\x{2028}\\x{2029}][^<]*>"),
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

} // namespace

QString HtmlToText(const QString &html)
{
    if (html.isEmpty())
        return QString(QLatin1String(""));
    QString text = html;
    const QString lineEnd = QStringLiteral("\r\n");
    text.replace(QStringLiteral("</p>"), lineEnd);
    text.replace(QStringLiteral("<br>"), lineEnd);
    text.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    text.replace(QStringLiteral("&rdquo;"), QStringLiteral("."));
    text.replace(QStringLiteral("&ldquo;"), QStringLiteral(" "));
    text.replace(QStringLiteral("&middot;"), QStringLiteral("."));
    text.replace(QStringLiteral("&hellip;"), QStringLiteral("..."));
    text.replace(tagPattern(), QStringLiteral(" "));
    return text;
}

} // namespace kinolark::text
