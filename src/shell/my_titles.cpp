#include "shell/my_titles.h"

#include "browse/my_group.h"
#include "browse/title_list_model.h"
#include "browse/title_rows.h"
#include "library/watch_positions.h"
#include "store/catalogue.h"

#include <QEvent>
#include <QListView>
#include <QMenu>
#include <QShortcut>
#include <QStyle>
#include <QTreeWidget>

namespace kinolark::shell {

namespace {

QDateTime now()
{
    return QDateTime::currentDateTimeUtc();
}

} // namespace

MyTitles::MyTitles(store::Catalogue &catalogue, ListTitles list, QTreeWidget *tree, QListView *titles,
                   QObject *parent)
    : QObject(parent)
    , m_catalogue(catalogue)
    , m_list(std::move(list))
    , m_tree(tree)
    , m_titles(titles)
    , m_rows(qobject_cast<browse::TitleRows *>(titles->model()))
{
    Q_ASSERT(m_rows);
    titles->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(titles, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (const std::unique_ptr<QMenu> menu = titleMenu(m_titles->indexAt(pos)))
            menu->exec(m_titles->viewport()->mapToGlobal(pos));
    });
    // Anywhere in the window, for the title chosen in the list.
    auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), titles, nullptr, nullptr, Qt::WindowShortcut);
    shortcut->setObjectName(QStringLiteral("favouriteShortcut"));
    connect(shortcut, &QShortcut::activated, this, [this] {
        const QModelIndexList selected = m_titles->selectionModel()->selectedRows();
        if (!selected.isEmpty())
            toggle(selected.constLast());
    });
}

MyTitles::~MyTitles() = default;

void MyTitles::load(QNetworkAccessManager *network, const library::FavouritesRefresh::Settings &settings)
{
    m_favourites.emplace(m_catalogue.database());
    m_history.emplace(m_catalogue.database());
    addNodes();
    updateMarks();
    if (network) {
        m_refresh = new library::FavouritesRefresh(m_catalogue.database(), *network, settings, this);
        connect(m_refresh, &library::FavouritesRefresh::progress, this, [this] { updateNodeTexts(); });
        connect(m_refresh, &library::FavouritesRefresh::titleRefreshed, this, [this](qint64 titleId) {
            if (m_rows->isFavourite(titleId))
                m_rows->setFavourite(titleId, m_favourites->newEpisodes(titleId).mark());
        });
        connect(m_refresh, &library::FavouritesRefresh::finished, this, [this] { updateMarks(); });
        m_refresh->startIfDue();
    }
    updateNodeTexts();
}

void MyTitles::addNodes()
{
    QTreeWidgetItem *group = nullptr;
    for (const browse::CategoryNode &node : browse::myGroup::nodes()) {
        auto *item = group ? new QTreeWidgetItem(group) : new QTreeWidgetItem(m_tree);
        item->setText(0, node.text);
        item->setData(0, Qt::UserRole, node.key);
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        if (!group)
            group = item;
        else if (node.key == browse::myGroup::favouritesKey())
            m_favouritesNode = item;
        else if (node.key == browse::myGroup::historyKey())
            m_historyNode = item;
        else
            m_downloadsNode = item;
    }
    group->setExpanded(true);
    m_treeViewport = m_tree->viewport();
    m_treeViewport->installEventFilter(this);
    connect(m_tree, &QTreeWidget::itemExpanded, this, [this] { updateNodeTexts(); });
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

QString MyTitles::fitting(const QTreeWidgetItem *node, const QStringList &forms) const
{
    // The first form that fits the node's place, inside the style's margins;
    // any while the node is out of sight.
    const int margin = m_tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_tree) + 1;
    const int room = m_tree->visualItemRect(node).width() - 2 * margin;
    if (room <= 0)
        return forms.constFirst();
    const QFontMetrics metrics(m_tree->font());
    for (const QString &form : forms) {
        if (metrics.horizontalAdvance(form) <= room)
            return form;
    }
    return forms.constLast();
}

