#include "library/new_episodes.h"

#include "playback/play_list.h"

#include <QRegularExpression>
#include <QSet>

namespace kinolark::library {

int episodeNumber(const QString &name)
{
    static const QRegularExpression numbered(QStringLiteral("第\\s*(\\d{1,4})\\s*[集话話回期]"));
    static const QRegularExpression bare(QStringLiteral("^(?:ep?\\.?\\s*)?(\\d{1,4})$"),
                                         QRegularExpression::CaseInsensitiveOption);
    QRegularExpressionMatch match = numbered.match(name);
    if (!match.hasMatch())
        match = bare.match(name.trimmed());
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QString NewEpisodes::mark() const
{
    if (count <= 0)
        return QString();
    if (latestNumber >= 0)
        return QStringLiteral("更新至第%1集").arg(latestNumber);
    return QStringLiteral("%1 集新").arg(count);
}

NewEpisodes NewEpisodes::between(const QString &seenPlayList, const QString &currentPlayList)
{
    QSet<QString> seenNames;
    QSet<QString> seenAddresses;
    QSet<int> seenNumbers;
    const playback::PlayList seen = playback::PlayList::parse(seenPlayList);
    for (const playback::Episode &episode : seen.episodes()) {
        const QString name = episode.name.trimmed();
        seenNames.insert(name);
        seenAddresses.insert(episode.address.trimmed());
        if (const int number = episodeNumber(name); number >= 0)
            seenNumbers.insert(number);
    }

    NewEpisodes result;
    QSet<QString> counted;
    bool numbered = false;
    int highest = -1;
    const playback::PlayList current = playback::PlayList::parse(currentPlayList);
    for (const playback::Episode &episode : current.episodes()) {
        const QString name = episode.name.trimmed();
        const int number = episodeNumber(name);
        highest = qMax(highest, number);
        const bool known = seenNames.contains(name) || seenAddresses.contains(episode.address.trimmed())
                          || (number >= 0 && seenNumbers.contains(number));
        if (known || counted.contains(name))
            continue;
        counted.insert(name);
        ++result.count;
        numbered = numbered || number >= 0;
    }
    if (numbered)
        result.latestNumber = highest;
    return result;
}

} // namespace kinolark::library
