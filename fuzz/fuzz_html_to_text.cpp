// Description cleanup: no tag survives, and text without "<" or "&" comes
// back unchanged.
#include "fuzz_check.h"
#include "text/html_to_text.h"

#include <QRegularExpression>

using kinolark::text::HtmlToText;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString html = fuzzText(data, size);
    const QString text = HtmlToText(html);

    // "<", a character that is not a line break, a run without "<", ">".
    static const QRegularExpression tag(QStringLiteral("<[^\\r\\n\\x{2028}\\x{2029}][^<]*>"));
    FUZZ_CHECK(!tag.match(text).hasMatch(), "no tag left in the text");
    if (!html.contains(QLatin1Char('<')) && !html.contains(QLatin1Char('&')))
        FUZZ_CHECK(text == html, "plain text passes unchanged");
    FUZZ_CHECK(text.count(QLatin1Char('<')) <= html.count(QLatin1Char('<')), "no < is invented");
    return 0;
}
