// Casting to a TV: the episode plays on a renderer of the network instead of
// in the window, through the same episode session; the player area shows
// the cast panel meanwhile.
#include "shell/main_window.h"

#include "cast/cast_metadata.h"
#include "cast/cast_target.h"
#include "cast/renderer_list.h"
#include "player/episode_session.h"
#include "shell/cast_menu.h"
#include "shell/cast_panel.h"
#include "shell/player_controls.h"
#include "shell/player_view.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTimer>

namespace kinolark::shell {

void frmMain::setUpCasting()
{
    m_renderers = new cast::RendererList(m_services.network, this);
    m_castTarget = new cast::CastTarget(this);
    m_castPanel = new CastPanel(m_session, m_castTarget, this);
    m_castPanel->setGeometry(WebBrowser1->geometry());
    m_castPanel->stackUnder(txtNr);
    connect(m_castPanel, &CastPanel::stopRequested, this, &frmMain::stopCasting);
    connect(m_castPanel, &CastPanel::playHereRequested, this, &frmMain::playHere);
    connect(m_renderers, &cast::RendererList::addFinished, this, [this](const QUrl &url, const QString &error) {
        if (!error.isEmpty())
            message(QStringLiteral("无法添加设备 %1：%2").arg(url.toString(), error));
    });
    m_playerView->controls()->addCastButton(castMenu(m_playerView, [this] { return m_episode.line; }));
    // Looked for once the window is up: the search sends on every network.
    if (m_services.findRenderers)
        QTimer::singleShot(0, m_renderers, &cast::RendererList::search);
}

bool frmMain::casting() const
{
    return m_session && m_castTarget && m_session->target() == m_castTarget;
}

QMenu *frmMain::castMenu(QWidget *parent, const std::function<int()> &line)
{
    auto *menu = new CastMenu(m_renderers, parent);
    connect(menu, &CastMenu::rendererChosen, this,
            [this, line](const cast::Renderer &renderer) { castEpisode(line(), renderer); });
    connect(menu, &CastMenu::manualAddRequested, this, &frmMain::addRendererByHand);
    return menu;
}

void frmMain::addRendererByHand()
{
    bool ok = false;
    const QString address = QInputDialog::getText(this, QStringLiteral("手动添加设备"),
                                                  QStringLiteral("电视的设备描述地址（http://…）："),
                                                  QLineEdit::Normal, QStringLiteral("http://"), &ok);
    if (!ok || address.trimmed().isEmpty())
        return;
    const QUrl url(address.trimmed());
    if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty()) {
        message(QStringLiteral("设备描述的地址必须是 http:// 开头的网址。"));
        return;
    }
    m_renderers->addByDescription(url);
}

void frmMain::castEpisode(int line, const cast::Renderer &renderer)
{
    if (line < 0 || line >= PlayUrls.size() || PlayUrls.at(line).isEmpty())
        return;
    const QString address = PlayUrls.at(line);
    if (!cast::isCastable(address)) {
        message(CastMenu::notCastableReason(address));
        return;
    }
    // The episode shown in the window comes to the TV where it was: the
    // window's player stops, and its position is what the TV starts from.
    const bool same = m_session->active() && m_session->line() == line && m_session->address() == address
                      && m_episode.titleId == m_titleId;
    if (!same) {
        m_episode = {m_titleId, line, address};
        QVector<QString> names(PlayUrls.size());
        for (int row = 0; row < ListView1->count(); ++row) {
            QListWidgetItem *item = ListView1->item(row);
            if (const std::optional<int> at = episodeLine(item))
                names[*at] = item->text().remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
        }
        m_session->setTitle(m_titleId, txtSearch->text(), PlayUrls, names);
    }
    m_castTarget->setRenderer(renderer);
    m_castTarget->setTitle(m_session->episodeName(line).trimmed());
    m_session->setTarget(m_castTarget);
    m_playerView->stop();
    txtNr->hide();
    m_castPanel->setGeometry(WebBrowser1->geometry());
    m_castPanel->show();
    m_castPanel->raise();
    m_castPanel->stackUnder(txtNr);
    m_session->play(line, address);
}

void frmMain::stopCasting()
{
    if (!casting())
        return;
    m_session->stop();
    m_session->setTarget(m_playerView->player());
    m_castPanel->hide();
}

void frmMain::playHere()
{
    if (!casting())
        return;
    const int line = m_session->line();
    const QString address = m_session->address();
    // Stopping the TV keeps where it got to, and the window resumes there.
    m_session->setTarget(m_playerView->player());
    m_castPanel->hide();
    if (line >= 0 && m_playerView->player()->canPlay(address))
        m_session->play(line, address);
}

} // namespace kinolark::shell
