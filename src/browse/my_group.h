#pragma once

#include "browse/category_tree.h"

#include <QList>
#include <QString>

namespace kinolark::browse {

// The group "我的" that follows the fixed tree: the user's favourites and the
// titles the user played, the episodes kept on this machine. Its keys hold neither "cid" nor "$", so nothing
// takes them for a category or a letter.
namespace myGroup {

QString groupKey();      // "my"
QString favouritesKey(); // "my.favourites"
QString historyKey();    // "my.history"
QString downloadsKey();  // "my.downloads"

// The group and its nodes, in the order they are added.
const QList<CategoryNode> &nodes();

} // namespace myGroup

} // namespace kinolark::browse
