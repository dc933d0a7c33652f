#include "temp_folder.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

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

    void versionTouchesNothing()
    {
        QTemporaryDir folder;
        const QString copy = folder.filePath("kinolark");
        QVERIFY(QFile::copy(m_binary, copy));
        QProcess program;
        program.setWorkingDirectory(folder.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY"); // no window could open even if it tried
        env.insert("QT_QPA_PLATFORM", "minimal");
        program.setProcessEnvironment(env);
        program.start(copy, {"--version"});
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(program.readAllStandardOutput().startsWith("kinolark "));
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"kinolark"});
    }

private:
    QString m_binary;
};

QTEST_GUILESS_MAIN(tst_Program)
#include "tst_program.moc"
