#pragma once

#include <QByteArray>
#include <QString>

namespace kinolark::text {

// The program's pages are read by the browser in the Chinese ANSI code page
// (GBK) because they declare no charset.
QByteArray toAnsi(const QString &text);

// Creates or replaces `path` with `text` followed by CR LF, encoded as GBK.
// The old file stays intact if writing fails.
bool writeAnsiFile(const QString &path, const QString &text, QString *error = nullptr);

} // namespace kinolark::text
