#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace kinolark::site {

// One title as an "Lx=All" answer describes it.
struct CatalogueRecord
{
    qint64 id = 0;
    qint64 category = 0;
    QString name;   // exactly as received, quotes and blanks included
    QString letter; // exactly as received
};

// A field that reads as a whole number: optional blanks, an optional sign,
// decimal digits, optional blanks, within the range of a 64-bit integer.
// An empty field is not a number.
bool readWholeNumber(QStringView field, qint64 *value);

// The titles of an "Lx=All" answer, in the order they came.
//
// The answer is a list of records, each ended by "&&"; a record is a list of
// fields separated by "$": id, category, name, letter, then anything, which
// is ignored. An answer without "&&" holds no titles. Pieces without "$",
// records with fewer than four fields, records whose category is not a whole
// number and records whose id is not one in 1 to 2,147,483,647 are skipped.
// An id that comes again keeps its first record.
QList<CatalogueRecord> parseCatalogueAnswer(QStringView answer);

// Removes the records whose ids stand apart, more than a million above all
// the others of the answer and the catalogue's highest (`knownTop`, 0 for
// none): ids grow in sequence, and one such id would be the catalogue's
// highest from then on, above every title the site will add. Answers the
// ids removed.
QList<qint64> dropOutliers(QList<CatalogueRecord> &records, qint64 knownTop);

} // namespace kinolark::site
