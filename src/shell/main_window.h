#pragma once

#include "browse/title_list_model.h"
#include "browse/title_statement.h"
#include "shell/services.h"
#include "store/catalogue.h"

#include <QStringList>
#include <QWidget>

class QGroupBox;
class QLineEdit;
class QListView;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace kinolark::shell {

class Browser;
class TemplateBox;

// The program's one window. Controls and handlers carry the names the rest of
// the program knows them by; the handlers are thin: they read the controls,
// call the logic libraries, and write the controls.
class frmMain : public QWidget
{
    Q_OBJECT
public:
    static constexpr int clientWidth = 1058;
    static constexpr int clientHeight = 564;

    explicit frmMain(Services services, QWidget *parent = nullptr);
    ~frmMain() override;

    // Start-up, run once before the window is shown. False when the program
    // cannot go on (the catalogue cannot be opened); the user has been told.
    bool Form_Load();
    // Shutdown: closes the catalogue. Always succeeds, never asks.
    void Form_Unload();

    // Browsing.
    void TreeView1_NodeClick();
    void cmdSearch_Click();
    // Lists the titles `statement` yields in TreeView2, or says there are none.
    void bdT(const browse::TitleStatement &statement);
    void TreeView1_BeforeLabelEdit(bool &cancel);
    void TreeView2_BeforeLabelEdit(bool &cancel);

    const Services &services() const { return m_services; }
    QString homePage() const;      // the notice page file
    QString catalogueFile() const; // the catalogue file
    // The titles behind TreeView2.
    browse::TitleListModel &titleModel() { return m_titles; }

    // Controls, in tab order.
    QTreeWidget *TreeView1 = nullptr;
    QGroupBox *frmSearch = nullptr;
    QLineEdit *txtSearch = nullptr;
    QPushButton *cmdSearch = nullptr;
    QListView *TreeView2 = nullptr;
    Browser *WebBrowser1 = nullptr;
    Browser *WebBrowser2 = nullptr;
    QListWidget *ListView1 = nullptr;
    TemplateBox *Text1 = nullptr;
    QPlainTextEdit *txtNr = nullptr;
    TemplateBox *Text2 = nullptr;

    // Window state shared by the handlers.
    store::Catalogue conn;
    QString strSql;      // text of the last statement issued
    QString strEndpoint; // base of every site request
    QString strAnswer;   // text of the last site answer

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void buildCategoryTree();
    void connectBrowseHandlers();
    // Step of the start-up: the daily catalogue sync and the version check.
    void synchroniseCatalogue();
    // Step of the start-up: the hook on the episode list.
    void hookEpisodeList();
    void message(const QString &text);
    QString appFile(const QString &name) const;

    Services m_services;
    browse::TitleListModel m_titles;
    bool m_loaded = false;
};

} // namespace kinolark::shell
