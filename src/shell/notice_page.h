#pragma once

#include <QString>

namespace kinolark::shell {

// The notice page shown at start and after every category click: how to get
// the web player, and a check that it is installed. 22 lines, each ended by
// CR LF, with the site's address in two links.
QString noticePageTemplate(const QString &site);

} // namespace kinolark::shell
