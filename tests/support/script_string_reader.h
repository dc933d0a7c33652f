#pragma once

#include <QString>

// The text a script engine reads from the content of a single-quoted string,
// or a null string when the content would end the string or the line.
inline QString readScriptString(const QString &content)
{
    QString out("");
    for (qsizetype i = 0; i < content.size(); ++i) {
        const QChar c = content.at(i);
        if (c == '\'' || c == '\r' || c == '\n' || c == QChar(0x2028) || c == QChar(0x2029))
            return QString();
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == content.size())
            return QString(); // a backslash at the end escapes the closing quote
        const QChar e = content.at(i);
        const int digits = e == 'x' ? 2 : e == 'u' ? 4 : 0;
        if (digits) {
            out += QChar(content.mid(i + 1, digits).toUShort(nullptr, 16));
            i += digits;
        } else {
            out += e == 'r' ? QChar('\r') : e == 'n' ? QChar('\n') : e;
        }
    }
    return out;
}
