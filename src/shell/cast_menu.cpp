#include "shell/cast_menu.h"

#include "cast/cast_metadata.h"
#include "cast/renderer_list.h"

#include <QHash>

namespace kinolark::shell {

CastMenu::CastMenu(cast::RendererList *renderers, QWidget *parent)
    : QMenu(title(), parent)
    , m_renderers(renderers)
{
    setObjectName(QStringLiteral("castMenu"));
    connect(this, &QMenu::aboutToShow, this, [this] {
        m_renderers->search();
        fill();
    });
    // What the search finds while the menu is open shows up in it.
    connect(m_renderers, &cast::RendererList::added, this, [this] {
        if (isVisible())
            fill();
    });
    connect(m_renderers, &cast::RendererList::removed, this, [this] {
        if (isVisible())
            fill();
    });
    connect(m_renderers, &cast::RendererList::searchingChanged, this, [this] {
        if (isVisible())
            fill();
    });
    fill();
}

QString CastMenu::notCastableReason(const QString &address)
{
    return cast::isCastable(address) ? QString()
                                     : QStringLiteral("电视只能播放 http 或 https 地址，这个播放地址不能投屏");
}

void CastMenu::fill()
{
    clear();
    const QList<cast::Renderer> renderers = m_renderers->renderers();
    QHash<QString, int> names;
    for (const cast::Renderer &renderer : renderers)
        ++names[renderer.friendlyName];
    for (const cast::Renderer &renderer : renderers) {
        QString text = renderer.friendlyName.isEmpty() ? renderer.address : renderer.friendlyName;
        if (names.value(renderer.friendlyName) > 1)
            text += QStringLiteral("（%1）").arg(renderer.address);
        QAction *action = addAction(text);
        connect(action, &QAction::triggered, this, [this, renderer] { emit rendererChosen(renderer); });
    }
    if (m_renderers->searching())
        addAction(QStringLiteral("正在搜索设备…"))->setEnabled(false);
    else if (renderers.isEmpty())
        addAction(QStringLiteral("没有找到电视"))->setEnabled(false);
    addSeparator();
    QAction *manual = addAction(QStringLiteral("手动添加设备…"));
    connect(manual, &QAction::triggered, this, &CastMenu::manualAddRequested);
}

} // namespace kinolark::shell
