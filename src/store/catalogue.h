#pragma once

#include <QSqlDatabase>
#include <QString>

namespace kinolark::store {

// The local catalogue file: the titles (vod), the per-title cache of play
// lists and descriptions (vodplay) and the last sync date (cdate).
//
// A missing file is created with the schema. An existing file is only
// written to after it has been checked to be a catalogue; a file that is
// not one is left exactly as it was.
class Catalogue
{
public:
    enum class OpenResult { Opened, Created, NotACatalogue, CannotCreate };

    Catalogue();
    ~Catalogue();
    Catalogue(const Catalogue &) = delete;
    Catalogue &operator=(const Catalogue &) = delete;

    OpenResult open(const QString &path);
    void close();
    bool isOpen() const;

    QString fileName() const { return m_path; }
    // Why the last open failed, in the engine's words (for logs and messages).
    QString errorDetail() const { return m_error; }

    // The open connection. Each caller runs its own QSqlQuery on it.
    QSqlDatabase database() const;
    // The connection's name, the same before it opens and after it closes.
    QString connectionName() const { return m_connection; }

    // The last sync date; empty when the catalogue was never synced.
    QString lastSyncDate() const;
    // The highest title id, 0 when there is no title. Ids that cannot be
    // titles, and a few far above all the others, are passed over.
    qint64 watermark() const;

private:
    bool create(const QString &path);
    bool isCatalogue(const QString &path);
    bool connect(const QString &path, bool readOnly);
    void disconnect();

    QString m_connection;
    QString m_path;
    QString m_error;
};

} // namespace kinolark::store
