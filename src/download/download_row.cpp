#include "download/download_row.h"

namespace kinolark::download {

QString DownloadRow::sizeText(qint64 bytes)
{
    constexpr double kb = 1024.0;
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(qMax<qint64>(bytes, 0));
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(qRound(double(bytes) / kb));
    if (bytes < 1024LL * 1024 * 1024)
        return QStringLiteral("%1 MB").arg(double(bytes) / (kb * kb), 0, 'f', 1);
    return QStringLiteral("%1 GB").arg(double(bytes) / (kb * kb * kb), 0, 'f', 1);
}

QString DownloadRow::stateText() const
{
    using library::DownloadState;
    switch (entry.state) {
    case DownloadState::Waiting:
        return QStringLiteral("等待中");
    case DownloadState::Running: {
        QString text = QStringLiteral("下载中");
        if (percent >= 0)
            text += QStringLiteral(" %1%").arg(percent);
        else if (received > 0)
            text += QLatin1Char(' ') + sizeText(received);
        if (bytesPerSecond > 0)
            text += QStringLiteral("（%1/s）").arg(sizeText(bytesPerSecond));
        return text;
    }
    case DownloadState::Paused:
        return QStringLiteral("已暂停");
    case DownloadState::Done:
        return QStringLiteral("已完成（%1）").arg(sizeText(entry.bytes));
    case DownloadState::Failed:
        break;
    }
    return entry.error.isEmpty() ? QStringLiteral("失败") : QStringLiteral("失败：") + entry.error;
}

} // namespace kinolark::download
