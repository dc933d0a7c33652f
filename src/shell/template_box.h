#pragma once

#include <QPlainTextEdit>

namespace kinolark::shell {

// A hidden text box that holds a page template. A plain text edit turns CR LF
// into its own paragraph breaks; the template's exact text is kept beside it.
class TemplateBox : public QPlainTextEdit
{
    Q_OBJECT
public:
    using QPlainTextEdit::QPlainTextEdit;

    void setText(const QString &text)
    {
        m_text = text;
        setPlainText(text);
    }
    QString text() const { return m_text; }

private:
    QString m_text;
};

} // namespace kinolark::shell
