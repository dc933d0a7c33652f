#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace kinolark::playback {

// An application the desktop has registered (a .desktop entry).
struct DesktopApplication
{
    QString id;   // e.g. "mpv.desktop"
    QString name;
    QString exec; // the entry's Exec line, unescaped
};

// Where the desktop keeps its entries and choices; by default the XDG
// variables of the environment with their standard fallbacks.
struct XdgFolders
{
    QString configHome;
    QStringList configDirs;
    QString dataHome;
    QStringList dataDirs;

    static XdgFolders fromEnvironment();
};

// The user's default application for the first of `mimeTypes` that has one:
// the choices of the mimeapps.list files first, then the installed
// applications that declare the type (mimeinfo.cache).
std::optional<DesktopApplication> defaultApplicationFor(const QStringList &mimeTypes,
                                                        const XdgFolders &folders = XdgFolders::fromEnvironment());

// The MIME types to ask for when playing `address`: those its name suggests
// that a video player takes, then video/mp4.
QStringList videoTypesFor(const QString &address);

// The program and its arguments that open `url` with `application`, by the
// Exec line's rules: %u %U %f %F become the address, the other field codes go.
QStringList launchCommand(const DesktopApplication &application, const QString &url);

} // namespace kinolark::playback
