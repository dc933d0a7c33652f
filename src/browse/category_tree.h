#pragma once

#include <QList>
#include <QString>

namespace kinolark::browse {

// One node of the fixed category tree. The key says what a click selects:
//   "dsj", "dy", "qt"           a group, selects nothing
//   "cid" + n                   category n (0 is live television)
//   n + "$'a'"                  titles of category n with initial a
//   n + "$'0',...,'9','['"      titles of category n with another initial
struct CategoryNode
{
    QString parentKey; // empty for a group
    QString key;
    QString text;
};

// The 424 nodes in the order they are added: the three groups, the sixteen
// categories, then "A".."Z" and "其它" under fifteen categories.
const QList<CategoryNode> &categoryTree();

// The groups come first in the list and are shown expanded.
constexpr int groupCount = 3;
// The groups and the categories; the letter nodes follow them.
constexpr int fixedNodeCount = 19;

} // namespace kinolark::browse
