#include "shell/page_dialog.h"

#include "shell/guarded_page.h"

#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace kinolark::shell {

bool PageDialog::ask(QWidget *view, QObject *page, Kind kind, const QString &message, const QString &defaultValue,
                     QString *result)
{
    if (!view || !view->parentWidget())
        return false;
    QPointer<QWidget> shownOver(view);
    // A cover over the page, the dialog in its middle; the page under it
    // takes no input meanwhile.
    auto *cover = new QFrame(view->parentWidget());
    cover->setObjectName(QStringLiteral("pageDialog"));
    cover->setGeometry(view->geometry());
    cover->setAutoFillBackground(true);
    QPalette shade = cover->palette();
    shade.setColor(QPalette::Window, QColor(0, 0, 0, 150));
    cover->setPalette(shade);
    auto *outer = new QVBoxLayout(cover);
    auto *box = new QFrame(cover);
    box->setFrameShape(QFrame::StyledPanel);
    box->setAutoFillBackground(true);
    box->setPalette(view->parentWidget()->palette());
    box->setMaximumWidth(qMax(200, view->width() - 80));
    outer->addStretch();
    outer->addWidget(box, 0, Qt::AlignHCenter);
    outer->addStretch();

    auto *layout = new QVBoxLayout(box);
    auto *title = new QLabel(QStringLiteral("网页消息"), box);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    QString shown = message.left(longestMessage);
    if (message.size() > longestMessage)
        shown += QStringLiteral("…");
    auto *text = new QLabel(shown, box);
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    layout->addWidget(text);
    QLineEdit *input = nullptr;
    if (kind == Prompt) {
        input = new QLineEdit(defaultValue, box);
        layout->addWidget(input);
    }
    auto *buttons = new QDialogButtonBox(box);
    QPushButton *ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    if (kind != Alert)
        buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);

    // Any earlier one of the page is answered now.
    for (QObject *other : view->parentWidget()->children()) {
        if (other != cover && other->objectName() == cover->objectName())
            other->deleteLater();
    }
    if (kind == Alert) {
        QObject::connect(buttons, &QDialogButtonBox::accepted, cover, &QObject::deleteLater);
        if (auto *guarded = qobject_cast<GuardedPage *>(page))
            QObject::connect(guarded, &GuardedPage::leaving, cover, &QObject::deleteLater);
        QObject::connect(cover, &QObject::destroyed, view, [shownOver] {
            if (shownOver)
                shownOver->setEnabled(true);
        });
        view->setEnabled(false);
        cover->show();
        cover->raise();
        ok->setFocus();
        return true;
    }

    QEventLoop wait;
    QObject::connect(buttons, &QDialogButtonBox::accepted, &wait, [&wait] { wait.exit(1); });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &wait, [&wait] { wait.exit(0); });
    if (auto *guarded = qobject_cast<GuardedPage *>(page))
        QObject::connect(guarded, &GuardedPage::leaving, &wait, [&wait] { wait.exit(0); });
    QObject::connect(view, &QObject::destroyed, &wait, [&wait] { wait.exit(0); });
    QObject::connect(cover, &QObject::destroyed, &wait, [&wait] { wait.exit(0); });

    view->setEnabled(false);
    cover->show();
    cover->raise();
    (input ? static_cast<QWidget *>(input) : ok)->setFocus();
    const bool accepted = wait.exec() == 1;
    if (accepted && input && result)
        *result = input->text();
    if (shownOver) {
        shownOver->setEnabled(true);
        delete cover;
    }
    return accepted;
}

} // namespace kinolark::shell
