// The catalogue answer parser against a plain reading of the same rules with
// whole splits, and the shape of every record it gives.
#include "fuzz_check.h"
#include "site/catalogue_answer.h"

#include <QSet>
#include <QStringList>

using namespace kinolark::site;

namespace {

QList<CatalogueRecord> slowParse(const QString &answer)
{
    QList<CatalogueRecord> records;
    if (!answer.contains(QStringLiteral("&&")))
        return records;
    QSet<qint64> seen;
    for (const QString &piece : answer.split(QStringLiteral("&&"))) {
        if (!piece.contains(QLatin1Char('$')))
            continue;
        const QStringList fields = piece.split(QLatin1Char('$'));
        if (fields.size() < 4)
            continue;
        CatalogueRecord r;
        if (!readWholeNumber(fields.at(0), &r.id) || !readWholeNumber(fields.at(1), &r.category)
            || seen.contains(r.id))
            continue;
        seen.insert(r.id);
        r.name = fields.at(2);
        r.letter = fields.at(3);
        records.append(r);
    }
    return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString answer = fuzzText(data, size);
    const QList<CatalogueRecord> fast = parseCatalogueAnswer(answer);
    const QList<CatalogueRecord> slow = slowParse(answer);
    FUZZ_CHECK(fast.size() == slow.size(), "both readings find the same records");
    QSet<qint64> ids;
    for (qsizetype i = 0; i < fast.size(); ++i) {
        const CatalogueRecord &r = fast.at(i);
        FUZZ_CHECK(r.id == slow.at(i).id && r.category == slow.at(i).category, "same numbers");
        FUZZ_CHECK(r.name == slow.at(i).name && r.letter == slow.at(i).letter, "same text fields");
        FUZZ_CHECK(!r.name.contains(QLatin1Char('$')) && !r.letter.contains(QLatin1Char('$')), "fields hold no $");
        FUZZ_CHECK(!r.name.isNull() && !r.letter.isNull(), "text fields are never null");
        FUZZ_CHECK(!ids.contains(r.id), "each id once");
        ids.insert(r.id);
    }
    return 0;
}
