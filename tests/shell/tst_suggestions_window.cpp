#include "shell/suggestion_popup.h"
#include "shell/title_suggestions.h"
#include "text/pinyin_reader.h"
#include "window_fixture.h"

#include <QInputMethodEvent>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QSignalSpy>

using kinolark::shell::frmMain;
using kinolark::shell::SuggestionPopup;
using kinolark::text::PinyinReader;

namespace {

QStringList listed(frmMain &w)
{
    QStringList names;
    for (int i = 1; i <= w.titleModel().nodeCount(); ++i)
        names << w.titleModel().nodeText(i);
    return names;
}

// Chinese comes from an input method, as a committed string.
void typeChinese(QLineEdit *box, const QString &text)
{
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(box, &commit);
}

QStringList rows(const SuggestionPopup *popup)
{
    QStringList out;
    for (int i = 0; i < popup->rowCount(); ++i)
        out << popup->topLevelItem(i)->text(0) + '|' + popup->topLevelItem(i)->text(1);
    return out;
}

} // namespace

// The popup under the search box, in the window, driven by the keyboard and
// the mouse as a user drives it.
class tst_SuggestionsWindow : public QObject
{
    Q_OBJECT

private slots:
    // The popup ends with its last row, whatever the number of rows.
    void popupFitsItsRows_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("one") << 1;
        QTest::newRow("three") << 3;
        QTest::newRow("twelve") << 12;
    }
    void popupFitsItsRows()
    {
        QFETCH(int, count);
        WindowFixture f;
        f.prepareCatalogue({});
        frmMain &w = f.load();
        QVector<kinolark::browse::Suggestion> found;
        for (int i = 0; i < count; ++i)
            found.push_back({i + 1, u"大江大河 第%1部"_qs.arg(i + 1), 8, u"动作片"_qs});
        SuggestionPopup *popup = w.suggestions()->popup();
        popup->setSuggestions(found);
        popup->showBelow(w.txtSearch);
        QVERIFY(popup->isVisible());
        const QRect last = popup->visualItemRect(popup->topLevelItem(count - 1));
        QCOMPARE(popup->viewport()->height(), last.bottom() + 1);
        QCOMPARE(popup->verticalScrollBar()->maximum(), 0);
    }

    // Type, Down, Enter: the list shows the title, then its detail and
    // episodes, as after a click on it in the title list. With no row
    // chosen, Enter searches exactly as before; Up past the first row chooses
    // none again. Nothing found hides the list, as Esc does; a click on a row
    // opens its title.
    void typeChooseAndEnter()
    {
        if (!QFile::exists(PinyinReader::defaultDictionaryPath()))
            QSKIP("needs rime-data-pinyin-simp (scripts/deps)");
        // A catalogue without side tables, with a cached detail for 大江大河;
        // the worker makes the side tables once the window shows.
        WindowFixture f;
        f.services.pinyin = std::make_shared<PinyinReader>(PinyinReader::defaultDictionaryPath());
        f.prepareCatalogue({{1, 8, u"大江大河"_qs, "d"},
                            {2, 9, u"大江东去"_qs, "d"},
                            {3, 15, u"天下无贼"_qs, "t"},
                            {4, 15, u"天下"_qs, "t"},
                            {5, 3, u"无天下"_qs, "w"}});
        {
            kinolark::store::Catalogue catalogue;
            catalogue.open(f.file("data.db"));
            QVERIFY(QSqlQuery(catalogue.database())
                        .exec(u"insert into vodplay values (1, '第01集$http://v.example/1.mp4' || char(13) || "
                              "'第02集$http://v.example/2.mp4', '%1', '<p>正午阳光出品</p>')"_qs.arg(f.today)));
        }
        frmMain &w = f.load();
        QVERIFY(QTest::qWaitFor([&] { return w.suggestions()->suggester().pinyinReady(); }, 30000));
        w.txtSearch->setFocus();
        SuggestionPopup *popup = w.suggestions()->popup();
        QTest::keyClicks(w.txtSearch, "djd");
        QTRY_VERIFY(popup->isVisible());
        QCOMPARE(rows(popup), (QStringList{u"大江东去|喜剧片"_qs, u"大江大河|动作片"_qs}));
        QTest::keyClick(w.txtSearch, 'h');
        QTRY_COMPARE(rows(popup), QStringList{u"大江大河|动作片"_qs});
        QTest::keyClick(w.txtSearch, Qt::Key_Down);
        QTest::keyClick(w.txtSearch, Qt::Key_Return);
        QVERIFY(!popup->isVisible());
        QCOMPARE(listed(w), QStringList{u"大江大河"_qs});
        QCOMPARE(w.TreeView2->selectionModel()->selectedRows().size(), 1);
        QVERIFY(w.txtNr->isVisible());
        QVERIFY(w.txtNr->toPlainText().contains(u"正午阳光出品"_qs));
        QCOMPARE(w.ListView1->count(), 2);
        QCOMPARE(w.windowTitle(), u"当前选择的电影是：大江大河"_qs);
        QCOMPARE(w.txtSearch->text(), u"大江大河"_qs);

        w.txtSearch->clear();
        typeChinese(w.txtSearch, u"天下"_qs);
        QTRY_COMPARE(rows(popup), (QStringList{u"天下|国产电视剧"_qs, u"天下无贼|国产电视剧"_qs, u"无天下|动漫动画片"_qs}));
        QVERIFY(popup->isVisible());
        QTest::keyClick(w.txtSearch, Qt::Key_Down);
        QTest::keyClick(w.txtSearch, Qt::Key_Up);
        QTest::keyClick(w.txtSearch, Qt::Key_Return);
        QVERIFY(!popup->isVisible());
        QCOMPARE(listed(w), (QStringList{u"天下无贼"_qs, u"天下"_qs, u"无天下"_qs}));

        QSignalSpy lookedUp(w.suggestions(), &kinolark::shell::TitleSuggestions::lookedUp);
        QTest::keyClick(w.txtSearch, 'x');
        QVERIFY(lookedUp.wait());
        QCOMPARE(lookedUp.takeFirst().at(0).toInt(), 0);
        QVERIFY(!popup->isVisible());

        w.txtSearch->clear();
        QTest::keyClicks(w.txtSearch, "dajiang");
        QTRY_VERIFY(popup->isVisible());
        QTest::keyClick(w.txtSearch, Qt::Key_Escape);
        QVERIFY(!popup->isVisible());
        QTest::keyClick(w.txtSearch, Qt::Key_Backspace);
        QTRY_VERIFY(popup->isVisible());
        QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, popup->visualItemRect(popup->topLevelItem(1)).center());
        QCOMPARE(listed(w), QStringList{u"大江大河"_qs});
        QVERIFY(w.txtSearch->hasFocus());
        QCOMPARE(f.messages.texts, QStringList());
    }
};

QTEST_MAIN(tst_SuggestionsWindow)
#include "tst_suggestions_window.moc"
