#include "text/shown_lines.h"

namespace kinolark::text {

namespace {

bool isLineEnd(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

// Where a piece of at most `longest` characters from `start` may end: after
// the last blank or punctuation mark of its final eighth, else at its length.
qsizetype pieceEnd(const QString &text, qsizetype start, qsizetype longest)
{
    const qsizetype hardEnd = start + longest;
    for (qsizetype at = hardEnd; at > hardEnd - longest / 8; --at) {
        const QChar c = text.at(at - 1);
        if (c.isSpace() || c.isPunct())
            return at;
    }
    // Never between the two halves of a character outside the BMP.
    return text.at(hardEnd - 1).isHighSurrogate() ? hardEnd - 1 : hardEnd;
}

} // namespace

QString breakLongLines(const QString &text, qsizetype longest)
{
    if (longest < 16 || text.size() <= longest)
        return text;
    QString out;
    out.reserve(text.size() + text.size() / longest * 2 + 2);
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isLineEnd(text.at(i))) {
            if (i - lineStart < longest)
                continue;
            const qsizetype end = pieceEnd(text, lineStart, longest);
            out += QStringView(text).mid(lineStart, end - lineStart);
            out += QLatin1String("\r\n");
            lineStart = end;
            continue;
        }
        // The line and its end go through as they are.
        const qsizetype stop = i < text.size() ? i + 1 : i;
        out += QStringView(text).mid(lineStart, stop - lineStart);
        lineStart = stop;
    }
    return out;
}

} // namespace kinolark::text
