#pragma once

#include "shell/label_edit_guard.h"

#include <QFont>
#include <QIcon>
#include <QRect>

namespace kinolark::shell {

// Draws the rows of the title list from what browse::TitleRows says of
// them: a star before a favourite's name and, in a list with notes, a
// second line in a smaller grey font across the row ("看到 第12集 23:45",
// "更新至第13集"). A list without notes keeps rows of one line.
class TitleRowDelegate : public LabelEditGuard
{
    Q_OBJECT
public:
    static constexpr int starSize = 12;

    TitleRowDelegate(QObject *parent, BeforeLabelEdit beforeLabelEdit);

    // The note's font for the list's font.
    static QFont noteFont(const QFont &listFont);

    // Where a two-line row of `row` puts its star, its name and its note.
    struct Layout
    {
        QRect star;
        QRect name;
        QRect note;
    };
    static Layout twoLineLayout(const QRect &row, const QFont &listFont, const QWidget *view);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    QIcon m_star;
    QIcon m_blank; // keeps the names of other rows in line with the favourites'
};

} // namespace kinolark::shell
