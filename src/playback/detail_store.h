#pragma once

#include <QSqlDatabase>
#include <QString>

namespace kinolark::playback {

// A title's cached detail as the display needs it.
struct TitleDetail
{
    bool found = false;          // the title has a cache row
    QString playList;            // as the site sent it
    QString description;         // as the site sent it; empty when there is none
};

// The rows of the per-title cache (table vodplay), one statement at a time:
// nothing is held open between calls, so a caller may wait for the site in
// between and others may write meanwhile.
class DetailStore
{
public:
    enum class Row {
        Absent, // no row (or none that can be read)
        Stale,  // a row whose play list is not from today, or is empty
        Fresh,  // a row whose play list was fetched today
    };

    explicit DetailStore(const QSqlDatabase &database);

    Row row(qint64 id, const QString &today);
    // The title's row as stored.
    TitleDetail read(qint64 id);
    // Updates the row's play list and date, or makes the row with
    // `description` when there is none; which of the two is decided at the
    // time of writing.
    bool store(qint64 id, const QString &playList, const QString &date, const QString &description,
               QString *error);

    // Text of the last statement issued.
    QString lastStatement() const { return m_lastStatement; }

private:
    QSqlDatabase database() const;

    QString m_connection; // looked up anew for every statement
    QString m_lastStatement;
};

} // namespace kinolark::playback
