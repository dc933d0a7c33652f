#include "temp_folder.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// The built program, run as a user would run it.
class tst_Program : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_binary = qEnvironmentVariable("KINOLARK_BINARY_DIR") + "/bin/kinolark";
        QVERIFY2(QFileInfo(m_binary).isExecutable(), qPrintable(m_binary));
    }

    // Answered before anything else: no window, no file in the folder.
    void optionAnsweredTouchingNothing_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QStringList>("printed");
        QTest::newRow("version") << "--version" << QStringList{"kinolark " KINOLARK_TEST_VERSION "\n"};
        QTest::newRow("help") << "--help" << QStringList{"--help", "--version", "KINOLARK_SITE", "man kinolark"};
        QTest::newRow("short help") << "-h" << QStringList{"--help", "--version"};
    }
    void optionAnsweredTouchingNothing()
    {
        QFETCH(QString, option);
        QFETCH(QStringList, printed);
        QTemporaryDir folder;
        const QString copy = folder.filePath("kinolark");
        QVERIFY(QFile::copy(m_binary, copy));
        const QString out = run(copy, {option}, folder.path());
        for (const QString &text : printed)
            QVERIFY2(out.contains(text), qPrintable(out));
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"kinolark"});
    }

    // The manual page renders without a warning, in a UTF-8 locale and in
    // plain ASCII, and lists the options --help lists.
    void manualPageMatchesHelp_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("utf-8") << "C.UTF-8";
        QTest::newRow("ascii") << "C";
    }
    void manualPageMatchesHelp()
    {
        QFETCH(QString, locale);
        if (QStandardPaths::findExecutable("man").isEmpty())
            QSKIP("needs man");
        QProcess man;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", locale);
        env.insert("MANWIDTH", "80");
        man.setProcessEnvironment(env);
        man.start("man", {"--warnings=w", "-l", qEnvironmentVariable("KINOLARK_SOURCE_DIR") + "/data/kinolark.1"});
        QVERIFY(man.waitForFinished(30000));
        QCOMPARE(QString::fromLocal8Bit(man.readAllStandardError()), QString());
        QCOMPARE(man.exitCode(), 0);
        const QString page = QString::fromUtf8(man.readAllStandardOutput());
        QVERIFY(page.startsWith("KINOLARK(1)"));

        const QString options = page.section("\nOPTIONS\n", 1).section("\nENVIRONMENT\n", 0, 0);
        QVERIFY(page.section("\nENVIRONMENT\n", 1).contains("KINOLARK_SITE"));
        const QRegularExpression option("(?<![\\w-])--?[a-z][a-z-]*");
        QSet<QString> inManual, inHelp;
        for (const QString &line : options.split('\n')) {
            if (line.startsWith("       -")) // a term, not its explanation
                for (const auto &match : option.globalMatch(line))
                    inManual << match.captured();
        }
        for (const auto &match : option.globalMatch(run(m_binary, {"--help"}, QDir::tempPath())))
            inHelp << match.captured();
        QCOMPARE(inManual, (QSet<QString>{"-h", "--help", "--version"}));
        QCOMPARE(inHelp, inManual);
    }

private:
    // Runs `program` with `arguments` where no window could open: what it
    // printed, once it has ended with status 0.
    static QString run(const QString &program, const QStringList &arguments, const QString &folder)
    {
        QProcess process;
        process.setWorkingDirectory(folder);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY"); // no window could open even if it tried
        env.insert("QT_QPA_PLATFORM", "minimal");
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return QString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    QString m_binary;
};

QTEST_GUILESS_MAIN(tst_Program)
#include "tst_program.moc"
