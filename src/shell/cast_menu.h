#pragma once

#include "cast/renderer.h"

#include <QMenu>

namespace kinolark::cast {
class RendererList;
}

namespace kinolark::shell {

// "投屏到…": the renderers found on the network, by name (and address where
// two share one), "正在搜索设备…" while a search runs, and "手动添加设备…".
// Opening it searches again, so a TV switched on since shows up.
class CastMenu : public QMenu
{
    Q_OBJECT
public:
    CastMenu(cast::RendererList *renderers, QWidget *parent = nullptr);

    static QString title() { return QStringLiteral("投屏到…"); }
    // Why an address cannot go to a TV; empty when it can.
    static QString notCastableReason(const QString &address);

signals:
    void rendererChosen(const kinolark::cast::Renderer &renderer);
    void manualAddRequested();

private:
    void fill();

    cast::RendererList *m_renderers;
};

} // namespace kinolark::shell
