// Description cleanup: no tag and none of the five entities survives, text
// without "<" or "&" comes back unchanged, and cleaning the result again
// changes nothing.
#include "fuzz_check.h"
#include "text/html_to_text.h"

using kinolark::text::HtmlToText;

namespace {

bool isLineBreak(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0x2028) || c == QChar(0x2029);
}

// A plain scan for what counts as a tag: "<", a character that is not a
// line break, a run without "<", then ">".
qsizetype findTag(const QString &text)
{
    for (qsizetype i = 0; i + 2 < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('<') || isLineBreak(text.at(i + 1)))
            continue;
        for (qsizetype j = i + 2; j < text.size() && text.at(j) != QLatin1Char('<'); ++j) {
            if (text.at(j) == QLatin1Char('>'))
                return i;
        }
    }
    return -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString html = fuzzText(data, size);
    const QString text = HtmlToText(html);

    FUZZ_CHECK(findTag(text) < 0, "no tag left in the text");
    for (const char *entity : {"&nbsp;", "&rdquo;", "&ldquo;", "&middot;", "&hellip;"})
        FUZZ_CHECK(!text.contains(QLatin1String(entity)), "no known entity left in the text");
    if (!html.contains(QLatin1Char('<')) && !html.contains(QLatin1Char('&')))
        FUZZ_CHECK(text == html, "plain text passes unchanged");
    FUZZ_CHECK(text.count(QLatin1Char('<')) <= html.count(QLatin1Char('<')), "no < is invented");
    FUZZ_CHECK(text.count(QLatin1Char('>')) <= html.count(QLatin1Char('>')), "no > is invented");
    FUZZ_CHECK(!text.isNull(), "never null");
    FUZZ_CHECK(HtmlToText(text) == text, "clean text stays as it is");
    return 0;
}
