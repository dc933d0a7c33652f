#include "shell/message_box_sink.h"

#include <QMessageBox>

namespace kinolark::shell {

void MessageBoxSink::show(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("kinolark"), QString(), QMessageBox::Ok, m_parent);
    // Messages carry the site's names and addresses: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.exec();
}

} // namespace kinolark::shell
