#include "shell/app_folder.h"
#include "temp_folder.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace kinolark::shell;

class tst_AppFolder : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { undo(); }

    void writableProgramFolderServes()
    {
        QTemporaryDir program, user;
        QCOMPARE(resolveAppFolder(program.path(), user.filePath(QStringLiteral("u"))), program.path());
        QVERIFY(!QFileInfo::exists(user.filePath(QStringLiteral("u"))));
    }

    void readOnlyProgramFolderFallsBackAndCopies()
    {
        QTemporaryDir program, user;
        const QString userFolder = user.filePath(QStringLiteral("share/kinolark"));
        QVERIFY(writeAll(program.filePath(QStringLiteral("tv.htm")), QByteArrayLiteral("<p>tv</p>")));
        QVERIFY(writeAll(program.filePath(QStringLiteral("data.db")), QByteArrayLiteral("catalogue")));
        makeReadOnly(program.path());
        QVERIFY(!isWritableFolder(program.path()));

        QCOMPARE(resolveAppFolder(program.path(), userFolder), userFolder);
        provideSuppliedFiles(userFolder, {program.path()});
        QCOMPARE(readAll(userFolder + QStringLiteral("/tv.htm")), QByteArrayLiteral("<p>tv</p>"));
        QCOMPARE(readAll(userFolder + QStringLiteral("/data.db")), QByteArrayLiteral("catalogue"));
        QVERIFY(isWritableFolder(userFolder));

        // A catalogue the user already has is never replaced by the shipped one.
        QVERIFY(writeAll(userFolder + QStringLiteral("/data.db"), QByteArrayLiteral("mine")));
        QCOMPARE(resolveAppFolder(program.path(), userFolder), userFolder);
        provideSuppliedFiles(userFolder, {program.path()});
        QCOMPARE(readAll(userFolder + QStringLiteral("/data.db")), QByteArrayLiteral("mine"));
        undo();
    }

    // An install keeps the page in its data folder; the first source that has
    // a file wins, and a file already in place stays.
    void suppliedFilesFromInstallFolders()
    {
        QTemporaryDir app, bin, share;
        QVERIFY(writeAll(share.filePath("tv.htm"), "shared"));
        provideSuppliedFiles(app.path(), {bin.path(), share.path()});
        QCOMPARE(readAll(app.filePath("tv.htm")), QByteArray("shared"));
        QVERIFY(!QFileInfo::exists(app.filePath("data.db")));
        QVERIFY(writeAll(bin.filePath("tv.htm"), "beside the program"));
        QVERIFY(QFile::remove(app.filePath("tv.htm")));
        provideSuppliedFiles(app.path(), {bin.path(), share.path()});
        QCOMPARE(readAll(app.filePath("tv.htm")), QByteArray("beside the program"));
        QVERIFY(writeAll(share.filePath("tv.htm"), "newer"));
        provideSuppliedFiles(app.path(), {share.path()});
        QCOMPARE(readAll(app.filePath("tv.htm")), QByteArray("beside the program"));
    }

    void missingProgramFolderFallsBack()
    {
        QTemporaryDir user;
        const QString userFolder = user.filePath(QStringLiteral("k"));
        QCOMPARE(resolveAppFolder(QStringLiteral("/proc/no-such-folder"), userFolder), userFolder);
        QVERIFY(QFileInfo(userFolder).isDir());
    }

private:
    // Root ignores permission bits, so it gets a read-only bind mount instead.
    void makeReadOnly(const QString &folder)
    {
        if (geteuid() != 0) {
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            m_undo = [folder] { QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); };
            return;
        }
        if (QProcess::execute(QStringLiteral("mount"), {QStringLiteral("--bind"), folder, folder}) != 0
            || QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-o"), QStringLiteral("remount,bind,ro"), folder}) != 0) {
            QSKIP("cannot make a read-only folder here");
        }
        m_undo = [folder] { QProcess::execute(QStringLiteral("umount"), {folder}); };
    }
    void undo()
    {
        if (m_undo)
            m_undo();
        m_undo = nullptr;
    }
    std::function<void()> m_undo;
};

QTEST_GUILESS_MAIN(tst_AppFolder)
#include "tst_app_folder.moc"
