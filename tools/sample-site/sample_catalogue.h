#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

namespace kinolark::sample {

// One title of the sample catalogue.
struct SampleTitle
{
    qint64 id = 0;
    int category = 0;
    QString name;   // may hold a quote, never "$" or "&&"
    QString letter; // the initial, lower or upper case
    QString extra;  // a fifth field some records carry; empty for most
};

// A deterministic, generated catalogue: the same size always gives the same
// titles, play lists and descriptions. Title i lies in category
// lettered[i % 15] with initial (i / 15) % 28 (a-z, a digit, "["), so 420
// titles fill every letter node of every category.
class SampleCatalogue
{
public:
    explicit SampleCatalogue(int titleCount);

    const std::vector<SampleTitle> &titles() const { return m_titles; }
    // The title with `id`, or null.
    const SampleTitle *find(qint64 id) const;

    // The "Lx=All" answer: every title with an id above `above`, each record
    // "id$category$name$letter" (some with a fifth field) followed by "&&".
    QString allAnswer(qint64 above) const;
    // The "Lx=Dy" answer: lines "name$scheme://host/path" separated by CR,
    // for some titles by CR LF. Titles without a play list answer a text
    // without "$".
    QString playList(qint64 id) const;
    // Adds `count` episodes to the end of the title's play list, as a site
    // does when a series goes on; false for a title it does not have.
    bool addEpisodes(qint64 id, int count);
    int addedEpisodes(qint64 id) const;

    // The "Lx=Nr" answer: an HTML description.
    QString description(qint64 id) const;

    // Play lists and descriptions of odd ids are sent in GB2312, the rest in
    // UTF-8; only UTF-8 answers hold text outside GBK.
    static bool inGb2312(qint64 id) { return id % 2 != 0; }

    // Text in the site's two charsets.
    static QByteArray encode(const QString &text, bool gb2312);

    // Every category with letter nodes, in the tree's order.
    static const std::vector<int> &letteredCategories();

private:
    std::vector<SampleTitle> m_titles;
    QHash<qint64, int> m_added; // episodes added by id
};

} // namespace kinolark::sample
