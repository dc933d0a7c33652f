#include "shell/cast_panel.h"

#include "cast/cast_target.h"
#include "player/episode_session.h"
#include "player/play_rules.h"
#include "shell/player_icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

namespace kinolark::shell {

namespace {

constexpr int countdownSeconds = 5;

QLabel *line(QWidget *parent, qreal scale = 1)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    label->setFont(font);
    return label;
}

} // namespace

CastPanel::CastPanel(player::EpisodeSession *session, cast::CastTarget *target, QWidget *parent)
    : QWidget(parent)
    , m_session(session)
    , m_target(target)
{
    setObjectName(QStringLiteral("castPanel"));
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("#castPanel { background: black; } QLabel { color: white; }"));
    auto *column = new QVBoxLayout(this);
    column->addStretch(1);
    m_headline = line(this, 1.5);
    m_episode = line(this, 1.2);
    m_time = line(this);
    m_message = line(this);
    m_message->setStyleSheet(QStringLiteral("QLabel { color: #ffd27f; }"));
    column->addWidget(m_headline);
    column->addWidget(m_episode);
    column->addWidget(m_time);

    auto *controls = new QHBoxLayout;
    m_play = new QToolButton(this);
    m_play->setAutoRaise(true);
    m_play->setToolTip(QStringLiteral("播放/暂停"));
    connect(m_play, &QToolButton::clicked, this, [this] { m_session->togglePause(); });
    m_position = new QSlider(Qt::Horizontal, this);
    m_position->setToolTip(QStringLiteral("电视上的播放进度"));
    connect(m_position, &QSlider::sliderReleased, this, [this] { m_session->seekTo(m_position->value()); });
    m_mute = new QToolButton(this);
    m_mute->setAutoRaise(true);
    m_mute->setToolTip(QStringLiteral("电视静音"));
    connect(m_mute, &QToolButton::clicked, this, [this] { m_session->setMuted(!m_target->muted()); });
    m_volume = new QSlider(Qt::Horizontal, this);
    m_volume->setRange(0, 100);
    m_volume->setFixedWidth(80);
    m_volume->setToolTip(QStringLiteral("电视音量"));
    connect(m_volume, &QSlider::sliderReleased, this, [this] { m_session->setVolume(m_volume->value()); });
    controls->addSpacing(40);
    controls->addWidget(m_play);
    controls->addWidget(m_position, 1);
    controls->addWidget(m_mute);
    controls->addWidget(m_volume);
    controls->addSpacing(40);
    column->addLayout(controls);

    auto *buttons = new QHBoxLayout;
    m_stop = new QPushButton(QStringLiteral("停止投屏"), this);
    m_here = new QPushButton(QStringLiteral("在本机播放"), this);
    m_here->setToolTip(QStringLiteral("停止电视上的播放，从电视播到的位置在本机继续播放"));
    connect(m_stop, &QPushButton::clicked, this, &CastPanel::stopRequested);
    connect(m_here, &QPushButton::clicked, this, &CastPanel::playHereRequested);
    buttons->addStretch(1);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_here);
    buttons->addStretch(1);
    column->addLayout(buttons);
    column->addWidget(m_message);
    column->addStretch(1);

    m_countdown.setInterval(1000);
    connect(&m_countdown, &QTimer::timeout, this, &CastPanel::tick);
    connect(m_target, &player::PlaybackTarget::stateChanged, this, &CastPanel::showState);
    connect(m_target, &player::PlaybackTarget::positionChanged, this, &CastPanel::showPosition);
    connect(m_target, &player::PlaybackTarget::durationChanged, this, &CastPanel::showPosition);
    connect(m_target, &player::PlaybackTarget::volumeChanged, this, [this] {
        const QSignalBlocker quiet(m_volume);
        if (!m_volume->isSliderDown())
            m_volume->setValue(m_target->volume());
        m_mute->setIcon(glyph(m_target->muted() ? Glyph::Muted : Glyph::Sound));
    });
    connect(&m_target->session(), &cast::CastSession::failed, this, [this](const QString &text) {
        m_countdown.stop();
        m_message->setText(text);
        m_message->show();
    });
    connect(&m_target->session(), &cast::CastSession::commandFailed, this,
            [this](const QString &text) { m_message->setText(text); });
    connect(session, &player::EpisodeSession::started, this, [this] {
        if (m_session->target() != m_target)
            return;
        m_countdown.stop();
        m_message->clear();
        m_headline->setText(headline());
        m_episode->setText(m_session->episodeName(m_session->line()).trimmed());
        showState();
        showPosition();
    });
    connect(session, &player::EpisodeSession::ended, this, [this](std::optional<int> next) {
        if (m_session->target() != m_target)
            return;
        if (!next) {
            m_message->setText(QStringLiteral("播放结束"));
            return;
        }
        m_nextLine = *next;
        m_left = countdownSeconds;
        m_countdown.start();
        tick();
    });
    m_mute->setIcon(glyph(Glyph::Sound));
    m_play->setIcon(glyph(Glyph::Pause));
    hide();
}

QString CastPanel::headline() const
{
    return QStringLiteral("正在投屏到 %1").arg(m_target->session().renderer().friendlyName);
}

QString CastPanel::messageText() const
{
    return m_message->text();
}

void CastPanel::showState()
{
    using State = player::PlaybackTarget::State;
    const State state = m_target->state();
    m_play->setIcon(glyph(state == State::Paused ? Glyph::Play : Glyph::Pause));
    m_play->setEnabled(state == State::Playing || state == State::Paused);
    if (state == State::Connecting)
        m_message->setText(QStringLiteral("正在连接电视…"));
    else if (state == State::Playing || state == State::Paused)
        m_message->clear();
}

void CastPanel::showPosition()
{
    const double duration = m_target->duration();
    const double position = m_target->position();
    m_position->setEnabled(duration > 0);
    if (!m_position->isSliderDown()) {
        m_position->setRange(0, int(duration));
        m_position->setValue(int(position));
    }
    m_time->setText(player::clockText(position) + QStringLiteral(" / ")
                    + player::clockText(duration > 0 ? duration : -1));
}

void CastPanel::tick()
{
    if (m_left <= 0) {
        m_countdown.stop();
        m_message->clear();
        if (m_session)
            m_session->requestNext();
        return;
    }
    m_message->setText(QStringLiteral("即将投屏下一集：%1（%2 秒）")
                           .arg(m_session->episodeName(m_nextLine).trimmed())
                           .arg(m_left));
    --m_left;
}

} // namespace kinolark::shell
