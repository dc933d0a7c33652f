#pragma once

#include "library/downloads.h"

#include <QString>

namespace kinolark::download {

// One download as the list shows it: what is stored, and while it runs,
// how far it is.
struct DownloadRow
{
    library::DownloadEntry entry;
    int percent = -1;          // while running; -1 when not known
    qint64 received = 0;       // bytes read so far, while running
    qint64 bytesPerSecond = 0; // while running

    // "等待中", "下载中 37%（1.2 MB/s）", "已暂停", "已完成（123.4 MB）",
    // "失败：磁盘空间不足".
    QString stateText() const;
    // "1.2 MB", "640 KB", "3.5 GB".
    static QString sizeText(qint64 bytes);
};

} // namespace kinolark::download
