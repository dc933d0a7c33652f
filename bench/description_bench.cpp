// A title's description, cleaned and shown: 512 KB of one paragraph, of
// deeply nested tags and of a run without blanks. The cleanup against sed
// doing the same tag removal on the same text; the showing against the
// same length of ordinary text in short lines.
#include "text/html_to_text.h"
#include "text/shown_lines.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr qsizetype size = 512 * 1024;

QString repeated(const QString &piece, qsizetype length)
{
    QString text;
    text.reserve(length + piece.size());
    while (text.size() < length)
        text += piece;
    text.truncate(length);
    return text;
}

double bestMs(int runs, const std::function<void()> &work)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

double sedMs(const QString &html, const QString &folder)
{
    const QString path = folder + QStringLiteral("/description.html");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(html.toUtf8()) < 0)
        return -1;
    file.close();
    return bestMs(5, [&] {
        QProcess sed;
        sed.setStandardOutputFile(QProcess::nullDevice());
        sed.start(QStringLiteral("sed"), {QStringLiteral("-E"), QStringLiteral("s/<[^<>]*>/ /g"), path});
        sed.waitForFinished(-1);
    });
}

double showMs(QApplication &app, const QString &text)
{
    return bestMs(3, [&] {
        QPlainTextEdit box;
        box.resize(705, 457);
        box.setReadOnly(true);
        box.show();
        box.setPlainText(kinolark::text::breakLongLines(text));
        app.processEvents();
    });
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;

    struct Case
    {
        const char *name;
        QString html;
    };
    const Case cases[] = {
        {"one paragraph", repeated(QStringLiteral("这是一段很长的影片简介，没有换行。The quick brown fox "), size)},
        {"nested tags", repeated(QStringLiteral("<div><span><b>"), size - 2) + QStringLiteral("文字")},
        {"no blanks", repeated(QStringLiteral("<a"), size)},
    };
    // Ordinary text of the same length: short lines.
    const double ordinaryMs = showMs(app, repeated(QStringLiteral("一部影片的简介，一行不长。\r\n"), size));
    for (const Case &c : cases) {
        QString text;
        const double cleanMs = bestMs(5, [&] { text = kinolark::text::HtmlToText(c.html); });
        const double anchorMs = sedMs(c.html, folder.path());
        std::printf("%s: cleanup %.1f ms (sed %.1f ms), shown %.1f ms (ordinary text %.1f ms)\n", c.name, cleanMs,
                    anchorMs, showMs(app, text), ordinaryMs);
        std::printf("@row\tDescription cleanup, 512 KB, %s\t%.1f ms\t%.1f ms\t%.2fx\t< 50 ms\t%s\n", c.name, cleanMs,
                    anchorMs, cleanMs / anchorMs, cleanMs < 50 ? "yes" : "NO");
        const double shown = showMs(app, text);
        std::printf("@row\tDescription shown, 512 KB, %s\t%.1f ms\t%.1f ms\t%.2fx\t< 50 ms\t%s\n", c.name, shown,
                    ordinaryMs, shown / ordinaryMs, shown < 50 ? "yes" : "NO");
    }
    return 0;
}
