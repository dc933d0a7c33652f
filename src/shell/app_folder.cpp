#include "shell/app_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryFile>

namespace kinolark::shell {

bool isWritableFolder(const QString &folder)
{
    // Permission bits say little (root ignores them, read-only mounts do not
    // show in them); trying is the only sure test.
    QTemporaryFile probe(folder + QStringLiteral("/.kinolark-write-test-XXXXXX"));
    return probe.open();
}

QString resolveAppFolder(const QString &programFolder, const QString &userFolder)
{
    if (isWritableFolder(programFolder) || userFolder.isEmpty())
        return programFolder;
    if (!QDir().mkpath(userFolder))
        return programFolder;
    const QStringList supplied{QStringLiteral("tv.htm"), QStringLiteral("data.db")};
    for (const QString &name : supplied) {
        const QString from = programFolder + QLatin1Char('/') + name;
        const QString to = userFolder + QLatin1Char('/') + name;
        if (QFileInfo::exists(from) && !QFileInfo::exists(to)) {
            QFile::copy(from, to);
            // A copy from a read-only install keeps its read-only bits.
            QFile::setPermissions(to, QFile::permissions(to) | QFile::WriteOwner | QFile::ReadOwner);
        }
    }
    return userFolder;
}

} // namespace kinolark::shell
