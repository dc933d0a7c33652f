#include "site/version_answer.h"

namespace kinolark::site {

VersionAnswer readVersionAnswer(const QString &answer)
{
    const QLatin1String marker("Up");
    if (!answer.contains(marker))
        return VersionAnswer::NotAnAnswer;
    QString rest = answer;
    rest.remove(marker);
    return rest == QLatin1String("1") ? VersionAnswer::Current : VersionAnswer::NewerClient;
}

} // namespace kinolark::site
