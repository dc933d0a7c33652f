#include "text/html_to_text.h"
#include "text/shown_lines.h"

#include <QTest>

using kinolark::text::breakLongLines;
using kinolark::text::HtmlToText;

class tst_HtmlToText : public QObject
{
    Q_OBJECT

private slots:
    void cleansDescriptions_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        QTest::newRow("paragraph") << "<p>Hello</p>" << " Hello\r\n";
        QTest::newRow("br") << "a<br>b" << "a\r\nb";
        QTest::newRow("br/") << "a<br/>b" << "a b";
        QTest::newRow("br /") << "a<br />b" << "a b";
        QTest::newRow("BR") << "a<BR>b" << "a b";
        QTest::newRow("/P") << "a</P>b" << "a b";
        QTest::newRow("/div") << "a</div>b" << "a b";
        QTest::newRow("five entities") << "&nbsp;|&rdquo;|&ldquo;|&middot;|&hellip;" << " |.| |.|...";
        QTest::newRow("quoted") << "&ldquo;x&rdquo;" << " x.";
        QTest::newRow("other entities") << "&amp;&lt;&gt;&quot;&#169;&NBSP;" << "&amp;&lt;&gt;&quot;&#169;&NBSP;";
        QTest::newRow("escaped tag") << "&lt;b&gt;x&lt;/b&gt;" << "&lt;b&gt;x&lt;/b&gt;";
        QTest::newRow("no rescan") << "&&nbsp;nbsp;" << "& nbsp;";
        QTest::newRow("lone <") << "x < y" << "x < y";
        QTest::newRow("> inside") << "<b>3 > 2</b>" << "  2 ";
        QTest::newRow("last > before <") << "a<b>c>d<e>" << "a d ";
        QTest::newRow("unclosed last") << "<a>x<b" << " x<b";
        QTest::newRow("< as second char") << "<<b>>" << " ";
        QTest::newRow("empty tag") << "<>" << "<>";
        QTest::newRow("> as second char") << "<>>" << " ";
        QTest::newRow("tag over lines") << "<a\r\nhref=x>y" << " y";
        QTest::newRow("line break after <") << "<\r\nb>" << "<\r\nb>";
        QTest::newRow("br then tag") << "<br><i>" << "\r\n ";
        QTest::newRow("spaces kept") << "  a  \r\n\r\n  " << "  a  \r\n\r\n  ";
        QTest::newRow("plain") << "天下 plain;text" << "天下 plain;text";
        QTest::newRow("empty") << "" << "";
    }
    void cleansDescriptions()
    {
        QFETCH(QString, html);
        QFETCH(QString, text);
        QCOMPARE(HtmlToText(html), text);
    }

    // Lines for the description box: none longer than asked, nothing lost,
    // short ones untouched.
    void longLinesAreBroken_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("pieces"); // the lines of the result, ends dropped
        const QString x32(32, 'x');
        QTest::newRow("short") << "abc\r\ndef" << QStringList{"abc", "def"};
        QTest::newRow("exactly the longest") << x32 << QStringList{x32};
        QTest::newRow("no blank: hard break") << x32 + "yy" << QStringList{x32, "yy"};
        QTest::newRow("at the last blank") << QString(30, 'a') + " bcd" << QStringList{QString(30, 'a') + " ", "bcd"};
        QTest::newRow("after punctuation") << QString(29, 'a') + "，bcdef" << QStringList{QString(29, 'a') + "，", "bcdef"};
        QTest::newRow("blank too early") << "a " + QString(40, 'b') << QStringList{"a " + QString(30, 'b'), QString(10, 'b')};
        QTest::newRow("pair kept whole") << QString(31, 'a') + "😀b" << QStringList{QString(31, 'a'), "😀b"};
        QTest::newRow("each line on its own") << x32 + "z\n" + x32 + "\r" + x32 + "q"
                                              << QStringList{x32, "z", x32, x32, "q"};
        QTest::newRow("many pieces") << QString(100, 'x') << QStringList{x32, x32, x32, "xxxx"};
    }
    void longLinesAreBroken()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, pieces);
        const QString shown = breakLongLines(text, 32);
        QCOMPARE(shown.split(QRegularExpression("\r\n|\n|\r")), pieces);
        QString joined = shown;
        QCOMPARE(joined.remove("\r\n").remove('\n').remove('\r'), QString(text).remove('\n').remove('\r'));
    }

    void nullReadsAsEmpty()
    {
        const QString text = HtmlToText(QString());
        QVERIFY(text.isEmpty() && !text.isNull());
    }
};

QTEST_APPLESS_MAIN(tst_HtmlToText)
#include "tst_html_to_text.moc"
