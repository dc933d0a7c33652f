#include "shell/play_hand_off.h"

#include <QUrlQuery>

namespace kinolark::shell {

void PlayHandOff::expect(const QUrl &page)
{
    m_page = page;
}

void PlayHandOff::cancel()
{
    m_page.clear();
}

bool PlayHandOff::accepts(const QUrl &page) const
{
    return m_page.isValid() && m_page.isLocalFile() && page.matches(m_page, QUrl::RemoveFragment);
}

bool PlayHandOff::deliver(const QUrl &page, const QString &address, const QSize &size)
{
    if (!accepts(page))
        return false;
    m_page.clear();
    emit handedOff(address, size);
    return true;
}

bool PlayHandOff::deliverRequest(const QUrl &page, const QUrl &request)
{
    const QUrlQuery query(request);
    const QSize size(query.queryItemValue(QStringLiteral("width")).toInt(),
                     query.queryItemValue(QStringLiteral("height")).toInt());
    return deliver(page, query.queryItemValue(QStringLiteral("url"), QUrl::FullyDecoded), size);
}

} // namespace kinolark::shell
