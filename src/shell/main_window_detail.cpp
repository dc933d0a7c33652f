// A title's detail, its episodes and the play page.
#include "shell/main_window.h"

#include "playback/desktop_application.h"
#include "playback/detail_cache.h"
#include "playback/external_address.h"
#include "playback/play_list.h"
#include "playback/play_page.h"
#include "shell/browser.h"
#include "shell/busy_cursor.h"
#include "shell/enter_key_filter.h"
#include "download/download_list.h"
#include "download/download_manager.h"
#include "player/episode_session.h"
#include "shell/cast_menu.h"
#include "shell/my_titles.h"
#include "shell/play_hand_off.h"
#include "shell/player_view.h"
#include "shell/site_failure_text.h"
#include "shell/template_box.h"
#include "text/html_to_text.h"
#include "text/shown_lines.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QUrl>

namespace kinolark::shell {

namespace {

// Where an episode item keeps its key, "Pid" followed by its play-list line,
// and whether it is kept on this machine.
constexpr int episodeKeyRole = Qt::UserRole;
constexpr int episodeDownloadedRole = Qt::UserRole + 1;

QString episodeKeyPrefix()
{
    return QStringLiteral("Pid");
}

// Passes a widget's events to a function first; the function answers
// whether the event is used up.
class EventHook : public QObject
{
public:
    using Handler = std::function<bool(QEvent *)>;

    EventHook(QObject *target, Handler handler)
        : QObject(target)
        , m_handler(std::move(handler))
    {
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override { return m_handler(event); }

private:
    Handler m_handler;
};

// An episode name keeps the line feed a CR LF play list leaves at its start;
// the list shows every name on one line all the same.
class EpisodeDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QString displayText(const QVariant &value, const QLocale &locale) const override
    {
        // The base class has turned line feeds into line separators.
        QString text = QStyledItemDelegate::displayText(value, locale);
        for (const QChar c : {QChar(QChar::LineSeparator), QChar(u'\n'), QChar(u'\r')})
            text.remove(c);
        return text;
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(episodeDownloadedRole).toBool())
            option->text += QStringLiteral("（已下载）");
    }
};

// A long address shown in a message keeps its head and its tail.
QString shownAddress(const QString &address)
{
    constexpr int head = 160;
    constexpr int tail = 40;
    if (address.size() <= head + tail + 1)
        return address;
    return address.left(head) + QStringLiteral("…") + address.right(tail);
}

} // namespace

void frmMain::setUpTitleDetail()
{
    Text1->setText(playback::playPageTemplate(m_services.site));
    if (!m_services.openUrl) {
        m_services.openUrl = [this](const QString &address, std::function<void(bool)> finished) {
            // The desktop's opener takes the dedicated players' addresses as
            // they are; its exit status says whether anything opened them.
            auto *opener = new QProcess(this);
            opener->setObjectName(QStringLiteral("externalOpener"));
            opener->setProcessChannelMode(QProcess::ForwardedChannels);
            const auto done = [opener, finished](bool opened) {
                opener->disconnect();
                opener->deleteLater();
                finished(opened);
            };
            connect(opener, &QProcess::finished, this, [done](int code, QProcess::ExitStatus status) {
                done(status == QProcess::NormalExit && code == 0);
            });
            connect(opener, &QProcess::errorOccurred, this, [done](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart)
                    done(false);
            });
            opener->start(QStringLiteral("xdg-open"), {address});
        };
    }
    if (!m_services.startProgram) {
        m_services.startProgram = [](const QString &program, const QStringList &arguments) {
            return QProcess::startDetached(program, arguments);
        };
    }

    // A click, or Enter on the selected title, acts on the title.
    connect(TreeView2, &QAbstractItemView::clicked, this, [this] { TreeView2_NodeClick(); });
    TreeView2->installEventFilter(new EnterKeyFilter(TreeView2, [this] { TreeView2_NodeClick(); }));

    m_detailWait.label = new QLabel(QStringLiteral("正在读取影片信息…"), this);
    m_detailWait.label->setObjectName(QStringLiteral("detailWait"));
    m_detailWait.label->setAlignment(Qt::AlignCenter);
    m_detailWait.label->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_detailWait.label->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: rgba(0, 0, 0, 190); padding: 4px 12px; }"));
    m_detailWait.label->adjustSize();
    m_detailWait.label->hide();
    m_detailWait.timer.setSingleShot(true);
    m_detailWait.timer.setInterval(300);
    connect(&m_detailWait.timer, &QTimer::timeout, this, [this] {
        QLabel *label = m_detailWait.label;
        // Over the top of the right pane, above whatever shows there.
        label->move(WebBrowser1->x() + (WebBrowser1->width() - label->width()) / 2, WebBrowser1->y() + 8);
        label->raise();
        label->show();
    });

    ListView1->setItemDelegate(new EpisodeDelegate(ListView1));
    connect(ListView1, &QAbstractItemView::clicked, this, [this] { ListView1_Click(); });
    ListView1->installEventFilter(new EnterKeyFilter(ListView1, [this] { ListView1_Click(); }));
    m_episodeMouseHook = new EventHook(ListView1->viewport(), [this](QEvent *event) { return episodeListMouse(event); });
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (const std::unique_ptr<QMenu> menu = episodeMenu(ListView1->itemAt(pos)))
            menu->exec(ListView1->viewport()->mapToGlobal(pos));
    });
}

