#pragma once

#include "download/download_row.h"

#include <QAbstractListModel>
#include <QList>

#include <optional>

namespace kinolark::download {

class DownloadManager;

// The downloads as the title list shows them, newest first: the title on
// the first line, the episode and its state on the second. A row answers
// the title list's id role with its title's id, so a click on it opens the
// title like any other row.
class DownloadList : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        DownloadIdRole = Qt::UserRole + 40, // qint64
        StateRole,                          // library::DownloadState, as int
    };

    explicit DownloadList(DownloadManager &manager, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    std::optional<DownloadRow> rowAt(int row) const;
    // Reads the manager's rows now, not at its next report.
    void refresh();
    // "第3集 · 下载中 37%（1.2 MB/s）".
    static QString noteOf(const DownloadRow &row);

private:

    DownloadManager &m_manager;
    QList<DownloadRow> m_rows;
};

} // namespace kinolark::download
