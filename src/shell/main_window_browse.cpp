// Browsing: the category tree, the title list and the search.

#include "shell/main_window.h"

#include "browse/node_selection.h"
#include "browse/title_lister.h"
#include "shell/browser.h"
#include "shell/enter_key_filter.h"
#include "shell/label_edit_guard.h"
#include "shell/my_titles.h"
#include "shell/title_row_delegate.h"
#include "shell/title_suggestions.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace kinolark::shell {

void frmMain::connectBrowseHandlers()
{
    connect(TreeView1, &QTreeWidget::itemClicked, this, [this] { TreeView1_NodeClick(); });
    TreeView1->installEventFilter(new EnterKeyFilter(TreeView1, [this] { TreeView1_NodeClick(); }));
    connect(cmdSearch, &QPushButton::clicked, this, &frmMain::cmdSearch_Click);
    // Enter in the search box searches.
    connect(txtSearch, &QLineEdit::returnPressed, this, &frmMain::cmdSearch_Click);
    m_suggestions = new TitleSuggestions(txtSearch, this, [this](qint64 id) { openSuggestedTitle(id); });

    TreeView1->setItemDelegate(
        new LabelEditGuard(TreeView1, [this](bool &cancel) { TreeView1_BeforeLabelEdit(cancel); }));
    TreeView2->setItemDelegate(
        new TitleRowDelegate(TreeView2, [this](bool &cancel) { TreeView2_BeforeLabelEdit(cancel); }));
}

void frmMain::TreeView1_NodeClick()
{
    // The window goes back to browsing: a title click still waiting for the
    // site must not fill it in afterwards.
    forgetPendingTitle();
    txtSearch->clear();
    setWindowTitle(QStringLiteral("Lumovane ") + m_services.site);
    txtNr->hide();
    WebBrowser1->navigate(homePage());

    const QList<QTreeWidgetItem *> selected = TreeView1->selectedItems();
    if (selected.isEmpty())
        return;
    const auto selection = browse::NodeSelection::fromKey(selected.first()->data(0, Qt::UserRole).toString());
    switch (selection.kind) {
    case browse::NodeSelection::Kind::Nothing:
        break;
    case browse::NodeSelection::Kind::Category:
        bdT(browse::TitleStatement::category(selection.category));
        break;
    case browse::NodeSelection::Kind::Initials:
        bdT(browse::TitleStatement::initials(selection.category, selection.initials));
        break;
    case browse::NodeSelection::Kind::Favourites:
        m_my->showFavourites();
        break;
    case browse::NodeSelection::Kind::History:
        m_my->showHistory();
        break;
    case browse::NodeSelection::Kind::Downloads:
        showDownloads();
        break;
    case browse::NodeSelection::Kind::LiveTv: {
        const QString page = appFile(QStringLiteral("tv.htm"));
        if (!QFileInfo::exists(page)) {
            message(QStringLiteral("找不到电视直播页面：%1").arg(QDir::toNativeSeparators(page)));
            break;
        }
        WebBrowser2->show();
        WebBrowser2->navigate(QStringLiteral("about:blank"));
        WebBrowser2->navigate(page);
        break;
    }
    }
}

void frmMain::bdT(const browse::TitleStatement &statement)
{
    strSql = statement.sql;
    TreeView2->hide();
    browse::TitleListing listing = browse::listTitles(conn.database(), statement);
    if (!listing.ok) {
        message(QStringLiteral("读取影片目录时出错，列表没有更新。\n%1").arg(listing.error));
    } else if (listing.titles.isEmpty()) {
        message(QStringLiteral("没有相关电影"));
    } else {
        showTitleRows();
        m_titles.setTitles(std::move(listing.titles));
        // A view keeps its scroll position across a reset: a new list would
        // open where the old one was left.
        TreeView2->scrollToTop();
        WebBrowser2->navigate(QStringLiteral("about:blank"));
        WebBrowser2->hide();
    }
    TreeView2->show();
}

void frmMain::cmdSearch_Click()
{
    // Only spaces are trimmed; other blanks are part of what was typed.
    QString text = txtSearch->text();
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start) == QLatin1Char(' '))
        ++start;
    while (end > start && text.at(end - 1) == QLatin1Char(' '))
        --end;
    text = text.mid(start, end - start);
    if (text.isEmpty()) {
        message(QStringLiteral("搜索内容不能为空"));
        return;
    }
    bdT(browse::TitleStatement::search(text));
}

void frmMain::openSuggestedTitle(qint64 id)
{
    bdT(browse::TitleStatement::title(id));
    if (m_titles.nodeCount() != 1 || m_titles.titles().constFirst().id != id)
        return;
    TreeView2->setCurrentIndex(m_rows.index(0, 0));
    TreeView2_NodeClick();
}

void frmMain::TreeView1_BeforeLabelEdit(bool &cancel)
{
    cancel = true;
}

void frmMain::TreeView2_BeforeLabelEdit(bool &cancel)
{
    cancel = true;
}

} // namespace kinolark::shell
