#pragma once

#include "shell/browser.h"

class QWebEngineView;

namespace kinolark::shell {

// The real embedded browser.
class WebEngineBrowser : public Browser
{
    Q_OBJECT
public:
    explicit WebEngineBrowser(QWidget *parent = nullptr);
    void navigate(const QString &address) override;
    QWebEngineView *view() const { return m_view; }

private:
    QWebEngineView *m_view;
};

} // namespace kinolark::shell
