#include "shell/title_row_delegate.h"

#include "browse/title_list_model.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace kinolark::shell {

namespace {

constexpr int starSize = 12;

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

} // namespace

TitleRowDelegate::TitleRowDelegate(QObject *parent, BeforeLabelEdit beforeLabelEdit)
    : LabelEditGuard(parent, std::move(beforeLabelEdit))
    , m_star(starIcon())
    , m_blank(blankIcon())
{
}

QString TitleRowDelegate::rowText(const QModelIndex &index) const
{
    const qint64 id = index.data(browse::TitleListModel::IdRole).toLongLong();
    QString text = index.data(Qt::DisplayRole).toString() + m_favourites.value(id);
    if (const QString note = m_notes.value(id); !note.isEmpty())
        text += QStringLiteral("  ") + note;
    return text;
}

void TitleRowDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    LabelEditGuard::initStyleOption(option, index);
    const qint64 id = index.data(browse::TitleListModel::IdRole).toLongLong();
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->icon = m_favourites.contains(id) ? m_star : m_blank;
    option->decorationSize = QSize(starSize, starSize);
    // A long name gives way to the mark and the note, but keeps enough of
    // itself to tell which title it is; the tooltip has it all.
    const QString name = index.data(Qt::DisplayRole).toString();
    const QString after = rowText(index).mid(name.size());
    const QStyle *style = option->widget ? option->widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, option, option->widget) + 1;
    const int room = option->rect.width() - starSize - 4 * margin;
    const QFontMetrics &metrics = option->fontMetrics;
    option->text = name + after;
    if (!after.isEmpty() && room > 0 && metrics.horizontalAdvance(option->text) > room) {
        const int nameRoom = qMin(metrics.horizontalAdvance(name),
                                  qMax(room - metrics.horizontalAdvance(after), room * 9 / 20));
        const QString shownName = metrics.elidedText(name, Qt::ElideRight, nameRoom);
        option->text = shownName
                       + metrics.elidedText(after, Qt::ElideRight, room - metrics.horizontalAdvance(shownName));
    }
}

} // namespace kinolark::shell
