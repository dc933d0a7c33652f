#include "shell/message_box_sink.h"

#include <QMessageBox>

namespace kinolark::shell {

void MessageBoxSink::show(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("kinolark"), text, QMessageBox::Ok, m_parent);
    box.exec();
}

} // namespace kinolark::shell
