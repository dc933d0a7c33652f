#include "shell/player_view.h"

#include "shell/gl_video_surface.h"
#include "shell/software_video_surface.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QOpenGLContext>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

namespace kinolark::shell {

namespace {

constexpr int controlsHeight = 34;
constexpr int controlsShownMs = 2000;
constexpr int resumeNoticeMs = 3000;
constexpr int countdownSeconds = 5;
constexpr double seekStep = 5;
constexpr int volumeStep = 5;

// Where Qt has a working OpenGL context to share, the video is drawn with
// it; elsewhere (a remote display without GLX, for instance) a GL widget
// would bring the window down. KINOLARK_SOFTWARE_VIDEO=1 asks for software.
bool openGlWorks()
{
    if (qEnvironmentVariableIntValue("KINOLARK_SOFTWARE_VIDEO") == 1)
        return false;
    const QOpenGLContext *shared = QOpenGLContext::globalShareContext();
    return shared && shared->isValid();
}

QLabel *overlayLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("QLabel { color: white; background: rgba(0, 0, 0, 170); padding: 8px; }"));
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->hide();
    return label;
}

enum class Glyph { Play, Pause, Sound, Muted, FullScreen, Window };

// The control bar's symbols, drawn here: icon themes differ, and some lack
// them.
QIcon glyph(Glyph which)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(Qt::white);
    switch (which) {
    case Glyph::Play:
        p.drawPolygon(QPolygonF{QPointF(9, 6), QPointF(26, 16), QPointF(9, 26)});
        break;
    case Glyph::Pause:
        p.drawRect(QRectF(8, 7, 5, 18));
        p.drawRect(QRectF(19, 7, 5, 18));
        break;
    case Glyph::Sound:
    case Glyph::Muted:
        p.drawPolygon(QPolygonF{QPointF(4, 12), QPointF(10, 12), QPointF(17, 6), QPointF(17, 26), QPointF(10, 20),
                                QPointF(4, 20)});
        p.setBrush(Qt::NoBrush);
        if (which == Glyph::Sound) {
            p.drawArc(QRectF(14, 9, 10, 14), -60 * 16, 120 * 16);
            p.drawArc(QRectF(14, 4, 16, 24), -60 * 16, 120 * 16);
        } else {
            p.drawLine(QPointF(21, 11), QPointF(29, 21));
            p.drawLine(QPointF(29, 11), QPointF(21, 21));
        }
        break;
    case Glyph::FullScreen:
    case Glyph::Window: {
        // Four corners, pointing out for full screen and in for the window.
        const bool out = which == Glyph::FullScreen;
        const qreal a = out ? 5 : 12, b = out ? 12 : 5;
        p.setBrush(Qt::NoBrush);
        for (const QPointF &corner : {QPointF(0, 0), QPointF(32, 0), QPointF(0, 32), QPointF(32, 32)}) {
            const qreal sx = corner.x() == 0 ? 1 : -1, sy = corner.y() == 0 ? 1 : -1;
            p.drawPolyline(QPolygonF{QPointF(corner.x() + sx * a, corner.y() + sy * b),
                                     QPointF(corner.x() + sx * a, corner.y() + sy * a),
                                     QPointF(corner.x() + sx * b, corner.y() + sy * a)});
        }
        break;
    }
    }
    return QIcon(pixmap);
}

