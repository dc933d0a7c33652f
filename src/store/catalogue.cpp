#include "store/catalogue.h"

#include "store/statements.h"
#include "store/title_ids.h"
#include "store/user_tables.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QtEndian>

namespace kinolark::store {

namespace {

QAtomicInt connectionCounter;

struct Table
{
    QString name;
    QStringList columns;
};

const QList<Table> &requiredTables()
{
    static const QList<Table> tables{
        {QStringLiteral("vod"),
         {QStringLiteral("vod_id"), QStringLiteral("vod_cid"), QStringLiteral("vod_name"),
          QStringLiteral("vod_letter")}},
        {QStringLiteral("vodplay"),
         {QStringLiteral("d_id"), QStringLiteral("d_playurl"), QStringLiteral("d_date"),
          QStringLiteral("d_nr")}},
        {QStringLiteral("cdate"), {QStringLiteral("up_date")}},
    };
    return tables;
}

// A SQLite file cut short still opens and shows its schema; its header tells
// how long it should be, so a truncated copy is caught before any write.
bool headerIsComplete(const QString &path, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = file.errorString();
        return false;
    }
    const QByteArray header = file.read(100);
    if (header.size() < 100 || !header.startsWith(QByteArrayLiteral("SQLite format 3\0"))) {
        *why = QStringLiteral("not a SQLite database");
        return false;
    }
    const auto *bytes = reinterpret_cast<const uchar *>(header.constData());
    qint64 pageSize = qFromBigEndian<quint16>(bytes + 16);
    if (pageSize == 1)
        pageSize = 65536;
    const quint32 changeCounter = qFromBigEndian<quint32>(bytes + 24);
    const quint32 pageCount = qFromBigEndian<quint32>(bytes + 28);
    const quint32 validFor = qFromBigEndian<quint32>(bytes + 92);
    if (pageCount > 0 && changeCounter == validFor && file.size() < pageSize * pageCount) {
        *why = QStringLiteral("database file is truncated");
        return false;
    }
    return true;
}

} // namespace

Catalogue::Catalogue()
    : m_connection(QStringLiteral("kinolark-catalogue-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
}

Catalogue::~Catalogue()
{
    close();
}

bool Catalogue::connect(const QString &path, bool readOnly)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    if (readOnly)
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open()) {
        m_error = db.lastError().text();
        return false;
    }
    return true;
}

void Catalogue::disconnect()
{
    if (!QSqlDatabase::contains(m_connection))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool Catalogue::isCatalogue(const QString &path)
{
    if (!headerIsComplete(path, &m_error))
        return false;
    if (!connect(path, true))
        return false;
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        for (const Table &table : requiredTables()) {
            QSqlQuery query(db);
            if (!query.exec(QStringLiteral("pragma table_info(%1)").arg(table.name))) {
                m_error = query.lastError().text();
                ok = false;
                break;
            }
            QStringList present;
            while (query.next())
                present << query.value(1).toString().toLower();
            if (present.isEmpty()) {
                m_error = QStringLiteral("table %1 is missing").arg(table.name);
                ok = false;
                break;
            }
            for (const QString &column : table.columns) {
                if (!present.contains(column)) {
                    m_error = QStringLiteral("column %1.%2 is missing").arg(table.name, column);
                    ok = false;
                    break;
                }
            }
            if (!ok)
                break;
        }
    }
    disconnect();
    return ok;
}

bool Catalogue::create(const QString &path)
{
    // Built beside the target and moved into place only when complete, so a
    // crash never leaves a half-made catalogue behind.
    const QString partial = path + QStringLiteral(".new");
    QFile::remove(partial);
    if (!connect(partial, false)) {
        disconnect();
        return false;
    }
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlQuery query(db);
        ok = db.transaction();
        const QStringList statements{sql::createVod(), sql::createVodIndex(), sql::createVodplay(),
                                     sql::createCdate(), sql::insertNeverSynced()};
        for (const QString &statement : statements) {
            if (!ok)
                break;
            ok = query.exec(statement);
        }
        if (ok)
            ok = db.commit();
        if (!ok)
            m_error = query.lastError().isValid() ? query.lastError().text() : db.lastError().text();
    }
    disconnect();
    // Logs left beside a file that is gone or empty (a program killed before
    // they were folded back) belong to no catalogue: opened with the new
    // file, they would be played into it and corrupt it.
    for (const QLatin1String suffix : {QLatin1String("-wal"), QLatin1String("-shm"), QLatin1String("-journal")}) {
        const QString log = path + suffix;
        if (ok && QFileInfo::exists(log) && !QFile::remove(log)) {
            m_error = QStringLiteral("cannot remove the leftover %1").arg(log);
            ok = false;
        }
    }
    if (ok && QFileInfo::exists(path) && !QFile::remove(path)) {
        m_error = QStringLiteral("cannot replace the empty file %1").arg(path);
        ok = false;
    }
    if (ok && !QFile::rename(partial, path)) {
        m_error = QStringLiteral("cannot move %1 into place").arg(partial);
        ok = false;
    }
    if (!ok)
        QFile::remove(partial);
    return ok;
}

Catalogue::OpenResult Catalogue::open(const QString &path)
{
    close();
    m_path = path;
    m_error.clear();

    OpenResult result = OpenResult::Opened;
    const QFileInfo info(path);
    // An empty file holds nothing to lose; treat it like a missing one. Not
    // so when its write-ahead log holds pages: all of it may be there.
    const bool empty = info.isFile() && info.size() == 0 && QFileInfo(path + QStringLiteral("-wal")).size() == 0;
    if (!info.exists() || empty) {
        if (!create(path))
            return OpenResult::CannotCreate;
        result = OpenResult::Created;
    } else if (!isCatalogue(path)) {
        return OpenResult::NotACatalogue;
    }

    if (!connect(path, false)) {
        disconnect();
        return OpenResult::NotACatalogue;
    }
    QSqlQuery pragma(database());
    pragma.exec(QStringLiteral("pragma journal_mode=wal"));
    pragma.exec(QStringLiteral("pragma synchronous=normal"));
    pragma.finish();
    // A file that cannot take them (read-only) still browses; what needs
    // them reports its own failures.
    QString error;
    if (!createUserTables(database(), &error))
        qWarning("kinolark: the user's tables of %s are not ready: %s", qPrintable(path), qPrintable(error));
    return result;
}

void Catalogue::close()
{
    disconnect();
}

bool Catalogue::isOpen() const
{
    return QSqlDatabase::contains(m_connection) && database().isOpen();
}

QSqlDatabase Catalogue::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

QString Catalogue::lastSyncDate() const
{
    QSqlQuery query(database());
    if (query.exec(sql::selectLastSyncDate()) && query.next())
        return query.value(0).toString();
    return QString();
}

qint64 Catalogue::watermark() const
{
    // A row a hostile answer left (an id no title has, or one far above the
    // others) would stop every later sync: nothing lies above it.
    constexpr int looked = 64;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(sql::selectTopTitleIds());
    query.addBindValue(highestTitleId);
    query.addBindValue(looked);
    QList<qint64> ids;
    if (query.exec()) {
        while (query.next())
            ids << query.value(0).toLongLong();
    }
    return trustedTop(ids);
}

} // namespace kinolark::store
