#pragma once

#include <QHash>
#include <QIdentityProxyModel>
#include <QSet>
#include <QString>

namespace kinolark::browse {

class TitleListModel;

// The title list as the window shows it: the rows of a TitleListModel with
// what the user's own tables say of each title. A favourite carries a star
// and, when its play list grew, the mark of its new episodes ("更新至第13集");
// a list can bring a note per title (the watch history's "看到 第12集 23:45").
// Rows of a list that shows notes read on two lines, all of them, so a list
// keeps one row height; the names stay the rows' display text.
class TitleRows : public QIdentityProxyModel
{
    Q_OBJECT
public:
    enum Role {
        FavouriteRole = Qt::UserRole + 20, // bool
        NoteRole,                          // the second line: the mark, else the list's note
        TwoLinesRole,                      // bool, the same for every row of the list
    };

    explicit TitleRows(TitleListModel *titles, QObject *parent = nullptr);

    // Every favourite, with the mark of its new episodes (empty for none).
    void setFavourites(QHash<qint64, QString> marks);
    void setFavourite(qint64 titleId, const QString &mark);
    void removeFavourite(qint64 titleId);
    bool isFavourite(qint64 titleId) const { return m_favourites.contains(titleId); }
    int favouriteCount() const { return int(m_favourites.size()); }
    int markedCount() const { return int(m_marked.size()); }

    // The notes of the list about to be shown, and whether its rows read on
    // two lines even where they have none; taken when the titles are next
    // replaced. A list that brings nothing shows no notes.
    void setNextList(QHash<qint64, QString> notes, bool twoLines);
    void clearNextList();

    bool twoLines() const;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    void takeNextList();
    void marksChanged();
    bool anyMarkedRow() const;

    TitleListModel *m_titles;
    QHash<qint64, QString> m_favourites;
    QSet<qint64> m_marked; // favourites whose mark is not empty
    QHash<qint64, QString> m_notes;
    bool m_listTwoLines = false;
    QHash<qint64, QString> m_nextNotes;
    bool m_nextTwoLines = false;
    // Whether a row of the list shows a mark, found at the first ask.
    mutable int m_markedRows = -1;
};

} // namespace kinolark::browse
