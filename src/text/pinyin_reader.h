#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

#include <memory>

namespace kinolark::text {

class HanLatin;
class PinyinDictionary;

// How a title name reads in pinyin, in lower-case ASCII: the first letter of
// each syllable ("cc" for 长城) and the whole reading without spaces
// ("changcheng"). Digits and Latin letters stand for themselves, so
// "007大破天门" reads "007dptm"; other characters are left out.
struct PinyinReading
{
    QByteArray initials;
    QByteArray full;

    bool operator==(const PinyinReading &other) const
    {
        return initials == other.initials && full == other.full;
    }
    bool operator!=(const PinyinReading &other) const { return !(*this == other); }
};

// Reads title names in pinyin. The Rime dictionary is used word first (the
// longest known word wins, so 银行 reads "yinhang"); a character it lacks
// reads as ICU reads it alone. ICU's reading of every character is taken as
// well, and where the two disagree on a name both readings are kept. Without
// the dictionary file, ICU's reading is the only one.
//
// The dictionary and ICU are loaded on first use, not when the reader is
// made. Safe to use from several threads.
class PinyinReader
{
public:
    explicit PinyinReader(QString dictionaryPath);
    ~PinyinReader();
    PinyinReader(const PinyinReader &) = delete;
    PinyinReader &operator=(const PinyinReader &) = delete;

    // Debian's copy of Rime's simplified pinyin dictionary.
    static QString defaultDictionaryPath();

    // Names the readings this reader gives, so stored readings can be told
    // apart from fresh ones: the dictionary file's size, or "icu" without
    // it. Cheap; loads nothing.
    QString sourceTag() const;

    // One reading, or two when the dictionary and ICU disagree (the
    // dictionary's first).
    QList<PinyinReading> readings(const QString &name) const;

private:
    void load() const;

    QString m_dictionaryPath;
    mutable QMutex m_mutex;
    mutable bool m_loaded = false;
    mutable std::unique_ptr<PinyinDictionary> m_dictionary;
    mutable std::unique_ptr<HanLatin> m_icu;
    // What each character other than ASCII and Han stands for: one ASCII
    // letter or digit, or nothing.
    mutable QHash<char32_t, char> m_others;
};

} // namespace kinolark::text