void frmMain::TreeView2_NodeClick()
{
    // The selected title; were there several, the last one in the list.
    QModelIndex node;
    const QModelIndexList selected = TreeView2->selectionModel()->selectedRows();
    for (const QModelIndex &index : selected) {
        if (!node.isValid() || index.row() > node.row())
            node = index;
    }
    if (!node.isValid())
        return;
    const qint64 id = node.data(browse::TitleListModel::IdRole).toLongLong();
    const QString name = node.data(Qt::DisplayRole).toString();
    // A row of 我的 → 下载 opens its title, and a finished one plays.
    const qint64 downloadId = node.data(download::DownloadList::DownloadIdRole).toLongLong();

    const quint64 generation = ++m_titleGeneration;
    m_my->titleOpening(id);
    WebBrowser1->navigate(homePage());
    ListView1->clear();
    setWindowTitle(QStringLiteral("当前选择的电影是：") + name);
    txtSearch->setText(name);

    std::unique_ptr<QNetworkAccessManager> own;
    if (!m_services.network)
        own = std::make_unique<QNetworkAccessManager>();
    QNetworkAccessManager &network = m_services.network ? *m_services.network : *own;
    const QPointer<frmMain> alive(this);
    playback::DetailCache cache(conn.database(), network, strEndpoint, m_services.today,
                                m_services.requestTimeoutMs, m_services.titleDeadlineMs);
    // Other clicks may run while this waits for the site.
    playback::DetailOutcome outcome;
    {
        const BusyCursor busy;
        // Not every desktop shows the busy pointer: a wait the user would
        // notice is said inside the window too.
        m_detailWait.generation = generation;
        m_detailWait.timer.start();
        outcome = cache.load(id);
    }
    if (alive && generation == m_detailWait.generation)
        endDetailWait();

    // A newer click, a category click or the closing of the window owns the
    // window now; what this click fetched is cached all the same.
    if (!alive || generation != m_titleGeneration || !conn.isOpen())
        return;
    strSql = outcome.lastStatement;
    if (!outcome.lastAnswer.isNull())
        strAnswer = outcome.lastAnswer;

    if (!outcome.detail.found) {
        // The message leaves the description of the title before as it was.
        message(outcome.requestFailed
                    ? siteFailureText(outcome.errorStatus, outcome.tooLarge) + QStringLiteral("，请稍后再试。")
                    : QStringLiteral("暂无播放地址"));
        return;
    }
    m_titleId = id;
    showTitleDetail(outcome.detail);
    m_my->titleShown(id, outcome.detail.playList);
    if (outcome.playListFailed)
        message(siteFailureText(outcome.errorStatus, outcome.tooLarge)
                + (outcome.detail.playList.isEmpty() ? QStringLiteral("，请稍后再试。")
                                                     : QStringLiteral("，显示的是以前保存的播放列表。")));
    else if (outcome.tooLarge)
        message(siteFailureText(outcome.errorStatus, true) + QStringLiteral("，没有显示它发来的影片简介。"));
    if (!outcome.storeError.isEmpty())
        message(QStringLiteral("影片信息无法保存到数据库：%1").arg(outcome.storeError));
    if (downloadId > 0 && alive && generation == m_titleGeneration)
        playDownloaded(downloadId);
}

void frmMain::showTitleDetail(const playback::TitleDetail &detail)
{
    txtNr->setVisible(true);
    // Lines of any length cost the box their length squared to lay out.
    txtNr->setPlainText(text::breakLongLines(text::HtmlToText(detail.description)));

    const playback::PlayList list = playback::PlayList::parse(detail.playList);
    PlayUrls = list.addressTable();
    const QVector<playback::Episode> &episodes = list.episodes();
    ListView1->setUpdatesEnabled(false);
    // The last line of the play list comes first.
    for (auto episode = episodes.crbegin(); episode != episodes.crend(); ++episode) {
        auto *item = new QListWidgetItem(episode->name);
        item->setData(episodeKeyRole, QString(episodeKeyPrefix() + QString::number(episode->line)));
        ListView1->addItem(item);
    }
    markDownloadedEpisodes();
    ListView1->setUpdatesEnabled(true);
}

