#include "playback/script_string.h"

#include <QStringEncoder>

namespace kinolark::playback {

namespace {

// Whether the page's code page can hold `c` (a BMP character or a whole
// surrogate pair).
bool fitsPage(QStringView c)
{
    QStringEncoder gbk("GBK");
    const QByteArray bytes = gbk.encode(c);
    return !gbk.hasError() && !bytes.isEmpty();
}

QString hex(uint value, int width)
{
    return QString::number(value, 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

} // namespace

QString scriptStringContent(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        switch (u) {
        case u'\\':
            out += QLatin1String("\\\\");
            continue;
        case u'\'':
            out += QLatin1String("\\'");
            continue;
        case u'\r':
            out += QLatin1String("\\r");
            continue;
        case u'\n':
            out += QLatin1String("\\n");
            continue;
        case u'<':
            // "</script>" or "<!--" would end or bend the script element.
            out += QLatin1String("\\x3C");
            continue;
        default:
            break;
        }
        if (u < 0x20 || u == 0x7f) {
            out += QLatin1String("\\x") + hex(u, 2);
            continue;
        }
        if (u < 0x80) {
            out += c;
            continue;
        }
        // Line terminators of the script language, and characters the page's
        // code page cannot hold, go in as escapes so they survive.
        const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const QStringView character = QStringView(text).mid(i, pair ? 2 : 1);
        if (u == 0x2028 || u == 0x2029 || !fitsPage(character)) {
            for (const QChar unit : character)
                out += QLatin1String("\\u") + hex(unit.unicode(), 4);
        } else {
            out += character;
        }
        if (pair)
            ++i;
    }
    return out;
}

} // namespace kinolark::playback
