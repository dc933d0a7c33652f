#include "shell/player_controls.h"

#include "player/episode_session.h"
#include "player/player.h"
#include "shell/player_icons.h"

#include <QActionGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QToolButton>

namespace kinolark::shell {

namespace {

QToolButton *barButton(QWidget *parent, const QString &tip)
{
    auto *button = new QToolButton(parent);
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QToolButton *menuButton(QWidget *parent, const QString &text, const QString &tip, QMenu *menu)
{
    QToolButton *button = barButton(parent, tip);
    button->setText(text);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setMenu(menu);
    button->setStyleSheet(QStringLiteral("QToolButton { color: white; padding: 0 4px; }"
                                         "QToolButton::menu-indicator { image: none; }"));
    return button;
}

QString trackName(const player::Track &track, int number)
{
    QString name = track.title.trimmed();
    if (!track.language.isEmpty())
        name = name.isEmpty() ? track.language : name + QStringLiteral("（") + track.language + QStringLiteral("）");
    if (name.isEmpty())
        name = (track.kind == player::Track::Kind::Audio ? QStringLiteral("音轨 %1") : QStringLiteral("字幕 %1"))
                   .arg(number);
    if (track.external)
        name += QStringLiteral(" [文件]");
    return name;
}

} // namespace

PlayerControls::PlayerControls(player::EpisodeSession *session, player::Player *player, QWidget *parent)
    : QWidget(parent)
    , m_session(session)
    , m_player(player)
{
    setObjectName(QStringLiteral("controls"));
    setAutoFillBackground(true);
    setMouseTracking(true);
    QPalette bar = palette();
    bar.setColor(QPalette::Window, QColor(32, 32, 32));
    bar.setColor(QPalette::WindowText, Qt::white);
    setPalette(bar);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(2);

    m_playButton = barButton(this, QStringLiteral("播放/暂停（空格键）"));
    m_playButton->setIcon(glyph(Glyph::Pause));
    connect(m_playButton, &QToolButton::clicked, this, [this] { m_session->togglePause(); });
    m_positionSlider = new QSlider(Qt::Horizontal, this);
    m_positionSlider->setToolTip(QStringLiteral("播放进度（←/→ 快退/快进 5 秒，Shift 加 ←/→ 60 秒，Home 从头播放）"));
    m_positionSlider->setFocusPolicy(Qt::NoFocus);
    connect(m_positionSlider, &QSlider::sliderReleased, this,
            [this] { m_session->seekTo(m_positionSlider->value()); });
    m_timeText = new QLabel(this);
    m_timeText->setTextFormat(Qt::PlainText);
    m_timeText->setToolTip(QStringLiteral("已播放 / 总时长"));

    m_speedMenu = new QMenu(this);
    connect(m_speedMenu, &QMenu::aboutToShow, this, &PlayerControls::fillSpeedMenu);
    m_speedButton = menuButton(this, QString(), QStringLiteral("倍速（[ 减慢，] 加快，Backspace 恢复 1×）"), m_speedMenu);
    m_skipMenu = new QMenu(this);
    connect(m_skipMenu, &QMenu::aboutToShow, this, &PlayerControls::fillSkipMenu);
    m_skipButton = menuButton(this, QStringLiteral("片头片尾"),
                              QStringLiteral("跳过片头片尾（Ctrl+[ 片头结束，Ctrl+] 片尾开始，Ctrl+Backspace 清除）"),
                              m_skipMenu);
    m_trackMenu = new QMenu(this);
    connect(m_trackMenu, &QMenu::aboutToShow, this, &PlayerControls::fillTrackMenu);
    m_trackButton = menuButton(this, QStringLiteral("音轨/字幕"), QStringLiteral("选择音轨和字幕，或加载字幕文件"),
                               m_trackMenu);

    // Not a checkable button: a checked one is drawn sunken and dim.
    m_muteButton = barButton(this, QStringLiteral("静音（M）"));
    connect(m_muteButton, &QToolButton::clicked, this, [this] { m_session->setMuted(!m_player->muted()); });
    m_volumeSlider = new QSlider(Qt::Horizontal, this);
    m_volumeSlider->setRange(0, 100);
    m_volumeSlider->setFixedWidth(60);
    m_volumeSlider->setToolTip(QStringLiteral("音量（↑/↓）"));
    m_volumeSlider->setFocusPolicy(Qt::NoFocus);
    connect(m_volumeSlider, &QSlider::valueChanged, this, [this](int volume) { m_session->setVolume(volume); });
    m_fullScreenButton = barButton(this, QStringLiteral("全屏（F 或双击，Esc 退出）"));
    m_fullScreenButton->setIcon(glyph(Glyph::FullScreen));
    connect(m_fullScreenButton, &QToolButton::clicked, this, &PlayerControls::fullScreenClicked);

    row->addWidget(m_playButton);
    row->addWidget(m_positionSlider, 1);
    row->addWidget(m_timeText);
    row->addWidget(m_speedButton);
    row->addWidget(m_skipButton);
    row->addWidget(m_trackButton);
    row->addWidget(m_muteButton);
    row->addWidget(m_volumeSlider);
    row->addWidget(m_fullScreenButton);

    connect(m_player, &player::Player::stateChanged, this, &PlayerControls::showState);
    connect(m_player, &player::Player::positionChanged, this, &PlayerControls::showPosition);
    connect(m_player, &player::Player::durationChanged, this, &PlayerControls::showPosition);
    connect(m_player, &player::Player::volumeChanged, this, &PlayerControls::showVolume);
    connect(m_session, &player::EpisodeSession::rateChanged, this, &PlayerControls::showSpeed);
    showVolume();
    showPosition();
    showSpeed();
}

bool PlayerControls::menuOpen() const
{
    return m_speedMenu->isVisible() || m_skipMenu->isVisible() || m_trackMenu->isVisible();
}

void PlayerControls::setFullScreen(bool on)
{
    m_fullScreenButton->setIcon(glyph(on ? Glyph::Window : Glyph::FullScreen));
}

void PlayerControls::addCastButton(QMenu *menu)
{
    QToolButton *button = menuButton(this, QStringLiteral("投屏"), QStringLiteral("在电视上播放这一集"), menu);
    auto *row = static_cast<QHBoxLayout *>(layout());
    row->insertWidget(row->indexOf(m_trackButton) + 1, button);
}

QString PlayerControls::speedText() const
{
    return m_speedButton->text();
}

void PlayerControls::showState()
{
    using State = player::PlaybackTarget::State;
    const State state = m_player->state();
    m_playButton->setIcon(glyph(state == State::Playing || state == State::Buffering ? Glyph::Pause : Glyph::Play));
}

void PlayerControls::showPosition()
{
    const double duration = m_player->duration();
    const double position = m_player->position();
    m_positionSlider->setEnabled(duration > 0);
    if (!m_positionSlider->isSliderDown()) {
        m_positionSlider->setRange(0, int(duration));
        m_positionSlider->setValue(int(position));
    }
    const qint64 second = qint64(position) * 100000 + qint64(duration);
    if (second == m_shownSecond)
        return;
    m_shownSecond = second;
    m_timeText->setText(player::clockText(position) + QStringLiteral(" / ")
                        + player::clockText(duration > 0 ? duration : -1));
}

void PlayerControls::showVolume()
{
    const QSignalBlocker quiet(m_volumeSlider);
    m_volumeSlider->setValue(m_player->volume());
    m_muteButton->setIcon(glyph(m_player->muted() ? Glyph::Muted : Glyph::Sound));
    m_muteButton->setToolTip(m_player->muted() ? QStringLiteral("取消静音（M）") : QStringLiteral("静音（M）"));
}

void PlayerControls::showSpeed()
{
    m_speedButton->setText(player::rateText(m_session ? m_session->rate() : 1));
}

void PlayerControls::fillSpeedMenu()
{
    m_speedMenu->clear();
    auto *group = new QActionGroup(m_speedMenu);
    const QList<double> &rates = player::offeredRates();
    // Fastest on top, as the keys go.
    for (auto rate = rates.crbegin(); rate != rates.crend(); ++rate) {
        QAction *action = m_speedMenu->addAction(player::rateText(*rate));
        action->setCheckable(true);
        action->setChecked(*rate == m_session->rate());
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, value = *rate] { m_session->setRate(value); });
    }
}

