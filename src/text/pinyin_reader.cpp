#include "text/pinyin_reader.h"

#include "text/han_latin.h"
#include "text/pinyin_dictionary.h"

#include <QFileInfo>
#include <QStringView>

namespace kinolark::text {

namespace {

bool isAsciiLetterOrDigit(char32_t c)
{
    return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

char lowerAscii(char32_t c)
{
    return char(c >= U'A' && c <= U'Z' ? c - U'A' + U'a' : c);
}

void appendSyllable(PinyinReading &reading, QByteArrayView syllable)
{
    if (syllable.isEmpty())
        return;
    reading.initials += syllable.front();
    reading.full += syllable;
}

// A dictionary reading, "chang cheng", syllable by syllable.
void appendSyllables(PinyinReading &reading, QByteArrayView syllables)
{
    while (!syllables.isEmpty()) {
        const qsizetype space = syllables.indexOf(' ');
        appendSyllable(reading, space < 0 ? syllables : syllables.first(space));
        syllables = space < 0 ? QByteArrayView() : syllables.sliced(space + 1);
    }
}

} // namespace

PinyinReader::PinyinReader(QString dictionaryPath)
    : m_dictionaryPath(std::move(dictionaryPath))
{
}

PinyinReader::~PinyinReader() = default;

QString PinyinReader::defaultDictionaryPath()
{
    return QStringLiteral("/usr/share/rime-data/pinyin_simp.dict.yaml");
}

QString PinyinReader::sourceTag() const
{
    const QFileInfo file(m_dictionaryPath);
    if (m_dictionaryPath.isEmpty() || !file.isFile())
        return QStringLiteral("icu");
    return QStringLiteral("rime %1").arg(file.size());
}

void PinyinReader::load() const
{
    if (m_loaded)
        return;
    m_loaded = true;
    m_icu = std::make_unique<HanLatin>();
    if (m_dictionaryPath.isEmpty())
        return;
    auto dictionary = std::make_unique<PinyinDictionary>();
    if (dictionary->load(m_dictionaryPath) && !dictionary->isEmpty())
        m_dictionary = std::move(dictionary);
}

QList<PinyinReading> PinyinReader::readings(const QString &name) const
{
    QMutexLocker lock(&m_mutex);
    load();

    PinyinReading fromDictionary;
    PinyinReading fromIcu;
    // Room for the longest syllables, so the readings are allocated once.
    for (PinyinReading *reading : {&fromDictionary, &fromIcu}) {
        reading->initials.reserve(name.size());
        reading->full.reserve(name.size() * 6);
    }
    qsizetype coveredUntil = 0; // the end of the last dictionary word
    const qsizetype size = name.size();
    for (qsizetype i = 0; i < size;) {
        const QChar unit = name.at(i);
        char32_t c = unit.unicode();
        qsizetype width = 1;
        if (unit.isHighSurrogate() && i + 1 < size && name.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(unit, name.at(i + 1));
            width = 2;
        } else if (unit.isSurrogate()) {
            c = QChar::ReplacementCharacter;
        }

        if (c < 0x80) {
            if (isAsciiLetterOrDigit(c)) {
                const char kept = lowerAscii(c);
                for (PinyinReading *reading : {&fromDictionary, &fromIcu}) {
                    reading->initials += kept;
                    reading->full += kept;
                }
            }
        } else if (QChar::script(c) == QChar::Script_Han) {
            const QByteArrayView alone = m_icu->syllable(c);
            appendSyllable(fromIcu, alone);
            if (i >= coveredUntil) {
                const PinyinDictionary::Word word =
                    m_dictionary ? m_dictionary->longestWordAt(QStringView(name).sliced(i)) : PinyinDictionary::Word();
                if (word.length > 0) {
                    appendSyllables(fromDictionary, word.syllables);
                    coveredUntil = i + word.length;
                } else {
                    appendSyllable(fromDictionary, alone);
                }
            }
        } else {
            char kept = 0;
            const auto found = m_others.constFind(c);
            if (found != m_others.cend()) {
                kept = *found;
            } else {
                // Full-width letters, accented letters, circled digits: the
                // one ASCII letter or digit they decompose to, if just one.
                const QString decomposed = QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KD);
                int count = 0;
                for (const QChar d : decomposed) {
                    if (d.unicode() < 0x80 && isAsciiLetterOrDigit(d.unicode())) {
                        kept = lowerAscii(d.unicode());
                        ++count;
                    }
                }
                if (count != 1)
                    kept = 0;
                m_others.insert(c, kept);
            }
            if (kept) {
                for (PinyinReading *reading : {&fromDictionary, &fromIcu}) {
                    reading->initials += kept;
                    reading->full += kept;
                }
            }
        }
        i += width;
    }

    if (!m_dictionary || fromDictionary == fromIcu)
        return {fromIcu};
    return {fromDictionary, fromIcu};
}

} // namespace kinolark::text
