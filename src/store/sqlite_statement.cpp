#include "store/sqlite_statement.h"

#include <sqlite3.h>

namespace kinolark::store {

SqliteStatement::SqliteStatement(sqlite3 *db, const char *sql)
    : m_db(db)
{
    if (!db || sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
        m_ok = false;
    }
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

SqliteStatement &SqliteStatement::bind(int index, qint64 value)
{
    if (m_statement && sqlite3_bind_int64(m_statement, index, value) != SQLITE_OK)
        m_ok = false;
    return *this;
}

SqliteStatement &SqliteStatement::bind(int index, const QString &text)
{
    if (!m_statement)
        return *this;
    // As Qt's driver binds it: a null text is NULL.
    const int rc = text.isNull()
                       ? sqlite3_bind_null(m_statement, index)
                       : sqlite3_bind_text16(m_statement, index, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        m_ok = false;
    return *this;
}

SqliteStatement &SqliteStatement::bindUtf8(int index, QByteArrayView text)
{
    // A null pointer would bind NULL; empty text stays text.
    static const char empty[] = "";
    if (m_statement
        && sqlite3_bind_text(m_statement, index, text.isNull() ? empty : text.data(), int(text.size()),
                             SQLITE_TRANSIENT)
               != SQLITE_OK)
        m_ok = false;
    return *this;
}

bool SqliteStatement::next()
{
    if (!m_statement || !m_ok)
        return false;
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        m_ok = false;
    return false;
}

bool SqliteStatement::run()
{
    while (next()) {
    }
    return m_ok;
}

void SqliteStatement::reset()
{
    if (m_statement) {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
        m_ok = true;
    }
}

qint64 SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

bool SqliteStatement::isInteger(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_INTEGER;
}

QString SqliteStatement::text(int column) const
{
    const auto *chars = static_cast<const QChar *>(sqlite3_column_text16(m_statement, column));
    const qsizetype length = sqlite3_column_bytes16(m_statement, column) / 2;
    return chars ? QString(chars, length) : QString();
}

QByteArrayView SqliteStatement::utf8(int column) const
{
    const auto *chars = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return chars ? QByteArrayView(chars, sqlite3_column_bytes(m_statement, column)) : QByteArrayView();
}

QString SqliteStatement::error() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("no database");
}

bool execSql(sqlite3 *db, const char *sql, QString *error)
{
    char *message = nullptr;
    if (db && sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    if (error)
        *error = message ? QString::fromUtf8(message) : QStringLiteral("no database");
    sqlite3_free(message);
    return false;
}

} // namespace kinolark::store
