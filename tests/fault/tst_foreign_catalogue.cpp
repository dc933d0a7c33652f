#include "program_process.h"
#include "store/catalogue.h"
#include "temp_folder.h"
#include "x_server.h"

#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

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
        QVERIFY2(m_x.start(), "Xvfb did not start");
        m_display = m_x.display();
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
                box = m_x.xdotool({"search", "--onlyvisible", "--name", "^kinolark$"});
                return !box.isEmpty() || !program.running();
            },
            60000));
        QVERIFY2(!box.isEmpty(), qPrintable(QString("no message box came up; the program ended with %1")
                                                 .arg(program.process().exitCode())));
        QVERIFY2(program.running(), "the program did not wait for the message to be read");
        // The window itself never came up.
        QCOMPARE(m_x.xdotool({"search", "--onlyvisible", "--name", "^Lumovane"}), QString());

        // Enter closes the box, and the program ends.
        m_x.xdotool({"windowfocus", "--sync", box.split('\n').first(), "key", "Return"});
        QVERIFY2(program.process().waitForFinished(30000), "the program did not end after the message");
        QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.process().exitCode(), 1);

        QCOMPARE(readAll(catalogue), bytes);
        QCOMPARE(QDir(app.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"data.db", "home.htm", "kinolark", "tv.htm"}));
    }

private:
    XServer m_x;
    QString m_display;
};

QTEST_GUILESS_MAIN(tst_ForeignCatalogue)
#include "tst_foreign_catalogue.moc"
