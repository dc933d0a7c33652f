#include "download/download_list.h"

#include "browse/title_list_model.h"
#include "browse/title_rows.h"
#include "download/download_manager.h"

namespace kinolark::download {

DownloadList::DownloadList(DownloadManager &manager, QObject *parent)
    : QAbstractListModel(parent)
    , m_manager(manager)
    , m_rows(manager.rows())
{
    connect(&manager, &DownloadManager::changed, this, &DownloadList::refresh);
}

void DownloadList::refresh()
{
    QList<DownloadRow> rows = m_manager.rows();
    bool sameRows = rows.size() == m_rows.size();
    for (int i = 0; sameRows && i < rows.size(); ++i)
        sameRows = rows.at(i).entry.id == m_rows.at(i).entry.id;
    if (!sameRows) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
        return;
    }
    // Only states and progress moved: the view keeps its selection and scroll.
    m_rows = std::move(rows);
    if (!m_rows.isEmpty())
        emit dataChanged(index(0), index(int(m_rows.size()) - 1));
}

int DownloadList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

Qt::ItemFlags DownloadList::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

std::optional<DownloadRow> DownloadList::rowAt(int row) const
{
    if (row < 0 || row >= m_rows.size())
        return std::nullopt;
    return m_rows.at(row);
}

QString DownloadList::noteOf(const DownloadRow &row)
{
    const QString episode = row.entry.episodeName.isEmpty()
                                ? QStringLiteral("第%1集").arg(row.entry.line + 1)
                                : row.entry.episodeName;
    return episode + QStringLiteral(" · ") + row.stateText();
}

QVariant DownloadList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const DownloadRow &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.entry.titleName;
    case Qt::ToolTipRole:
    {
        QString tip = row.entry.titleName + QLatin1Char('\n') + noteOf(row);
        if (row.entry.state == library::DownloadState::Done)
            tip += QLatin1Char('\n') + row.entry.filePath;
        return tip;
    }
    case browse::TitleListModel::IdRole:
        return row.entry.titleId;
    case browse::TitleRows::NoteRole:
        return noteOf(row);
    case browse::TitleRows::TwoLinesRole:
        return true;
    case browse::TitleRows::FavouriteRole:
        return false;
    case DownloadIdRole:
        return row.entry.id;
    case StateRole:
        return int(row.entry.state);
    default:
        return {};
    }
}

} // namespace kinolark::download
