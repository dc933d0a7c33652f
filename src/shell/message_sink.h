#pragma once

#include <QString>

namespace kinolark::shell {

// Where the window's messages go: a modal box for the user, a list in tests.
class MessageSink
{
public:
    virtual ~MessageSink() = default;
    // Shows `text` and returns once the user has closed it.
    virtual void show(const QString &text) = 0;
    // Asks `text` with `yes` and 取消; whether the user chose `yes`.
    virtual bool confirm(const QString &text, const QString &yes) = 0;
};

} // namespace kinolark::shell
