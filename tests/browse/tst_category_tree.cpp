#include "browse/category_tree.h"

#include <QHash>
#include <QSet>
#include <QTest>

using kinolark::browse::CategoryNode;
using kinolark::browse::categoryTree;

class tst_CategoryTree : public QObject
{
    Q_OBJECT

private slots:
    void fixedNodes_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        const QList<QStringList> rows{
            {QString(), QStringLiteral("dsj"), QStringLiteral("电视剧")},
            {QString(), QStringLiteral("dy"), QStringLiteral("电影")},
            {QString(), QStringLiteral("qt"), QStringLiteral("其它")},
            {QStringLiteral("dsj"), QStringLiteral("cid15"), QStringLiteral("国产电视剧")},
            {QStringLiteral("dsj"), QStringLiteral("cid16"), QStringLiteral("港台电视剧")},
            {QStringLiteral("dsj"), QStringLiteral("cid17"), QStringLiteral("欧美电视剧")},
            {QStringLiteral("dsj"), QStringLiteral("cid18"), QStringLiteral("日韩电视剧")},
            {QStringLiteral("dsj"), QStringLiteral("cid19"), QStringLiteral("海外电视剧")},
            {QStringLiteral("dy"), QStringLiteral("cid8"), QStringLiteral("动作片")},
            {QStringLiteral("dy"), QStringLiteral("cid9"), QStringLiteral("喜剧片")},
            {QStringLiteral("dy"), QStringLiteral("cid10"), QStringLiteral("爱情片")},
            {QStringLiteral("dy"), QStringLiteral("cid11"), QStringLiteral("科幻片")},
            {QStringLiteral("dy"), QStringLiteral("cid12"), QStringLiteral("恐怖片")},
            {QStringLiteral("dy"), QStringLiteral("cid13"), QStringLiteral("战争片")},
            {QStringLiteral("dy"), QStringLiteral("cid14"), QStringLiteral("剧情片")},
            {QStringLiteral("dy"), QStringLiteral("cid22"), QStringLiteral("纪录片")},
            {QStringLiteral("qt"), QStringLiteral("cid3"), QStringLiteral("动漫动画片")},
            {QStringLiteral("qt"), QStringLiteral("cid4"), QStringLiteral("综艺娱乐")},
            {QStringLiteral("qt"), QStringLiteral("cid0"), QStringLiteral("电视直播")},
        };
        for (int i = 0; i < rows.size(); ++i)
            QTest::addRow("%d %s", i + 1, qPrintable(rows[i][1])) << i << rows[i][0] << rows[i][1] << rows[i][2];
    }
    void fixedNodes()
    {
        QFETCH(int, index);
        QFETCH(QString, parent);
        QFETCH(QString, key);
        QFETCH(QString, text);
        const CategoryNode &node = categoryTree().at(index);
        QCOMPARE(node.parentKey, parent);
        QCOMPARE(node.key, key);
        QCOMPARE(node.text, text);
    }

    void shape()
    {
        const QList<CategoryNode> &nodes = categoryTree();
        QCOMPARE(nodes.size(), 424);
        QSet<QString> keys;
        QHash<QString, QStringList> children;
        for (const CategoryNode &node : nodes) {
            QVERIFY2(!keys.contains(node.key), qPrintable(node.key));
            keys.insert(node.key);
            // A parent is always added before its children.
            QVERIFY(node.parentKey.isEmpty() || keys.contains(node.parentKey));
            QVERIFY(!(node.key.contains(QStringLiteral("cid")) && node.key.contains(QLatin1Char('$'))));
            children[node.parentKey] << node.text;
        }
        QVERIFY(!children.contains(QStringLiteral("cid0")));
        QStringList expected;
        for (char c = 'A'; c <= 'Z'; ++c)
            expected << QString(QLatin1Char(c));
        expected << QStringLiteral("其它");
        const QStringList lettered = QStringLiteral("15,16,17,18,19,8,9,10,11,12,13,14,22,3,4").split(QLatin1Char(','));
        for (const QString &n : lettered)
            QCOMPARE(children.value(QStringLiteral("cid") + n), expected);
    }

    void letterOrderAndKeys_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::newRow("first letter node") << 19 << QStringLiteral("cid15") << QStringLiteral("15$'a'") << QStringLiteral("A");
        QTest::newRow("Z of 15") << 44 << QStringLiteral("cid15") << QStringLiteral("15$'z'") << QStringLiteral("Z");
        QTest::newRow("other of 15") << 45 << QStringLiteral("cid15")
                                     << QStringLiteral("15$'0','1','2','3','4','5','6','7','8','9','['")
                                     << QStringLiteral("其它");
        QTest::newRow("A of 16") << 46 << QStringLiteral("cid16") << QStringLiteral("16$'a'") << QStringLiteral("A");
        QTest::newRow("M of 3") << 19 + 13 * 27 + 12 << QStringLiteral("cid3") << QStringLiteral("3$'m'")
                                << QStringLiteral("M");
        QTest::newRow("last node") << 423 << QStringLiteral("cid4")
                                   << QStringLiteral("4$'0','1','2','3','4','5','6','7','8','9','['")
                                   << QStringLiteral("其它");
    }
    void letterOrderAndKeys()
    {
        QFETCH(int, index);
        QFETCH(QString, parent);
        QFETCH(QString, key);
        QFETCH(QString, text);
        const CategoryNode &node = categoryTree().at(index);
        QCOMPARE(node.parentKey, parent);
        QCOMPARE(node.key, key);
        QCOMPARE(node.text, text);
    }
};

QTEST_GUILESS_MAIN(tst_CategoryTree)
#include "tst_category_tree.moc"
