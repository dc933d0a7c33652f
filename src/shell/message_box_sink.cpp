#include "shell/message_box_sink.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

namespace kinolark::shell {

namespace {

void prepare(QMessageBox &box, const QString &text)
{
    // Messages carry the site's names and addresses: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    // The box sizes itself to its text: a short one left the window manager
    // no room for the caption. The box ignores a minimum width of its own;
    // a spacer across its grid it cannot.
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(MessageBoxSink::minimumWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace

void MessageBoxSink::show(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("kinolark"), QString(), QMessageBox::Ok, m_parent);
    prepare(box, text);
    box.exec();
}

bool MessageBoxSink::confirm(const QString &text, const QString &yes)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("kinolark"), QString(), QMessageBox::NoButton, m_parent);
    prepare(box, text);
    QPushButton *accept = box.addButton(yes, QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole));
    box.exec();
    return box.clickedButton() == accept;
}

} // namespace kinolark::shell
