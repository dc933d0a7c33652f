#include "shell/player_view.h"

#include "player/episode_session.h"
#include "shell/gl_video_surface.h"
#include "shell/player_controls.h"
#include "shell/player_panels.h"
#include "shell/software_video_surface.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QOpenGLContext>
#include <QPushButton>
#include <QStandardPaths>

namespace kinolark::shell {

namespace {

constexpr int controlsHeight = 34;
constexpr int controlsShownMs = 2000;
constexpr int resumeNoticeMs = 3000;
constexpr int skippedNoticeMs = 3000;
constexpr int countdownSeconds = 5;
constexpr double seekStep = 5;
constexpr double longSeekStep = 60;
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

bool isSubtitleFile(const QString &path)
{
    static const QStringList kinds{QStringLiteral("srt"), QStringLiteral("ass"), QStringLiteral("ssa"),
                                   QStringLiteral("vtt")};
    return kinds.contains(QFileInfo(path).suffix().toLower());
}

} // namespace

PlayerView::PlayerView(QWidget *parent, player::Player::Options options)
    : QWidget(parent)
    , m_player(options)
{
    setObjectName(QStringLiteral("PlayerView"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAcceptDrops(true);
    setAutoFillBackground(true);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);

    if (openGlWorks()) {
        m_glSurface = new GlVideoSurface(&m_player, this);
        connect(m_glSurface, &GlVideoSurface::ready, &m_player, &player::Player::outputReady);
        m_surface = m_glSurface;
    } else {
        m_swSurface = new SoftwareVideoSurface(&m_player, this);
        m_surface = m_swSurface;
    }
    // libmpv draws into the surface from the first frame on.
    m_player.setOutput([this] { return m_glSurface ? m_glSurface->prepare() : m_swSurface->prepare(); });
    m_surface->setMouseTracking(true);
    createOverlays();

    m_controlsTimer.setSingleShot(true);
    connect(&m_controlsTimer, &QTimer::timeout, this, [this] {
        if (m_controls && !m_controls->menuOpen() && !m_controls->underMouse())
            m_controls->hide();
        else if (m_controls && m_controls->isVisible())
            m_controlsTimer.start(controlsShownMs);
    });
    m_noticeTimer.setSingleShot(true);
    connect(&m_noticeTimer, &QTimer::timeout, m_notice, &QWidget::hide);
    m_countdown.setInterval(1000);
    connect(&m_countdown, &QTimer::timeout, this, &PlayerView::tickCountdown);
    connect(&m_player, &player::Player::stateChanged, this, &PlayerView::showStatus);
    hide();
}

PlayerView::~PlayerView()
{
    // The renderers go before the player they draw.
    delete m_surface;
    m_surface = nullptr;
}

void PlayerView::setSession(player::EpisodeSession *session)
{
    if (m_session || !session)
        return;
    m_session = session;
    m_controls = new PlayerControls(session, &m_player, this);
    m_controls->setMouseTracking(true);
    m_controls->hide();
    connect(m_controls, &PlayerControls::fullScreenClicked, this, [this] { setFullScreen(!m_fullScreen); });
    connect(m_controls, &PlayerControls::subtitleFileWanted, this, &PlayerView::pickSubtitleFile);
    connect(m_controls, &PlayerControls::note, this, [this](const QString &text) { showNotice(text, resumeNoticeMs); });
    // What plays elsewhere (on a TV) is shown elsewhere.
    const auto here = [this] { return m_session->target() == &m_player; };
    connect(session, &player::EpisodeSession::started, this, [this, here](double start, bool resumed) {
        if (here())
            episodeStarted(start, resumed);
    });
    connect(session, &player::EpisodeSession::openingSkipped, this, [this, here] {
        if (!here())
            return;
        m_panels->showOpeningSkipped(skippedNoticeMs);
        layOut();
    });
    connect(session, &player::EpisodeSession::ended, this, [this, here](std::optional<int> next) {
        if (here())
            episodeEnded(next.has_value(), next ? m_session->episodeName(*next) : QString());
    });
    connect(session, &player::EpisodeSession::rateChanged, this, [this, here](double rate) {
        if (here() && isVisible() && m_session->active())
            showNotice(player::rateText(rate), 1500);
    });
    layOut();
}

player::EpisodeSession *PlayerView::session() const
{
    return m_session;
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

    m_panels = new PlayerPanels(this);
    connect(m_panels, &PlayerPanels::copyRequested, this, [this] { emit copyRequested(m_address); });
    connect(m_panels, &PlayerPanels::openRequested, this, [this] { emit openRequested(m_address); });
    connect(m_panels, &PlayerPanels::replayRequested, this, &PlayerView::replayRequested);
    connect(m_panels, &PlayerPanels::backRequested, this, &PlayerView::backRequested);
    connect(m_panels, &PlayerPanels::restartRequested, this, [this] {
        if (m_session)
            m_session->restart();
    });
}

void PlayerView::layOut()
{
    const QRect all = rect();
    m_surface->setGeometry(all);
    m_panels->layOut(all, controlsHeight);
    if (m_controls)
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
    QString line = address.left(4096);
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return fontMetrics().elidedText(line, Qt::ElideMiddle, qMax(width() - 60, 100));
}

void PlayerView::episodeStarted(double start, bool resumed)
{
    cancelCountdown();
    m_panels->hideAll();
    m_address = m_session->address();
    if (!m_fullScreen && m_stackBelow)
        stackUnder(m_stackBelow);
    show();
    setFocus();
    if (resumed && start > 0)
        showNotice(QStringLiteral("从 %1 继续播放").arg(player::clockText(start)), resumeNoticeMs);
    else
        m_notice->hide();
    // A GL surface that gets no context (the window not on screen) would
    // hold the episode back for good; libmpv then plays without it.
    if (m_glSurface && !m_glSurface->isVisible())
        m_player.outputReady();
    showStatus();
}

void PlayerView::episodeEnded(bool hasNext, const QString &nextName)
{
    if (hasNext) {
        startCountdown(nextName);
        return;
    }
    setFullScreen(false);
    m_status->hide();
    m_panels->showEnd();
    if (m_controls)
        m_controls->hide();
}

void PlayerView::showUnsupported(const QString &address, const QString &why)
{
    cancelCountdown();
    m_player.stop();
    m_address = address;
    m_status->hide();
    m_notice->hide();
    if (m_controls)
        m_controls->hide();
    m_panels->showUnsupported((why.isEmpty() ? QStringLiteral("这个播放地址需要专用播放器，本程序无法播放。") : why)
                              + QLatin1Char('\n') + shownAddress(address));
    if (!m_fullScreen && m_stackBelow)
        stackUnder(m_stackBelow);
    show();
}

void PlayerView::stop()
{
    cancelCountdown();
    m_player.stop();
    if (m_glSurface)
        m_glSurface->clear();
    else
        m_swSurface->clear();
    setFullScreen(false);
    m_panels->hideAll();
    m_notice->hide();
    if (m_controls)
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
    m_status->setVisible(!quiet && !m_panels->covers());
    m_status->raise();
    layOut();
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
    if (!m_controls || m_panels->covers() || isHidden())
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
        m_windowGeometry = top->saveGeometry();
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
        // Exactly where and as large as it was: a window manager left to
        // itself keeps what full screen made of it.
        top->restoreGeometry(m_windowGeometry);
        setGeometry(m_normalGeometry);
        if (m_stackBelow)
            stackUnder(m_stackBelow);
    }
    if (m_controls)
        m_controls->setFullScreen(on);
}

bool PlayerView::eventFilter(QObject *watched, QEvent *event)
{
    // In full screen the view follows the window's size.
    if (m_fullScreen && watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

bool PlayerView::sessionKey(QKeyEvent *event)
{
    player::EpisodeSession *session = m_session;
    if (!session)
        return false;
    const bool control = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    switch (event->key()) {
    case Qt::Key_Space:
        session->togglePause();
        return true;
    case Qt::Key_Left:
        session->seekBy(shift ? -longSeekStep : -seekStep);
        return true;
    case Qt::Key_Right:
        session->seekBy(shift ? longSeekStep : seekStep);
        return true;
    case Qt::Key_Up:
        session->setVolume(m_player.volume() + volumeStep);
        return true;
    case Qt::Key_Down:
        session->setVolume(m_player.volume() - volumeStep);
        return true;
    case Qt::Key_M:
        session->setMuted(!m_player.muted());
        return true;
    case Qt::Key_Home:
        session->restart();
        m_notice->hide();
        return true;
    case Qt::Key_BracketLeft:
        if (control) {
            const QString note = session->markOpeningEnd();
            showNotice(note.isEmpty() ? QStringLiteral("片头结束：%1").arg(player::clockText(m_player.position())) : note,
                       resumeNoticeMs);
        } else {
            session->stepRate(-1);
        }
        return true;
    case Qt::Key_BracketRight:
        if (control) {
            const QString note = session->markEndingStart();
            showNotice(note.isEmpty() ? QStringLiteral("片尾开始：%1").arg(player::clockText(m_player.position())) : note,
                       resumeNoticeMs);
        } else {
            session->stepRate(1);
        }
        return true;
    case Qt::Key_Backspace:
        if (control) {
            session->clearSkip();
            showNotice(QStringLiteral("已清除片头片尾设置"), resumeNoticeMs);
        } else {
            session->setRate(1);
        }
        return true;
    default:
        return false;
    }
}

void PlayerView::keyPressEvent(QKeyEvent *event)
{
    if (sessionKey(event)) {
        showControlsForAWhile();
        return;
    }
    switch (event->key()) {
    case Qt::Key_F:
        setFullScreen(!m_fullScreen);
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
    if (event->button() == Qt::LeftButton && !m_panels->covers())
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

void PlayerView::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    // A local subtitle file, one at a time; nothing from a page.
    if (urls.size() == 1 && urls.constFirst().isLocalFile() && isSubtitleFile(urls.constFirst().toLocalFile()))
        event->acceptProposedAction();
}

void PlayerView::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.constFirst().isLocalFile()) {
        loadSubtitleFile(urls.constFirst().toLocalFile());
        event->acceptProposedAction();
    }
}

void PlayerView::pickSubtitleFile()
{
    const QString path = m_pickSubtitle ? m_pickSubtitle()
                                        : QFileDialog::getOpenFileName(
                                              this, QStringLiteral("加载字幕文件"),
                                              QStandardPaths::writableLocation(QStandardPaths::MoviesLocation),
                                              QStringLiteral("字幕文件 (*.srt *.ass *.ssa *.vtt)"));
    if (!path.isEmpty())
        loadSubtitleFile(path);
}

bool PlayerView::loadSubtitleFile(const QString &path)
{
    QString why;
    if (!m_player.addSubtitleFile(path, &why)) {
        showNotice(why, resumeNoticeMs);
        return false;
    }
    showNotice(QStringLiteral("已加载字幕：%1").arg(QFileInfo(path).fileName()), resumeNoticeMs);
    return true;
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
    return m_panels->showsUnsupported();
}

QString PlayerView::unsupportedText() const
{
    return m_panels->unsupportedText();
}

bool PlayerView::showsEnd() const
{
    return m_panels->showsEnd();
}

bool PlayerView::showsOpeningSkipped() const
{
    return m_panels->showsOpeningSkipped();
}

bool PlayerView::showsControls() const
{
    return m_controls && m_controls->isVisible();
}

} // namespace kinolark::shell
