// Every note the sample catalogue can give a row of the title list, and
// every text a node of 我的 can show, fits its column at the window's fonts:
// nothing of them is ever elided.

#include "browse/title_rows.h"
#include "library/favourites.h"
#include "library/new_episodes.h"
#include "library/watch_history.h"
#include "library/watch_positions.h"
#include "playback/play_list.h"
#include "sample_catalogue.h"
#include "shell/my_titles.h"
#include "shell/title_row_delegate.h"
#include "sql_exec.h"
#include "window_fixture.h"

#include <QListView>
#include <QScrollBar>
#include <QSet>
#include <QTreeWidget>
#include <QTest>

using kinolark::sample::SampleCatalogue;
using kinolark::shell::TitleRowDelegate;

namespace {

// The notes of the sample titles: where an episode was left (at the
// longest clock a film gives), and what is new when every episode is.
QStringList sampleNotes(bool watched)
{
    QSet<QString> notes;
    const SampleCatalogue catalogue(420);
    for (const kinolark::sample::SampleTitle &title : catalogue.titles()) {
        const QString list = catalogue.playList(title.id);
        if (!watched) {
            notes.insert(kinolark::library::NewEpisodes::between(QString(), list).mark());
            continue;
        }
        const kinolark::playback::PlayList episodes = kinolark::playback::PlayList::parse(list);
        for (const kinolark::playback::Episode &episode : episodes.episodes()) {
            kinolark::library::WatchEntry entry;
            entry.position = 2 * 3600 - 1;
            notes.insert(kinolark::library::WatchHistory::note(entry, episode.name.trimmed()));
        }
    }
    notes.remove(QString());
    return notes.values();
}

} // namespace

class tst_RowTexts : public QObject
{
    Q_OBJECT

private slots:
    void notesFit_data()
    {
        QTest::addColumn<QStringList>("notes");
        QTest::newRow("watch notes") << sampleNotes(true);
        QTest::newRow("new-episode marks") << sampleNotes(false);
    }
    void notesFit()
    {
        QFETCH(QStringList, notes);
        QVERIFY(notes.size() > 3);
        WindowFixture f;
        QList<WindowFixture::Row> many;
        for (int i = 1; i <= 100; ++i)
            many.push_back({i, 8, QString::number(i), "a"});
        f.prepareCatalogue(many);
        kinolark::shell::frmMain &w = f.load();
        f.clickNode("cid8");
        QVERIFY(w.TreeView2->verticalScrollBar()->isVisible());

        // A two-line row, with the list's scroll bar showing.
        const QRect row(QPoint(0, 0), QSize(w.TreeView2->viewport()->width(), 40));
        const int room = TitleRowDelegate::twoLineLayout(row, w.TreeView2->font(), w.TreeView2).note.width();
        const QFontMetrics metrics(TitleRowDelegate::noteFont(w.TreeView2->font()));
        QStringList tooWide;
        for (const QString &text : notes) {
            if (metrics.horizontalAdvance(text) > room)
                tooWide << QString("%1 (%2 > %3)").arg(text).arg(metrics.horizontalAdvance(text)).arg(room);
        }
        QVERIFY2(tooWide.isEmpty(), qPrintable(tooWide.mid(0, 10).join(", ")));
    }

    // The nodes say as much as their place has room for, while the refresh
    // runs and after it, with the tree's scroll bar and without.
    void myNodesFit_data()
    {
        QTest::addColumn<int>("favourites");
        QTest::addColumn<int>("marked");
        QTest::addColumn<int>("watched");
        QTest::addColumn<QString>("roomy"); // the favourites' text with no scroll bar
        QTest::newRow("few") << 3 << 0 << 2 << "收藏 3";
        QTest::newRow("some new") << 12 << 3 << 40 << "收藏 12（3 新）";
        QTest::newRow("many") << 250 << 120 << 500 << "";
    }
    void myNodesFit()
    {
        QFETCH(int, favourites);
        QFETCH(int, marked);
        QFETCH(int, watched);
        QFETCH(QString, roomy);
        WindowFixture f;
        QList<WindowFixture::Row> titles;
        for (int i = 1; i <= qMax(favourites, watched); ++i)
            titles.push_back({i, 8, QString::number(i), "a"});
        f.prepareCatalogue(titles);
        {
            kinolark::store::Catalogue c;
            c.open(f.file("data.db"));
            kinolark::library::Favourites marks(c.database());
            kinolark::library::WatchPositions positions(c.database());
            const QString list = "第1集$http://a/1";
            for (int i = 1; i <= qMax(favourites, watched); ++i) {
                const QDateTime when = QDateTime::currentDateTimeUtc().addSecs(i);
                QVERIFY(execSql(c.database(), "insert into vodplay values (?, ?, '2026/12/6', 'd')", {i, list}));
                if (i <= favourites) {
                    QVERIFY(marks.add(i, "x", when));
                    // A favourite seen before its first episode came has one new.
                    QVERIFY(marks.markSeen(i, i > marked ? list : QString("预告$http://a/0")));
                }
                if (i <= watched)
                    QVERIFY(positions.recordStart(i, 0, "http://a/1", when));
            }
        }
        kinolark::shell::frmMain &w = f.load();
        kinolark::shell::MyTitles &my = w.myTitles();
        const int margin = w.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w.TreeView1) + 1;
        const QFontMetrics metrics(w.TreeView1->font());
        const auto fits = [&](QTreeWidgetItem *node) {
            const int room = w.TreeView1->visualItemRect(node).width() - 2 * margin;
            return metrics.horizontalAdvance(node->text(0)) <= room;
        };
        QTreeWidgetItem *favouritesNode = my.favouritesNode();
        QTreeWidgetItem *historyNode = my.historyNode();
        QVERIFY(my.refresh()->isRunning());
        QVERIFY2(fits(favouritesNode), qPrintable(favouritesNode->text(0)));
        QVERIFY(favouritesNode->text(0).contains(QString::number(favourites)));
        QTRY_VERIFY(!my.refresh()->isRunning()); // nobody answers
        QVERIFY(!w.TreeView1->verticalScrollBar()->isVisible());
        if (!roomy.isEmpty())
            QCOMPARE(favouritesNode->text(0), roomy);
        for (const bool withScrollBar : {false, true}) {
            if (withScrollBar) {
                f.node("cid8")->setExpanded(true);
                f.node("cid9")->setExpanded(true);
                QTRY_VERIFY(w.TreeView1->verticalScrollBar()->isVisible());
            }
            // The texts follow once the tree has laid itself out again.
            QTRY_VERIFY2(fits(favouritesNode), qPrintable(favouritesNode->text(0)));
            QTRY_VERIFY2(fits(historyNode), qPrintable(historyNode->text(0)));
            QVERIFY(favouritesNode->text(0).contains(QString::number(marked > 0 ? marked : favourites)));
            QVERIFY(historyNode->text(0).contains(QString::number(watched)));
            QVERIFY(favouritesNode->toolTip(0).contains(QString::number(favourites)));
        }
    }
};

QTEST_MAIN(tst_RowTexts)
#include "tst_row_texts.moc"
