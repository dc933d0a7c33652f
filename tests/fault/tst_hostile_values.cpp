#include "scripted_server.h"
#include "script_string_reader.h"
#include "shell/main_window.h"
#include "shell/template_box.h"
#include "temp_folder.h"
#include "window_fixture.h"

#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QSqlQuery>
#include <QStringDecoder>
#include <QTest>

using kinolark::shell::frmMain;
using Reply = ScriptedServer::Reply;

namespace {

const QString longName = QString(9999, QChar(u'长')) + "!";

// What the site sends: names and letters with quotes, "$", "&&", "%", "_",
// backslashes and a 10,000-character name. A "$" or "&&" in a name is a
// separator of the answer, so those two arrive cut.
QString catalogueAnswer()
{
    return "1$8$O'Brien \"quoted\"$o&&"
           "2$8$'; drop table vod; --$'&&"
           "3$8$100% _pure_$1&&"
           "4$8$Cash$Money$m&&"
           "5$8$Tom && Jerry$t&&"
           "6$8$" + longName + "$l&&"
           "7$8$back\\slash \\' \\\\$b&&"
           "8$8$qx%yq$q&&"
           "9$8$qx_yq$q&&"
           "10$8$qxzyq$q&&"
           "11$8$天下'无双$t&&";
}

// Stored as received. Titles 100 and 101 were in the catalogue before.
const QStringList storedTitles{
    "1|O'Brien \"quoted\"|o",
    "2|'; drop table vod; --|'",
    "3|100% _pure_|1",
    "4|Cash|Money",
    "6|" + longName + "|l",
    "7|back\\slash \\' \\\\|b",
    "8|qx%yq|q",
    "9|qx_yq|q",
    "10|qxzyq|q",
    "11|天下'无双|t",
    "100|Tom && Jerry|t",
    "101|A$B|a",
};

// Title 1's play list, one hostile address per line, and the episodes it
// yields by line: (name, address).
const QString playList = "第1集$p://a'b\r"
                         "E'2$p://c\\d\r"
                         "E\"3$p://x</script><script>alert(1)</script>\r"
                         "E4$p://y\nalert(2)\r\n"
                         "E5$p://z\\';alert(3);//ignored\r"
                         "E6&&%_$p://q$\"&&%_";
const QList<QPair<QString, QString>> playedEpisodes{
    {"第1集", "p://a'b"},
    {"E'2", "p://c\\d"},
    {"E\"3", "p://x</script><script>alert(1)</script>"},
    {"E4", "p://y\nalert(2)"},
    {"\nE5", "p://z\\';alert(3);"},
    {"E6&&%_", "p://q$\"&&%_"},
};
const QString description = "<p>It's \"quoted\" & $5 && 100% _x_ \\ </script></p>";

QStringList rows(frmMain &w, const QString &sql)
{
    QSqlQuery query(w.conn.database());
    QStringList values;
    if (!query.exec(sql))
        return {"error: " + sql};
    while (query.next())
        values << query.value(0).toString();
    return values;
}

QStringList sortedNames(frmMain &w)
{
    QStringList names;
    for (const kinolark::browse::Title &t : w.titleModel().titles())
        names << t.name;
    names.sort();
    return names;
}

QStringList namesOf(const QList<int> &ids)
{
    QStringList names;
    for (const QString &row : storedTitles) {
        if (ids.contains(row.section('|', 0, 0).toInt()))
            names << row.section('|', 1, -2);
    }
    names.sort();
    return names;
}

} // namespace

