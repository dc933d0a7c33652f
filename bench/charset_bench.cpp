// Charset detection throughput: IsUtf8Bytes over 16 MB of mixed Chinese text
// and over ASCII-heavy text, against Qt's UTF-8 decoding of the same bytes
// (the step that follows detection) measured in the same run.

#include "sample_catalogue.h"
#include "site/bytes_to_text.h"

#include <QByteArray>
#include <QElapsedTimer>
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

} // namespace

int main()
{
    const sample::SampleCatalogue catalogue(2000);
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
        std::printf("  %-30s %7.1f%% %9.2f GB/s %11.2f GB/s %8.2f  (utf-8: %s)\n", input.name,
                    100.0 * double(high) / double(input.bytes.size()), ours, anchor, ours / anchor,
                    utf8 ? "yes" : "no");
    }
    std::printf("  target: >= 1 GB/s on ASCII-heavy text\n");
    return 0;
}
