#include "shell/my_titles.h"

#include "browse/my_group.h"
#include "browse/title_list_model.h"
#include "library/favourites_refresh.h"
#include "library/watch_positions.h"
#include "shell/main_window.h"
#include "shell/title_row_delegate.h"

#include <QListView>
#include <QMenu>
#include <QShortcut>
#include <QTreeWidget>

namespace kinolark::shell {

namespace {

QDateTime now()
{
    return QDateTime::currentDateTimeUtc();
}

} // namespace

MyTitles::MyTitles(frmMain &window)
    : QObject(&window)
    , m_window(window)
{
    QListView *list = window.TreeView2;
    QAbstractItemDelegate *before = list->itemDelegate();
    m_rows = new TitleRowDelegate(list, [&window](bool &cancel) { window.TreeView2_BeforeLabelEdit(cancel); });
    list->setItemDelegate(m_rows);
    if (before && before->parent() == list)
        before->deleteLater();

    // A list replaced by another loses its notes.
    connect(&window.titleModel(), &QAbstractItemModel::modelReset, this,
            [this] { m_rows->setNotes(std::exchange(m_pendingNotes, {})); });

    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint &pos) {
        if (const std::unique_ptr<QMenu> menu = titleMenu(list->indexAt(pos)))
            menu->exec(list->viewport()->mapToGlobal(pos));
    });
    auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), &window);
    shortcut->setObjectName(QStringLiteral("favouriteShortcut"));
    connect(shortcut, &QShortcut::activated, this, [this, list] {
        const QModelIndexList selected = list->selectionModel()->selectedRows();
        if (!selected.isEmpty())
            toggle(selected.constLast());
    });
}

MyTitles::~MyTitles() = default;

void MyTitles::load()
{
    m_favourites.emplace(m_window.conn.database());
    m_history.emplace(m_window.conn.database());
    addNodes();
    updateMarks();
    const Services &services = m_window.services();
    if (services.network) {
        library::FavouritesRefresh::Settings settings;
        settings.endpoint = m_window.strEndpoint;
        settings.today = services.today;
        settings.timeoutMs = services.requestTimeoutMs;
        settings.deadlineMs = services.titleDeadlineMs;
        m_refresh = new library::FavouritesRefresh(m_window.conn.database(), *services.network, settings, this);
        connect(m_refresh, &library::FavouritesRefresh::progress, this, [this] { updateNodeTexts(); });
        connect(m_refresh, &library::FavouritesRefresh::titleRefreshed, this, [this](qint64 titleId) {
            if (m_rows->isFavourite(titleId))
                m_rows->setFavourite(titleId, m_favourites->newEpisodes(titleId).mark());
            m_window.TreeView2->viewport()->update();
        });
        connect(m_refresh, &library::FavouritesRefresh::finished, this, [this] {
            updateMarks();
            m_window.TreeView2->viewport()->update();
        });
        m_refresh->startIfDue();
    }
    updateNodeTexts();
}

void MyTitles::addNodes()
{
    QTreeWidget *tree = m_window.TreeView1;
    QTreeWidgetItem *group = nullptr;
    for (const browse::CategoryNode &node : browse::myGroup::nodes()) {
        auto *item = group ? new QTreeWidgetItem(group) : new QTreeWidgetItem(tree);
        item->setText(0, node.text);
        item->setData(0, Qt::UserRole, node.key);
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        if (!group)
            group = item;
        else if (node.key == browse::myGroup::favouritesKey())
            m_favouritesNode = item;
        else
            m_historyNode = item;
    }
    group->setExpanded(true);
}

void MyTitles::updateMarks()
{
    QHash<qint64, QString> marks;
    const QHash<qint64, library::NewEpisodes> all = m_favourites->newEpisodes();
    for (auto it = all.cbegin(); it != all.cend(); ++it)
        marks.insert(it.key(), it->mark());
    m_rows->setFavourites(std::move(marks));
    updateNodeTexts();
}