void MyTitles::updateNodeTexts()
{
    if (!m_favouritesNode || !m_history)
        return;
    // As much as the narrow tree has room for; the tooltip says it in full.
    const QString favourites = QString::number(m_rows->favouriteCount());
    const QString updated = QString::number(m_rows->markedCount());
    QStringList forms;
    QString tip;
    if (m_refresh && m_refresh->isRunning()) {
        const QString done = QString::number(m_refresh->done());
        const QString total = QString::number(m_refresh->total());
        forms = QStringList{QStringLiteral("检查更新 %1/%2"), QStringLiteral("更新 %1/%2"), QStringLiteral("%1/%2")}
                    .replaceInStrings(QStringLiteral("%1"), done)
                    .replaceInStrings(QStringLiteral("%2"), total);
        tip = QStringLiteral("正在检查收藏的影片有没有新剧集：%1/%2").arg(done, total);
    } else if (m_rows->markedCount() > 0) {
        forms = QStringList{QStringLiteral("收藏 %1（%2 新）"), QStringLiteral("收藏 %1 (%2 新)"),
                            QStringLiteral("收藏（%2 新）"), QStringLiteral("收藏 %2 新")}
                    .replaceInStrings(QStringLiteral("%1"), favourites)
                    .replaceInStrings(QStringLiteral("%2"), updated);
        tip = QStringLiteral("收藏 %1 部，其中 %2 部有新剧集").arg(favourites, updated);
    } else {
        forms = m_rows->favouriteCount() > 0 ? QStringList{QStringLiteral("收藏 ") + favourites, QStringLiteral("收藏")}
                                             : QStringList{QStringLiteral("收藏")};
        tip = QStringLiteral("收藏 %1 部").arg(favourites);
    }
    m_favouritesNode->setText(0, fitting(m_favouritesNode, forms));
    m_favouritesNode->setToolTip(0, tip);
    const int watched = m_history->count();
    m_historyNode->setText(0, watched > 0 ? fitting(m_historyNode, {QStringLiteral("观看记录 %1").arg(watched),
                                                                    QStringLiteral("观看 %1").arg(watched),
                                                                    QStringLiteral("观看记录")})
                                          : QStringLiteral("观看记录"));
    m_historyNode->setToolTip(0, QStringLiteral("看过 %1 部").arg(watched));
    const QString total = QString::number(m_downloads);
    const QString running = QString::number(m_downloading);
    if (m_downloading > 0) {
        m_downloadsNode->setText(0, fitting(m_downloadsNode, {QStringLiteral("下载（%1 个正在下载）").arg(running),
                                                              QStringLiteral("下载（%1 个进行中）").arg(running),
                                                              QStringLiteral("下载 %1/%2").arg(running, total)}));
        m_downloadsNode->setToolTip(0, QStringLiteral("下载 %1 个，%2 个正在下载").arg(total, running));
    } else {
        m_downloadsNode->setText(0, m_downloads > 0 ? QStringLiteral("下载 (%1)").arg(total) : QStringLiteral("下载"));
        m_downloadsNode->setToolTip(0, QStringLiteral("下载 %1 个").arg(total));
    }
}

bool MyTitles::eventFilter(QObject *watched, QEvent *event)
{
    // A scroll bar that comes or goes changes the nodes' room, once the
    // tree has laid its column out again.
    // (The tree is not asked: the viewport is also watched while the tree
    // is being destroyed.)
    if (event->type() == QEvent::Resize && watched == m_treeViewport)
        QMetaObject::invokeMethod(this, &MyTitles::updateNodeTexts, Qt::QueuedConnection);
    return false;
}

void MyTitles::showList(const browse::TitleStatement &statement, bool twoLines)
{
    // Where each title was left, in both lists; a list that does not come
    // (none to show) leaves the notes to no other.
    m_rows->setNextList(m_history->notes(), twoLines);
    m_list(statement);
    m_rows->clearNextList();
}

void MyTitles::showFavourites()
{
    if (m_favourites)
        showList(m_favourites->listStatement(), true);
}

void MyTitles::showHistory()
{
    if (m_history)
        showList(m_history->listStatement(), true);
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
    updateNodeTexts();
}

std::unique_ptr<QMenu> MyTitles::titleMenu(const QModelIndex &row)
{
    // The downloads' list has a menu of its own.
    if (!row.isValid() || !m_favourites || row.model() != m_rows)
        return nullptr;
    const qint64 id = row.data(browse::TitleListModel::IdRole).toLongLong();
    auto menu = std::make_unique<QMenu>(m_titles);
    QAction *action = menu->addAction(m_rows->isFavourite(id) ? QStringLiteral("取消收藏") : QStringLiteral("收藏"));
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    const QPersistentModelIndex kept(row);
    connect(action, &QAction::triggered, this, [this, kept] { toggle(kept); });
    if (m_extraActions)
        m_extraActions(*menu, row);
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
    updateNodeTexts();
}

void MyTitles::episodeStarted(int line, const QString &address)
{
    if (m_shownTitle < 0)
        return;
    library::WatchPositions positions(m_catalogue.database());
    if (!positions.recordStart(m_shownTitle, line, address, now()))
        qWarning("watch history: %s", qPrintable(positions.lastError()));
    updateNodeTexts();
}

void MyTitles::setDownloadCounts(int total, int running)
{
    m_downloads = total;
    m_downloading = running;
    updateNodeTexts();
}

} // namespace kinolark::shell