QToolButton *controlButton(QWidget *parent, Glyph icon, const QString &tip)
{
    auto *button = new QToolButton(parent);
    button->setIcon(glyph(icon));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

PlayerView::PlayerView(QWidget *parent, player::Player::Options options)
    : QWidget(parent)
    , m_player(options)
{
    setObjectName(QStringLiteral("PlayerView"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);

    if (openGlWorks()) {
        m_glSurface = new GlVideoSurface(&m_player, this);
        connect(m_glSurface, &GlVideoSurface::ready, this, &PlayerView::startPending);
        m_surface = m_glSurface;
    } else {
        m_swSurface = new SoftwareVideoSurface(&m_player, this);
        m_surface = m_swSurface;
    }
    m_surface->setMouseTracking(true);
    createOverlays();
    createControls();

    m_controlsTimer.setSingleShot(true);
    connect(&m_controlsTimer, &QTimer::timeout, this, [this] {
        if (!m_positionSlider->isSliderDown())
            m_controls->hide();
    });
    m_noticeTimer.setSingleShot(true);
    connect(&m_noticeTimer, &QTimer::timeout, m_notice, &QWidget::hide);
    m_countdown.setInterval(1000);
    connect(&m_countdown, &QTimer::timeout, this, &PlayerView::tickCountdown);

    connect(&m_player, &player::Player::stateChanged, this, &PlayerView::showStatus);
    connect(&m_player, &player::Player::positionChanged, this, &PlayerView::showPosition);
    connect(&m_player, &player::Player::durationChanged, this, &PlayerView::showPosition);
    connect(&m_player, &player::Player::volumeChanged, this, &PlayerView::showVolume);
    hide();
}

PlayerView::~PlayerView()
{
    // The renderers go before the player they draw.
    delete m_surface;
    m_surface = nullptr;
}

void PlayerView::createOverlays()
{
    m_status = overlayLabel(this);
    m_notice = overlayLabel(this);
    m_notice->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_notice->setWordWrap(false);

    m_countdownPanel = new QWidget(this);
    m_countdownPanel->setStyleSheet(QStringLiteral("background: rgba(0, 0, 0, 170); color: white;"));
    auto *countdownRow = new QHBoxLayout(m_countdownPanel);
    m_countdownText = new QLabel(m_countdownPanel);
    m_countdownText->setTextFormat(Qt::PlainText);
    auto *cancel = new QPushButton(QStringLiteral("取消"), m_countdownPanel);
    cancel->setToolTip(QStringLiteral("不播放下一集（Esc）"));
    cancel->setFocusPolicy(Qt::NoFocus);
    connect(cancel, &QPushButton::clicked, this, &PlayerView::cancelCountdown);
    countdownRow->addWidget(m_countdownText, 1);
    countdownRow->addWidget(cancel);
    m_countdownPanel->hide();

    m_unsupported = new QWidget(this);
    m_unsupported->setObjectName(QStringLiteral("unsupported"));
    m_unsupported->setStyleSheet(QStringLiteral("#unsupported { background: black; } QLabel { color: white; }"));
    auto *column = new QVBoxLayout(m_unsupported);
    column->addStretch(1);
    m_unsupportedText = new QLabel(m_unsupported);
    m_unsupportedText->setTextFormat(Qt::PlainText);
    m_unsupportedText->setAlignment(Qt::AlignCenter);
    m_unsupportedText->setWordWrap(true);
    column->addWidget(m_unsupportedText);
    auto *buttons = new QHBoxLayout;
    auto *copy = new QPushButton(QStringLiteral("复制播放地址"), m_unsupported);
    auto *open = new QPushButton(QStringLiteral("用外部播放器打开"), m_unsupported);
    copy->setToolTip(QStringLiteral("把这个播放地址复制到剪贴板"));
    open->setToolTip(QStringLiteral("用系统中能打开这个地址的播放器播放"));
    connect(copy, &QPushButton::clicked, this, [this] { emit copyRequested(m_address); });
    connect(open, &QPushButton::clicked, this, [this] { emit openRequested(m_address); });
    buttons->addStretch(1);
    buttons->addWidget(copy);
    buttons->addWidget(open);
    buttons->addStretch(1);
    column->addLayout(buttons);
    column->addStretch(1);
    m_unsupported->hide();
}

void PlayerView::createControls()
{
    m_controls = new QWidget(this);
    m_controls->setObjectName(QStringLiteral("controls"));
    m_controls->setAutoFillBackground(true);
    m_controls->setMouseTracking(true);
    QPalette bar = m_controls->palette();
    bar.setColor(QPalette::Window, QColor(32, 32, 32));
    bar.setColor(QPalette::WindowText, Qt::white);
    m_controls->setPalette(bar);
    auto *row = new QHBoxLayout(m_controls);
    row->setContentsMargins(4, 2, 4, 2);

    m_playButton = controlButton(m_controls, Glyph::Pause, QStringLiteral("播放/暂停（空格键）"));
    connect(m_playButton, &QToolButton::clicked, &m_player, &player::Player::togglePause);
    m_positionSlider = new QSlider(Qt::Horizontal, m_controls);
    m_positionSlider->setToolTip(QStringLiteral("播放进度（←/→ 快退/快进 5 秒，Home 从头播放）"));
    m_positionSlider->setFocusPolicy(Qt::NoFocus);
    connect(m_positionSlider, &QSlider::sliderReleased, this,
            [this] { m_player.seekTo(m_positionSlider->value()); });
    m_timeText = new QLabel(m_controls);
    m_timeText->setTextFormat(Qt::PlainText);
    m_timeText->setToolTip(QStringLiteral("已播放 / 总时长"));
    m_muteButton = controlButton(m_controls, Glyph::Sound, QStringLiteral("静音（M）"));
    m_muteButton->setCheckable(true);
    connect(m_muteButton, &QToolButton::clicked, this, [this](bool on) { m_player.setMuted(on); });
    m_volumeSlider = new QSlider(Qt::Horizontal, m_controls);
    m_volumeSlider->setRange(0, 100);
    m_volumeSlider->setFixedWidth(70);
    m_volumeSlider->setToolTip(QStringLiteral("音量（↑/↓）"));
    m_volumeSlider->setFocusPolicy(Qt::NoFocus);
    connect(m_volumeSlider, &QSlider::valueChanged, this, [this](int volume) { m_player.setVolume(volume); });
    m_fullScreenButton = controlButton(m_controls, Glyph::FullScreen, QStringLiteral("全屏（F 或双击，Esc 退出）"));
    connect(m_fullScreenButton, &QToolButton::clicked, this, [this] { setFullScreen(!m_fullScreen); });

    row->addWidget(m_playButton);
    row->addWidget(m_positionSlider, 1);
    row->addWidget(m_timeText);
    row->addWidget(m_muteButton);
    row->addWidget(m_volumeSlider);
    row->addWidget(m_fullScreenButton);
    showVolume();
    showPosition();
    m_controls->hide();
}

void PlayerView::layOut()
{
    const QRect all = rect();
    m_surface->setGeometry(all);
    m_unsupported->setGeometry(all);
    m_controls->setGeometry(0, height() - controlsHeight, width(), controlsHeight);
    const int statusWidth = qMin(width() - 40, 520);
    m_status->setFixedWidth(qMax(statusWidth, 10));
    m_status->adjustSize();
    m_status->move((width() - m_status->width()) / 2, (height() - m_status->height()) / 2);
    m_notice->adjustSize();
    m_notice->move(12, 12);
    m_countdownPanel->adjustSize();
    m_countdownPanel->move((width() - m_countdownPanel->width()) / 2, height() - controlsHeight - 20
                                                                           - m_countdownPanel->height());
}

void PlayerView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layOut();
}

QString PlayerView::shownAddress(const QString &address) const
{
    // One line, whatever the address holds, shortened in the middle.
    QString line = address;
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return fontMetrics().elidedText(line, Qt::ElideMiddle, qMax(width() - 60, 100));
}

void PlayerView::play(const QString &address, double start)
{
    cancelCountdown();
    m_unsupported->hide();
    m_address = address;
    m_pendingAddress = address;
    m_pendingStart = start;
    m_pending = true;
    if (!m_fullScreen && m_stackBelow)
        stackUnder(m_stackBelow);
    show();
    setFocus();
    if (start > 0)
        showNotice(QStringLiteral("从 %1 继续播放").arg(player::clockText(start)), resumeNoticeMs);
    else
        m_notice->hide();
    const bool ready = m_glSurface ? m_glSurface->prepare() : m_swSurface->prepare();
    // A GL surface without its context yet says when it is ready.
    if (ready || !m_glSurface || !m_glSurface->isVisible())
        startPending();
}

void PlayerView::startPending()
{
    if (!m_pending)
        return;
    m_pending = false;
    m_shownSecond = -1;
    m_player.play(m_pendingAddress, m_pendingStart);
    showStatus();
}

void PlayerView::showUnsupported(const QString &address, const QString &why)
{
    cancelCountdown();
    m_pending = false;
    m_player.stop();
    m_address = address;
    m_status->hide();
    m_notice->hide();
    m_controls->hide();
    m_unsupportedText->setText((why.isEmpty() ? QStringLiteral("这个播放地址需要专用播放器，本程序无法播放。") : why)
                               + QLatin1Char('\n') + shownAddress(address));
    if (!m_fullScreen && m_stackBelow)
        stackUnder(m_stackBelow);
    show();
    m_unsupported->show();
    m_unsupported->raise();
}

void PlayerView::stop()
{
    m_pending = false;
    cancelCountdown();
    m_player.stop();
    if (m_glSurface)
        m_glSurface->clear();
    else
        m_swSurface->clear();
    setFullScreen(false);
    m_unsupported->hide();
    m_notice->hide();
    m_controls->hide();
    hide();
}

void PlayerView::showStatus()
{
    using State = player::Player::State;
    const State state = m_player.state();
    QString text = m_player.stateText();
    if (state == State::Failed)
        text += QLatin1Char('\n') + shownAddress(m_player.address());
    m_status->setText(text);
    const bool quiet = state == State::Playing || state == State::Idle;
    m_status->setVisible(!quiet && !m_unsupported->isVisible());
    m_status->raise();
    layOut();
    m_playButton->setIcon(glyph(state == State::Playing || state == State::Buffering ? Glyph::Pause : Glyph::Play));
}

void PlayerView::showPosition()
{
    const double duration = m_player.duration();
    const double position = m_player.position();
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

void PlayerView::showVolume()
{
    const QSignalBlocker quiet(m_volumeSlider);
    m_volumeSlider->setValue(m_player.volume());
    m_muteButton->setChecked(m_player.muted());
    m_muteButton->setIcon(glyph(m_player.muted() ? Glyph::Muted : Glyph::Sound));
}

void PlayerView::showNotice(const QString &text, int ms)
{
    m_notice->setText(text);
    m_notice->adjustSize();
    m_notice->show();
    m_notice->raise();
    m_noticeTimer.start(ms);
}

void PlayerView::showControlsForAWhile()
{
    if (m_unsupported->isVisible() || isHidden())
        return;
    m_controls->show();
    m_controls->raise();
    m_controlsTimer.start(controlsShownMs);
}

void PlayerView::startCountdown(const QString &nextName)
{
    m_nextName = nextName;
    m_countdownLeft = countdownSeconds;
    m_countdown.start();
    m_countdownText->setText(QStringLiteral("即将播放下一集：%1（%2 秒）").arg(m_nextName).arg(m_countdownLeft));
    m_countdownPanel->show();
    m_countdownPanel->raise();
    layOut();
}

void PlayerView::tickCountdown()
{
    if (--m_countdownLeft > 0) {
        m_countdownText->setText(QStringLiteral("即将播放下一集：%1（%2 秒）").arg(m_nextName).arg(m_countdownLeft));
        return;
    }
    cancelCountdown();
    emit countdownFinished();
}

void PlayerView::cancelCountdown()
{
    m_countdown.stop();
    m_countdownPanel->hide();
}

void PlayerView::setFullScreen(bool on)
{
    QWidget *frame = parentWidget();
    if (on == m_fullScreen || !frame || (on && isHidden()))
        return;
    QWidget *top = window();
    m_fullScreen = on;
    if (on) {
        m_normalGeometry = geometry();
        m_windowMinimum = top->minimumSize();
        m_windowMaximum = top->maximumSize();
        top->setMinimumSize(0, 0);
        top->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        frame->installEventFilter(this);
        raise();
        top->showFullScreen();
        setGeometry(frame->rect());
        setFocus();
    } else {
        frame->removeEventFilter(this);
        top->showNormal();
        top->setMinimumSize(m_windowMinimum);
        top->setMaximumSize(m_windowMaximum);
        setGeometry(m_normalGeometry);
        if (m_stackBelow)
            stackUnder(m_stackBelow);
    }
    m_fullScreenButton->setIcon(glyph(on ? Glyph::Window : Glyph::FullScreen));
}

bool PlayerView::eventFilter(QObject *watched, QEvent *event)
{
    // In full screen the view follows the window's size.
    if (m_fullScreen && watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void PlayerView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
        m_player.togglePause();
        break;
    case Qt::Key_Left:
        m_player.seekBy(-seekStep);
        break;
    case Qt::Key_Right:
        m_player.seekBy(seekStep);
        break;
    case Qt::Key_Up:
        m_player.setVolume(m_player.volume() + volumeStep);
        break;
    case Qt::Key_Down:
        m_player.setVolume(m_player.volume() - volumeStep);
        break;
    case Qt::Key_M:
        m_player.setMuted(!m_player.muted());
        break;
    case Qt::Key_F:
        setFullScreen(!m_fullScreen);
        break;
    case Qt::Key_Home:
        m_player.seekTo(0);
        m_notice->hide();
        break;
    case Qt::Key_Escape:
        if (m_countdown.isActive())
            cancelCountdown();
        else if (m_fullScreen)
            setFullScreen(false);
        else
            return QWidget::keyPressEvent(event);
        break;
    default:
        return QWidget::keyPressEvent(event);
    }
    showControlsForAWhile();
}

void PlayerView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && !m_unsupported->isVisible())
        setFullScreen(!m_fullScreen);
}

void PlayerView::mouseMoveEvent(QMouseEvent *event)
{
    QWidget::mouseMoveEvent(event);
    showControlsForAWhile();
}

void PlayerView::mousePressEvent(QMouseEvent *event)
{
    setFocus();
    QWidget::mousePressEvent(event);
}

QString PlayerView::statusText() const
{
    return m_status->isVisible() ? m_status->text() : QString();
}

QString PlayerView::noticeText() const
{
    return m_notice->isVisible() ? m_notice->text() : QString();
}

bool PlayerView::showsUnsupported() const
{
    return m_unsupported->isVisible();
}

QString PlayerView::unsupportedText() const
{
    return m_unsupported->isVisible() ? m_unsupportedText->text() : QString();
}

bool PlayerView::showsControls() const
{
    return m_controls->isVisible();
}

} // namespace kinolark::shell
