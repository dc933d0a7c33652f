// The version answer against a plain reading of the rule: an answer without
// "Up" is ignored; otherwise the client is current only when nothing but "1"
// is left once every "Up" is taken out.
#include "fuzz_check.h"
#include "site/version_answer.h"

#include <QStringList>

using namespace kinolark::site;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString answer = fuzzText(data, size);
    const VersionAnswer verdict = readVersionAnswer(answer);

    const QStringList around = answer.split(QStringLiteral("Up"));
    const bool hasMarker = around.size() > 1;
    const QString rest = around.join(QString());
    FUZZ_CHECK((verdict == VersionAnswer::NotAnAnswer) == !hasMarker, "ignored exactly when no Up is there");
    FUZZ_CHECK((verdict == VersionAnswer::Current) == (hasMarker && rest == QStringLiteral("1")),
               "current exactly when only 1 is left");

    if (verdict == VersionAnswer::Current) {
        // Nothing but markers and one "1": no blank, line end or other case.
        const qsizetype markers = around.size() - 1;
        FUZZ_CHECK(answer.size() == 1 + 2 * markers, "a current answer is markers and one 1");
        FUZZ_CHECK(answer.count(QLatin1Char('1')) == 1, "a current answer holds one 1");
        // Another marker anywhere keeps it current; anything else does not.
        FUZZ_CHECK(readVersionAnswer(QStringLiteral("Up") + answer) == VersionAnswer::Current, "Up in front");
        FUZZ_CHECK(readVersionAnswer(answer + QStringLiteral("\r\n")) == VersionAnswer::NewerClient,
                   "a line end after it means a newer client");
    }
    if (!hasMarker)
        FUZZ_CHECK(readVersionAnswer(answer + QStringLiteral("Up")) != VersionAnswer::NotAnAnswer,
                   "adding the marker makes it an answer");
    return 0;
}
