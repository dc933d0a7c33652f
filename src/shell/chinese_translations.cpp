#include "shell/chinese_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace kinolark::shell {

QStringList installChineseTranslations(QCoreApplication *app)
{
    QStringList installed;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale chinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
    for (const QString &catalogue : {QStringLiteral("qtbase"), QStringLiteral("qtwebengine")}) {
        auto *translator = new QTranslator(app);
        if (translator->load(chinese, catalogue, QStringLiteral("_"), folder) && app->installTranslator(translator))
            installed << catalogue;
        else
            delete translator;
    }
    return installed;
}

} // namespace kinolark::shell