void PlayerControls::fillSkipMenu()
{
    m_skipMenu->clear();
    const player::TitleSettings settings = m_session->settings();
    const auto at = [](const std::optional<double> &seconds) {
        return seconds ? QStringLiteral("（%1）").arg(player::clockText(*seconds)) : QString();
    };
    QAction *opening = m_skipMenu->addAction(QStringLiteral("设当前位置为片头结束") + at(settings.openingEnd));
    connect(opening, &QAction::triggered, this, [this] {
        const QString said = m_session->markOpeningEnd();
        emit note(said.isEmpty() ? QStringLiteral("片头结束：%1").arg(player::clockText(m_player->position())) : said);
    });
    QAction *ending = m_skipMenu->addAction(QStringLiteral("设当前位置为片尾开始")
                                            + (settings.endingBefore ? QStringLiteral("（结束前 %1）")
                                                                           .arg(player::clockText(*settings.endingBefore))
                                                                     : QString()));
    connect(ending, &QAction::triggered, this, [this] {
        const QString said = m_session->markEndingStart();
        emit note(said.isEmpty() ? QStringLiteral("片尾开始：%1").arg(player::clockText(m_player->position())) : said);
    });
    QAction *clear = m_skipMenu->addAction(QStringLiteral("清除片头片尾设置"));
    clear->setEnabled(settings.openingEnd || settings.endingBefore);
    connect(clear, &QAction::triggered, this, [this] {
        m_session->clearSkip();
        emit note(QStringLiteral("已清除片头片尾设置"));
    });
    m_skipMenu->addSeparator();
    QAction *skip = m_skipMenu->addAction(QStringLiteral("跳过片头片尾"));
    skip->setCheckable(true);
    skip->setChecked(settings.skip);
    connect(skip, &QAction::toggled, this, [this](bool on) { m_session->setSkipEnabled(on); });
}

