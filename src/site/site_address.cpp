#include "site/site_address.h"

#include "build_config.h"

#include <QtGlobal>

namespace kinolark::site {

QString normalisedSiteAddress(const QString &address)
{
    QString result = address.trimmed();
    while (result.endsWith(QLatin1Char('/')))
        result.chop(1);
    return result;
}

QString siteAddress()
{
    const QString fromEnvironment = normalisedSiteAddress(qEnvironmentVariable("KINOLARK_SITE"));
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return normalisedSiteAddress(QStringLiteral(KINOLARK_SITE_URL));
}

QString endpointFor(const QString &site)
{
    return site + QStringLiteral("/Uploads/xml.php?");
}

} // namespace kinolark::site
