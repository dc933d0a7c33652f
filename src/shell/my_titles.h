#pragma once

#include "library/favourites.h"
#include "library/watch_history.h"

#include <QHash>
#include <QModelIndex>
#include <QObject>

#include <memory>
#include <optional>

class QMenu;
class QTreeWidgetItem;

namespace kinolark::library {
class FavouritesRefresh;
}

namespace kinolark::shell {

class frmMain;
class TitleRowDelegate;

// The group "我的" of the window: the favourites and the watch history in
// the category tree, the favourite marks of the title list, and the daily
// refresh of the favourites' play lists.
class MyTitles : public QObject
{
    Q_OBJECT
public:
    explicit MyTitles(frmMain &window);
    ~MyTitles() override;

    // Start-up, once the catalogue is open and synced: the group in the
    // category tree, the marks, and the refresh when it is the day's first.
    void load();

    // The lists of the group's two nodes.
    void showFavourites();
    void showHistory();

    // Marks the title of a row of the title list as a favourite, or takes
    // the mark away.
    void toggle(const QModelIndex &row);
    // The context menu of a row of the title list; none for a place without one.
    std::unique_ptr<QMenu> titleMenu(const QModelIndex &row);

    // A title click begins: the refresh leaves the title to it.
    void titleOpening(qint64 titleId);
    // The title is shown with `playList`: the user has seen its episodes.
    void titleShown(qint64 titleId, const QString &playList);
    // An episode of the title shown last was started.
    void episodeStarted(int line, const QString &address);

    QTreeWidgetItem *favouritesNode() const { return m_favouritesNode; }
    QTreeWidgetItem *historyNode() const { return m_historyNode; }
    TitleRowDelegate *rows() const { return m_rows; }
    library::FavouritesRefresh *refresh() const { return m_refresh; }

private:
    void addNodes();
    void updateMarks();
    void updateNodeTexts();

    frmMain &m_window;
    // On the catalogue, once it is open.
    std::optional<library::Favourites> m_favourites;
    std::optional<library::WatchHistory> m_history;
    TitleRowDelegate *m_rows = nullptr;
    library::FavouritesRefresh *m_refresh = nullptr; // a child; none without a network
    QTreeWidgetItem *m_favouritesNode = nullptr;
    QTreeWidgetItem *m_historyNode = nullptr;
    QHash<qint64, QString> m_pendingNotes; // for the list about to be shown
    qint64 m_shownTitle = -1;
};

} // namespace kinolark::shell
