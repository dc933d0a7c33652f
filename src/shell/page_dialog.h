#pragma once

#include <QString>

class QObject;
class QWidget;

namespace kinolark::shell {

// A page's JavaScript dialog over the page's own area only; the rest of the
// window goes on working. An alert asks nothing, so the page does not wait
// for it. A question waits for its answer. Either goes away, answered no,
// when the page starts another load or the view goes.
class PageDialog
{
public:
    enum Kind { Alert, Confirm, Prompt };

    // Shows the dialog over `view`; for a question, waits for the user: true
    // for 确定. A prompt's text goes to `result`.
    static bool ask(QWidget *view, QObject *page, Kind kind, const QString &message,
                    const QString &defaultValue = QString(), QString *result = nullptr);

    // The longest message shown; a page's text beyond it is cut.
    static constexpr int longestMessage = 2000;
};

} // namespace kinolark::shell
