// Episodes kept on this machine: queued from the episode list, marked in
// it, and played from the file when the episode is clicked, the site down
// or not.
#include "shell/main_window.h"

#include "download/download_manager.h"

#include <QLineEdit>
#include <QListWidget>

namespace kinolark::shell {

void frmMain::setUpDownloads()
{
    if (m_downloads || !conn.isOpen())
        return;
    download::DownloadManager::Settings settings;
    settings.root = m_services.downloadsFolder;
    m_downloads = new download::DownloadManager(conn.database(), settings, this);
    connect(m_downloads, &download::DownloadManager::downloadFinished, this, [this] { markDownloadedEpisodes(); });
    connect(m_downloads, &download::DownloadManager::diskFull, this, [this](const QString &folder) {
        message(QStringLiteral("磁盘空间不足，下载已暂停：%1").arg(folder));
    });
    m_downloads->start();
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

} // namespace kinolark::shell