void frmMain::markDownloadedEpisodes()
{
    if (!m_downloads)
        return;
    for (int row = 0; row < ListView1->count(); ++row) {
        QListWidgetItem *item = ListView1->item(row);
        const std::optional<int> line = episodeLine(item);
        item->setData(episodeDownloadedRole, line && !m_downloads->localFileFor(m_titleId, *line).isEmpty());
    }
}

void frmMain::endDetailWait()
{
    m_detailWait.timer.stop();
    if (m_detailWait.label)
        m_detailWait.label->hide();
}

std::optional<int> frmMain::episodeLine(const QListWidgetItem *item) const
{
    if (!item)
        return std::nullopt;
    bool ok = false;
    const int index = item->data(episodeKeyRole).toString().remove(episodeKeyPrefix()).toInt(&ok);
    if (!ok || index < 0 || index >= PlayUrls.size())
        return std::nullopt;
    return index;
}

std::optional<QString> frmMain::episodeAddress(const QListWidgetItem *item) const
{
    const std::optional<int> line = episodeLine(item);
    return line ? std::optional<QString>(PlayUrls.at(*line)) : std::nullopt;
}

void frmMain::ListView1_Click()
{
    // Anything amiss ends the click quietly, leaving the window as it was.
    const QList<QListWidgetItem *> selected = ListView1->selectedItems();
    if (selected.isEmpty())
        return;
    const std::optional<int> line = episodeLine(selected.constFirst());
    const std::optional<QString> address = episodeAddress(selected.constFirst());
    if (!line || !address)
        return;
    // A copy kept on this machine plays at once, with no page between: the
    // one way a local file reaches the player.
    if (const QString local = localCopy(*line); !local.isEmpty()) {
        preparePlayer(*line, *address, QString());
        txtNr->hide();
        WebBrowser1->navigate(QStringLiteral("about:blank"));
        m_playerView->setGeometry(WebBrowser1->geometry());
        m_session->play(*line, *address, local);
        m_my->episodeStarted(*line, *address);
        return;
    }
    const QString page = appFile(QStringLiteral("play.htm"));
    if (!playback::writePlayPage(page, Text1->text(), *address))
        return;
    preparePlayer(*line, *address, page);
    txtNr->hide();
    // Through a blank page, so the same episode clicked again loads afresh.
    WebBrowser1->navigate(QStringLiteral("about:blank"));
    WebBrowser1->navigate(page);
    // The page could never hand such an address over: the engine takes
    // addresses up to 2 MB, and says nothing of longer ones.
    if (address->size() > playback::longestPlayAddress) {
        m_handOff->cancel();
        m_playerView->showUnsupported(*address, QStringLiteral("播放地址过长，无法播放"));
    }
    m_my->episodeStarted(*episodeLine(selected.constFirst()), *address);
}

void frmMain::ListView1_MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, const QPoint &pos)
{
    Q_UNUSED(shift);
    Q_UNUSED(pos);
    // With the left button alone held, the list lets go of the mouse until
    // the button comes up.
    if (buttons == Qt::LeftButton)
        m_episodeListLetGo = true;
}

bool frmMain::episodeListMouse(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        m_episodeListLetGo = false;
        return false;
    case QEvent::MouseMove: {
        const auto *move = static_cast<QMouseEvent *>(event);
        ListView1_MouseMove(move->buttons(), move->modifiers(), move->position().toPoint());
        if (!m_episodeListLetGo)
            return false;
        // Qt sends the pointer's events to the widget it was pressed on; a
        // list that has let go neither drags nor selects by them, and the
        // widget under the pointer gets them instead.
        passMouseOn(move);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        if (!std::exchange(m_episodeListLetGo, false))
            return false;
        return passMouseOn(static_cast<QMouseEvent *>(event));
    }
    default:
        return false;
    }
}

bool frmMain::passMouseOn(const QMouseEvent *event)
{
    QWidget *target = childAt(mapFromGlobal(event->globalPosition().toPoint()));
    if (!target || target == ListView1 || ListView1->isAncestorOf(target))
        return false;
    QMouseEvent passed(event->type(), target->mapFromGlobal(event->globalPosition()), event->scenePosition(),
                       event->globalPosition(), event->button(), event->buttons(), event->modifiers(),
                       event->pointingDevice());
    QCoreApplication::sendEvent(target, &passed);
    return true;
}

