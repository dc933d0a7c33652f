#include "program_process.h"
#include "store/catalogue.h"
#include "store/today.h"
#include "temp_folder.h"
#include "x_server.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Every entry of `folder`, the folder itself included: name, size, time of
// the last change and a digest of the bytes.
QStringList snapshot(const QString &folder)
{
    QStringList entries;
    const QDir dir(folder);
    for (const QFileInfo &info : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotDot, QDir::Name)) {
        const QByteArray bytes = info.isFile() ? readAll(info.filePath()) : QByteArray();
        entries << QStringLiteral("%1 %2 %3 %4")
                       .arg(info.fileName())
                       .arg(info.size())
                       .arg(info.lastModified().toMSecsSinceEpoch())
                       .arg(QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex()));
    }
    return entries;
}

// The program and a catalogue already brought up to date today in
// `folder`: the program asks the site nothing and comes straight up.
bool installSynced(const QString &folder)
{
    if (!ProgramProcess::install(folder))
        return false;
    kinolark::store::Catalogue catalogue;
    if (catalogue.open(folder + "/data.db") != kinolark::store::Catalogue::OpenResult::Created)
        return false;
    QSqlQuery query(catalogue.database());
    query.prepare("update cdate set up_date = ?");
    query.addBindValue(kinolark::store::todayString());
    return query.exec();
}

} // namespace

// The built program started twice on one application folder, on an X server
// of the test's own where xdotool sees which window has the focus.
class tst_SingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty() || QStandardPaths::findExecutable("xdotool").isEmpty())
            QSKIP("needs Xvfb and xdotool");
        QVERIFY2(m_x.start(), "Xvfb did not start");
    }

    // The second start brings the first window to the front and ends at
    // once, touching nothing; a program on another folder runs beside them.
    void secondStartRaisesFirst()
    {
        QTemporaryDir a, b, home, runtime;
        QVERIFY(installSynced(a.path()));
        QVERIFY(installSynced(b.path()));
        ProgramProcess first, beside;
        const QString firstWindow = startWindow(first, a.path(), home.path(), runtime.path());
        QVERIFY2(!firstWindow.isEmpty(), "the first window did not come up");
        const QString besideWindow = startWindow(beside, b.path(), home.path(), runtime.path());
        QVERIFY2(!besideWindow.isEmpty(), "a program on another folder did not come up");
        m_x.xdotool({"windowfocus", "--sync", besideWindow});
        QCOMPARE(focus(), besideWindow);

        const QStringList before = snapshot(a.path());
        ProgramProcess second;
        QVERIFY(second.start(a.path(), m_site, home.path(), environment(runtime.path())));
        QVERIFY2(second.process().waitForFinished(30000), "the second start did not end");
        QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.process().exitCode(), 0);

        QTRY_COMPARE_WITH_TIMEOUT(focus(), firstWindow, 10000);
        QCOMPARE(snapshot(a.path()), before);
        QVERIFY(first.running());
        QVERIFY(beside.running());
    }

    // A killed program leaves its socket behind; the next start takes the
    // folder all the same, and the start after that hands over to it.
    void staleSocketDoesNotBlock()
    {
        QTemporaryDir folder, home, runtime;
        QVERIFY(installSynced(folder.path()));
        {
            ProgramProcess killed;
            QVERIFY(!startWindow(killed, folder.path(), home.path(), runtime.path()).isEmpty());
            killed.stop();
        }
        QVERIFY2(!QDir(runtime.path()).entryList({"kinolark-*"}, QDir::System).isEmpty(),
                 "the killed program left no socket behind");

        ProgramProcess next;
        QVERIFY2(!startWindow(next, folder.path(), home.path(), runtime.path()).isEmpty(),
                 "the stale socket kept the program from starting");
        ProgramProcess after;
        QVERIFY(after.start(folder.path(), m_site, home.path(), environment(runtime.path())));
        QVERIFY(after.process().waitForFinished(30000));
        QCOMPARE(after.process().exitCode(), 0);
        QVERIFY(next.running());
    }

private:
    QStringList environment(const QString &runtime) const
    {
        return {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + m_x.display(), "XDG_RUNTIME_DIR=" + runtime};
    }

    // Starts the program in `folder` and waits for its window: the window's
    // id, or an empty string when none came up.
    QString startWindow(ProgramProcess &program, const QString &folder, const QString &home, const QString &runtime)
    {
        if (!program.start(folder, m_site, home, environment(runtime)))
            return QString();
        QString window;
        const bool ended = !QTest::qWaitFor(
            [&] {
                window = m_x.xdotool({"search", "--all", "--onlyvisible", "--pid", QString::number(program.pid()),
                                      "--name", "^Lumovane "})
                             .section('\n', 0, 0);
                return !window.isEmpty() || !program.running();
            },
            60000);
        return ended ? QString() : window;
    }

    QString focus() const { return m_x.xdotool({"getwindowfocus"}); }

    XServer m_x;
    // Never asked: the catalogues are up to date.
    const QString m_site = QStringLiteral("http://127.0.0.1:9");
};

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_single_instance.moc"
