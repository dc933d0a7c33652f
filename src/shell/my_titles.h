#pragma once

#include "browse/title_statement.h"
#include "library/favourites.h"
#include "library/favourites_refresh.h"
#include "library/watch_history.h"

#include <QModelIndex>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class QListView;
class QMenu;
class QNetworkAccessManager;
class QTreeWidget;
class QTreeWidgetItem;

namespace kinolark::browse {
class TitleRows;
}

namespace kinolark::store {
class Catalogue;
}

namespace kinolark::shell {

// The group "我的" of the window: the favourites and the watch history in
// the category tree, the favourite marks and notes of the title list, and
// the daily refresh of the favourites' play lists.
class MyTitles : public QObject
{
    Q_OBJECT
public:
    // Lists a statement's titles in the title list (the window's bdT).
    using ListTitles = std::function<void(const browse::TitleStatement &statement)>;

    // `titles` shows a browse::TitleRows; `tree` gets the group's nodes.
    MyTitles(store::Catalogue &catalogue, ListTitles list, QTreeWidget *tree, QListView *titles,
             QObject *parent = nullptr);
    ~MyTitles() override;

    // Start-up, once the catalogue is open and synced: the group in the
    // category tree, the marks, and the refresh when it is the day's first
    // (none without a network).
    void load(QNetworkAccessManager *network, const library::FavouritesRefresh::Settings &settings);

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
    QTreeWidgetItem *downloadsNode() const { return m_downloadsNode; }
    // What the downloads node says: how many there are, how many run.
    void setDownloadCounts(int total, int running);
    // Adds the window's own actions to a title's menu, after the group's.
    using ExtraActions = std::function<void(QMenu &menu, const QModelIndex &row)>;
    void setExtraActions(ExtraActions extra) { m_extraActions = std::move(extra); }
    browse::TitleRows &rows() const { return *m_rows; }
    library::FavouritesRefresh *refresh() const { return m_refresh; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addNodes();
    QString fitting(const QTreeWidgetItem *node, const QStringList &forms) const;
    void updateMarks();
    void updateNodeTexts();
    void showList(const browse::TitleStatement &statement, bool twoLines);

    store::Catalogue &m_catalogue;
    ListTitles m_list;
    QTreeWidget *m_tree;
    QObject *m_treeViewport = nullptr;
    QListView *m_titles;
    browse::TitleRows *m_rows;
    // On the catalogue, once it is open.
    std::optional<library::Favourites> m_favourites;
    std::optional<library::WatchHistory> m_history;
    library::FavouritesRefresh *m_refresh = nullptr; // a child; none without a network
    QTreeWidgetItem *m_favouritesNode = nullptr;
    QTreeWidgetItem *m_historyNode = nullptr;
    QTreeWidgetItem *m_downloadsNode = nullptr;
    int m_downloads = 0;
    int m_downloading = 0;
    ExtraActions m_extraActions;
    qint64 m_shownTitle = -1;
};

} // namespace kinolark::shell
