#include "text/ansi_file.h"

#include <QSaveFile>
#include <QStringEncoder>

namespace kinolark::text {

QByteArray toAnsi(const QString &text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

bool writeAnsiFile(const QString &path, const QString &text, QString *error)
{
    QSaveFile file(path);
    // A folder that lets us replace the file but not create a temporary one
    // beside it still gets its page.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray bytes = toAnsi(text) + QByteArrayLiteral("\r\n");
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace kinolark::text
