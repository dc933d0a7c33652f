#include "shell/app_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace kinolark::shell {

bool isWritableFolder(const QString &folder)
{
    // Permission bits say little (root ignores them, read-only mounts do not
    // show in them); the kernel's answer covers both, and asking writes
    // nothing, so a second start can find its folder without touching it.
    return QFileInfo(folder).isDir() && ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

QString resolveAppFolder(const QString &programFolder, const QString &userFolder)
{
    if (isWritableFolder(programFolder) || userFolder.isEmpty())
        return programFolder;
    if (!QDir().mkpath(userFolder))
        return programFolder;
    return userFolder;
}

void provideSuppliedFiles(const QString &appFolder, const QStringList &sources)
{
    const QStringList supplied{QStringLiteral("tv.htm"), QStringLiteral("data.db")};
    for (const QString &name : supplied) {
        const QString to = appFolder + QLatin1Char('/') + name;
        if (QFileInfo::exists(to))
            continue;
        for (const QString &source : sources) {
            const QString from = source + QLatin1Char('/') + name;
            if (!QFileInfo(from).isFile())
                continue;
            if (QFile::copy(from, to)) {
                // A copy from a read-only install keeps its read-only bits.
                QFile::setPermissions(to, QFile::permissions(to) | QFile::WriteOwner | QFile::ReadOwner);
            }
            break;
        }
    }
}

} // namespace kinolark::shell
