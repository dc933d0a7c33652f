#include "store/title_key.h"

namespace kinolark::store {

qsizetype TitleKey::characterCount(QStringView text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        ++count;
    }
    return count;
}

QString TitleKey::folded(QStringView text)
{
    QString out = text.toString();
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QChar c = out.at(i);
        if (c.isHighSurrogate() && i + 1 < out.size() && out.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate() || c == QChar(startMark) || c == QChar(endMark)) {
            out[i] = QChar::ReplacementCharacter;
        }
    }
    return out.toCaseFolded();
}

QByteArray TitleKey::indexedName(QStringView name)
{
    QString text;
    text.reserve(name.size() + 3);
    text += QChar(startMark);
    text += folded(name);
    text += QChar(endMark);
    text += QChar(endMark);
    return text.toUtf8();
}

} // namespace kinolark::store
