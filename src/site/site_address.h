#pragma once

#include <QString>

namespace kinolark::site {

// The catalogue site's address: scheme, host and an optional port, without
// a trailing slash. KINOLARK_SITE in the environment overrides the address
// the program was built with.
QString siteAddress();

// `address` without trailing slashes and surrounding blanks.
QString normalisedSiteAddress(const QString &address);

// The base of every catalogue request.
QString endpointFor(const QString &site);

} // namespace kinolark::site
