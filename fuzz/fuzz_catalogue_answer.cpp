// The catalogue answer parser against a plain reading of the same rules with
// whole splits, and the shape of every record it gives: it comes from a
// piece with at least four fields, and its id and category are the whole
// numbers written in those fields.
#include "fuzz_check.h"
#include "site/catalogue_answer.h"

#include <QSet>
#include <QStringList>

using namespace kinolark::site;

namespace {

struct Plain
{
    CatalogueRecord record;
    QStringList fields; // every field of the piece the record came from
};

// The field's digits, read without the parser: blanks at both ends, an
// optional sign, then ASCII digits only. Gives the canonical decimal text
// (no "+", no leading zeros, "-0" as "0"), or a null string.
QString canonicalNumber(const QString &field)
{
    qsizetype from = 0, to = field.size();
    while (from < to && field.at(from).isSpace())
        ++from;
    while (to > from && field.at(to - 1).isSpace())
        --to;
    QString text = field.mid(from, to - from);
    bool negative = false;
    if (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'))) {
        negative = text.startsWith(QLatin1Char('-'));
        text.remove(0, 1);
    }
    if (text.isEmpty())
        return QString();
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return QString();
    }
    while (text.size() > 1 && text.startsWith(QLatin1Char('0')))
        text.remove(0, 1);
    if (negative && text != QLatin1String("0"))
        text.prepend(QLatin1Char('-'));
    return text;
}

// The field as a 64-bit number through Qt's own reading of the canonical
// digits; false when it is no whole number or out of range.
bool plainNumber(const QString &field, qint64 *value)
{
    const QString digits = canonicalNumber(field);
    bool ok = false;
    if (!digits.isNull())
        *value = digits.toLongLong(&ok);
    return ok;
}

QList<Plain> slowParse(const QString &answer)
{
    QList<Plain> records;
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
        if (!plainNumber(fields.at(0), &r.id) || r.id < 1 || r.id > 2147483647
            || !plainNumber(fields.at(1), &r.category) || seen.contains(r.id))
            continue;
        seen.insert(r.id);
        r.name = fields.at(2);
        r.letter = fields.at(3);
        records.append({r, fields});
    }
    return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString answer = fuzzText(data, size);
    const QList<CatalogueRecord> fast = parseCatalogueAnswer(answer);
    const QList<Plain> slow = slowParse(answer);
    FUZZ_CHECK(fast.size() == slow.size(), "both readings find the same records");
    QSet<qint64> ids;
    for (qsizetype i = 0; i < fast.size(); ++i) {
        const CatalogueRecord &r = fast.at(i);
        const Plain &p = slow.at(i);
        FUZZ_CHECK(r.id == p.record.id && r.category == p.record.category, "same numbers");
        FUZZ_CHECK(r.name == p.record.name && r.letter == p.record.letter, "same text fields");
        FUZZ_CHECK(p.fields.size() >= 4, "no record from fewer than four fields");
        // Numeric and in range: the number read is the number written, so
        // nothing was cut, wrapped or taken from a non-digit.
        FUZZ_CHECK(QString::number(r.id) == canonicalNumber(p.fields.at(0)), "the id is the number in field 0");
        FUZZ_CHECK(QString::number(r.category) == canonicalNumber(p.fields.at(1)),
                   "the category is the number in field 1");
        FUZZ_CHECK(!r.name.contains(QLatin1Char('$')) && !r.letter.contains(QLatin1Char('$')), "fields hold no $");
        FUZZ_CHECK(!r.name.contains(QStringLiteral("&&")) && !r.letter.contains(QStringLiteral("&&")),
                   "fields hold no separator");
        FUZZ_CHECK(!r.name.isNull() && !r.letter.isNull(), "text fields are never null");
        FUZZ_CHECK(!ids.contains(r.id), "each id once");
        ids.insert(r.id);
    }
    return 0;
}
