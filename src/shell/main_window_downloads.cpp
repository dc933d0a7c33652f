// Episodes kept on this machine: queued from the episode list or a whole
// title at once, listed under 我的 → 下载, marked in the episode list, and
// played from the file, the site down or not.
#include "shell/main_window.h"

#include "download/download_list.h"
#include "download/download_manager.h"
#include "shell/message_sink.h"
#include "shell/my_titles.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMap>
#include <QMenu>
#include <QUrl>

namespace kinolark::shell {

void frmMain::setUpDownloads()
{
    if (m_downloads || !conn.isOpen())
        return;
    download::DownloadManager::Settings settings;
    settings.root = m_services.downloadsFolder;
    m_downloads = new download::DownloadManager(conn.database(), settings, this);
    m_downloadList = new download::DownloadList(*m_downloads, this);
    const auto counts = [this] { m_my->setDownloadCounts(m_downloads->count(), m_downloads->runningCount()); };
    connect(m_downloads, &download::DownloadManager::changed, this, counts);
    connect(m_downloads, &download::DownloadManager::downloadFinished, this, [this] { markDownloadedEpisodes(); });
    connect(m_downloads, &download::DownloadManager::diskFull, this, [this](const QString &folder) {
        message(QStringLiteral("磁盘空间不足，下载已暂停：%1").arg(QDir::toNativeSeparators(folder)));
    });
    connect(TreeView2, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (const std::unique_ptr<QMenu> menu = downloadMenu(TreeView2->indexAt(pos)))
            menu->exec(TreeView2->viewport()->mapToGlobal(pos));
    });
    m_my->setExtraActions([this](QMenu &menu, const QModelIndex &row) {
        QAction *all = menu.addAction(QStringLiteral("下载全部剧集"));
        const QPersistentModelIndex kept(row);
        connect(all, &QAction::triggered, this, [this, kept] { downloadTitle(kept); });
    });
    m_downloads->start();
    counts();
}

void frmMain::downloadEpisode(int line, const QString &episodeName)
{
    if (!m_downloads || line < 0 || line >= PlayUrls.size())
        return;
    const QString address = PlayUrls.at(line);
    if (const QString why = download::DownloadManager::notDownloadableReason(address); !why.isEmpty()) {
        message(why);
        return;
    }
    QString name = episodeName;
    name.remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    if (m_downloads->enqueue(m_titleId, line, txtSearch->text(), name.trimmed(), address) == 0)
        message(QStringLiteral("无法加入下载：影片数据库无法写入。"));
}

void frmMain::downloadTitle(const QModelIndex &row)
{
    if (!m_downloads || !row.isValid())
        return;
    const qint64 id = row.data(browse::TitleListModel::IdRole).toLongLong();
    // The title opens as a click opens it: its play list as of now.
    TreeView2->setCurrentIndex(row);
    TreeView2_NodeClick();
    if (m_titleId != id)
        return;
    // The episodes the list shows (the play list holds empty lines beyond
    // them), in play-list order.
    QMap<int, QString> names;
    for (int at = 0; at < ListView1->count(); ++at) {
        const QListWidgetItem *item = ListView1->item(at);
        if (const std::optional<int> line = episodeLine(item))
            names.insert(*line, item->text().remove(QLatin1Char('\n')).remove(QLatin1Char('\r')).trimmed());
    }
    QList<download::DownloadManager::Episode> episodes;
    int refused = 0;
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        const QString &address = PlayUrls.at(it.key());
        if (!download::DownloadManager::isDownloadable(address)) {
            ++refused;
            continue;
        }
        download::DownloadManager::Episode episode;
        episode.titleId = id;
        episode.line = it.key();
        episode.titleName = txtSearch->text();
        episode.episodeName = it.value();
        episode.address = address;
        episodes.push_back(episode);
    }
    if (!episodes.isEmpty() && m_downloads->enqueueAll(episodes).contains(0))
        message(QStringLiteral("有些剧集无法加入下载：影片数据库无法写入。"));
    if (refused > 0)
        message(QStringLiteral("%1 集的播放地址不是网址，无法下载。").arg(refused));
}

