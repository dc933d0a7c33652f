#include "playback/play_list.h"

#include <QTest>

using kinolark::playback::PlayList;

class tst_PlayList : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QStringList>("episodes"); // "line|name|address"
        QTest::newRow("three lines") << "E0$p://a\rE1$p://b\rE2$p://c" << 3
                                     << QStringList{"0|E0|p://a", "1|E1|p://b", "2|E2|p://c"};
        QTest::newRow("CR LF") << "E0$p://a\r\nE1$p://b" << 2 << QStringList{"0|E0|p://a", "1|\nE1|p://b"};
        QTest::newRow("LF is no separator") << "E0$p://a\nE1$p://b" << 1 << QStringList{"0|E0|p://a\nE1$p:"};
        QTest::newRow("empty last line") << "E0$p://a\r" << 2 << QStringList{"0|E0|p://a"};
        QTest::newRow("line without //") << "intro$x\rE1$p://b" << 2 << QStringList{"1|E1|p://b"};
        QTest::newRow("two //") << "E1$p://q//r" << 1 << QStringList{"0|E1|p://q"};
        QTest::newRow("second $") << "a$b$c://d" << 1 << QStringList{"0|a|b//d"};
        QTest::newRow("$ after //") << "E1 http://x$y" << 1 << QStringList{};
        QTest::newRow("// without $") << "http://x\rE1$p://b" << 2 << QStringList{"1|E1|p://b"};
        QTest::newRow("empty name and scheme") << "$//" << 1 << QStringList{"0||//"};
        QTest::newRow("chinese") << "第01集$bdhd://1|A|第01集.rmvb" << 1
                                 << QStringList{"0|第01集|bdhd://1|A|第01集.rmvb"};
        QTest::newRow("empty") << "" << 1 << QStringList{};
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(int, lines);
        QFETCH(QStringList, episodes);
        const PlayList list = PlayList::parse(text);
        QCOMPARE(list.lineCount(), lines);
        QStringList got;
        for (const auto &e : list.episodes())
            got << QString::number(e.line) + "|" + e.name + "|" + e.address;
        QCOMPARE(got, episodes);
    }

    void accepts()
    {
        QVERIFY(PlayList::accepts("x$"));
        QVERIFY(!PlayList::accepts(""));
        QVERIFY(!PlayList::accepts("<html>error</html>"));
    }

    void addressTable_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("size");
        QTest::newRow("3 lines") << 3 << 1501;
        QTest::newRow("1501 lines") << 1501 << 1501;
        QTest::newRow("1502 lines") << 1502 << 1502;
        QTest::newRow("4000 lines") << 4000 << 4000;
    }
    void addressTable()
    {
        QFETCH(int, lines);
        QFETCH(int, size);
        QStringList text;
        for (int i = 0; i < lines; ++i)
            text << (i == 1 ? QString("no episode") : QString("E%1$p://%1").arg(i));
        const QVector<QString> table = PlayList::parse(text.join('\r')).addressTable();
        QCOMPARE(table.size(), size);
        QCOMPARE(table.at(0), QString("p://0"));
        QVERIFY(table.at(1).isEmpty());
        QCOMPARE(table.at(lines - 1), QString("p://%1").arg(lines - 1));
        for (int i = lines; i < size; ++i)
            QVERIFY(table.at(i).isEmpty());
    }
};

QTEST_APPLESS_MAIN(tst_PlayList)
#include "tst_play_list.moc"
