#include "shell/play_hand_off.h"

#include <QUrlQuery>

namespace kinolark::shell {

void PlayHandOff::expect(const QUrl &page, const QString &address)
{
    m_page = page;
    m_address = address;
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
    if (!accepts(page) || address != m_address)
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
