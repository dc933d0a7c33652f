#include "program_process.h"
#include "store/catalogue.h"
#include "temp_folder.h"

#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Runs xdotool on the test's X server; its output, or a null string when it
// fails or finds nothing.
QString xdotool(const QString &display, const QStringList &arguments, int timeoutMs = 60000)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    tool.setProcessEnvironment(env);
    tool.start("xdotool", arguments);
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished();
        return QString();
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(7);
    for (char &c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

// A real catalogue of several hundred pages, cut in half.
QByteArray truncatedCatalogue(const QString &folder)
{
    const QString path = folder + "/whole.db";
    {
        kinolark::store::Catalogue catalogue;
        catalogue.open(path);
        QSqlQuery query(catalogue.database());
        query.exec("pragma journal_mode=delete");
        catalogue.database().transaction();
        query.prepare("insert into vod values (?, 8, ?, 'a')");
        for (int i = 1; i <= 3000; ++i) {
            query.addBindValue(i);
            query.addBindValue(QString("一部很长的电影名字 %1").arg(i));
            query.exec();
        }
        catalogue.database().commit();
    }
    const QByteArray whole = readAll(path);
    QFile::remove(path);
    return whole.left(whole.size() / 2);
}

} // namespace

// The built program given a catalogue file that is not one. It shows a
// modal message, so it runs on an X server of the test's own, where
// xdotool finds the box and closes it.
class tst_ForeignCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty() || QStandardPaths::findExecutable("xdotool").isEmpty())
            QSKIP("needs Xvfb and xdotool");
        // The server picks a free display and names it once it is ready.
        m_server.setProcessChannelMode(QProcess::SeparateChannels);
        m_server.setStandardErrorFile(QProcess::nullDevice());
        m_server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        // No reset when the last client leaves: the next program could not
        // connect meanwhile.
        m_server.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"});
        QVERIFY(m_server.waitForStarted(10000));
        while (!m_server.canReadLine())
            QVERIFY2(m_server.waitForReadyRead(30000), "Xvfb named no display");
        m_display = QLatin1Char(':') + QString::fromLatin1(m_server.readLine()).trimmed();
        QVERIFY(m_display.size() > 1);
    }

    void cleanupTestCase()
    {
        m_server.terminate();
        m_server.waitForFinished(10000);
    }

    void refusedWithMessageAndKept_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("random bytes") << randomBytes(64 * 1024);
        QByteArray jet = QByteArray::fromHex("00010000") + QByteArrayLiteral("Standard Jet DB") + QByteArray(1, '\0');
        QTest::newRow("jet file") << jet + randomBytes(8192 - int(jet.size()));
        QTest::newRow("truncated catalogue") << QByteArray();
    }
    void refusedWithMessageAndKept()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir app, home;
        QVERIFY(ProgramProcess::install(app.path()));
        if (bytes.isEmpty()) {
            bytes = truncatedCatalogue(app.path());
            QVERIFY(bytes.startsWith("SQLite format 3"));
        }
        const QString catalogue = app.filePath("data.db");
        QVERIFY(writeAll(catalogue, bytes));

        ProgramProcess program;
        QVERIFY(program.start(app.path(), "http://127.0.0.1:9", home.path(),
                              {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + m_display}));
        QString box;
        QVERIFY(QTest::qWaitFor(
            [&] {
                box = xdotool(m_display, {"search", "--onlyvisible", "--name", "^kinolark$"});
                return !box.isEmpty() || !program.running();
            },
            60000));
        QVERIFY2(!box.isEmpty(), qPrintable(QString("no message box came up; the program ended with %1")
                                                 .arg(program.process().exitCode())));
        QVERIFY2(program.running(), "the program did not wait for the message to be read");
        // The window itself never came up.
        QCOMPARE(xdotool(m_display, {"search", "--onlyvisible", "--name", "^Lumovane"}), QString());

        // Enter closes the box, and the program ends.
        xdotool(m_display, {"windowfocus", "--sync", box.split('\n').first(), "key", "Return"});
        QVERIFY2(program.process().waitForFinished(30000), "the program did not end after the message");
        QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.process().exitCode(), 1);

        QCOMPARE(readAll(catalogue), bytes);
        QCOMPARE(QDir(app.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"data.db", "home.htm", "kinolark", "tv.htm"}));
    }

private:
    QProcess m_server;
    QString m_display;
};

QTEST_GUILESS_MAIN(tst_ForeignCatalogue)
#include "tst_foreign_catalogue.moc"
