#include "site/catalogue_answer.h"
#include "site/version_answer.h"

#include <QTest>

using namespace kinolark::site;

namespace {

// A record as "id|category|name|letter", brackets around text fields so
// blanks show.
QStringList describe(const QList<CatalogueRecord> &records)
{
    QStringList out;
    for (const CatalogueRecord &r : records)
        out << QStringLiteral("%1|%2|[%3]|[%4]").arg(r.id).arg(r.category).arg(r.name, r.letter);
    return out;
}

} // namespace

Q_DECLARE_METATYPE(VersionAnswer)

class tst_CatalogueAnswer : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("records");

        QTest::newRow("one record, empty piece after it skipped")
            << "7$8$天下$t&&" << QStringList{"7|8|[天下]|[t]"};
        QTest::newRow("no separator at all") << "7$8$天下$t" << QStringList();
        QTest::newRow("empty answer") << "" << QStringList();
        QTest::newRow("separator only") << "&&" << QStringList();
        QTest::newRow("error page") << "<html>500 $ error</html>" << QStringList();
        QTest::newRow("leading separator") << "&&1$8$a$b&&2$9$c$d" << QStringList{"1|8|[a]|[b]", "2|9|[c]|[d]"};
        QTest::newRow("last record without separator")
            << "1$8$a$b&&2$9$c$d" << QStringList{"1|8|[a]|[b]", "2|9|[c]|[d]"};
        QTest::newRow("pieces without $ skipped")
            << "garbage&&1$8$a$b&&more garbage&&" << QStringList{"1|8|[a]|[b]"};
        QTest::newRow("word id skipped, neighbours kept")
            << "1$8$a$b&&x$8$c$d&&3$8$e$f&&" << QStringList{"1|8|[a]|[b]", "3|8|[e]|[f]"};
        QTest::newRow("empty id") << "$8$a$b&&2$8$c$d&&" << QStringList{"2|8|[c]|[d]"};
        QTest::newRow("empty category") << "1$$a$b&&2$8$c$d&&" << QStringList{"2|8|[c]|[d]"};
        QTest::newRow("word category") << "1$drama$a$b&&" << QStringList();
        QTest::newRow("blank id") << "  $8$a$b&&" << QStringList();
        QTest::newRow("three fields") << "1$8$name&&2$8$c$d&&" << QStringList{"2|8|[c]|[d]"};
        QTest::newRow("two fields") << "1$8&&" << QStringList();
        QTest::newRow("one $") << "1$&&" << QStringList();
        QTest::newRow("empty letter") << "1$8$name$&&" << QStringList{"1|8|[name]|[]"};
        QTest::newRow("empty name") << "1$8$$a&&" << QStringList{"1|8|[]|[a]"};
        QTest::newRow("five fields") << "1$8$a$b$2012&&" << QStringList{"1|8|[a]|[b]"};
        QTest::newRow("many fields") << "1$8$a$b$c$d$e&&" << QStringList{"1|8|[a]|[b]"};
        QTest::newRow("$ in a name cuts it")
            << "1$8$百万$富翁$b&&" << QStringList{"1|8|[百万]|[富翁]"};
        QTest::newRow("blanks around numbers")
            << " 12 $\t8 $a$b&&" << QStringList{"12|8|[a]|[b]"};
        QTest::newRow("line break between records")
            << "1$8$a$b&&\r\n2$9$c$d&&\r\n" << QStringList{"1|8|[a]|[b]", "2|9|[c]|[d]"};
        QTest::newRow("text fields kept exactly")
            << "1$8$ 天下 $ t &&" << QStringList{"1|8|[ 天下 ]|[ t ]"};
        QTest::newRow("quotes kept")
            << "1$8$Tom's \"天下\"$'&&" << QStringList{"1|8|[Tom's \"天下\"]|[']"};
        QTest::newRow("sql in a name")
            << "1$8$x'); drop table vod; --$x&&" << QStringList{"1|8|[x'); drop table vod; --]|[x]"};
        QTest::newRow("duplicate id: first wins")
            << "5$8$first$f&&6$8$other$o&&5$9$second$s&&" << QStringList{"5|8|[first]|[f]", "6|8|[other]|[o]"};
        QTest::newRow("duplicate after a skipped one")
            << "5$x$bad$b&&5$8$good$g&&" << QStringList{"5|8|[good]|[g]"};
        QTest::newRow("triple ampersand") << "1$8$a$b&&&2$9$c$d&&" << QStringList{"1|8|[a]|[b]"};
        QTest::newRow("signs") << "+5$8$a$b&&6$-1$c$d&&" << QStringList{"5|8|[a]|[b]", "6|-1|[c]|[d]"};
        QTest::newRow("decimal") << "1.5$8$a$b&&" << QStringList();
        QTest::newRow("exponent") << "1e3$8$a$b&&" << QStringList();
        QTest::newRow("hex") << "0x10$8$a$b&&" << QStringList();
        QTest::newRow("digits split by a blank") << "1 2$8$a$b&&" << QStringList();
        QTest::newRow("full-width digits") << "１２$8$a$b&&" << QStringList();
        // Ids are those of a 32-bit column; no title has any other.
        QTest::newRow("largest id") << "2147483647$8$a$b&&" << QStringList{"2147483647|8|[a]|[b]"};
        QTest::newRow("id past the column") << "2147483648$8$a$b&&1$8$c$d&&" << QStringList{"1|8|[c]|[d]"};
        QTest::newRow("largest 64-bit id") << "9223372036854775807$8$MAX$A&&" << QStringList();
        QTest::newRow("id too large") << "9223372036854775808$8$a$b&&" << QStringList();
        QTest::newRow("zero and negative ids") << "0$8$a$b&&-6$8$c$d&&" << QStringList();
        QTest::newRow("leading zeros") << "007$08$a$b&&" << QStringList{"7|8|[a]|[b]"};
    }
    void parse()
    {
        QFETCH(QString, answer);
        QFETCH(QStringList, records);
        QCOMPARE(describe(parseCatalogueAnswer(answer)), records);
    }

    // Stored text must be '' rather than NULL, as received.
    void emptyFieldsAreNotNull()
    {
        const QList<CatalogueRecord> records = parseCatalogueAnswer(u"1$8$$&&");
        QCOMPARE(records.size(), 1);
        QVERIFY(!records.first().name.isNull());
        QVERIFY(!records.first().letter.isNull());
    }

    void version_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<VersionAnswer>("verdict");
        QTest::newRow("Up1") << "Up1" << VersionAnswer::Current;
        QTest::newRow("Up2") << "Up2" << VersionAnswer::NewerClient;
        QTest::newRow("Up alone") << "Up" << VersionAnswer::NewerClient;
        QTest::newRow("Up1 and a line end") << "Up1\r\n" << VersionAnswer::NewerClient;
        QTest::newRow("blank before") << " Up1" << VersionAnswer::NewerClient;
        QTest::newRow("Up10") << "Up10" << VersionAnswer::NewerClient;
        QTest::newRow("marker after") << "1Up" << VersionAnswer::Current;
        QTest::newRow("marker twice") << "UpUp1" << VersionAnswer::Current;
        QTest::newRow("marker around") << "Up1Up" << VersionAnswer::Current;
        QTest::newRow("removal is one pass") << "UUpp1" << VersionAnswer::NewerClient;
        QTest::newRow("lower case") << "up1" << VersionAnswer::NotAnAnswer;
        QTest::newRow("upper case") << "UP1" << VersionAnswer::NotAnAnswer;
        QTest::newRow("empty") << "" << VersionAnswer::NotAnAnswer;
        QTest::newRow("error page with marker") << "<b>Upstream error</b>" << VersionAnswer::NewerClient;
    }
    void version()
    {
        QFETCH(QString, answer);
        QFETCH(VersionAnswer, verdict);
        QCOMPARE(readVersionAnswer(answer), verdict);
    }
};

QTEST_GUILESS_MAIN(tst_CatalogueAnswer)
#include "tst_catalogue_answer.moc"
