#include "shell/title_row_delegate.h"

#include "browse/title_rows.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace kinolark::shell {

namespace {

constexpr int starSize = TitleRowDelegate::starSize;

QIcon starIcon()
{
    QPixmap pixmap(starSize, starSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath star;
    const QPointF centre(starSize / 2.0, starSize / 2.0 + 0.5);
    for (int i = 0; i < 10; ++i) {
        const qreal radius = i % 2 == 0 ? starSize / 2.0 : starSize / 4.6;
        const qreal angle = -M_PI / 2 + i * M_PI / 5;
        const QPointF point = centre + QPointF(radius * qCos(angle), radius * qSin(angle));
        i == 0 ? star.moveTo(point) : star.lineTo(point);
    }
    star.closeSubpath();
    painter.setPen(QPen(QColor(0xc8, 0x8a, 0x00), 0.8));
    painter.setBrush(QColor(0xf5, 0xb8, 0x00));
    painter.drawPath(star);
    return QIcon(pixmap);
}

QIcon blankIcon()
{
    QPixmap pixmap(starSize, starSize);
    pixmap.fill(Qt::transparent);
    return QIcon(pixmap);
}

// Names show on one line whatever they hold.
QString oneLine(QString text)
{
    for (const QChar c : {QChar(QChar::LineSeparator), QChar(u'\n'), QChar(u'\r')})
        text.replace(c, QLatin1Char(' '));
    return text;
}

int itemMargin(const QWidget *view)
{
    const QStyle *style = view ? view->style() : QApplication::style();
    return style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
}

} // namespace

TitleRowDelegate::TitleRowDelegate(QObject *parent, BeforeLabelEdit beforeLabelEdit)
    : LabelEditGuard(parent, std::move(beforeLabelEdit))
    , m_star(starIcon())
    , m_blank(blankIcon())
{
}

QFont TitleRowDelegate::noteFont(const QFont &listFont)
{
    QFont font = listFont;
    font.setPointSizeF(listFont.pointSizeF() * 0.8);
    return font;
}

TitleRowDelegate::Layout TitleRowDelegate::twoLineLayout(const QRect &row, const QFont &listFont, const QWidget *view)
{
    // As the style lays out a one-line row: the star with a margin either
    // side, the text after it inside a margin of its own.
    const int margin = itemMargin(view);
    const int nameHeight = QFontMetrics(listFont).height();
    const int noteHeight = QFontMetrics(noteFont(listFont)).height();
    const int top = row.top() + (row.height() - nameHeight - noteHeight) / 2;
    const int textLeft = row.left() + starSize + 3 * margin;
    const int textWidth = row.right() - margin - textLeft + 1;
    Layout layout;
    layout.name = QRect(textLeft, top, textWidth, nameHeight);
    // The note has the whole row under the name: the column is narrow.
    layout.note = QRect(row.left() + margin, top + nameHeight, row.right() - 2 * margin - row.left() + 1, noteHeight);
    layout.star = QRect(row.left() + margin, top + (nameHeight - starSize) / 2, starSize, starSize);
    return layout;
}

QSize TitleRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QSize oneLine = LabelEditGuard::sizeHint(option, index);
    if (!index.data(browse::TitleRows::TwoLinesRole).toBool())
        return oneLine;
    const int height = QFontMetrics(option.font).height() + QFontMetrics(noteFont(option.font)).height() + 6;
    return QSize(oneLine.width(), qMax(oneLine.height(), height));
}

void TitleRowDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    LabelEditGuard::initStyleOption(option, index);
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->icon = index.data(browse::TitleRows::FavouriteRole).toBool() ? m_star : m_blank;
    option->decorationSize = QSize(starSize, starSize);
}

void TitleRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (!index.data(browse::TitleRows::TwoLinesRole).toBool()) {
        LabelEditGuard::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString name = oneLine(item.text);
    const QIcon star = item.icon;
    // The style draws the row's ground, selection and focus; the two lines
    // are drawn here.
    item.text.clear();
    item.icon = QIcon();
    item.features &= ~QStyleOptionViewItem::HasDecoration;
    const QWidget *view = option.widget;
    const QStyle *style = view ? view->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, view);

    const Layout layout = twoLineLayout(option.rect, option.font, view);
    star.paint(painter, layout.star);
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    painter->save();
    painter->setFont(option.font);
    painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(layout.name, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(option.font).elidedText(name, Qt::ElideRight, layout.name.width()));
    const QFont small = noteFont(option.font);
    painter->setFont(small);
    painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
    const QString note = oneLine(index.data(browse::TitleRows::NoteRole).toString());
    painter->drawText(layout.note, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(small).elidedText(note, Qt::ElideRight, layout.note.width()));
    painter->restore();
}

} // namespace kinolark::shell