void frmMain::showDownloads()
{
    if (!m_downloadList)
        return;
    strSql.clear();
    m_downloadList->refresh();
    if (m_downloadList->rowCount() == 0) {
        message(QStringLiteral("还没有下载的剧集"));
        return;
    }
    TreeView2->setModel(m_downloadList);
    TreeView2->scrollToTop();
    WebBrowser2->navigate(QStringLiteral("about:blank"));
    WebBrowser2->hide();
}

void frmMain::showTitleRows()
{
    if (TreeView2->model() != &m_rows)
        TreeView2->setModel(&m_rows);
}

std::unique_ptr<QMenu> frmMain::downloadMenu(const QModelIndex &row)
{
    if (!m_downloads || !row.isValid() || row.model() != m_downloadList)
        return nullptr;
    const qint64 id = row.data(download::DownloadList::DownloadIdRole).toLongLong();
    const std::optional<download::DownloadRow> download = m_downloads->row(id);
    if (!download)
        return nullptr;
    using library::DownloadState;
    const DownloadState state = download->entry.state;
    auto menu = std::make_unique<QMenu>(this);
    if (state == DownloadState::Waiting || state == DownloadState::Running)
        connect(menu->addAction(QStringLiteral("暂停")), &QAction::triggered, this, [this, id] { m_downloads->pause(id); });
    else if (state == DownloadState::Paused)
        connect(menu->addAction(QStringLiteral("继续")), &QAction::triggered, this, [this, id] { m_downloads->resume(id); });
    else if (state == DownloadState::Failed)
        connect(menu->addAction(QStringLiteral("重试")), &QAction::triggered, this, [this, id] { m_downloads->retry(id); });
    QAction *folder = menu->addAction(QStringLiteral("打开所在文件夹"));
    const QString where = QFileInfo(download->entry.filePath).absolutePath();
    folder->setEnabled(!download->entry.filePath.isEmpty() && QFileInfo(where).isDir());
    connect(folder, &QAction::triggered, this, [this, where] {
        const QString url = QUrl::fromLocalFile(where).toString();
        if (m_services.openUrl)
            m_services.openUrl(url, [this, where](bool opened) {
                if (!opened)
                    message(QStringLiteral("无法打开文件夹：%1").arg(QDir::toNativeSeparators(where)));
            });
    });
    QAction *remove = menu->addAction(QStringLiteral("删除"));
    const QString name = download->entry.titleName + QLatin1Char(' ') + download::DownloadList::noteOf(*download);
    connect(remove, &QAction::triggered, this, [this, id, name] {
        if (!m_services.messages
            || !m_services.messages->confirm(QStringLiteral("删除这个下载和它的文件吗？\n%1").arg(name),
                                             QStringLiteral("删除")))
            return;
        if (!m_downloads->remove(id))
            message(QStringLiteral("无法删除这个下载：影片数据库无法写入。"));
        markDownloadedEpisodes();
    });
    return menu;
}

QString frmMain::localCopy(int line) const
{
    // A TV cannot reach a file of this machine: it is given the site's address.
    if (!m_downloads || casting())
        return QString();
    return m_downloads->localFileFor(m_titleId, line);
}

void frmMain::playDownloaded(qint64 downloadId)
{
    const std::optional<download::DownloadRow> download = m_downloads ? m_downloads->row(downloadId) : std::nullopt;
    if (!download || download->entry.state != library::DownloadState::Done || download->entry.titleId != m_titleId)
        return;
    if (localCopy(download->entry.line).isEmpty()) {
        message(QStringLiteral("下载的文件已不在：%1").arg(QDir::toNativeSeparators(download->entry.filePath)));
        return;
    }
    if (!clickEpisodeLine(download->entry.line))
        message(QStringLiteral("这一集已不在影片的播放列表中。"));
}

} // namespace kinolark::shell
