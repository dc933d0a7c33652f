#pragma once

#include <QUrl>
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

    // The address navigate() loads for `address`.
    static QUrl addressUrl(const QString &address)
    {
        const bool isWebAddress = address.startsWith(QStringLiteral("about:"))
                                  || address.contains(QStringLiteral("://"));
        return isWebAddress ? QUrl(address) : QUrl::fromLocalFile(address);
    }

signals:
    // The browser starts showing `url`, whoever asked for it: the program,
    // a link or a script of the page.
    void pageStarting(const QUrl &url);
    // The page showing `page` asks the built-in player to play; `request`
    // holds its player settings.
    void handOffRequested(const QUrl &page, const QUrl &request);
};

using BrowserFactory = std::function<Browser *(QWidget *parent)>;

} // namespace kinolark::shell
