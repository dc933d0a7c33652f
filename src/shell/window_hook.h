#pragma once

#include <QObject>

class QWidget;

namespace kinolark::shell {

// A hook in front of one widget's event handling that changes nothing: every
// event reaches the widget exactly once, unchanged, and the widget's answer
// stands. When the widget is destroyed the hook goes with it.
//
// One widget at a time can be hooked; the program hooks the episode list
// once at start-up.

// The widget whose events pass through the hook; null when none is hooked.
QWidget *PrevWndProc();

// Hooks `window`. False, with nothing installed, when `window` is not a
// widget or a hook is already in place.
bool HookWindow(QObject *window);

// Takes the hook off `window`. False when `window` is not the hooked widget.
bool UnhookWindow(QObject *window);

// The hook itself: sees each event on its way to the widget and lets it pass.
// It lives as a child of the hooked widget, so it ends with it.
class HookWindowProc : public QObject
{
    Q_OBJECT
public:
    explicit HookWindowProc(QWidget *window);
    ~HookWindowProc() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace kinolark::shell
