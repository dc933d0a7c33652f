#pragma once

#include <QString>

namespace kinolark::download {

// The longest file or folder name a download gets, in bytes of UTF-8; the
// ".part" of a name being written still fits the 255 of every file system.
constexpr int maxNameBytes = 200;

// `text` as part of a file name any file system takes: no path separator,
// no character Windows or exFAT refuse, no control or direction-changing
// character, no leading or trailing dots or spaces (so never "." or ".."),
// at most `maxBytes` bytes of UTF-8, cut between characters. Empty when
// nothing is left.
QString cleanNamePart(const QString &text, int maxBytes);

// The title's folder inside the downloads folder.
QString folderNameFor(const QString &titleName);

// "片名 - 第N集.mp4"; with `number` from 2 on, "片名 - 第N集 (2).mp4", for a
// name already taken. The episode's name is kept whole where it can be,
// and the title's cut to fit.
QString fileNameFor(const QString &titleName, const QString &episodeName, int number = 1);

} // namespace kinolark::download
