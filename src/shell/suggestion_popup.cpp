#include "shell/suggestion_popup.h"

#include <QHeaderView>

namespace kinolark::shell {

namespace {

constexpr int idRole = Qt::UserRole;
constexpr int popupWidth = 320;

} // namespace

SuggestionPopup::SuggestionPopup(QWidget *parent)
    : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("suggestions"));
    setFocusPolicy(Qt::NoFocus);
    viewport()->setFocusPolicy(Qt::NoFocus);
    setColumnCount(2);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    hide();
}

void SuggestionPopup::setSuggestions(const QVector<browse::Suggestion> &suggestions)
{
    clear();
    for (const browse::Suggestion &suggestion : suggestions) {
        auto *item = new QTreeWidgetItem(this);
        // Names show on one line whatever they hold.
        QString name = suggestion.name;
        name.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        item->setText(0, name);
        item->setToolTip(0, name);
        item->setText(1, suggestion.categoryName);
        item->setForeground(1, palette().brush(QPalette::PlaceholderText));
        item->setData(0, idRole, suggestion.id);
    }
    choose(-1);
}

qint64 SuggestionPopup::idAt(int row) const
{
    const QTreeWidgetItem *item = topLevelItem(row);
    return item ? item->data(0, idRole).toLongLong() : -1;
}

int SuggestionPopup::chosenRow() const
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.first());
}

void SuggestionPopup::choose(int row)
{
    if (row < 0 || row >= rowCount()) {
        clearSelection();
        setCurrentItem(nullptr);
        return;
    }
    setCurrentItem(topLevelItem(row));
    scrollToItem(topLevelItem(row));
}

void SuggestionPopup::showBelow(const QWidget *anchor)
{
    QWidget *window = parentWidget();
    const QPoint below = anchor->mapTo(window, QPoint(0, anchor->height()));
    // The rows are of one height (uniform), as the view lays them out; a
    // guess from the font left a gap below the last one.
    const int height = sizeHintForRow(0) * rowCount() + 2 * frameWidth();
    const int width = qMin(qMax(popupWidth, anchor->width()), window->width() - below.x());
    setGeometry(below.x(), below.y(), width, qMin(height, window->height() - below.y()));
    raise();
    show();
}

} // namespace kinolark::shell
