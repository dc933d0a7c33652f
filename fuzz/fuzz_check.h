#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>

// A broken invariant is a finding: say which, and stop so libFuzzer keeps
// the input.
#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "invariant broken: %s (%s)\n", what, #condition);                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// The fuzzer's bytes as the text a parser gets: the site's answers arrive
// as UTF-8 or GBK, so either decoding is fair.
inline QString fuzzText(const uint8_t *data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}
