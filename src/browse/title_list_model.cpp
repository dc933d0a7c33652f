#include "browse/title_list_model.h"

namespace kinolark::browse {

int TitleListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_titles.size());
}

QVariant TitleListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const Title &title = m_titles.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return title.name;
    case KeyRole:
        return keyOf(title.id);
    case IdRole:
        return title.id;
    default:
        return QVariant();
    }
}

Qt::ItemFlags TitleListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TitleListModel::setTitles(QVector<Title> titles)
{
    beginResetModel();
    m_titles = std::move(titles);
    endResetModel();
}

void TitleListModel::clear()
{
    setTitles({});
}

QString TitleListModel::keyOf(qint64 id)
{
    return QStringLiteral("vod_id") + QString::number(id);
}

qint64 TitleListModel::idOfKey(const QString &key)
{
    bool ok = false;
    const qint64 id = QString(key).remove(QStringLiteral("vod_id")).toLongLong(&ok);
    return ok ? id : -1;
}

QString TitleListModel::nodeKey(int index) const
{
    return index >= 1 && index <= nodeCount() ? keyOf(m_titles.at(index - 1).id) : QString();
}

QString TitleListModel::nodeText(int index) const
{
    return index >= 1 && index <= nodeCount() ? m_titles.at(index - 1).name : QString();
}

} // namespace kinolark::browse
