#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>

#include <vector>

namespace kinolark::text {

// A Rime pinyin dictionary ("word<TAB>syllables with spaces<TAB>weight" lines
// after a YAML header), read for the longest word at a place in a text. A
// word with several readings keeps its heaviest one.
class PinyinDictionary
{
public:
    // Words longer than this are not looked for.
    static constexpr int maxWordLength = 4;

    // False, and an empty dictionary, when the file cannot be read.
    bool load(const QString &path);
    bool isEmpty() const { return m_words.isEmpty(); }
    int size() const { return int(m_words.size()); }

    struct Word
    {
        int length = 0;        // in UTF-16 units; 0 when no word starts there
        QByteArray syllables;  // "chang cheng": lower-case letters, one space between syllables
    };
    // The longest known word at the start of `text`.
    Word longestWordAt(QStringView text) const;

private:
    struct Entry
    {
        QByteArray syllables;
        qint64 weight = 0;
    };
    // Up to four UTF-16 units packed into one number, first unit highest.
    static quint64 keyOf(QStringView word);

    QHash<quint64, Entry> m_words;
    // The longest word each unit begins, so most places need one look-up.
    std::vector<quint8> m_longestFrom = std::vector<quint8>(0x10000, 0);
};

} // namespace kinolark::text
