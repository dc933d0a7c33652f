#pragma once

#include <QString>

namespace kinolark::shell {

// Why a site request failed, as the user reads it: the site not reached at
// all, reached and answering with an error status, or answering at a
// length no answer of its has.
inline QString siteFailureText(int errorStatus, bool tooLarge = false)
{
    if (tooLarge)
        return QStringLiteral("影片网站的回答过大");
    return errorStatus != 0 ? QStringLiteral("影片网站出错（HTTP %1）").arg(errorStatus)
                            : QStringLiteral("无法连接影片网站");
}

} // namespace kinolark::shell
