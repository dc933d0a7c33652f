#pragma once

#include <QHash>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

class QWebEngineProfile;

namespace kinolark::shell {

class PlayHandOff;

// The program's own web player: the play page's player script, served by the
// program itself on a scheme of its own, and the request by which that script
// hands the page's player settings over to the built-in player.
class PlayerScheme : public QWebEngineUrlSchemeHandler
{
    Q_OBJECT
public:
    // Made known to the web engine; must run before the application object
    // is made.
    static void registerScheme();
    static QByteArray name();

    // Serves the scheme in `profile` and passes hand-offs to `handOff`.
    // Owned by the profile.
    PlayerScheme(QWebEngineProfile *profile, PlayHandOff *handOff);

    void requestStarted(QWebEngineUrlRequestJob *job) override;

    // A hand-off request seen on its way: allowed only from the page the
    // hand-off expects, remembered so its answer knows the page.
    bool admit(const QUrl &request, const QUrl &page);

private:
    PlayHandOff *m_handOff;
    QHash<QUrl, QUrl> m_admitted; // hand-off request -> the page it came from
};

} // namespace kinolark::shell
