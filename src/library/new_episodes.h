#pragma once

#include <QString>

namespace kinolark::library {

// What a title's play list holds that the user has not seen.
//
// An episode of the current list counts as seen when the list the user last
// saw had an episode with the same name, the same play address or the same
// episode number. So a list that grew counts its added episodes; one that
// shrank counts nothing for what it lost; renamed episodes ("第01集" becoming
// "第1集") or moved ones (a new host for the same names) are not new; and
// the line feed a CR LF list leaves before a name does not matter. Episodes
// under one name (the same episode from two sources) count once.
struct NewEpisodes
{
    int count = 0;
    // The highest episode number in the current list, when the new episodes
    // carry numbers; -1 otherwise.
    int latestNumber = -1;

    // "更新至第N集", "N 集新", or empty when nothing is new.
    QString mark() const;

    static NewEpisodes between(const QString &seenPlayList, const QString &currentPlayList);
};

// The number an episode's name gives it: "第12集", "第 3 话", "12", "EP12";
// -1 for names without one (a date such as "20130105期" is no episode number).
int episodeNumber(const QString &name);

} // namespace kinolark::library
