// Charset detection against a plain byte-by-byte reading of the same rules,
// and decoding that never loses a non-empty answer.
#include "fuzz_check.h"
#include "site/bytes_to_text.h"

using namespace kinolark::site;

namespace {

// The rules one byte at a time, without the fast path.
bool slowIsUtf8(const QByteArray &bytes)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    if (n < 3)
        return false;
    if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        return true;
    qsizetype ascii = 0;
    qsizetype i = 0;
    const auto cont = [&](qsizetype k) { return (b[k] & 0xC0) == 0x80; };
    while (i < n) {
        if (b[i] < 0x80) {
            ++i;
            ++ascii;
        } else if (i + 1 < n && (b[i] & 0xE0) == 0xC0 && cont(i + 1)) {
            i += 2;
        } else if (i + 2 < n && (b[i] & 0xF0) == 0xE0 && cont(i + 1) && cont(i + 2)) {
            i += 3;
        } else if (i + 3 < n && (b[i] & 0xF8) == 0xF0 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            i += 4;
        } else {
            return false;
        }
    }
    return ascii != n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const bool utf8 = IsUtf8Bytes(bytes);
    FUZZ_CHECK(utf8 == slowIsUtf8(bytes), "fast and plain readings agree");
    if (size < 3)
        FUZZ_CHECK(!utf8, "nothing shorter than three bytes is UTF-8");

    const QString text = BytesToText(bytes);
    const bool bomOnly = bytes == QByteArray("\xEF\xBB\xBF");
    FUZZ_CHECK(text.isEmpty() == (bytes.isEmpty() || bomOnly), "a non-empty answer gives text");
    if (utf8 && !bytes.startsWith("\xEF\xBB\xBF"))
        FUZZ_CHECK(!text.startsWith(QChar(0xFEFF)) || bytes.startsWith("\xEF\xBB\xBF"), "no invented mark");
    // Pure ASCII reads the same in both charsets.
    bool ascii = true;
    for (char c : bytes)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        FUZZ_CHECK(text == QString::fromLatin1(bytes), "ASCII passes unchanged");
    return 0;
}
