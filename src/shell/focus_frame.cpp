#include "shell/focus_frame.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>

namespace kinolark::shell {

FocusFrame::FocusFrame(QWidget *window, const QList<QWidget *> &panes)
    : QWidget(window)
{
    setObjectName(QStringLiteral("focusFrame"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    for (QWidget *pane : panes)
        m_panes << pane;
    hide();
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) { follow(now); });
}

void FocusFrame::follow(QWidget *focus)
{
    QWidget *pane = nullptr;
    for (const QPointer<QWidget> &candidate : std::as_const(m_panes)) {
        if (candidate && focus && (candidate == focus || candidate->isAncestorOf(focus)))
            pane = candidate;
    }
    if (pane != m_framed) {
        if (m_framed)
            m_framed->removeEventFilter(this);
        m_framed = pane;
        if (pane)
            pane->installEventFilter(this);
    }
    place();
}

void FocusFrame::place()
{
    QWidget *window = parentWidget();
    if (!m_framed || !m_framed->isVisible() || m_framed->isWindow() || !window) {
        hide();
        return;
    }
    const QRect area(m_framed->mapTo(window, QPoint(0, 0)), m_framed->size());
    if (area.contains(window->rect())) {
        hide();
        return;
    }
    setGeometry(area);
    // Only the ring covers the pane; its inside stays the pane's to draw.
    setMask(QRegion(rect()) - QRegion(rect().adjusted(ringWidth, ringWidth, -ringWidth, -ringWidth)));
    raise();
    show();
    update();
}

void FocusFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Active, QPalette::Highlight));
}

bool FocusFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_framed) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::ParentChange:
            place();
            break;
        default:
            break;
        }
    }
    return false;
}

} // namespace kinolark::shell
