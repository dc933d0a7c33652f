// Charset detection throughput: IsUtf8Bytes over 16 MB of mixed Chinese text
// and over ASCII-heavy text, against Qt's UTF-8 decoding of the same bytes
// (the step that follows detection) measured in the same run. And decoding a
// large GB2312 answer: BytesToText against the iconv command on the same
// bytes.

#include "sample_catalogue.h"
#include "site/bytes_to_text.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace kinolark;

namespace {

constexpr qsizetype size = 16 * 1024 * 1024;
constexpr int runs = 7;

QByteArray fill(const QByteArray &unit)
{
    QByteArray bytes;
    bytes.reserve(size + unit.size());
    while (bytes.size() < size)
        bytes += unit;
    // Cut at a line end so no character is split.
    bytes.truncate(bytes.lastIndexOf('\r', size) + 1);
    return bytes;
}

template<typename F>
double bestGbPerSecond(const QByteArray &bytes, F &&f, bool *result)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        *result = f(bytes);
        times.push_back(double(clock.nsecsElapsed()));
    }
    return bytes.size() / *std::min_element(times.begin(), times.end());
}

// The anchor: decoding the bytes as UTF-8, which every answer taken for
// UTF-8 goes through next.
bool decodeUtf8(const QByteArray &bytes)
{
    return !QString::fromUtf8(bytes).isEmpty();
}

double bestMs(const std::vector<double> &times)
{
    return *std::min_element(times.begin(), times.end());
}

// The iconv command decoding `file` from GBK, output discarded.
double iconvMs(const QString &file)
{
    QProcess iconv;
    iconv.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    iconv.start(QStringLiteral("iconv"), {QStringLiteral("-f"), QStringLiteral("GBK"), QStringLiteral("-t"),
                                          QStringLiteral("UTF-8"), file});
    if (!iconv.waitForFinished(60000) || iconv.exitCode() != 0)
        qFatal("iconv failed: %s", iconv.readAllStandardError().constData());
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main()
{
    const sample::SampleCatalogue catalogue(2000);
    double asciiHeavyGbs = 0, asciiHeavyAnchor = 0;
    QByteArray chinese, asciiHeavy;
    for (const sample::SampleTitle &t : catalogue.titles()) {
        chinese += catalogue.description(t.id).toUtf8() + '\r';
        asciiHeavy += catalogue.playList(t.id).toUtf8() + '\r';
    }
    const struct
    {
        const char *name;
        QByteArray bytes;
    } inputs[] = {
        {"mixed Chinese (descriptions)", fill(chinese)},
        {"ASCII-heavy (play lists)", fill(asciiHeavy)},
        {"ASCII only", QByteArray(size, 'a')},
    };

    std::printf("IsUtf8Bytes throughput on 16 MB, best of %d runs\n", runs);
    std::printf("  %-30s %8s %12s %16s %8s\n", "input", "non-ASCII", "IsUtf8Bytes", "UTF-8 decode", "ratio");
    for (const auto &input : inputs) {
        const qsizetype high = std::count_if(input.bytes.cbegin(), input.bytes.cend(),
                                             [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        bool utf8 = false, anchorResult = false;
        const double ours = bestGbPerSecond(input.bytes, site::IsUtf8Bytes, &utf8);
        const double anchor = bestGbPerSecond(input.bytes, decodeUtf8, &anchorResult);
        if (&input == &inputs[1]) {
            asciiHeavyGbs = ours;
            asciiHeavyAnchor = anchor;
        }
        std::printf("  %-30s %7.1f%% %9.2f GB/s %11.2f GB/s %8.2f  (utf-8: %s)\n", input.name,
                    100.0 * double(high) / double(input.bytes.size()), ours, anchor, ours / anchor,
                    utf8 ? "yes" : "no");
    }
    std::printf("  target: >= 1 GB/s on ASCII-heavy text\n");

    // A first sync's answer of 200 000 titles, sent in GB2312.
    const sample::SampleCatalogue large(200000);
    QStringEncoder toGbk("GBK");
    const QString text = large.allAnswer(0);
    const QByteArray gbk = toGbk.encode(text);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("answer.gbk"));
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(gbk) != gbk.size())
            qFatal("cannot write %s", qPrintable(file));
    }
    // iconv's own start, timed on an empty file and taken off its figure.
    const QString empty = dir.filePath(QStringLiteral("empty.gbk"));
    {
        QFile out(empty);
        if (!out.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(empty));
    }
    std::vector<double> ours, anchor, anchorStart;
    bool same = true;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        const QString decoded = site::BytesToText(gbk);
        ours.push_back(clock.nsecsElapsed() / 1e6);
        same = same && decoded == text;
        anchor.push_back(iconvMs(file));
        anchorStart.push_back(iconvMs(empty));
    }
    const double oursMs = bestMs(ours), iconvStart = bestMs(anchorStart), iconv = bestMs(anchor) - iconvStart;
    std::printf("\nGB2312 answer of 200 000 titles (%.1f MB), best of %d runs\n", gbk.size() / 1e6, runs);
    std::printf("  %-34s %10.1f ms %8.0f MB/s%s\n", "BytesToText", oursMs, gbk.size() / 1e3 / oursMs,
                same ? "" : "  (DIFFERS from the text encoded)");
    std::printf("  %-34s %10.1f ms %8.0f MB/s  (its start, %.1f ms, taken off)\n", "iconv -f GBK -t UTF-8 (anchor)",
                iconv, gbk.size() / 1e3 / iconv, iconvStart);

    std::printf("@row\tIsUtf8Bytes, ASCII-heavy text\t%.2f GB/s\t%.2f GB/s\t%.2fx\t>= 1 GB/s\t%s\n", asciiHeavyGbs,
                asciiHeavyAnchor, asciiHeavyGbs / asciiHeavyAnchor, asciiHeavyGbs >= 1.0 ? "yes" : "NO");
    std::printf("@row\tGBK decoding, %.1f MB answer\t%.1f ms\t%.1f ms\t%.2fx\t<= 1.5x\t%s\n", gbk.size() / 1e6, oursMs,
                iconv, oursMs / iconv, oursMs / iconv <= 1.5 && same ? "yes" : "NO");
    std::printf("@note\tIsUtf8Bytes anchor: Qt's UTF-8 decoding of the same bytes; GBK anchor: the iconv command on "
                "a file, output discarded, its process start taken off\n");
    return 0;
}
