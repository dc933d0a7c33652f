// The built-in player behind the play page: the page hands its address over,
// the episode session plays it over WebBrowser1, keeps where it stopped and
// says what comes next; the window maps its list items to lines.
#include "shell/main_window.h"

#include "cast/cast_metadata.h"
#include "download/download_manager.h"
#include "library/episode_records.h"
#include "player/episode_session.h"
#include "shell/browser.h"
#include "shell/cast_menu.h"
#include "shell/desktop_link.h"
#include "shell/play_hand_off.h"
#include "shell/player_view.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

namespace kinolark::shell {

void frmMain::setUpPlayer()
{
    m_handOff = new PlayHandOff(this);
    connect(m_handOff, &PlayHandOff::handedOff, this, &frmMain::playHandedOff);
    connect(WebBrowser1, &Browser::handOffRequested, m_handOff, &PlayHandOff::deliverRequest);

    m_playerView = new PlayerView(this);
    // The whole of the page's area: the picture is centred in it.
    m_playerView->setGeometry(WebBrowser1->geometry());
    // Above the play page, below the description and the second browser.
    m_playerView->setStackBelow(txtNr);
    m_playerView->stackUnder(txtNr);
    m_records = std::make_unique<library::EpisodeRecords>(conn.connectionName());
    m_session = new player::EpisodeSession(*m_records, m_playerView->player(), this);
    m_playerView->setSession(m_session);
    connect(WebBrowser1, &Browser::pageStarting, this, &frmMain::browser1PageStarting);
    connect(m_session, &player::EpisodeSession::lineRequested, this, &frmMain::clickEpisodeLine);
    connect(m_playerView, &PlayerView::countdownFinished, m_session, &player::EpisodeSession::requestNext);
    connect(m_playerView, &PlayerView::replayRequested, this, [this] { clickEpisodeLine(m_episode.line); });
    connect(m_playerView, &PlayerView::backRequested, this, [this] {
        stopPlayer();
        txtNr->show();
    });
    connect(m_playerView, &PlayerView::copyRequested, this, &frmMain::copyEpisodeAddress);
    connect(m_playerView, &PlayerView::openRequested, this, &frmMain::openEpisodeExternally);
    m_desktop = new DesktopLink(m_session, this, m_services.desktopBus, this);
    connect(m_desktop, &DesktopLink::stopRequested, this, [this] {
        if (casting())
            stopCasting();
        else
            stopPlayer();
    });
    setUpCasting();
}

void frmMain::preparePlayer(int line, const QString &address, const QString &page)
{
    // While a TV plays, the episode clicked goes to the TV in its turn.
    if (!casting())
        stopPlayer();
    m_episode = {m_titleId, line, address};
    // No page for a local copy: nothing is handed over.
    m_playPage = page.isEmpty() ? QUrl() : Browser::addressUrl(page);
    if (page.isEmpty())
        m_handOff->cancel();
    else
        m_handOff->expect(m_playPage, address);
    // The title as the list shows it now: what comes next is of this list.
    QVector<QString> names(PlayUrls.size());
    for (int row = 0; row < ListView1->count(); ++row) {
        QListWidgetItem *item = ListView1->item(row);
        if (const std::optional<int> at = episodeLine(item))
            names[*at] = item->text().remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    }
    m_session->setTitle(m_titleId, txtSearch->text(), PlayUrls, names);
}

void frmMain::browser1PageStarting(const QUrl &url)
{
    // The blank page on the way to the play page, and the play page itself,
    // belong to the episode being started; any other page ends it.
    if (url.matches(QUrl(QStringLiteral("about:blank")), QUrl::None) || url.matches(m_playPage, QUrl::RemoveFragment))
        return;
    // The TV plays on while the user browses.
    if (casting()) {
        m_handOff->cancel();
        return;
    }
    stopPlayer();
}

void frmMain::playHandedOff(const QString &address, const QSize &)
{
    if (address != m_episode.address || !conn.isOpen())
        return;
    if (casting()) {
        if (cast::isCastable(address))
            m_session->play(m_episode.line, address);
        else
            message(CastMenu::notCastableReason(address));
        return;
    }
    m_playerView->setGeometry(WebBrowser1->geometry());
    if (!m_playerView->player()->canPlay(address)) {
        m_playerView->showUnsupported(address);
        return;
    }
    m_session->play(m_episode.line, address);
}

bool frmMain::clickEpisodeLine(int line)
{
    for (int row = 0; row < ListView1->count(); ++row) {
        QListWidgetItem *item = ListView1->item(row);
        if (episodeLine(item) == line) {
            // As if the user had clicked it.
            ListView1->setCurrentItem(item);
            ListView1->scrollToItem(item);
            ListView1_Click();
            return true;
        }
    }
    return false;
}

void frmMain::stopPlayer()
{
    if (m_handOff)
        m_handOff->cancel();
    m_playPage.clear();
    // Where playing stopped is kept before the view lets go of the player.
    if (m_session)
        m_session->stop();
    if (m_playerView)
        m_playerView->stop();
}

} // namespace kinolark::shell
