#pragma once

#include "shell/label_edit_guard.h"

#include <QHash>
#include <QIcon>
#include <QString>

namespace kinolark::shell {

// Draws the rows of the title list: a star before a favourite, the mark of
// its new episodes after its name, and the note the current list gives a
// title (the watch history's "看到 第12集 23:45"). The list's own data stay
// the names, so a chosen title is still known by its name alone.
class TitleRowDelegate : public LabelEditGuard
{
    Q_OBJECT
public:
    TitleRowDelegate(QObject *parent, BeforeLabelEdit beforeLabelEdit);

    // Every favourite, with the mark of its new episodes (empty for none).
    void setFavourites(QHash<qint64, QString> marks) { m_favourites = std::move(marks); }
    void setFavourite(qint64 titleId, const QString &mark) { m_favourites.insert(titleId, mark); }
    void removeFavourite(qint64 titleId) { m_favourites.remove(titleId); }
    bool isFavourite(qint64 titleId) const { return m_favourites.contains(titleId); }
    const QHash<qint64, QString> &favourites() const { return m_favourites; }

    // Notes of the list on show; the next list comes without any.
    void setNotes(QHash<qint64, QString> notes) { m_notes = std::move(notes); }

    // A row as it reads on screen, the star aside.
    QString rowText(const QModelIndex &index) const;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    QHash<qint64, QString> m_favourites;
    QHash<qint64, QString> m_notes;
    QIcon m_star;
    QIcon m_blank; // keeps the names of other rows in line with the favourites'
};

} // namespace kinolark::shell
