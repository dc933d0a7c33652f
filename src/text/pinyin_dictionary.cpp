#include "text/pinyin_dictionary.h"

#include <QFile>

namespace kinolark::text {

quint64 PinyinDictionary::keyOf(QStringView word)
{
    quint64 key = 0;
    for (const QChar c : word)
        key = (key << 16) | c.unicode();
    return key;
}

bool PinyinDictionary::load(const QString &path)
{
    m_words.clear();
    std::fill(m_longestFrom.begin(), m_longestFrom.end(), 0);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();

    // The entries follow the line "..." that ends the header.
    qsizetype at = 0;
    bool inHeader = bytes.contains("\n...");
    while (at < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', at);
        if (end < 0)
            end = bytes.size();
        const QByteArrayView line = QByteArrayView(bytes).sliced(at, end - at).trimmed();
        at = end + 1;
        if (inHeader) {
            inHeader = line != "...";
            continue;
        }
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype tab = line.indexOf('\t');
        if (tab <= 0)
            continue;
        const QByteArrayView rest = line.sliced(tab + 1);
        const qsizetype secondTab = rest.indexOf('\t');
        const QByteArrayView syllables = (secondTab < 0 ? rest : rest.first(secondTab)).trimmed();
        qint64 weight = 0;
        if (secondTab >= 0) {
            // A weight may be written "12" or "0.5%"; only its whole part counts.
            for (const char digit : rest.sliced(secondTab + 1)) {
                if (digit < '0' || digit > '9' || weight > (qint64(1) << 50))
                    break;
                weight = weight * 10 + (digit - '0');
            }
        }
        const QString word = QString::fromUtf8(line.first(tab));
        // Lower-case letters, one space between syllables.
        QByteArray reading;
        for (const char c : syllables) {
            if (c >= 'a' && c <= 'z')
                reading += c;
            else if (c >= 'A' && c <= 'Z')
                reading += char(c - 'A' + 'a');
            else if (c == ' ' && !reading.isEmpty() && !reading.endsWith(' '))
                reading += ' ';
        }
        if (reading.endsWith(' '))
            reading.chop(1);
        if (word.isEmpty() || word.size() > maxWordLength || reading.isEmpty())
            continue;
        bool han = true;
        for (const QChar c : word)
            han = han && !c.isSurrogate() && c.script() == QChar::Script_Han;
        if (!han)
            continue;
        const quint64 key = keyOf(word);
        const auto found = m_words.find(key);
        if (found == m_words.end()) {
            m_words.insert(key, Entry{reading, weight});
        } else if (weight > found->weight) {
            found->syllables = reading;
            found->weight = weight;
        }
        quint8 &longest = m_longestFrom[word.at(0).unicode()];
        longest = qMax<quint8>(longest, quint8(word.size()));
    }
    return true;
}

PinyinDictionary::Word PinyinDictionary::longestWordAt(QStringView text) const
{
    if (text.isEmpty())
        return {};
    const int longest = qMin<int>(m_longestFrom[text.at(0).unicode()], int(text.size()));
    for (int length = longest; length > 0; --length) {
        const auto found = m_words.constFind(keyOf(text.first(length)));
        if (found != m_words.cend())
            return {length, found->syllables};
    }
    return {};
}

} // namespace kinolark::text
