#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QtGlobal>

namespace kinolark::store {

// A title's place in a list of suggestions of one rank, shorter names first
// and then newer titles, as one number: the name's length in characters
// above, the id counted down below. The side tables key their rows by it, so
// reading them in key order reads titles in that order, and a scan can stop
// as soon as it has enough. Titles whose id does not fit are not indexed.
struct TitleKey
{
    static constexpr int idBits = 40;
    static constexpr qint64 highestId = (qint64(1) << idBits) - 1;
    static constexpr qint64 longestName = (qint64(1) << 22) - 1;

    static constexpr bool fits(qint64 id) { return id >= 0 && id <= highestId; }
    static constexpr qint64 of(qint64 nameLength, qint64 id)
    {
        return (qMin(nameLength, longestName) << idBits) | (highestId - id);
    }
    // The first key of the names of `nameLength` characters.
    static constexpr qint64 firstOfLength(qint64 nameLength) { return of(nameLength, highestId); }
    static constexpr qint64 idOf(qint64 key) { return highestId - (key & highestId); }
    static constexpr qint64 nameLengthOf(qint64 key) { return key >> idBits; }

    // The pinyin table holds up to two readings of a title: two rows a key.
    static constexpr qint64 readingRow(qint64 key, int reading) { return key * 2 + reading; }
    static constexpr qint64 keyOfReadingRow(qint64 row) { return row / 2; }

    // A name's length in characters: a pair of surrogates counts once.
    static qsizetype characterCount(QStringView text);

    // Name text as the name index holds it and as it is looked up: letter
    // case folded, a lone surrogate and the two marks below replaced by
    // U+FFFD, so compared texts keep their lengths in characters.
    static QString folded(QStringView text);
    // What the name index holds for a name: the start mark, the folded
    // name, then the end mark twice. With the marks every one or two
    // characters of a name, and its start, begin a three-character piece.
    static QByteArray indexedName(QStringView name);

    static constexpr char16_t startMark = u'\u0002';
    static constexpr char16_t endMark = u'\u0003';
};

} // namespace kinolark::store
