#pragma once

#include <QSqlDatabase>
#include <QString>

namespace kinolark::playback {

// The longest answers a title's requests are read to; a play list or a
// description beyond them is refused, and one stored before they held is
// never shown.
constexpr qint64 playListLimit = qint64(4) * 1024 * 1024;
constexpr qint64 descriptionLimit = qint64(512) * 1024;

// A title's cached detail as the display needs it.
struct TitleDetail
{
    bool found = false;          // the title has a cache row
    QString playList;            // as the site sent it; empty when it is too long to show
    QString description;         // as the site sent it; empty when there is none or it is too long
};

// The rows of the per-title cache (table vodplay), one statement at a time:
// nothing is held open between calls, so a caller may wait for the site in
// between and others may write meanwhile.
class DetailStore
{
public:
    enum class Row {
        Absent, // no row (or none that can be read)
        Stale,  // a row whose play list is not from today, is empty, or is too long
        Fresh,  // a row whose play list was fetched today
    };
    struct State
    {
        Row row = Row::Absent;
        bool descriptionTooLong = false; // stored before the limits held
    };

    explicit DetailStore(const QSqlDatabase &database);

    Row row(qint64 id, const QString &today) { return state(id, today).row; }
    State state(qint64 id, const QString &today);
    // The title's row as stored; what is too long to show reads as empty.
    TitleDetail read(qint64 id);
    // Updates the row's play list and date, or makes the row with
    // `description` when there is none; which of the two is decided at the
    // time of writing.
    bool store(qint64 id, const QString &playList, const QString &date, const QString &description,
               QString *error);
    // Replaces the description of an existing row.
    bool storeDescription(qint64 id, const QString &description, QString *error);

    // Text of the last statement issued.
    QString lastStatement() const { return m_lastStatement; }

private:
    QSqlDatabase database() const;

    QString m_connection; // looked up anew for every statement
    QString m_lastStatement;
};

} // namespace kinolark::playback
