#pragma once

#include "shell/player_scheme.h"
#include "shell/web_profile.h"

#include <QApplication>
#include <QTest>

#include <unistd.h>

// The setting of a test that runs the real web engine on a virtual X
// server, as the program does: the player's scheme registered before the
// application exists, no sandbox for root, no GPU worth the name.
inline void prepareWebEngineTest()
{
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    kinolark::shell::prepareWebEngineSwitches();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    kinolark::shell::PlayerScheme::registerScheme();
}

#define KINOLARK_WEBENGINE_TEST_MAIN(TestClass)                                                                   \
    int main(int argc, char *argv[])                                                                           \
    {                                                                                                          \
        prepareWebEngineTest();                                                                                \
        QApplication app(argc, argv);                                                                          \
        TestClass test;                                                                                        \
        return QTest::qExec(&test, argc, argv);                                                                \
    }
