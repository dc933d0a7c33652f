#pragma once

#include "shell/message_sink.h"

class QWidget;

namespace kinolark::shell {

// Modal message box: the text, an OK button, no icon, caption "kinolark",
// never narrower than its caption needs.
class MessageBoxSink : public MessageSink
{
public:
    // Room for the caption and a short text on one line.
    static constexpr int minimumWidth = 320;

    void setParent(QWidget *parent) { m_parent = parent; }
    void show(const QString &text) override;
    bool confirm(const QString &text, const QString &yes) override;

private:
    QWidget *m_parent = nullptr;
};

} // namespace kinolark::shell
