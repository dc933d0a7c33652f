#pragma once

#include <QWidget>

#include <functional>

namespace kinolark::shell {

// An embedded web browser as the window uses it. The program shows a real
// web engine; tests put a recording fake in its place.
class Browser : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

    // Starts loading `address`: "about:blank", the path of a local file, or a
    // web address. Returns at once; a later call replaces an earlier one.
    virtual void navigate(const QString &address) = 0;
};

using BrowserFactory = std::function<Browser *(QWidget *parent)>;

} // namespace kinolark::shell
