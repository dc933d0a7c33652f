#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

namespace kinolark::shell {

// A ring over the edge of whichever of the window's panes holds the focus.
// A web page, a read-only text or an empty list shows no focus of its own;
// the ring tells the user where a key will go. It never takes the mouse or
// the focus, and hides while the pane fills the window (full screen).
class FocusFrame : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ringWidth = 2;

    FocusFrame(QWidget *window, const QList<QWidget *> &panes);

    // The pane the ring is drawn around, or null while none has the focus.
    QWidget *framed() const { return isVisible() ? m_framed.data() : nullptr; }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void follow(QWidget *focus);
    void place();

    QList<QPointer<QWidget>> m_panes;
    QPointer<QWidget> m_framed;
};

} // namespace kinolark::shell