// Hostile names and addresses from the site, through the sync, the title
// list, the search, the detail cache and the play page: nothing breaks a
// statement or a page, and everything reads back as it was sent.
class tst_HostileValues : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_site.listen());
        m_site.on("Lx=All&Id=101", Reply(200, catalogueAnswer().toUtf8()).type("text/plain; charset=utf-8"));
        m_site.on("Lx=Up", Reply(200, "Up1"));
        m_site.on("Lx=Dy&Id=1", Reply(200, playList.toUtf8()));
        m_site.on("Lx=Nr&Id=1", Reply(200, description.toUtf8()));

        m_fixture = std::make_unique<WindowFixture>(m_site.site());
        m_fixture->prepareCatalogue({{100, 8, "Tom && Jerry", "t"}, {101, 8, "A$B", "a"}});
        {
            kinolark::store::Catalogue catalogue;
            catalogue.open(m_fixture->file("data.db"));
            QSqlQuery query(catalogue.database());
            QVERIFY(query.exec("update cdate set up_date = 'long ago'"));
        }
        frmMain &w = m_fixture->load();
        QVERIFY(m_fixture->messages.texts.isEmpty());
        QCOMPARE(w.conn.lastSyncDate(), m_fixture->today);
    }

    void storedAsReceived()
    {
        QCOMPARE(rows(window(), "select vod_id || '|' || vod_name || '|' || vod_letter from vod order by vod_id"),
                 storedTitles);
    }

    void listed_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QList<int>>("ids");
        QTest::newRow("category") << "cid8" << QList<int>{1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 100, 101};
        QTest::newRow("letter") << "8$'t'" << QList<int>{11, 100};
        QTest::newRow("other initials") << "8$'0','1','2','3','4','5','6','7','8','9','['" << QList<int>{3};
    }
    void listed()
    {
        QFETCH(QString, key);
        QFETCH(QList<int>, ids);
        m_fixture->messages.texts.clear();
        m_fixture->clickNode(key);
        QCOMPARE(sortedNames(window()), namesOf(ids));
        QVERIFY(m_fixture->messages.texts.isEmpty());
    }

    // What is typed is matched literally, "%" and "_" being the wildcards
    // they are meant to be.
    void searched_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<int>>("ids");
        QTest::newRow("quote") << "O'Brien" << QList<int>{1};
        QTest::newRow("double quotes") << "\"quoted\"" << QList<int>{1};
        QTest::newRow("statement") << "'; drop table vod; --" << QList<int>{2};
        QTest::newRow("&&") << "&&" << QList<int>{100};
        QTest::newRow("$") << "$" << QList<int>{101};
        QTest::newRow("percent") << "100%" << QList<int>{3};
        QTest::newRow("underscores") << "_pure_" << QList<int>{3};
        QTest::newRow("percent matches any run") << "x%y" << QList<int>{8, 9, 10};
        QTest::newRow("underscore matches any one") << "x_y" << QList<int>{8, 9, 10};
        QTest::newRow("backslash") << "\\" << QList<int>{7};
        QTest::newRow("backslash and quote") << "\\'" << QList<int>{7};
        QTest::newRow("10,000 characters") << longName << QList<int>{6};
        QTest::newRow("chinese and quote") << "天下'无双" << QList<int>{11};
    }
    void searched()
    {
        QFETCH(QString, typed);
        QFETCH(QList<int>, ids);
        frmMain &w = window();
        m_fixture->messages.texts.clear();
        w.txtSearch->setText(typed);
        QTest::mouseClick(w.cmdSearch, Qt::LeftButton);
        QVERIFY(m_fixture->messages.texts.isEmpty());
        QCOMPARE(sortedNames(w), namesOf(ids));
    }

    // Title 1's detail is cached as sent, and every episode's address
    // stays inside its script string on the play page.
    void detailAndPlayPage()
    {
        frmMain &w = window();
        m_fixture->clickNode("cid8");
        const QVector<kinolark::browse::Title> &titles = w.titleModel().titles();
        int row = 0;
        while (row < titles.size() && titles.at(row).id != 1)
            ++row;
        QVERIFY(row < titles.size());
        w.TreeView2->setCurrentIndex(w.titleRows().index(row, 0));
        w.TreeView2_NodeClick();
        QVERIFY(m_fixture->messages.texts.isEmpty());
        QCOMPARE(w.windowTitle(), QString("当前选择的电影是：O'Brien \"quoted\""));
        QCOMPARE(rows(w, "select d_playurl from vodplay where d_id = 1"), QStringList{playList});
        QCOMPARE(rows(w, "select d_nr from vodplay where d_id = 1"), QStringList{description});

        QCOMPARE(w.ListView1->count(), playedEpisodes.size());
        const QString pageFile = m_fixture->file("play.htm");
        const QStringList templateLines = w.Text1->text().split("\r\n");
        QCOMPARE(templateLines.size(), 25);
        const QString prefix = "\tBdPlayer['url']='", suffix = "';";
        QCOMPARE(templateLines.at(18), prefix + "{playurl}" + suffix);
        for (int i = 0; i < w.ListView1->count(); ++i) {
            // The last line of the list comes first.
            const QPair<QString, QString> &episode = playedEpisodes.at(playedEpisodes.size() - 1 - i);
            QListWidgetItem *item = w.ListView1->item(i);
            QCOMPARE(item->text(), episode.first);
            QFile::remove(pageFile);
            w.ListView1->setCurrentItem(item);
            w.ListView1_Click();

            QStringDecoder gbk("GBK");
            const QString page = gbk(readAll(pageFile));
            QVERIFY(!gbk.hasError());
            QStringList lines = page.split("\r\n");
            QCOMPARE(lines.size(), 26); // the page, its line end, and what follows
            const QString line = lines.at(18);
            QVERIFY2(line.startsWith(prefix) && line.endsWith(suffix), qPrintable(line));
            QCOMPARE(readScriptString(line.mid(prefix.size(), line.size() - prefix.size() - suffix.size())),
                     episode.second);
            // Nor does it end or open a script element, or open a comment.
            for (const char *markup : {"</script", "<script", "<!--"})
                QCOMPARE(page.count(markup, Qt::CaseInsensitive), w.Text1->text().count(markup, Qt::CaseInsensitive));
            // Everything else is the template, untouched.
            lines[18] = templateLines.at(18);
            QCOMPARE(lines.mid(0, 25), templateLines);
            QCOMPARE(m_fixture->browser1()->current(), pageFile);
        }
        QVERIFY(m_fixture->messages.texts.isEmpty());
    }

    void cleanupTestCase() { m_fixture.reset(); }

private:
    frmMain &window() { return *m_fixture->window; }

    ScriptedServer m_site;
    std::unique_ptr<WindowFixture> m_fixture;
};

QTEST_MAIN(tst_HostileValues)
#include "tst_hostile_values.moc"
