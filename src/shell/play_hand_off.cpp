#include "shell/play_hand_off.h"

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

} // namespace kinolark::shell
