#include "site/cancel_token.h"

namespace kinolark::site {

void CancelToken::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    emit cancelled();
}

} // namespace kinolark::site
