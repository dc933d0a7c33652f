#include "browse/title_rows.h"

#include "browse/title_list_model.h"

namespace kinolark::browse {

TitleRows::TitleRows(TitleListModel *titles, QObject *parent)
    : QIdentityProxyModel(parent)
    , m_titles(titles)
{
    setSourceModel(titles);
    // After the proxy's own handler has begun its reset, before it ends it:
    // the rows of the new list are asked for only afterwards.
    connect(titles, &QAbstractItemModel::modelAboutToBeReset, this, &TitleRows::takeNextList);
}

void TitleRows::setFavourites(QHash<qint64, QString> marks)
{
    m_favourites = std::move(marks);
    m_marked.clear();
    for (auto it = m_favourites.cbegin(); it != m_favourites.cend(); ++it) {
        if (!it->isEmpty())
            m_marked.insert(it.key());
    }
    marksChanged();
}

void TitleRows::setFavourite(qint64 titleId, const QString &mark)
{
    m_favourites.insert(titleId, mark);
    if (mark.isEmpty())
        m_marked.remove(titleId);
    else
        m_marked.insert(titleId);
    marksChanged();
}

void TitleRows::removeFavourite(qint64 titleId)
{
    m_favourites.remove(titleId);
    m_marked.remove(titleId);
    marksChanged();
}

void TitleRows::setNextList(QHash<qint64, QString> notes, bool twoLines)
{
    m_nextNotes = std::move(notes);
    m_nextTwoLines = twoLines;
}

void TitleRows::clearNextList()
{
    setNextList({}, false);
}

void TitleRows::takeNextList()
{
    m_notes = std::exchange(m_nextNotes, {});
    m_listTwoLines = std::exchange(m_nextTwoLines, false);
    m_markedRows = -1;
}

bool TitleRows::anyMarkedRow() const
{
    if (m_markedRows < 0) {
        // One pass over the ids, only while some favourite has a mark.
        m_markedRows = 0;
        if (!m_marked.isEmpty()) {
            for (const Title &title : m_titles->titles()) {
                if (m_marked.contains(title.id)) {
                    m_markedRows = 1;
                    break;
                }
            }
        }
    }
    return m_markedRows > 0;
}

bool TitleRows::twoLines() const
{
    return m_listTwoLines || !m_notes.isEmpty() || anyMarkedRow();
}

void TitleRows::marksChanged()
{
    // Unasked since the list came, the height was not laid out yet.
    const int before = std::exchange(m_markedRows, -1);
    const int rows = rowCount();
    if (rows == 0)
        return;
    if (!m_listTwoLines && m_notes.isEmpty() && before >= 0 && (before > 0) != anyMarkedRow()) {
        // Every row changes height: the view lays the list out again.
        emit layoutAboutToBeChanged();
        emit layoutChanged();
    }
    emit dataChanged(index(0, 0), index(rows - 1, 0), {FavouriteRole, NoteRole, TwoLinesRole, Qt::ToolTipRole});
}

QVariant TitleRows::data(const QModelIndex &index, int role) const
{
    switch (role) {
    case FavouriteRole:
    case NoteRole:
    case Qt::ToolTipRole: {
        const qint64 id = QIdentityProxyModel::data(index, TitleListModel::IdRole).toLongLong();
        if (role == FavouriteRole)
            return m_favourites.contains(id);
        const QString mark = m_favourites.value(id);
        const QString note = m_notes.value(id);
        if (role == NoteRole)
            return mark.isEmpty() ? note : mark;
        // The whole text, whatever the row has room for.
        QString tip = QIdentityProxyModel::data(index, Qt::DisplayRole).toString();
        for (const QString &line : {note, mark}) {
            if (!line.isEmpty())
                tip += QLatin1Char('\n') + line;
        }
        return tip;
    }
    case TwoLinesRole:
        return twoLines();
    default:
        return QIdentityProxyModel::data(index, role);
    }
}

} // namespace kinolark::browse
