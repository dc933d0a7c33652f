// The built-in player behind the play page: the page hands its address over,
// the player plays it over WebBrowser1, remembers where it stopped and moves
// on to the next episode.
#include "shell/main_window.h"

#include "library/watch_positions.h"
#include "player/play_rules.h"
#include "shell/browser.h"
#include "shell/play_hand_off.h"
#include "shell/player_view.h"

#include <QDateTime>
#include <QListWidget>
#include <QPlainTextEdit>

namespace kinolark::shell {

namespace {

// The page's player settings; the player area of the page is 680 × 445.
QSize playerSize(const QSize &asked, const QSize &room)
{
    const QSize size = asked.width() > 0 && asked.height() > 0 ? asked : QSize(680, 445);
    return size.boundedTo(room);
}

} // namespace

void frmMain::setUpPlayer()
{
    m_handOff = new PlayHandOff(this);
    connect(m_handOff, &PlayHandOff::handedOff, this, &frmMain::playHandedOff);
    connect(WebBrowser1, &Browser::handOffRequested, m_handOff, &PlayHandOff::deliverRequest);

    m_playerView = new PlayerView(this);
    m_playerView->setGeometry(QRect(WebBrowser1->pos(), QSize(680, 445)));
    // Above the play page, below the description and the second browser.
    m_playerView->setStackBelow(txtNr);
    m_playerView->stackUnder(txtNr);
    connect(WebBrowser1, &Browser::pageStarting, this, &frmMain::browser1PageStarting);
    connect(m_playerView->player(), &player::Player::stopped, this, [this](const player::Player::Stop &stop) {
        playerStopped(stop.address, stop.position, stop.duration, stop.loaded, stop.reachedEnd);
    });
    connect(m_playerView, &PlayerView::countdownFinished, this, &frmMain::playNextEpisode);
    connect(m_playerView, &PlayerView::copyRequested, this, &frmMain::copyEpisodeAddress);
    connect(m_playerView, &PlayerView::openRequested, this, &frmMain::openEpisodeExternally);
}

void frmMain::preparePlayer(int line, const QString &address, const QString &page)
{
    stopPlayer();
    m_episode = {m_titleId, line, address};
    m_playPage = Browser::addressUrl(page);
    m_handOff->expect(m_playPage, address);
}

void frmMain::browser1PageStarting(const QUrl &url)
{
    // The blank page on the way to the play page, and the play page itself,
    // belong to the episode being started; any other page ends it.
    if (url.matches(QUrl(QStringLiteral("about:blank")), QUrl::None) || url.matches(m_playPage, QUrl::RemoveFragment))
        return;
    stopPlayer();
}

void frmMain::playHandedOff(const QString &address, const QSize &size)
{
    if (address != m_episode.address || !conn.isOpen())
        return;
    m_playerView->setGeometry(QRect(WebBrowser1->pos(), playerSize(size, WebBrowser1->size())));
    if (!m_playerView->player()->canPlay(address)) {
        m_playerView->showUnsupported(address);
        return;
    }
    library::WatchPositions positions(conn.database());
    const std::optional<double> resume =
        player::resumePosition(positions.entry(m_episode.titleId, m_episode.line), address);
    m_playerView->play(address, resume.value_or(0));
}

void frmMain::playerStopped(const QString &address, double position, double duration, bool loaded,
                            bool reachedEnd)
{
    if (address != m_episode.address || !conn.isOpen())
        return;
    if (loaded) {
        library::WatchPositions positions(conn.database());
        if (!positions.savePosition(m_episode.titleId, m_episode.line, address,
                                    player::positionToKeep(position, duration), duration,
                                    QDateTime::currentDateTimeUtc()))
            qWarning("kinolark: the watch position was not stored: %s", qPrintable(positions.lastError()));
    }
    if (!reachedEnd)
        return;
    // The next episode is on the next play-list line that yields one.
    for (int line = m_episode.line + 1; line < PlayUrls.size(); ++line) {
        if (PlayUrls.at(line).isEmpty())
            continue;
        for (int row = 0; row < ListView1->count(); ++row) {
            QListWidgetItem *item = ListView1->item(row);
            if (episodeLine(item) == line) {
                m_nextLine = line;
                m_playerView->startCountdown(item->text().remove(QLatin1Char('\n')).remove(QLatin1Char('\r')));
                return;
            }
        }
        return;
    }
}

void frmMain::playNextEpisode()
{
    for (int row = 0; row < ListView1->count(); ++row) {
        QListWidgetItem *item = ListView1->item(row);
        if (episodeLine(item) == m_nextLine) {
            // As if the user had clicked it.
            ListView1->setCurrentItem(item);
            ListView1->scrollToItem(item);
            ListView1_Click();
            return;
        }
    }
}

void frmMain::stopPlayer()
{
    if (m_handOff)
        m_handOff->cancel();
    m_playPage.clear();
    if (m_playerView)
        m_playerView->stop();
}

} // namespace kinolark::shell
