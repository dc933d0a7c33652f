#include "shell/player_panels.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QVBoxLayout>
#include <QWidget>

namespace kinolark::shell {

namespace {

QPushButton *panelButton(const QString &text, const QString &tip, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setToolTip(tip);
    return button;
}

// A panel of the picture's full size, black, with a text and buttons in
// its middle.
QWidget *fullPanel(QWidget *view, const QString &name, QLabel **text, const QList<QPushButton *> &buttons)
{
    auto *panel = new QWidget(view);
    panel->setObjectName(name);
    panel->setStyleSheet(QStringLiteral("#%1 { background: black; } QLabel { color: white; }").arg(name));
    auto *column = new QVBoxLayout(panel);
    column->addStretch(1);
    *text = new QLabel(panel);
    (*text)->setTextFormat(Qt::PlainText);
    (*text)->setAlignment(Qt::AlignCenter);
    (*text)->setWordWrap(true);
    column->addWidget(*text);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    for (QPushButton *button : buttons) {
        button->setParent(panel);
        row->addWidget(button);
    }
    row->addStretch(1);
    column->addLayout(row);
    column->addStretch(1);
    panel->hide();
    return panel;
}

} // namespace

PlayerPanels::PlayerPanels(QWidget *view)
    : QObject(view)
{
    QPushButton *copy = panelButton(QStringLiteral("复制播放地址"), QStringLiteral("把这个播放地址复制到剪贴板"), view);
    QPushButton *open = panelButton(QStringLiteral("用外部播放器打开"),
                                    QStringLiteral("用系统中能打开这个地址的播放器播放"), view);
    connect(copy, &QPushButton::clicked, this, &PlayerPanels::copyRequested);
    connect(open, &QPushButton::clicked, this, &PlayerPanels::openRequested);
    m_unsupported = fullPanel(view, QStringLiteral("unsupported"), &m_unsupportedText, {copy, open});

    QPushButton *replay = panelButton(QStringLiteral("重新播放"), QStringLiteral("从头再播放这一集"), view);
    QPushButton *back = panelButton(QStringLiteral("返回"), QStringLiteral("回到影片简介"), view);
    connect(replay, &QPushButton::clicked, this, &PlayerPanels::replayRequested);
    connect(back, &QPushButton::clicked, this, &PlayerPanels::backRequested);
    QLabel *endText = nullptr;
    m_end = fullPanel(view, QStringLiteral("endPanel"), &endText, {replay, back});
    endText->setText(QStringLiteral("播放结束"));
    QFont large = endText->font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    endText->setFont(large);

    m_skipped = new QWidget(view);
    m_skipped->setObjectName(QStringLiteral("openingSkipped"));
    m_skipped->setStyleSheet(QStringLiteral("#openingSkipped { background: rgba(0, 0, 0, 170); } QLabel { color: white; }"));
    auto *row = new QHBoxLayout(m_skipped);
    auto *said = new QLabel(QStringLiteral("已跳过片头"), m_skipped);
    QPushButton *fromStart = panelButton(QStringLiteral("从头播放"), QStringLiteral("从这一集的开头播放"), m_skipped);
    fromStart->setFocusPolicy(Qt::NoFocus);
    connect(fromStart, &QPushButton::clicked, this, [this] {
        m_skipped->hide();
        emit restartRequested();
    });
    row->addWidget(said);
    row->addWidget(fromStart);
    m_skipped->hide();
    m_skippedTimer.setSingleShot(true);
    connect(&m_skippedTimer, &QTimer::timeout, m_skipped, &QWidget::hide);
}

void PlayerPanels::showUnsupported(const QString &text)
{
    hideAll();
    m_unsupportedText->setText(text);
    m_unsupported->show();
    m_unsupported->raise();
}

void PlayerPanels::showEnd()
{
    hideAll();
    m_end->show();
    m_end->raise();
}

void PlayerPanels::showOpeningSkipped(int ms)
{
    m_skipped->adjustSize();
    m_skipped->show();
    m_skipped->raise();
    m_skippedTimer.start(ms);
}

void PlayerPanels::hideAll()
{
    m_unsupported->hide();
    m_end->hide();
    m_skipped->hide();
    m_skippedTimer.stop();
}

void PlayerPanels::layOut(const QRect &area, int bottomMargin)
{
    m_unsupported->setGeometry(area);
    m_end->setGeometry(area);
    m_skipped->adjustSize();
    m_skipped->move(area.right() - m_skipped->width() - 12, area.bottom() - bottomMargin - m_skipped->height() - 12);
}

bool PlayerPanels::showsUnsupported() const
{
    return m_unsupported->isVisible();
}

bool PlayerPanels::showsEnd() const
{
    return m_end->isVisible();
}

bool PlayerPanels::showsOpeningSkipped() const
{
    return m_skipped->isVisible();
}

QString PlayerPanels::unsupportedText() const
{
    return m_unsupported->isVisible() ? m_unsupportedText->text() : QString();
}

} // namespace kinolark::shell
