#include "playback/play_page.h"
#include "script_string_reader.h"
#include "temp_folder.h"
#include "text/ansi_file.h"

#include <QStringDecoder>
#include <QTest>

using namespace kinolark::playback;

namespace {

const QString site = "http://films.example";

} // namespace

class tst_PlayPage : public QObject
{
    Q_OBJECT

private slots:
    void templateLines()
    {
        const QString text = playPageTemplate(site, "http://p/lib/player.js", "http://p/c.exe");
        QVERIFY(text.endsWith("</html>\r\n"));
        const QStringList lines = text.split("\r\n");
        QCOMPARE(lines.size(), 25); // 24 lines and what follows the last line end
        const QString bare = QString(text).remove("\r\n");
        QVERIFY(!bare.contains('\r') && !bare.contains('\n'));
        for (int i = 0; i < 24; ++i)
            QCOMPARE(lines.at(i).startsWith('\t'), i >= 8 && i <= 18);
        QCOMPARE(lines.at(8), QString("\tvar strurl='http://films.example/Uploads/loading.html';"));
        QCOMPARE(lines.at(14), QString("\tBdPlayer['download'] = 'http://p/c.exe';//播放器下载地址"));
        QCOMPARE(lines.at(18), QString("\tBdPlayer['url']='{playurl}';"));
        QCOMPARE(lines.at(19), QString());
        QCOMPARE(lines.at(21),
                 QString("<script language=\"javascript\" src=\"http://p/lib/player.js\" charset=\"utf-8\"></script>"));
        QCOMPARE(playPageTemplate(site).count("{playurl}"), 1);
    }

    // Characters (UTF-16 units, all in the BMP), each CR LF counting two:
    // 827 of fixed text and the three addresses.
    void templateLength()
    {
        const QString script = defaultPlayerScript(), client = defaultPlayerClient();
        QCOMPARE(playPageTemplate(site, script, client).size(), 827 + site.size() + script.size() + client.size());
        QCOMPARE(playPageTemplate("http://www.lumovane.com.cn", "http://player.baidu.com/lib/player.js",
                                  "http://player.baidu.com/BaiduPlayer/BaiduPlayer1.0.22.39.exe")
                     .size(),
                 950);
    }

    void pageFileDiffersOnlyInLine19()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("play.htm");
        QVERIFY(writeAll(path, QByteArray(4000, 'x')));
        const QString pageTemplate = playPageTemplate(site);
        QVERIFY(writePlayPage(path, pageTemplate, "p://q"));
        const QByteArray bytes = readAll(path);
        QByteArray expected = kinolark::text::toAnsi(pageTemplate) + "\r\n";
        expected.replace("{playurl}", "p://q");
        QCOMPARE(bytes, expected);
        QVERIFY(bytes.endsWith("</html>\r\n\r\n"));
        QVERIFY(bytes.contains("\tBdPlayer['url']='p://q';\r\n"));
        QVERIFY(!writePlayPage(dir.filePath("missing/play.htm"), pageTemplate, "p://q"));
    }

    void addressesStayInsideTheString_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("content"); // null: only check it reads back
        QTest::newRow("plain") << "p://q" << "p://q";
        QTest::newRow("chinese stays") << "bdhd://1|第01集.rmvb" << "bdhd://1|第01集.rmvb";
        QTest::newRow("quote") << "p://q';alert(1);'" << "p://q\\';alert(1);\\'";
        QTest::newRow("backslash before quote") << "p://q\\';x" << "p://q\\\\\\';x";
        QTest::newRow("line ends") << "p://q\r\nalert(1)//" << "p://q\\r\\nalert(1)//";
        QTest::newRow("end of script") << "p://q</script><script>alert(1)</script>"
                                       << "p://q\\x3C/script>\\x3Cscript>alert(1)\\x3C/script>";
        QTest::newRow("comment start") << "p://<!--q" << "p://\\x3C!--q";
        QTest::newRow("script line break") << QString("p://q") + QChar(0x2028) << "p://q\\u2028";
        QTest::newRow("not in GBK") << QString::fromUtf8("p://ก😀") << "p://\\u0E01\\uD83D\\uDE00";
        QTest::newRow("control") << QString("p://\tq") + QChar(0) << "p://\\x09q\\x00";
        QTest::newRow("placeholder") << "p://{playurl}" << "p://{playurl}";
    }
    void addressesStayInsideTheString()
    {
        QFETCH(QString, address);
        QFETCH(QString, content);
        const QString page = playPageText(playPageTemplate(site), address);
        const QStringList lines = page.split("\r\n");
        QCOMPARE(lines.size(), 25);
        const QString prefix = "\tBdPlayer['url']='", suffix = "';";
        const QString line = lines.at(18);
        QVERIFY(line.startsWith(prefix) && line.endsWith(suffix));
        const QString inside = line.mid(prefix.size(), line.size() - prefix.size() - suffix.size());
        QCOMPARE(inside, content);
        QCOMPARE(readScriptString(inside), address);
        QCOMPARE(page.count("</script>", Qt::CaseInsensitive), 2);
        // Whatever is written comes back as written.
        QStringDecoder gbk("GBK");
        QCOMPARE(QString(gbk(kinolark::text::toAnsi(page))), page);
    }
};

QTEST_APPLESS_MAIN(tst_PlayPage)
#include "tst_play_page.moc"
