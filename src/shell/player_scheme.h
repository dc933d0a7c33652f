#pragma once

#include <QWebEngineUrlSchemeHandler>

class QWebEngineProfile;

namespace kinolark::shell {

// The program's own web player script, served by the program itself on a
// scheme of its own. The script hands the page's player settings over by
// going to the player's address with them (see GuardedPage).
class PlayerScheme : public QWebEngineUrlSchemeHandler
{
    Q_OBJECT
public:
    // Made known to the web engine; must run before the application object
    // is made.
    static void registerScheme();
    static QByteArray name();

    // Serves the scheme in `profile`; owned by the profile.
    explicit PlayerScheme(QWebEngineProfile *profile);

    void requestStarted(QWebEngineUrlRequestJob *job) override;
};

} // namespace kinolark::shell
