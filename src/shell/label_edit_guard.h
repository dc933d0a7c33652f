#pragma once

#include <QStyledItemDelegate>

#include <functional>

namespace kinolark::shell {

// Asks a handler before any in-place edit of an item's label; the handler
// sets its cancel flag to refuse the edit.
class LabelEditGuard : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using BeforeLabelEdit = std::function<void(bool &cancel)>;

    LabelEditGuard(QObject *parent, BeforeLabelEdit beforeLabelEdit)
        : QStyledItemDelegate(parent)
        , m_beforeLabelEdit(std::move(beforeLabelEdit))
    {
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        bool cancel = false;
        m_beforeLabelEdit(cancel);
        return cancel ? nullptr : QStyledItemDelegate::createEditor(parent, option, index);
    }

private:
    BeforeLabelEdit m_beforeLabelEdit;
};

} // namespace kinolark::shell
