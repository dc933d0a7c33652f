#include "build_config.h"
#include "desktop/bus_probe.h"
#include "desktop/session_bus.h"
#include "shell/app_folder.h"
#include "shell/chinese_translations.h"
#include "shell/main_window.h"
#include "shell/message_box_sink.h"
#include "shell/player_scheme.h"
#include "shell/single_instance.h"
#include "shell/usage.h"
#include "shell/web_engine_browser.h"
#include "shell/web_profile.h"
#include "site/site_address.h"
#include "store/today.h"
#include "text/pinyin_reader.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QWebEngineProfile>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>
#include <unistd.h>

using namespace kinolark;

int main(int argc, char *argv[])
{
    // Answered before anything else: no window, no file touched.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kinolark %s\n", KINOLARK_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(shell::usageText, stdout);
            return 0;
        }
    }
    // The web engine refuses to start its sandbox as root.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    // Qt reaches for the session bus on the window's thread (its theme, its
    // accessibility bridge) and waits without end for one that does not
    // answer; such a bus, or none, is then no bus at all for the program.
    // A bus that answers costs a millisecond here.
    const QString bus = desktop::SessionBus::sessionAddress();
    if (bus.isEmpty() || !desktop::probeBus(bus, 500).isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");

    shell::prepareWebEngineSwitches();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The scheme the player script is served from; known before the engine starts.
    shell::PlayerScheme::registerScheme();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kinolark"));
    QApplication::setApplicationVersion(QStringLiteral(KINOLARK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("com.lumovane.kinolark"));
    shell::installChineseTranslations(&app);

    QNetworkAccessManager network;
    shell::MessageBoxSink messages;

    shell::Services services;
    const QString programFolder = QCoreApplication::applicationDirPath();
    services.appFolder = shell::resolveAppFolder(
        programFolder, QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    // A second start on the same folder brings the first one's window up
    // and ends before writing anything.
    shell::SingleInstance instance(services.appFolder);
    if (instance.handOver())
        return 0;
    // Beside the program in a build, in the data folder after an install.
    shell::provideSuppliedFiles(services.appFolder,
                                {programFolder, programFolder + QStringLiteral("/" KINOLARK_DATA_FROM_BIN)});
    services.site = site::siteAddress();
    services.network = &network;
    // Owned by the application, so it outlives the window's pages.
    QWebEngineProfile *profile =
        shell::makeWebProfile(&app, {services.site, QStringLiteral(KINOLARK_PLAYER_SCRIPT_URL)});
    services.makeBrowser = [profile](QWidget *parent) { return new shell::WebEngineBrowser(profile, parent); };
    new shell::PlayerScheme(profile);
    services.messages = &messages;
    services.today = &store::todayString;
    // Loaded only when titles are read in pinyin, never during the start.
    services.pinyin = std::make_shared<text::PinyinReader>(text::PinyinReader::defaultDictionaryPath());

    shell::frmMain window(services);
    instance.raiseOnRequest(&window);
    if (!window.Form_Load())
        return 1;
    messages.setParent(&window);
    window.show();
    return QApplication::exec();
}
