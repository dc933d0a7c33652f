#pragma once

#include <QString>
#include <QVector>

namespace kinolark::playback {

// One episode of a play list: the line it came from, its name and its play
// address.
struct Episode
{
    int line = 0;
    QString name;
    QString address;
};

// A title's play list as the site sends it: lines separated by CR alone (an
// LF after a CR stays at the start of the next line). A line such as
// "E1$p://q//r" is an episode named "E1" with the address "p://q": the name
// is the text before the first "$", the scheme runs to the next "$" or the
// first "//", and the address ends where a second "//" begins. Lines
// without "//", or whose part before the first "//" has no "$", yield
// nothing but keep their index.
class PlayList
{
public:
    // Whether a site answer is a play list at all: it holds a "$".
    static bool accepts(const QString &answer);

    static PlayList parse(const QString &text);

    int lineCount() const { return m_lineCount; }
    // In line order.
    const QVector<Episode> &episodes() const { return m_episodes; }

    // The play addresses by line index, empty where a line has no episode.
    // Never fewer than `minimumSize` entries, and as many as the list has
    // lines when it has more.
    QVector<QString> addressTable(int minimumSize = 1501) const;

private:
    int m_lineCount = 0;
    QVector<Episode> m_episodes;
};

} // namespace kinolark::playback
