#include "browse/suggestion_query.h"

#include "store/title_key.h"

namespace kinolark::browse {

SuggestionQuery SuggestionQuery::from(const QString &typed)
{
    SuggestionQuery query;
    const QString text = typed.trimmed();
    query.name = store::TitleKey::folded(text);
    query.length = store::TitleKey::characterCount(query.name);
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        const char16_t u = c.unicode();
        if ((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z')) {
            query.pinyin += char(u);
        } else if (u >= u'A' && u <= u'Z') {
            query.pinyin += char(u - u'A' + u'a');
        } else {
            query.pinyin.clear();
            break;
        }
    }
    return query;
}

QByteArray SuggestionQuery::ftsPhrase(const QString &text)
{
    QString phrase = text;
    phrase.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return (QLatin1Char('"') + phrase + QLatin1Char('"')).toUtf8();
}

QString SuggestionQuery::likePattern(const QString &text, bool prefixOnly)
{
    QString pattern;
    pattern.reserve(text.size() + 2);
    if (!prefixOnly)
        pattern += QLatin1Char('%');
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    pattern += QLatin1Char('%');
    return pattern;
}

QString SuggestionQuery::pastPrefix(const QString &prefix)
{
    const std::u32string points = prefix.toStdU32String();
    if (points.empty() || points.back() >= 0x10FFFF)
        return QString();
    std::u32string next = points;
    ++next.back();
    if (next.back() >= 0xD800 && next.back() <= 0xDFFF)
        next.back() = 0xE000;
    return QString::fromStdU32String(next);
}

} // namespace kinolark::browse
