#include "playback/desktop_application.h"
#include "playback/external_address.h"
#include "temp_folder.h"

#include <QDir>
#include <QProcess>
#include <QTest>

using namespace kinolark::playback;

class tst_DesktopApplication : public QObject
{
    Q_OBJECT

private slots:
    void classifies_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("kind");
        const auto row = [](const char *address, ExternalAddress kind) {
            QTest::newRow(address) << QString::fromUtf8(address) << int(kind);
        };
        row("http://v.example/a.mp4", ExternalAddress::WebMedia);
        row("HTTPS://v.example/a.m3u8", ExternalAddress::WebMedia);
        row("rtsp://cam.example/live", ExternalAddress::Stream);
        row("mmsh://m.example/x", ExternalAddress::Stream);
        row("bdhd://123|abc|x.rmvb", ExternalAddress::PlayerScheme);
        row("magnet:?xt=urn:btih:abc", ExternalAddress::PlayerScheme);
        row("file:///etc/passwd", ExternalAddress::Refused);
        row("/etc/passwd", ExternalAddress::Refused);
        row("javascript:alert(1)", ExternalAddress::Refused);
        row("http:///no-host", ExternalAddress::Refused);
        row("smb://nas/share/a.mp4", ExternalAddress::Refused);
        row("", ExternalAddress::Refused);
        row("http://h/a\r\nfile:///etc/passwd", ExternalAddress::Refused);
        row("thunder://QUFodHRwOi8v", ExternalAddress::PlayerScheme);
        row(" qvod://1|AB|x| ", ExternalAddress::PlayerScheme);
    }
    void classifies()
    {
        QFETCH(QString, address);
        QFETCH(int, kind);
        QCOMPARE(int(classifyExternalAddress(address)), kind);
    }

    void launchCommand_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QStringList>("command");
        const QString u = "http://h/a b.mp4";
        QTest::newRow("%U") << "mpv --player-operation-mode=pseudo-gui -- %U"
                            << QStringList{"mpv", "--player-operation-mode=pseudo-gui", "--", u};
        QTest::newRow("%f once") << "vlc %f %F" << QStringList{"vlc", u};
        QTest::newRow("quoted, escapes, %%") << "\"/opt/my player/run\" --title=\"a \\\"b\\\"\" 50%% %i %c %u"
                                             << QStringList{"/opt/my player/run", "--title=a \"b\"", "50%", u};
        QTest::newRow("code inside a word") << "p --url=%u" << QStringList{"p", "--url=" + u};
        QTest::newRow("no code") << "totem" << QStringList{"totem", u};
    }
    void launchCommand()
    {
        QFETCH(QString, exec);
        QFETCH(QStringList, command);
        QCOMPARE(kinolark::playback::launchCommand({"x.desktop", "x", exec}, "http://h/a b.mp4"), command);
    }

    // An address that holds shell syntax, in an Exec line whose field code
    // stands inside the quotes of a shell command: the shell must get it as
    // one quoted word, and run nothing of it.
    void addressesStayInert_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("address");
        const QStringList addresses{
            "http://127.0.0.1:18190/v.mp4?a=1;touch$IFS~/pwned;echo$IFS",
            "http://h/$(touch pwned)`touch pwned`",
            "http://h/it's';touch pwned;'",
            "http://h/\"; touch pwned; \"",
            "http://h/a\\b\\\";touch pwned",
            "http://h/a b  c\td",
        };
        const QStringList execs{
            "sh -c \"printf %%s %u > OUT\"",
            "sh -c 'printf %%s %u > OUT'",
            "sh -c \"printf '%%s' %u > OUT\"",
            "sh -c \"printf \\\"%%s\\\" %u > OUT\"",
        };
        for (int e = 0; e < execs.size(); ++e)
            for (int a = 0; a < addresses.size(); ++a)
                QTest::addRow("exec %d, address %d", e, a) << execs.at(e) << addresses.at(a);
    }
    void addressesStayInert()
    {
        QFETCH(QString, exec);
        QFETCH(QString, address);
        QTemporaryDir dir;
        const QString out = dir.filePath("out");
        const QStringList command =
            kinolark::playback::launchCommand({"x.desktop", "x", QString(exec).replace("OUT", out)}, address);
        QCOMPARE(command.value(0), QString("sh"));
        QProcess shell;
        shell.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.path());
        shell.setProcessEnvironment(env);
        shell.start(command.first(), command.mid(1));
        QVERIFY(shell.waitForFinished(10000));
        QFile written(out);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(written.readAll()), address);
        QVERIFY2(!QFileInfo::exists(dir.filePath("pwned")), qPrintable(command.join(" | ")));
    }

    // The user's choice wins over what applications declare; an entry that
    // is hidden or missing is passed over.
    void defaultApplication()
    {
        QTemporaryDir dir;
        XdgFolders folders{dir.filePath("config"), {}, dir.filePath("home"), {dir.filePath("system")}};
        for (const char *sub : {"config", "home/applications", "system/applications"})
            QVERIFY(QDir().mkpath(dir.filePath(sub)));
        const auto entry = [&](const QString &path, const QString &exec, bool hidden = false) {
            QVERIFY(writeAll(dir.filePath(path), ("[Desktop Entry]\nType=Application\nName=" + QFileInfo(path).baseName()
                                                  + "\nExec=" + exec + (hidden ? "\nHidden=true" : "") + "\n")
                                                     .toUtf8()));
        };
        entry("system/applications/declared.desktop", "declared %U");
        entry("system/applications/chosen.desktop", "chosen %U");
        entry("home/applications/chosen.desktop", "x", true); // the user removed it
        entry("system/applications/other.desktop", "other %U");
        QVERIFY(writeAll(dir.filePath("system/applications/mimeinfo.cache"),
                         "[MIME Cache]\nvideo/mp4=declared.desktop;\n"));
        QCOMPARE(defaultApplicationFor({"video/mp4"}, folders)->id, QString("declared.desktop"));

        QVERIFY(writeAll(dir.filePath("config/mimeapps.list"),
                         "[Added Associations]\nvideo/mp4=other.desktop;\n"
                         "[Default Applications]\nvideo/mp4=missing.desktop;chosen.desktop;other.desktop\n"));
        QCOMPARE(defaultApplicationFor({"video/mp4"}, folders)->id, QString("other.desktop"));
        QVERIFY(!defaultApplicationFor({"video/x-none"}, folders));
        QCOMPARE(videoTypesFor("http://h/list.m3u8?x=1").first().endsWith("mpegurl"), true);
        QCOMPARE(videoTypesFor("http://h/play").last(), QString("video/mp4"));
    }
};

QTEST_GUILESS_MAIN(tst_DesktopApplication)
#include "tst_desktop_application.moc"
