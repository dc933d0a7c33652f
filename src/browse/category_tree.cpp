#include "browse/category_tree.h"

#include <QChar>
#include <QStringList>

namespace kinolark::browse {

namespace {

QList<CategoryNode> buildTree()
{
    const auto s = [](const char16_t *text) { return QString::fromUtf16(text); };
    QList<CategoryNode> nodes{
        {QString(), s(u"dsj"), s(u"电视剧")},
        {QString(), s(u"dy"), s(u"电影")},
        {QString(), s(u"qt"), s(u"其它")},
        {s(u"dsj"), s(u"cid15"), s(u"国产电视剧")},
        {s(u"dsj"), s(u"cid16"), s(u"港台电视剧")},
        {s(u"dsj"), s(u"cid17"), s(u"欧美电视剧")},
        {s(u"dsj"), s(u"cid18"), s(u"日韩电视剧")},
        {s(u"dsj"), s(u"cid19"), s(u"海外电视剧")},
        {s(u"dy"), s(u"cid8"), s(u"动作片")},
        {s(u"dy"), s(u"cid9"), s(u"喜剧片")},
        {s(u"dy"), s(u"cid10"), s(u"爱情片")},
        {s(u"dy"), s(u"cid11"), s(u"科幻片")},
        {s(u"dy"), s(u"cid12"), s(u"恐怖片")},
        {s(u"dy"), s(u"cid13"), s(u"战争片")},
        {s(u"dy"), s(u"cid14"), s(u"剧情片")},
        {s(u"dy"), s(u"cid22"), s(u"纪录片")},
        {s(u"qt"), s(u"cid3"), s(u"动漫动画片")},
        {s(u"qt"), s(u"cid4"), s(u"综艺娱乐")},
        {s(u"qt"), s(u"cid0"), s(u"电视直播")},
    };

    const QStringList lettered = s(u"15,16,17,18,19,8,9,10,11,12,13,14,22,3,4").split(QLatin1Char(','));
    for (const QString &n : lettered) {
        const QString parent = QStringLiteral("cid") + n;
        for (char16_t c = u'A'; c <= u'Z'; ++c) {
            const QString letter(QChar{c});
            nodes.append({parent, n + QStringLiteral("$'") + letter.toLower() + QLatin1Char('\''), letter});
        }
        nodes.append({parent, n + QStringLiteral("$'0','1','2','3','4','5','6','7','8','9','['"), s(u"其它")});
    }
    return nodes;
}

} // namespace

const QList<CategoryNode> &categoryTree()
{
    static const QList<CategoryNode> nodes = buildTree();
    return nodes;
}

} // namespace kinolark::browse
