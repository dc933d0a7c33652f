#pragma once

#include <QObject>

#include <functional>

namespace kinolark::shell {

// Makes Enter on an item view act like a click on its current item, so the
// trees can be used without a mouse.
class EnterKeyFilter : public QObject
{
    Q_OBJECT
public:
    EnterKeyFilter(QObject *parent, std::function<void()> onEnter)
        : QObject(parent)
        , m_onEnter(std::move(onEnter))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void()> m_onEnter;
};

} // namespace kinolark::shell
