#pragma once

#include <QString>

namespace kinolark::text {

// A title description (an HTML fragment) as plain text for the description
// box: paragraph ends and "<br>" become CR LF, five entities become plain
// characters, and every remaining tag becomes one space. Nothing else is
// touched: other entities stay, white space is kept as it is. A null
// description gives the empty text.
QString HtmlToText(const QString &html);

} // namespace kinolark::text
