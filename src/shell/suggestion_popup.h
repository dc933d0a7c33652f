#pragma once

#include "browse/suggestion.h"

#include <QTreeWidget>
#include <QVector>

namespace kinolark::shell {

// The list of suggestions under the search box: a title's name and its
// category's name a row. It never takes the focus, so typing goes on in the
// search box while it shows.
class SuggestionPopup : public QTreeWidget
{
    Q_OBJECT
public:
    explicit SuggestionPopup(QWidget *parent);

    void setSuggestions(const QVector<browse::Suggestion> &suggestions);
    // The title id of a row, or -1.
    qint64 idAt(int row) const;
    int rowCount() const { return topLevelItemCount(); }

    // The chosen row, or -1 when none is.
    int chosenRow() const;
    void choose(int row);

    // Shown below `anchor`, sized to its rows.
    void showBelow(const QWidget *anchor);
};

} // namespace kinolark::shell
