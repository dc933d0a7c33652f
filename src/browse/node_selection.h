#pragma once

#include <QString>
#include <QStringList>

namespace kinolark::browse {

// What a click on a node of the category tree selects, read from its key.
struct NodeSelection
{
    enum class Kind {
        Nothing,  // a group, or a key that selects nothing
        Category, // every title of a category
        LiveTv,   // the live television page
        Initials, // the titles of a category with one of some initials
        Favourites, // the user's favourites
        History,    // the titles the user played
        Downloads,  // the episodes kept on this machine
    };

    Kind kind = Kind::Nothing;
    qint64 category = 0;
    QStringList initials; // the quoted list of the key, unquoted

    // "cid" + n, n + "$" + "'a','b'", a key of the group "我的", or anything
    // else.
    static NodeSelection fromKey(const QString &key);
};

} // namespace kinolark::browse
