#include "shell/window_hook.h"
#include "window_fixture.h"

#include <QListWidget>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTest>

using namespace kinolark::shell;

namespace {

// An episode list that counts what reaches it and its viewport.
class CountingList : public QListWidget
{
public:
    CountingList()
    {
        resize(300, 100);
        for (int i = 0; i < 40; ++i)
            addItem(QStringLiteral("第%1集").arg(i + 1));
        setCurrentRow(5);
    }
    QMap<int, int> received;
    QList<QObject *> seenBy; // event filters that saw events before the list

protected:
    bool event(QEvent *e) override
    {
        ++received[e->type()];
        return QListWidget::event(e);
    }
    bool viewportEvent(QEvent *e) override
    {
        ++received[1000 + e->type()];
        return QListWidget::viewportEvent(e);
    }
};

struct Outcome
{
    int currentRow = -1;
    int scrolled = 0;
    QImage picture;
    QMap<int, int> received;
};

enum class Kind { Paint, Click, Key, Wheel };

Outcome deliver(CountingList &list, Kind kind)
{
    // Same start for both lists: active, focused, nothing pending.
    list.activateWindow();
    list.setFocus();
    if (!QTest::qWaitFor([&] { return list.hasFocus(); }, 5000))
        qWarning("list did not get the focus");
    QCoreApplication::processEvents();
    list.received.clear();
    const QPoint at = list.visualItemRect(list.item(3)).center();
    QImage picture;
    switch (kind) {
    case Kind::Paint:
        break;
    case Kind::Click:
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
        break;
    case Kind::Key:
        QTest::keyClick(&list, Qt::Key_End);
        break;
    case Kind::Wheel: {
        QWheelEvent wheel(QPointF(at), QPointF(list.viewport()->mapToGlobal(at)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(list.viewport(), &wheel);
        break;
    }
    }
    Outcome outcome;
    outcome.picture = list.grab().toImage();
    outcome.currentRow = list.currentRow();
    outcome.scrolled = list.verticalScrollBar()->value();
    outcome.received = list.received;
    return outcome;
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class tst_WindowHook : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QVERIFY(!PrevWndProc()); }

    void eventsPassUnchanged_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::newRow("paint") << Kind::Paint;
        QTest::newRow("mouse click") << Kind::Click;
        QTest::newRow("key") << Kind::Key;
        QTest::newRow("wheel") << Kind::Wheel;
    }
    void eventsPassUnchanged()
    {
        QFETCH(Kind, kind);
        CountingList plain, hooked;
        plain.show();
        hooked.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plain));
        QVERIFY(QTest::qWaitForWindowExposed(&hooked));
        QVERIFY(HookWindow(&hooked));
        QCOMPARE(PrevWndProc(), &hooked);

        const Outcome without = deliver(plain, kind);
        const Outcome with = deliver(hooked, kind);
        QCOMPARE(with.currentRow, without.currentRow);
        QCOMPARE(with.scrolled, without.scrolled);
        QCOMPARE(with.received, without.received);
        QCOMPARE(with.picture, without.picture);
        QVERIFY(UnhookWindow(&hooked));
    }

    void badHandles()
    {
        QObject notAWidget;
        QVERIFY(!HookWindow(nullptr));
        QVERIFY(!HookWindow(&notAWidget));
        QVERIFY(!PrevWndProc());
        QVERIFY(notAWidget.children().isEmpty());
        QVERIFY(!UnhookWindow(nullptr));
    }

    void appliesOnce()
    {
        QListWidget a, b;
        QVERIFY(HookWindow(&a));
        QVERIFY(!HookWindow(&b));
        QVERIFY(!HookWindow(&a));
        QCOMPARE(PrevWndProc(), &a);
        QCOMPARE(a.findChildren<HookWindowProc *>().size(), 1);
        QVERIFY(b.findChildren<HookWindowProc *>().isEmpty());
        QVERIFY(!UnhookWindow(&b));
        QVERIFY(UnhookWindow(&a));
        QVERIFY(!UnhookWindow(&a));
        QVERIFY(a.findChildren<HookWindowProc *>().isEmpty());
    }

    void destructionUnhooks()
    {
        auto *list = new QListWidget;
        QVERIFY(HookWindow(list));
        QPointer<HookWindowProc> filter = list->findChild<HookWindowProc *>();
        QVERIFY(filter);
        QObject *old = list;
        delete list;
        QVERIFY(!filter);
        QVERIFY(!PrevWndProc());
        QVERIFY(!UnhookWindow(old));
        // The slot is free again.
        QListWidget next;
        QVERIFY(HookWindow(&next));
        QVERIFY(UnhookWindow(&next));
    }

    void startUpHooksEpisodeList()
    {
        WindowFixture f;
        f.prepareCatalogue({});
        auto &w = f.load();
        QCOMPARE(PrevWndProc(), static_cast<QWidget *>(w.ListView1));
        f.window.reset();
        QVERIFY(!PrevWndProc());
    }
};

QTEST_MAIN(tst_WindowHook)
#include "tst_window_hook.moc"