void PlayerControls::fillTrackMenu()
{
    m_trackMenu->clear();
    const QList<player::Track> tracks = m_player->tracks();
    for (const player::Track::Kind kind : {player::Track::Kind::Audio, player::Track::Kind::Subtitle}) {
        m_trackMenu->addSection(kind == player::Track::Kind::Audio ? QStringLiteral("音轨") : QStringLiteral("字幕"));
        auto *group = new QActionGroup(m_trackMenu);
        int number = 0;
        bool anySelected = false;
        for (const player::Track &track : tracks) {
            if (track.kind != kind)
                continue;
            QAction *action = m_trackMenu->addAction(trackName(track, ++number));
            action->setCheckable(true);
            action->setChecked(track.selected);
            anySelected = anySelected || track.selected;
            group->addAction(action);
            connect(action, &QAction::triggered, this,
                    [this, kind, id = track.id] { m_player->selectTrack(kind, id); });
        }
        if (kind == player::Track::Kind::Audio && number == 0)
            m_trackMenu->addAction(QStringLiteral("（没有音轨）"))->setEnabled(false);
        if (kind == player::Track::Kind::Subtitle) {
            QAction *off = m_trackMenu->addAction(QStringLiteral("关闭字幕"));
            off->setCheckable(true);
            off->setChecked(!anySelected);
            group->addAction(off);
            connect(off, &QAction::triggered, this, [this] { m_player->selectTrack(player::Track::Kind::Subtitle, 0); });
        }
    }
    m_trackMenu->addSeparator();
    QAction *load = m_trackMenu->addAction(QStringLiteral("加载字幕文件…"));
    connect(load, &QAction::triggered, this, &PlayerControls::subtitleFileWanted);
}

} // namespace kinolark::shell
