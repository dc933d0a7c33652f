#include "shell/message_box_sink.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace kinolark::shell {

void MessageBoxSink::show(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("kinolark"), QString(), QMessageBox::Ok, m_parent);
    // Messages carry the site's names and addresses: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    // The box sizes itself to its text: a short one left the window manager
    // no room for the caption. The box ignores a minimum width of its own;
    // a spacer across its grid it cannot.
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(minimumWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0,
                      1, grid->columnCount());
    box.exec();
}

} // namespace kinolark::shell
