#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

namespace kinolark::browse {

// A statement that lists titles (id, name), with its values kept apart from
// its text so nothing the user types or the site sends can change its
// meaning.
struct TitleStatement
{
    QString sql;
    QVariantList values;

    // Every title of a category.
    static TitleStatement category(qint64 category);
    // The titles of a category whose initial is one of `initials`, in either
    // letter case.
    static TitleStatement initials(qint64 category, const QStringList &initials);
    // The titles whose name contains `text`, in either letter case; "%" and
    // "_" in the text match any run and any one character.
    static TitleStatement search(const QString &text);
    // The one title with `id`.
    static TitleStatement title(qint64 id);
};

} // namespace kinolark::browse
