#include "cast/cast_text.h"

namespace kinolark::cast {

namespace {
QString quoted(const QString &device)
{
    return QStringLiteral("「%1」").arg(device);
}
} // namespace

QString CastText::callFailed(const QString &device, const SoapResult &result, Asked asked, int timeoutSeconds)
{
    const QString name = quoted(device);
    switch (result.failure) {
    case SoapResult::Failure::None:
        return {};
    case SoapResult::Failure::Timeout:
        return QStringLiteral("%1没有响应：%2 秒内没有应答。").arg(name).arg(timeoutSeconds);
    case SoapResult::Failure::Unreachable:
        return QStringLiteral("无法连接到%1。").arg(name);
    case SoapResult::Failure::Fault: {
        const QString what = asked == Asked::Address ? QStringLiteral("这个播放地址") : QStringLiteral("这个操作");
        const QString reason = result.description.trimmed().isEmpty()
                                   ? QString()
                                   : QStringLiteral("（%1）").arg(result.description.trimmed().left(200));
        return QStringLiteral("%1拒绝了%2：UPnP 错误 %3%4。").arg(name, what).arg(result.code).arg(reason);
    }
    case SoapResult::Failure::BadAnswer:
        // GUPnP's words for a fault that carries no UPnP error code.
        if (result.description == QLatin1String("Invalid Fault"))
            return QStringLiteral("%1报告了错误，但没有给出错误代码。").arg(name);
        return QStringLiteral("%1的应答无法识别（不是 UPnP 应答）。").arg(name);
    case SoapResult::Failure::HttpError:
        return QStringLiteral("%1返回了 HTTP 错误（%2）。").arg(name, result.description.left(200));
    }
    return {};
}

QString CastText::unreachable(const QString &device)
{
    return QStringLiteral("无法再连接到%1。").arg(quoted(device));
}

QString CastText::stoppedByItself(const QString &device)
{
    return QStringLiteral("%1自己停止了播放。").arg(quoted(device));
}

QString CastText::playbackError(const QString &device)
{
    return QStringLiteral("%1播放出错。").arg(quoted(device));
}

QString CastText::neverPlayed(const QString &device)
{
    return QStringLiteral("%1没有开始播放这个地址。").arg(quoted(device));
}

QString CastText::notCastable()
{
    return QStringLiteral("只有 http 或 https 地址可以投屏。");
}

QString CastText::noRenderer()
{
    return QStringLiteral("没有选择投屏设备。");
}

} // namespace kinolark::cast
