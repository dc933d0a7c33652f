#pragma once

#include "browse/title_list_model.h"
#include "browse/title_rows.h"
#include "browse/title_statement.h"
#include "shell/services.h"
#include "store/catalogue.h"

#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVector>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QMouseEvent;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace kinolark::cast {
class CastTarget;
class RendererList;
struct Renderer;
}

namespace kinolark::download {
class DownloadList;
class DownloadManager;
}

namespace kinolark::library {
class EpisodeRecords;
}

namespace kinolark::playback {
struct TitleDetail;
}

namespace kinolark::player {
class EpisodeSession;
}

namespace kinolark::shell {

class Browser;
class CastPanel;
class DesktopLink;
class FocusFrame;
class MyTitles;
class PlayHandOff;
class PlayerView;
class TemplateBox;
class TitleSuggestions;

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
    // A title chosen among the suggestions: shown as after a click on it in
    // TreeView2.
    void openSuggestedTitle(qint64 id);
    TitleSuggestions *suggestions() const { return m_suggestions; }

    const Services &services() const { return m_services; }
    QString homePage() const;      // the notice page file
    QString catalogueFile() const; // the catalogue file
    // The titles behind TreeView2, and the rows it shows of them (the view's
    // model: its indexes are the ones the view takes).
    browse::TitleListModel &titleModel() { return m_titles; }
    browse::TitleRows &titleRows() { return m_rows; }
    // The group "我的": favourites, watch history, new episodes.
    MyTitles &myTitles() { return *m_my; }

    // A title's detail and its episodes (main_window_detail.cpp).
    void TreeView2_NodeClick();
    void ListView1_Click();
    void ListView1_MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, const QPoint &pos);
    // The context menu of an episode; none for a place without an episode.
    std::unique_ptr<QMenu> episodeMenu(QListWidgetItem *item);
    // A title click still waiting for the site leaves the window alone from
    // now on (what it fetched is still cached).
    void forgetPendingTitle()
    {
        ++m_titleGeneration;
        endDetailWait();
    }

    // The built-in player over WebBrowser1 (main_window_player.cpp).
    PlayerView *playerView() const { return m_playerView; }
    PlayHandOff *playHandOff() const { return m_handOff; }
    // The episode that plays, and the desktop's view of it.
    player::EpisodeSession *episodeSession() const { return m_session; }
    DesktopLink *desktopLink() const { return m_desktop; }
    // Episodes kept on this machine (main_window_downloads.cpp).
    download::DownloadManager *downloads() const { return m_downloads; }
    // Queues the shown title's line `line`.
    void downloadEpisode(int line, const QString &episodeName);
    // Opens the title of `row` of the title list and queues all its episodes.
    void downloadTitle(const QModelIndex &row);
    // 我的 → 下载: the downloads in the title list, and a row's menu.
    void showDownloads();
    download::DownloadList *downloadList() const { return m_downloadList; }
    std::unique_ptr<QMenu> downloadMenu(const QModelIndex &row);
    // Casting to a TV (main_window_cast.cpp).
    cast::RendererList *renderers() const { return m_renderers; }
    cast::CastTarget *castTarget() const { return m_castTarget; }
    CastPanel *castPanel() const { return m_castPanel; }
    bool casting() const;
    // Plays the shown title's line `line` on `renderer`, from where the
    // window's player was if it played that episode.
    void castEpisode(int line, const kinolark::cast::Renderer &renderer);
    void stopCasting();
    // The TV stops; the episode goes on in the window from where it was.
    void playHere();
    // The ring around the pane that holds the focus.
    FocusFrame *focusFrame() const { return m_focusFrame; }

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
    // The current title's play addresses by play-list line; at least 1501.
    QVector<QString> PlayUrls = QVector<QString>(1501);

protected:
    void closeEvent(QCloseEvent *event) override;
    // Tab and Shift+Tab follow the controls' order. The browsers make their
    // page widgets late, and the window's own focus chain would take those
    // last; this way the web view passes Tab on like any other control.
    bool focusNextPrevChild(bool next) override;

private:
    void createControls();
    // The controls Tab moves through, in order; and whether one of them is
    // hidden under another.
    QList<QWidget *> tabStops() const;
    bool coveredControl(const QWidget *control) const;
    void buildCategoryTree();
    void connectBrowseHandlers();
    // Step of the start-up: the daily catalogue sync and the version check.
    void synchroniseCatalogue();
    // Step of the start-up: the hook on the episode list.
    void hookEpisodeList();
    void message(const QString &text);
    void setUpTitleDetail();
    void showTitleDetail(const playback::TitleDetail &detail);
    // The window no longer waits for a title's detail.
    void endDetailWait();
    std::optional<int> episodeLine(const QListWidgetItem *item) const;
    std::optional<QString> episodeAddress(const QListWidgetItem *item) const;
    void openEpisodeExternally(const QString &address);
    void copyEpisodeAddress(const QString &address);
    // Copies and says so: in the player area when it shows, else at `item`.
    void copyAddressFrom(const QString &address, const QListWidgetItem *item);
    bool episodeListMouse(QEvent *event);
    bool passMouseOn(const QMouseEvent *event);
    QString appFile(const QString &name) const;
    // The built-in player (main_window_player.cpp).
    void setUpPlayer();
    void preparePlayer(int line, const QString &address, const QString &page);
    void playHandedOff(const QString &address, const QSize &size);
    void browser1PageStarting(const QUrl &url);
    // The episode item of the play-list line `line`, clicked as the user would.
    bool clickEpisodeLine(int line);
    void stopPlayer();
    void setUpCasting();
    void setUpDownloads();
    void markDownloadedEpisodes();
    void showTitleRows();
    // After a click on a finished download's row: its episode plays.
    void playDownloaded(qint64 downloadId);
    // The episode's copy on this machine, when it plays here; empty otherwise.
    QString localCopy(int line) const;
    QMenu *castMenu(QWidget *parent, const std::function<int()> &line);
    void addRendererByHand();

    Services m_services;
    browse::TitleListModel m_titles;
    browse::TitleRows m_rows{&m_titles};
    TitleSuggestions *m_suggestions = nullptr;
    MyTitles *m_my = nullptr;
    bool m_loaded = false;
    quint64 m_titleGeneration = 0; // counts title clicks: the newest owns the window
    // Said over the right pane while a title click waits for the site.
    struct DetailWait
    {
        QLabel *label = nullptr;
        QTimer timer;
        quint64 generation = 0; // the click it is for
    };
    DetailWait m_detailWait;
    qint64 m_titleId = -1;         // the title whose episodes ListView1 shows

    // The episode handed to the player, and the play page that may hand it.
    struct PlayingEpisode
    {
        qint64 titleId = -1;
        int line = -1;
        QString address;
    };
    PlayingEpisode m_episode;
    QUrl m_playPage;
    PlayerView *m_playerView = nullptr;
    PlayHandOff *m_handOff = nullptr;
    std::unique_ptr<library::EpisodeRecords> m_records;
    player::EpisodeSession *m_session = nullptr;
    DesktopLink *m_desktop = nullptr;
    cast::RendererList *m_renderers = nullptr;
    cast::CastTarget *m_castTarget = nullptr;
    CastPanel *m_castPanel = nullptr;
    download::DownloadManager *m_downloads = nullptr;
    download::DownloadList *m_downloadList = nullptr;
    bool m_episodeListLetGo = false; // the episode list gave up the mouse while the button is held
    QObject *m_episodeMouseHook = nullptr; // gone before the window, which it calls
    FocusFrame *m_focusFrame = nullptr;
};

} // namespace kinolark::shell
