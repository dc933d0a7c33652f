// The anchor of the start figure: the least a Qt Widgets program does to show
// a window of the program's size. With --web it also holds a web view, to
// show what the web engine alone adds to a start. A label stands where the
// program draws its category tree, so "drawn" can be seen from outside.

#include <QApplication>
#include <QLabel>
#include <QUrl>
#include <QWebEngineView>
#include <QWidget>

#include <cstring>
#include <unistd.h>

int main(int argc, char *argv[])
{
    const bool web = argc > 1 && std::strcmp(argv[1], "--web") == 0;
    if (web && geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("minimal"));
    window.setFixedSize(1058, 564);
    // Something to draw where the program draws its category tree.
    auto *label = new QLabel(QStringLiteral("minimal"), &window);
    label->setGeometry(8, 56, 153, 505);
    if (web) {
        auto *view = new QWebEngineView(&window);
        view->setGeometry(352, 0, 705, 457);
        view->load(QUrl(QStringLiteral("about:blank")));
    }
    window.show();
    return QApplication::exec();
}
