#include "site/bytes_to_text.h"

#include <QStringDecoder>

#include <cstring>

namespace kinolark::site {

bool IsUtf8Bytes(const QByteArray &bytes)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 3)
        return false;
    if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        return true;

    const auto continuation = [b](qsizetype at) { return (b[at] & 0xC0) == 0x80; };
    bool sawSequence = false;
    qsizetype i = 0;
    while (i < n) {
        // Plain ASCII is by far the most common; take it eight bytes at a time.
        if (i + 8 <= n) {
            quint64 word;
            std::memcpy(&word, b + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char lead = b[i];
        if (lead < 0x80) {
            i += 1;
        } else if (i + 1 < n && (lead & 0xE0) == 0xC0 && continuation(i + 1)) {
            i += 2;
            sawSequence = true;
        } else if (i + 2 < n && (lead & 0xF0) == 0xE0 && continuation(i + 1) && continuation(i + 2)) {
            i += 3;
            sawSequence = true;
        } else if (i + 3 < n && (lead & 0xF8) == 0xF0 && continuation(i + 1) && continuation(i + 2)
                   && continuation(i + 3)) {
            i += 4;
            sawSequence = true;
        } else {
            return false;
        }
    }
    return sawSequence;
}

QString BytesToText(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QString();
    // Stateless: a character cut off at the end shows as a replacement
    // character instead of silently waiting for bytes that never come.
    if (IsUtf8Bytes(bytes)) {
        // Drops a leading byte-order mark.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        return utf8.decode(bytes);
    }
    QStringDecoder gbk("GBK", QStringConverter::Flag::Stateless);
    if (!gbk.isValid())
        return QString();
    // The GBK decoder keeps a lead byte at the very end for a trail byte
    // that never comes; a final line feed makes it give that byte up as a
    // replacement character, and is then taken off again.
    QString text = gbk.decode(bytes + '\n');
    text.chop(1);
    return text;
}

} // namespace kinolark::site
