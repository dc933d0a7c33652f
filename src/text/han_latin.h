#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>

#include <memory>

namespace kinolark::text {

// ICU's reading of single Han characters ("Han-Latin; Latin-ASCII"), as
// lower-case ASCII letters. Most come from the table the build makes
// (hanLatinSyllable); for the others the transliterator is made on first
// use and each reading is kept once found. Not for use from two threads at
// once.
class HanLatin
{
public:
    HanLatin();
    ~HanLatin();
    HanLatin(const HanLatin &) = delete;
    HanLatin &operator=(const HanLatin &) = delete;

    // The reading of `c`, e.g. "zhang" for 长; empty when ICU has none.
    QByteArrayView syllable(char32_t c);

private:
    struct Transliterator;
    std::unique_ptr<Transliterator> m_transliterator;
    bool m_triedToCreate = false;
    QHash<char32_t, QByteArray> m_others;
};

} // namespace kinolark::text
