#include "site/catalogue_answer.h"

#include "store/title_ids.h"

#include <QSet>

#include <algorithm>

#include <limits>

namespace kinolark::site {

bool readWholeNumber(QStringView field, qint64 *value)
{
    const QStringView text = field.trimmed();
    if (text.isEmpty())
        return false;
    qsizetype i = 0;
    const bool negative = text.front() == QLatin1Char('-');
    if (negative || text.front() == QLatin1Char('+'))
        ++i;
    if (i == text.size())
        return false;
    // Accumulated as a negative number, whose range is the larger one.
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    qint64 result = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        const int digit = c - u'0';
        if (result < (lowest + digit) / 10)
            return false;
        result = result * 10 - digit;
    }
    if (!negative) {
        if (result == lowest)
            return false;
        result = -result;
    }
    *value = result;
    return true;
}

QList<CatalogueRecord> parseCatalogueAnswer(QStringView answer)
{
    QList<CatalogueRecord> records;
    const QStringView separator = u"&&";
    if (!answer.contains(separator))
        return records;

    QSet<qint64> seen;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = answer.indexOf(separator, start);
        const QStringView piece = answer.mid(start, (end < 0 ? answer.size() : end) - start);

        // The first four fields: the text before each of the first three
        // "$" and the text after the third up to a fourth one or the end.
        qsizetype cuts[4];
        int found = 0;
        for (qsizetype at = -1; found < 4; ++found) {
            at = piece.indexOf(QLatin1Char('$'), at + 1);
            if (at < 0)
                break;
            cuts[found] = at;
        }
        if (found >= 3) {
            const qsizetype letterEnd = found == 4 ? cuts[3] : piece.size();
            CatalogueRecord record;
            if (readWholeNumber(piece.left(cuts[0]), &record.id) && store::isTitleId(record.id)
                && readWholeNumber(piece.mid(cuts[0] + 1, cuts[1] - cuts[0] - 1), &record.category)
                && !seen.contains(record.id)) {
                seen.insert(record.id);
                record.name = piece.mid(cuts[1] + 1, cuts[2] - cuts[1] - 1).toString();
                record.letter = piece.mid(cuts[2] + 1, letterEnd - cuts[2] - 1).toString();
                records.append(std::move(record));
            }
        }
        if (end < 0)
            break;
        start = end + separator.size();
    }
    return records;
}

QList<qint64> dropOutliers(QList<CatalogueRecord> &records, qint64 knownTop)
{
    QList<qint64> ids;
    ids.reserve(records.size() + 1);
    for (const CatalogueRecord &record : records)
        ids << record.id;
    if (knownTop > 0)
        ids << knownTop;
    // Only the top few matter: a partial sort is enough.
    const qsizetype head = std::min<qsizetype>(ids.size(), store::outlierCount + 1);
    std::partial_sort(ids.begin(), ids.begin() + head, ids.end(), std::greater<qint64>());
    ids.resize(head);
    const qint64 top = store::trustedTop(ids);
    QList<qint64> dropped;
    records.removeIf([&](const CatalogueRecord &record) {
        if (record.id <= top)
            return false;
        dropped << record.id;
        return true;
    });
    return dropped;
}

} // namespace kinolark::site
