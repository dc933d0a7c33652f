#pragma once

#include <QStringList>

class QCoreApplication;

namespace kinolark::shell {

// Installs Qt's own Simplified Chinese texts (the standard buttons, the text
// boxes' context menus, the web view's menus), whatever the system's
// language: every text of the program is Chinese. The default locale is
// left alone, since it shapes the stored date strings. Answers the
// catalogues that were found and installed.
QStringList installChineseTranslations(QCoreApplication *app);

} // namespace kinolark::shell