std::unique_ptr<QMenu> frmMain::episodeMenu(QListWidgetItem *item)
{
    const std::optional<QString> address = episodeAddress(item);
    if (!address || address->isEmpty())
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    QAction *open = menu->addAction(QStringLiteral("用外部播放器打开"));
    connect(open, &QAction::triggered, this, [this, url = *address] { openEpisodeExternally(url); });
    QAction *copy = menu->addAction(QStringLiteral("复制播放地址"));
    const QPersistentModelIndex row = ListView1->indexFromItem(item);
    connect(copy, &QAction::triggered, this, [this, url = *address, row] {
        copyAddressFrom(url, row.isValid() ? ListView1->item(row.row()) : nullptr);
    });
    menu->setToolTipsVisible(true);
    const int line = *episodeLine(item);
    QAction *keep = menu->addAction(QStringLiteral("下载"));
    if (const QString why = download::DownloadManager::notDownloadableReason(*address); !why.isEmpty()) {
        keep->setEnabled(false);
        keep->setToolTip(why);
    }
    connect(keep, &QAction::triggered, this, [this, line, name = item->text()] { downloadEpisode(line, name); });
    QMenu *toTv = castMenu(menu.get(), [line] { return line; });
    QAction *cast = menu->addMenu(toTv);
    if (const QString why = CastMenu::notCastableReason(*address); !why.isEmpty()) {
        cast->setEnabled(false);
        cast->setToolTip(why);
    }
    return menu;
}

void frmMain::copyEpisodeAddress(const QString &address)
{
    copyAddressFrom(address, ListView1->currentItem());
}

void frmMain::copyAddressFrom(const QString &address, const QListWidgetItem *item)
{
    QGuiApplication::clipboard()->setText(address);
    const QString copied = QStringLiteral("已复制播放地址");
    constexpr int shownMs = 2000;
    if (m_playerView->isVisible()) {
        m_playerView->showNotice(copied, shownMs);
        return;
    }
    const QRect rect = item ? ListView1->visualItemRect(item) : ListView1->viewport()->rect();
    QToolTip::showText(ListView1->viewport()->mapToGlobal(rect.center()), copied, ListView1->viewport(), rect, shownMs);
}

void frmMain::openEpisodeExternally(const QString &address)
{
    // Only media addresses leave the program: a site must not get the
    // desktop to open a local file or run a handler of its choosing.
    const playback::ExternalAddress kind = playback::classifyExternalAddress(address);
    const QString shown = shownAddress(address);
    if (kind == playback::ExternalAddress::Refused) {
        message(QStringLiteral("这不是影音播放地址，不能交给外部播放器：%1").arg(shown));
        return;
    }
    const QString trimmed = address.trimmed();
    const QPointer<frmMain> alive(this);
    if (kind == playback::ExternalAddress::WebMedia) {
        const QString encoded = QUrl(trimmed, QUrl::TolerantMode).toString(QUrl::FullyEncoded);
        // A web address would open the web browser: ask for the video player.
        if (const auto app = playback::defaultApplicationFor(playback::videoTypesFor(encoded))) {
            const QStringList command = playback::launchCommand(*app, encoded);
            if (command.isEmpty() || !m_services.startProgram(command.constFirst(), command.mid(1)))
                message(QStringLiteral("无法启动视频播放器“%1”：%2").arg(app->name, shown));
            return;
        }
        message(QStringLiteral("没有找到默认的视频播放器，已交给系统默认的程序打开：%1").arg(shown));
        m_services.openUrl(encoded, [this, alive, shown](bool opened) {
            if (alive && !opened)
                message(QStringLiteral("没有找到可以打开这个播放地址的播放器：%1").arg(shown));
        });
        return;
    }
    // The desktop's opener fails quietly where no program takes the
    // scheme: ask first, and watch how it ends.
    const QString scheme = playback::addressScheme(trimmed);
    const QString none =
        QStringLiteral("没有找到可以打开 %1: 地址的程序。可以复制播放地址，交给已安装的播放器。").arg(scheme);
    if (!playback::defaultApplicationFor({QStringLiteral("x-scheme-handler/") + scheme})) {
        message(none);
        return;
    }
    m_services.openUrl(trimmed, [this, alive, none](bool opened) {
        if (alive && !opened)
            message(none);
    });
}

} // namespace kinolark::shell
