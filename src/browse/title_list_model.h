#pragma once

#include "browse/title.h"

#include <QAbstractListModel>
#include <QVector>

namespace kinolark::browse {

// The title list. Titles are held as plain values, one per row, in the order
// the catalogue gave them; the view asks only for the rows it draws, so a
// list of 100 000 titles costs no more to show than one of 100.
class TitleListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { KeyRole = Qt::UserRole + 1, IdRole };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Replaces the whole list.
    void setTitles(QVector<Title> titles);
    void clear();
    const QVector<Title> &titles() const { return m_titles; }

    // The node key of a title: "vod_id" followed by its id.
    static QString keyOf(qint64 id);
    // The id in a node key, or -1 when the key is not a title key.
    static qint64 idOfKey(const QString &key);

    // Node operations by 1-based index.
    int nodeCount() const { return int(m_titles.size()); }
    QString nodeKey(int index) const;
    QString nodeText(int index) const;

private:
    QVector<Title> m_titles;
};

} // namespace kinolark::browse
