#include "playback/play_list.h"

#include <QStringView>

namespace kinolark::playback {

bool PlayList::accepts(const QString &answer)
{
    return answer.contains(QLatin1Char('$'));
}

PlayList PlayList::parse(const QString &text)
{
    PlayList list;
    const QLatin1String separator("//");
    const QList<QStringView> lines = QStringView(text).split(QLatin1Char('\r'));
    list.m_lineCount = int(lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        const QStringView line = lines.at(i);
        const qsizetype slashes = line.indexOf(separator);
        if (slashes < 0)
            continue;
        const QStringView head = line.left(slashes);
        const qsizetype dollar = head.indexOf(QLatin1Char('$'));
        if (dollar < 0)
            continue; // no scheme to put before the "//"
        QStringView scheme = head.mid(dollar + 1);
        const qsizetype secondDollar = scheme.indexOf(QLatin1Char('$'));
        if (secondDollar >= 0)
            scheme = scheme.left(secondDollar);
        QStringView tail = line.mid(slashes + 2);
        const qsizetype secondSlashes = tail.indexOf(separator);
        if (secondSlashes >= 0)
            tail = tail.left(secondSlashes);
        list.m_episodes.append(
            Episode{i, head.left(dollar).toString(), scheme.toString() + separator + tail});
    }
    return list;
}

QVector<QString> PlayList::addressTable(int minimumSize) const
{
    QVector<QString> table(qMax(minimumSize, m_lineCount));
    for (const Episode &episode : m_episodes)
        table[episode.line] = episode.address;
    return table;
}

} // namespace kinolark::playback
