#pragma once

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <string>

namespace kinolark::text {

// What `transliterator` makes of the character `c` alone, keeping only its
// letters, in lower case: "zhang" for 长 through "Han-Latin; Latin-ASCII".
// Shared by the program and the tool that tables these readings at build
// time, so both read a character alike.
inline std::string icuSyllable(icu::Transliterator &transliterator, char32_t c)
{
    icu::UnicodeString text(static_cast<UChar32>(c));
    transliterator.transliterate(text);
    std::string letters;
    for (int32_t i = 0; i < text.length(); ++i) {
        const char16_t unit = text.charAt(i);
        if (unit >= u'A' && unit <= u'Z')
            letters += char(unit - u'A' + 'a');
        else if (unit >= u'a' && unit <= u'z')
            letters += char(unit);
    }
    return letters;
}

} // namespace kinolark::text
