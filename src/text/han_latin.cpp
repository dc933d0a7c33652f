#include "text/han_latin.h"

#include "text/han_latin_table.h"
#include "text/icu_syllable.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

namespace kinolark::text {

struct HanLatin::Transliterator
{
    std::unique_ptr<icu::Transliterator> icu;
};

HanLatin::HanLatin() = default;
HanLatin::~HanLatin() = default;

QByteArrayView HanLatin::syllable(char32_t c)
{
    if (const char *known = hanLatinSyllable(c))
        return QByteArrayView(known);
    const auto found = m_others.constFind(c);
    if (found != m_others.cend())
        return *found;

    if (!m_triedToCreate) {
        m_triedToCreate = true;
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> icu(
            icu::Transliterator::createInstance("Han-Latin; Latin-ASCII", UTRANS_FORWARD, status));
        if (U_SUCCESS(status) && icu) {
            m_transliterator = std::make_unique<Transliterator>();
            m_transliterator->icu = std::move(icu);
        } else {
            qWarning("ICU has no Han-Latin transliterator: %s", u_errorName(status));
        }
    }
    QByteArray letters;
    if (m_transliterator)
        letters = QByteArray::fromStdString(icuSyllable(*m_transliterator->icu, c));
    return *m_others.insert(c, letters);
}

} // namespace kinolark::text
