#pragma once

#include <QByteArray>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

namespace kinolark::store {

// One prepared statement on a raw SQLite connection, finalized when it goes.
// For the hot paths that cannot afford a value object per field.
class SqliteStatement
{
public:
    SqliteStatement(sqlite3 *db, const char *sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool isValid() const { return m_statement != nullptr; }

    // Values are bound by 1-based position; text is copied, a null QString
    // binds NULL.
    SqliteStatement &bind(int index, qint64 value);
    SqliteStatement &bind(int index, const QString &text);
    SqliteStatement &bindUtf8(int index, QByteArrayView text);

    // True while there is a row.
    bool next();
    // Runs a statement that returns no rows; false when it failed.
    bool run();
    // Ready to run again with new values.
    void reset();
    // False when a step failed (not at the end of the rows).
    bool ok() const { return m_ok; }

    qint64 integer(int column) const;
    bool isInteger(int column) const;
    QString text(int column) const;
    // The column's text as UTF-8, valid until the next step.
    QByteArrayView utf8(int column) const;

    // The engine's words for the last failure on the connection.
    QString error() const;

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_statement = nullptr;
    bool m_ok = true;
};

// Runs statements that return no rows; false, with the engine's words in
// `error` when given, when one fails.
bool execSql(sqlite3 *db, const char *sql, QString *error = nullptr);

} // namespace kinolark::store