void MyTitles::updateNodeTexts()
{
    if (!m_favouritesNode || !m_history)
        return;
    const auto counted = [](const QString &name, int count) {
        return count > 0 ? QStringLiteral("%1 (%2)").arg(name).arg(count) : name;
    };
    if (m_refresh && m_refresh->isRunning()) {
        m_favouritesNode->setText(
            0, QStringLiteral("收藏（正在检查更新 %1/%2）").arg(m_refresh->done()).arg(m_refresh->total()));
    } else {
        const QHash<qint64, QString> &favourites = m_rows->favourites();
        const auto updated = std::count_if(favourites.cbegin(), favourites.cend(),
                                           [](const QString &mark) { return !mark.isEmpty(); });
        m_favouritesNode->setText(0, updated > 0 ? QStringLiteral("收藏 (%1，%2 部有更新)")
                                                       .arg(favourites.size())
                                                       .arg(updated)
                                                 : counted(QStringLiteral("收藏"), int(favourites.size())));
    }
    m_historyNode->setText(0, counted(QStringLiteral("观看记录"), m_history->count()));
    // The tree is narrow; the whole text is a hover away.
    for (QTreeWidgetItem *node : {m_favouritesNode, m_historyNode})
        node->setToolTip(0, node->text(0));
}

void MyTitles::showFavourites()
{
    if (!m_favourites)
        return;
    m_window.bdT(m_favourites->listStatement());
}

void MyTitles::showHistory()
{
    if (!m_history)
        return;
    m_pendingNotes = m_history->notes();
    m_window.bdT(m_history->listStatement());
    m_pendingNotes.clear();
}

void MyTitles::toggle(const QModelIndex &row)
{
    if (!row.isValid() || !m_favourites)
        return;
    const qint64 id = row.data(browse::TitleListModel::IdRole).toLongLong();
    if (m_rows->isFavourite(id)) {
        if (!m_favourites->remove(id))
            return;
        m_rows->removeFavourite(id);
    } else {
        if (!m_favourites->add(id, row.data(Qt::DisplayRole).toString(), now()))
            return;
        m_rows->setFavourite(id, m_favourites->newEpisodes(id).mark());
        // Without a cached play list there is nothing to count new episodes
        // against: fetch it now, as a click would.
        if (m_refresh && !m_favourites->hasSeenList(id))
            m_refresh->enqueue(id);
    }
    m_window.TreeView2->viewport()->update();
    updateNodeTexts();
}

std::unique_ptr<QMenu> MyTitles::titleMenu(const QModelIndex &row)
{
    if (!row.isValid() || !m_favourites)
        return nullptr;
    const qint64 id = row.data(browse::TitleListModel::IdRole).toLongLong();
    auto menu = std::make_unique<QMenu>(&m_window);
    QAction *action = menu->addAction(m_rows->isFavourite(id) ? QStringLiteral("取消收藏") : QStringLiteral("收藏"));
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    const QPersistentModelIndex kept(row);
    connect(action, &QAction::triggered, this, [this, kept] { toggle(kept); });
    return menu;
}

void MyTitles::titleOpening(qint64 titleId)
{
    if (m_refresh)
        m_refresh->yieldTitle(titleId);
}

void MyTitles::titleShown(qint64 titleId, const QString &playList)
{
    m_shownTitle = titleId;
    if (!m_favourites || !m_rows->isFavourite(titleId))
        return;
    if (m_favourites->markSeen(titleId, playList))
        m_rows->setFavourite(titleId, QString());
    m_window.TreeView2->viewport()->update();
    updateNodeTexts();
}

void MyTitles::episodeStarted(int line, const QString &address)
{
    if (m_shownTitle < 0)
        return;
    library::WatchPositions positions(m_window.conn.database());
    if (!positions.recordStart(m_shownTitle, line, address, now()))
        qWarning("watch history: %s", qPrintable(positions.lastError()));
    updateNodeTexts();
}

} // namespace kinolark::shell
