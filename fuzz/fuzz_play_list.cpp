// Play lists: every episode comes from a line that holds "//" after a "$",
// keeps that line's index, every such line gives one, and the address table
// has a place for each.
#include "fuzz_check.h"
#include "playback/play_list.h"

#include <QStringList>

using kinolark::playback::PlayList;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzzText(data, size);
    const PlayList list = PlayList::parse(text);
    const QStringList lines = text.split(QLatin1Char('\r'));
    FUZZ_CHECK(list.lineCount() == lines.size(), "every CR starts a line");

    int previous = -1;
    for (const auto &episode : list.episodes()) {
        FUZZ_CHECK(episode.line > previous, "episodes in line order, one a line");
        previous = episode.line;
        FUZZ_CHECK(episode.line >= 0 && episode.line < lines.size(), "index inside the list");
        const QString &line = lines.at(episode.line);
        const qsizetype slashes = line.indexOf(QStringLiteral("//"));
        FUZZ_CHECK(slashes >= 0, "an episode's line contains //");
        FUZZ_CHECK(line.left(slashes).contains(QLatin1Char('$')), "a $ comes before the //");
        FUZZ_CHECK(!episode.name.contains(QLatin1Char('$')) && !episode.name.contains(QLatin1Char('\r')),
                   "a name stops at the first $");
        FUZZ_CHECK(line.startsWith(episode.name + QLatin1Char('$')), "the name opens the line");
        FUZZ_CHECK(episode.address.contains(QStringLiteral("//")), "an address keeps its //");
        FUZZ_CHECK(line.contains(episode.address.section(QStringLiteral("//"), 1)), "the address comes from the line");
    }
    // And the other way: every line with a "$" before its first "//" gives
    // an episode.
    int expected = 0;
    for (const QString &line : lines) {
        const qsizetype slashes = line.indexOf(QStringLiteral("//"));
        if (slashes >= 0 && line.left(slashes).contains(QLatin1Char('$')))
            ++expected;
    }
    FUZZ_CHECK(list.episodes().size() == expected, "no episode line is missed");

    const auto table = list.addressTable();
    FUZZ_CHECK(table.size() >= 1501 && table.size() >= list.lineCount(), "a place for every line");
    for (const auto &episode : list.episodes())
        FUZZ_CHECK(table.at(episode.line) == episode.address, "the table holds each address at its line");
    return 0;
}
