#include "shell/window_hook.h"

#include <QAbstractScrollArea>
#include <QWidget>

namespace kinolark::shell {

namespace {

struct Hook
{
    QWidget *window = nullptr;
    HookWindowProc *filter = nullptr;
};

Hook &hook()
{
    static Hook state;
    return state;
}

} // namespace

HookWindowProc::HookWindowProc(QWidget *window)
    : QObject(window)
{
}

HookWindowProc::~HookWindowProc()
{
    // The widget is going away and takes its children with it: the hook
    // is off from here on.
    if (hook().filter == this)
        hook() = Hook();
}

bool HookWindowProc::eventFilter(QObject *watched, QEvent *event)
{
    return QObject::eventFilter(watched, event);
}

QWidget *PrevWndProc()
{
    return hook().window;
}

bool HookWindow(QObject *window)
{
    auto *widget = qobject_cast<QWidget *>(window);
    if (!widget || hook().filter)
        return false;
    auto *filter = new HookWindowProc(widget);
    // A list paints and takes the mouse in its viewport: the hook stands in
    // front of both, as in front of one window.
    widget->installEventFilter(filter);
    if (auto *area = qobject_cast<QAbstractScrollArea *>(widget))
        area->viewport()->installEventFilter(filter);
    hook() = Hook{widget, filter};
    return true;
}

bool UnhookWindow(QObject *window)
{
    Hook state = hook();
    if (!state.filter || window != state.window)
        return false;
    hook() = Hook();
    state.window->removeEventFilter(state.filter);
    if (auto *area = qobject_cast<QAbstractScrollArea *>(state.window))
        area->viewport()->removeEventFilter(state.filter);
    delete state.filter;
    return true;
}

} // namespace kinolark::shell
