#include "shell/enter_key_filter.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QKeyEvent>

namespace kinolark::shell {

bool EnterKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    auto *view = qobject_cast<QAbstractItemView *>(watched);
    if (!view || !view->currentIndex().isValid())
        return false;
    // The handlers act on the selected node, as after a click.
    view->selectionModel()->select(view->currentIndex(), QItemSelectionModel::ClearAndSelect);
    m_onEnter();
    return true;
}

} // namespace kinolark::shell
