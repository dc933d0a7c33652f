#pragma once

#include <QByteArray>
#include <QString>

namespace kinolark::site {

// True when the site's answer is taken for UTF-8 rather than GB2312: at least
// three bytes, and either a byte-order mark or only well-formed two-, three-
// and four-byte sequences among the ASCII, with at least one of them.
// Only the bit patterns are looked at.
bool IsUtf8Bytes(const QByteArray &bytes);

// The answer as text: UTF-8 when IsUtf8Bytes says so, otherwise GB2312 read
// as GBK. A byte-order mark is not part of the text. Null gives empty text.
QString BytesToText(const QByteArray &bytes);

} // namespace kinolark::site
