#include "shell/main_window.h"

#include "browse/category_tree.h"
#include "library/episode_records.h"
#include "player/episode_session.h"
#include "shell/browser.h"
#include "shell/focus_frame.h"
#include "shell/message_sink.h"
#include "shell/my_titles.h"
#include "shell/notice_page.h"
#include "shell/player_view.h"
#include "shell/template_box.h"
#include "shell/title_suggestions.h"
#include "shell/window_hook.h"
#include "site/site_address.h"
#include "store/today.h"
#include "text/ansi_file.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFont>
#include <QGroupBox>
#include <QHash>
#include <QHeaderView>
#include <QIcon>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTreeWidget>

// The icons are compiled into this library; it must say so itself, outside
// any namespace.
static void initResources()
{
    Q_INIT_RESOURCE(kinolark);
}

namespace kinolark::shell {

namespace {

// 宋体 where it is installed, otherwise a CJK font that is.
QFont songti(qreal pointSize)
{
    QFont font;
    // Site texts carry emoji too.
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Serif CJK SC"),
                      QStringLiteral("Noto Color Emoji")});
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

template<typename Box>
Box *textBox(QWidget *parent, const QString &name, bool bothScrollBars)
{
    auto *box = new Box(parent);
    box->setObjectName(name);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setHorizontalScrollBarPolicy(bothScrollBars ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    box->setLineWrapMode(bothScrollBars ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    return box;
}

} // namespace

frmMain::frmMain(Services services, QWidget *parent)
    : QWidget(parent)
    , m_services(std::move(services))
{
    if (!m_services.today)
        m_services.today = &store::todayString;
    initResources();
    setObjectName(QStringLiteral("frmMain"));
    QIcon icon;
    for (int size : {16, 48, 128})
        icon.addFile(QStringLiteral(":/icons/kinolark-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    setWindowTitle(QStringLiteral("Lumovane ") + m_services.site);
    // The controls have fixed places; the window keeps the size they fill.
    setFixedSize(clientWidth, clientHeight);
    createControls();
    connectBrowseHandlers();
    setUpTitleDetail();
    m_my = new MyTitles(
        conn, [this](const browse::TitleStatement &statement) { bdT(statement); }, TreeView1, TreeView2, this);
    setUpPlayer();
    m_focusFrame = new FocusFrame(this, {TreeView1, TreeView2, WebBrowser1, m_playerView, WebBrowser2, ListView1, txtNr});
}

frmMain::~frmMain()
{
    // The list's events during its destruction must not reach a window
    // that is no longer whole.
    delete m_episodeMouseHook;
    // An opener still waiting for the program it started goes; the program
    // stays. Nothing it says reaches the window after this.
    for (QProcess *opener : findChildren<QProcess *>(QStringLiteral("externalOpener"), Qt::FindDirectChildrenOnly)) {
        opener->disconnect();
        opener->kill();
        opener->waitForFinished(1000);
    }
    Form_Unload();
}

void frmMain::createControls()
{
    // Created bottom to top: a later sibling covers an earlier one, so the
    // description covers the first browser and the second browser covers
    // the title list, the first browser and the episode list.
    TreeView1 = new QTreeWidget(this);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setGeometry(8, 56, 153, 505);
    TreeView1->setFont(songti(12));
    TreeView1->setHeaderHidden(true);
    // A narrow column: its nodes keep room for their texts.
    TreeView1->setIndentation(12);
    TreeView1->setColumnCount(1);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);

    frmSearch = new QGroupBox(QStringLiteral("电影搜索："), this);
    frmSearch->setObjectName(QStringLiteral("frmSearch"));
    frmSearch->setGeometry(8, 8, 153, 41);

    txtSearch = new QLineEdit(frmSearch);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setGeometry(8, 16, 89, 18);

    cmdSearch = new QPushButton(QStringLiteral("查询"), frmSearch);
    cmdSearch->setObjectName(QStringLiteral("cmdSearch"));
    cmdSearch->setGeometry(104, 16, 41, 17);

    TreeView2 = new QListView(this);
    TreeView2->setObjectName(QStringLiteral("TreeView2"));
    TreeView2->setGeometry(168, 0, 177, 553);
    TreeView2->setFont(songti(11.25));
    // Cost must follow the rows on screen, not the rows in the list. The
    // rows of one list are all of one height, one line or two.
    TreeView2->setUniformItemSizes(true);
    TreeView2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView2->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeView2->setModel(&m_rows);

    WebBrowser1 = m_services.makeBrowser(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setGeometry(352, 0, 705, 457);

    ListView1 = new QListWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(352, 464, 705, 97);
    ListView1->setFont(songti(10.5));

    Text1 = textBox<TemplateBox>(this, QStringLiteral("Text1"), true);
    Text1->setGeometry(160, 360, 129, 153);
    Text1->setFocusPolicy(Qt::NoFocus);
    Text1->hide();

    Text2 = textBox<TemplateBox>(this, QStringLiteral("Text2"), true);
    Text2->setGeometry(144, 288, 49, 41);
    Text2->setFocusPolicy(Qt::NoFocus);
    Text2->setText(noticePageTemplate(m_services.site));
    Text2->hide();

    txtNr = textBox<QPlainTextEdit>(this, QStringLiteral("txtNr"), false);
    txtNr->setGeometry(352, 0, 705, 457);
    txtNr->setFont(songti(14.25));
    txtNr->setReadOnly(true);
    txtNr->hide();

    WebBrowser2 = m_services.makeBrowser(this);
    WebBrowser2->setObjectName(QStringLiteral("WebBrowser2"));
    WebBrowser2->setGeometry(168, 0, 889, 561);
    WebBrowser2->hide();

    setTabOrder(TreeView1, txtSearch);
    setTabOrder(txtSearch, cmdSearch);
    setTabOrder(cmdSearch, TreeView2);
    setTabOrder(TreeView2, WebBrowser1);
    setTabOrder(WebBrowser1, WebBrowser2);
    setTabOrder(WebBrowser2, ListView1);
    setTabOrder(ListView1, txtNr);
    TreeView1->setFocus();
}

void frmMain::buildCategoryTree()
{
    QHash<QString, QTreeWidgetItem *> byKey;
    const QList<browse::CategoryNode> &nodes = browse::categoryTree();
    for (int i = 0; i < nodes.size(); ++i) {
        const browse::CategoryNode &node = nodes.at(i);
        QTreeWidgetItem *item = node.parentKey.isEmpty()
                                    ? new QTreeWidgetItem(TreeView1)
                                    : new QTreeWidgetItem(byKey.value(node.parentKey));
        item->setText(0, node.text);
        item->setData(0, Qt::UserRole, node.key);
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        byKey.insert(node.key, item);
        if (i + 1 == browse::fixedNodeCount) {
            for (int g = 0; g < browse::groupCount; ++g)
                TreeView1->topLevelItem(g)->setExpanded(true);
        }
    }
}

QString frmMain::appFile(const QString &name) const
{
    return m_services.appFolder + QLatin1Char('/') + name;
}

QString frmMain::homePage() const
{
    return appFile(QStringLiteral("home.htm"));
}

QString frmMain::catalogueFile() const
{
    return appFile(QStringLiteral("data.db"));
}

void frmMain::message(const QString &text)
{
    if (m_services.messages)
        m_services.messages->show(text);
}

bool frmMain::Form_Load()
{
    QString error;
    if (!text::writeAnsiFile(homePage(), Text2->text(), &error))
        message(QStringLiteral("无法写入提示页面文件：%1\n%2").arg(QDir::toNativeSeparators(homePage()), error));

    WebBrowser2->navigate(QStringLiteral("about:blank"));
    WebBrowser1->navigate(QStringLiteral("about:blank"));

    strEndpoint = site::endpointFor(m_services.site);

    switch (conn.open(catalogueFile())) {
    case store::Catalogue::OpenResult::Opened:
    case store::Catalogue::OpenResult::Created:
        break;
    case store::Catalogue::OpenResult::NotACatalogue:
        message(QStringLiteral("无法打开影片数据库文件：%1\n该文件不是本程序的影片数据库，或者已经损坏。"
                               "程序没有改动这个文件，现在将退出。")
                    .arg(QDir::toNativeSeparators(catalogueFile())));
        return false;
    case store::Catalogue::OpenResult::CannotCreate:
        message(QStringLiteral("无法创建影片数据库文件：%1\n请检查这个文件夹是否可以写入。程序现在将退出。")
                    .arg(QDir::toNativeSeparators(catalogueFile())));
        return false;
    }

    buildCategoryTree();
    WebBrowser1->navigate(homePage());
    synchroniseCatalogue();
    m_suggestions->open(catalogueFile(), m_services.pinyin);
    library::FavouritesRefresh::Settings refresh;
    refresh.endpoint = strEndpoint;
    refresh.today = m_services.today;
    refresh.timeoutMs = m_services.requestTimeoutMs;
    refresh.deadlineMs = m_services.titleDeadlineMs;
    m_my->load(m_services.network, refresh);
    setUpDownloads();

    ListView1->setViewMode(QListView::ListMode);
    ListView1->setFlow(QListView::LeftToRight);
    ListView1->setWrapping(true);
    ListView1->setResizeMode(QListView::Adjust);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);

    hookEpisodeList();
    m_loaded = true;
    return true;
}

void frmMain::Form_Unload()
{
    // Where playing stopped is stored before the catalogue closes. A TV
    // plays on when the window closes, as it does when a phone's app does.
    if (casting())
        m_session->leave();
    stopPlayer();
    m_suggestions->close();
    conn.close();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

QList<QWidget *> frmMain::tabStops() const
{
    return {TreeView1, txtSearch, cmdSearch, TreeView2, WebBrowser1, m_playerView, WebBrowser2, ListView1, txtNr};
}

bool frmMain::coveredControl(const QWidget *control) const
{
    if (control->parentWidget() != this)
        return false;
    // What shows at its centre is another control stacked above it.
    const QPoint centre = control->geometry().center();
    const QList<QWidget *> stops = tabStops();
    const QObjectList &stack = children();
    for (qsizetype i = stack.indexOf(control) + 1; i < stack.size(); ++i) {
        const auto *above = qobject_cast<const QWidget *>(stack.at(i));
        if (above && above->isVisible() && stops.contains(above) && above->geometry().contains(centre))
            return true;
    }
    return false;
}

bool frmMain::focusNextPrevChild(bool next)
{
    const QList<QWidget *> order = tabStops();
    QWidget *focus = QApplication::focusWidget();
    qsizetype at = -1;
    for (qsizetype i = 0; i < order.size() && at < 0; ++i) {
        if (focus && (order.at(i) == focus || order.at(i)->isAncestorOf(focus)))
            at = i;
    }
    if (at < 0)
        return QWidget::focusNextPrevChild(next);
    // Hidden and covered controls take no focus: the user could not see it.
    for (qsizetype step = 1; step < order.size(); ++step) {
        QWidget *candidate = order.at((at + (next ? step : order.size() - step)) % order.size());
        if (candidate->isVisible() && candidate->isEnabled() && (candidate->focusPolicy() & Qt::TabFocus)
            && !coveredControl(candidate)) {
            candidate->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return true;
}

void frmMain::hookEpisodeList()
{
    HookWindow(ListView1);
}

} // namespace kinolark::shell
