// The main window: the feed list on the left, the current feed's items and the current
// item's page on the right, the menus, the toolbars, the notification-area icon and the
// hourly timer. It owns the settings, the subscription list and the fetch state for the
// whole run.
//
// The window is assembled from panes that own their widgets and their state, and see the
// window only through TPaneHost (uPaneHost.h):
//   TFeedListPane (uFeedListPane)  the feed list, its rows, the current feed, the commands
//                                  that add, remove, move and catch up entries
//   TItemPane (uItemPane)          the heading panels, the item list, the current item, its
//                                  content page and the mark-as-read timer
//   TBrowserMode (uBrowserMode)    the browser's events, the address bar, entering and
//                                  leaving browser mode
// TfmMain itself keeps, in these sources:
//   fMain.cpp           construction and layout, start-up, shutdown, view flags, timers
//   fMain_commands.cpp  the window's commands, the menus, the toolbar, the notification-area
//                       icon, the panes' requests
//   fMain_download.cpp  download runs and what they report
//   fMain_impexp.cpp    import and export of subscription lists
// Each command is a QAction made, and named, by the object that performs it; the window
// places them in its menus (see Command below).
#pragma once

#include <QMainWindow>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/uFetchState.h"
#include "shell/uDesktopNotifier.h"
#include "ui/dialogs/fFeedInfo.h"
#include "ui/window/uDownloadSetup.h"
#include "ui/window/uNewItemsNotice.h"
#include "ui/window/uPaneHost.h"

class QAction;
class QKeySequence;
class QAbstractItemView;
class QFrame;
class QMenu;
class QPoint;
class QSplitter;
class QStatusBar;
class QSystemTrayIcon;
class QTimer;
class QToolButton;
class QUrl;

namespace skimbrook {

class RegistryStore;
class TBrowserMode;
class TFeed;
class TFeedItem;
class TFeedList;
class TFeedListPane;
class TFlatMenuStyle;
class TItemPane;
class TItemStoreLink;
class TPrompts;
class TSettings;
class TWebBrowser;

namespace test {
struct MainWindowAccess;
}

// The dialogs the window opens; tests replace them.
struct TMainDialogs {
  std::function<void(bool& ShowTips, QWidget* Parent)> RunTipDialog;
  std::function<bool(TSettings& Settings, QWidget* Parent)> EditOptions;
  std::function<bool(TSettings& Settings, QWidget* Parent)> EditProxySettings;
  // Feed Info: "Use the new address" of a feed that has moved, or an edited entry.
  std::function<TFeedInfoAnswer(const TFeed& Feed, const TFetchRecord* Record, QWidget* Parent,
                                bool StartEditing)>
      ShowFeedInfo;
  std::function<void(QWidget* Parent)> ShowHelp;
  // The import/export check list: the positions ticked, or nothing when cancelled.
  std::function<std::optional<std::vector<int>>(const TFeedList& List, const QString& Caption,
                                                QWidget* Parent)>
      ChooseEntries;
  // The program's own dialogs.
  static TMainDialogs Standard();
};

// What the window needs from outside. Registry and Prompts must outlive the window.
struct TMainWindowServices {
  RegistryStore* Registry = nullptr;
  // The program's full path, for the settings' start-with-session and context-menu entries.
  std::string ExecutablePath;
  // The folder of addfeed.htm, ending in '/'; empty means the executable's folder.
  std::string PagesFolder;
  TPrompts* Prompts = nullptr;
  // Creates the content pane's browser; by default the one over the web engine.
  std::function<TWebBrowser*(QWidget* Parent)> CreateBrowser;
  // Creates a download run; by default the download window.
  TDownloaderFactory CreateDownload;
  TMainDialogs Dialogs = TMainDialogs::Standard();
  // Whether the desktop has a notification area; asked of the desktop when not given.
  std::optional<bool> TrayAvailable;
  // Hands an address to the desktop (the support mail link).
  std::function<void(const QUrl& Url)> OpenExternalUrl;
  // Fetches the address typed into Add Feed to look for the feeds a page links; by default
  // over HTTP with the program's proxy.
  TPageFetch FetchPage;
  // Tells the desktop what a run brought; by default the desktop's notification service.
  TNotifier* Notifier = nullptr;
};

class TfmMain : public QMainWindow, private TPaneHost {
  Q_OBJECT

 public:
  // Builds the window and runs the start-up sequence: data folder, settings, notification
  // icon, position and view flags, the feed list from default.opml. An error in it is
  // reported and the window opens with what was set up so far.
  explicit TfmMain(TMainWindowServices Services, QWidget* Parent = nullptr);
  // Runs the shutdown sequence when closing has not.
  ~TfmMain() override;

  // ---- State shared by the panes -------------------------------------------------------

  TSettings& Settings() override;
  TFeedList& FeedList() override { return *feedList_; }
  // What HTTP and the display know of each feed between runs: read at start, written after
  // each download run.
  TFetchState& FetchState() override { return fetchState_; }
  // The encoding a feed's document named when it was last downloaded, or empty.
  const std::string& EncodingOf(const TFeed& Feed) const override;
  TPrompts& Prompts() override { return *services_.Prompts; }
  // The item store, opened once the window has been shown.
  TItemStoreLink& ItemStore() override { return *itemStore_; }
  // The entry whose details the right-hand panes show (a feed or a group heading), or none.
  const std::shared_ptr<TFeed>& CurrentFeed() const override;
  // The item shown in the content pane, always one of the current feed's, or none.
  const std::shared_ptr<TFeedItem>& CurrentItem() const override;
  QUrl CurrentItemBaseUrl() const override;
  // True while a download run is active.
  bool IsDownloading() const override { return activeRun_ != nullptr; }
  // True once the shutdown sequence has run.
  bool IsShutDown() const override { return shutDown_; }
  bool InBrowserMode() const override;

  // ---- Lifecycle and timers (fMain.cpp) -------------------------------------------------

  // The start-up actions, once per run: tip of the day, download on start, hourly timer.
  void StartUpActions();
  // Settings and default.opml written; runs once, from closing or destruction.
  void FormDestroy();
  // The tip of the day; its check box goes to ShowTips and the settings are saved.
  void ShowTipOfTheDay();
  // Starts (or restarts) the hourly download.
  void StartAutoDownloadTimer();
  void AutoDownloadTimerTimer();
  void Splitter1Moved();
  // Applies the layout with item contents shown (upper right pane half the right pane's
  // height) or hidden (the upper right pane fills it).
  void ApplyItemContentsLayout(bool Shown);
  // A later copy of the program was started with CommandLine (not interpreted).
  void SecondCopyActivated(const QString& CommandLine);
  // Asks for FillItemList once the events already waiting have been handled.
  void PostItemListRefill();
  // Sets the notification-area icon's hint to the total unread count, and the feed
  // heading's count of older unread items, once the events already waiting have been
  // handled (a reload changes every row's count at once).
  void PostTrayHintUpdate();

  // ---- Commands (fMain_commands.cpp) ----------------------------------------------------

  // Every command is a QAction named by its component name (miToolsCatchUpFeed), made by
  // the object that performs it: the feed list pane, the item pane, browser mode, or the
  // window for its own below. The window places them in its menus and enables them.
  QAction* Command(const char* Name) const;

  void miFileExitClick();
  // The next unread item after the current one in list order: in the current feed, then
  // in the next feeds with unread items (across groups), from the top again once.
  void miToolsNextUnreadClick();
  void miViewToolbarClick();
  void miViewStatusBarClick();
  void miViewFeedListClick();
  void miViewItemContentsClick();
  void miToolsProxySettingsClick();
  void miToolsOptionsClick();
  void miHelpAboutClick();
  void miHelpSkimbrookHelpClick();
  void miHelpEmailSupportClick();
  void sbAddFeedClick();
  void sbCheckFeedClick();
  void sbCatchUpClick();
  void sbCheckAllClick();
  // Hides the window to the notification area when MinimizeToTray is on (minimises it
  // when the desktop has no notification area).
  void sbCloseClick();
  void miTrayRestoreClick();
  void miTrayExitClick();
  // The about box's six lines.
  static QString AboutText();

  // The automation entry (a browser's or a script's Add Feed): the feed list pane's.
  void AddFeed(const std::string& Url);

  // ---- Downloads (fMain_download.cpp) ---------------------------------------------------

  void DownloadCurrentFeed();
  void DownloadCurrentGroup();
  void DownloadAll();
  // Download All as a run that started by itself (download on start, the hourly run): the
  // only kind whose new items are told by a desktop notification.
  void DownloadAllByItself();

  // ---- Import and export (fMain_impexp.cpp) ----------------------------------------------

  // Asks for an OPML file, lets the user tick its entries and appends those to the list.
  void ImportFeeds();
  // Lets the user tick entries of the saved subscription list and writes them to a file.
  void ExportFeeds();

 signals:
  // The shutdown sequence has run; the program may end.
  void ShutdownFinished();

 protected:
  void showEvent(QShowEvent* Event) override;
  void hideEvent(QHideEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  friend struct test::MainWindowAccess;

  // fMain.cpp
  void BuildLayout();
  QFrame* BuildToolbar();
  void BuildTimers();
  void FormCreate();
  void RestoreForm();
  // Names, in one message, the stored settings of another type that were read as defaults.
  void ReportIgnoredSettings();
  // Makes the entry and item current at the last exit current again.
  void RestoreCurrentFeed();
  // Writes default.opml back after the start, as every loading of the list does.
  void WriteBackFeedList();
  void SetPaneSizes(int FeedListWidth, int TopRightHeight);
  void ApplyViewFlags();
  void StoreForm();
  bool TrayAvailable() const;
  // fMain_commands.cpp
  // The window's own commands.
  void BuildCommands();
  void BuildMenus();
  void BuildTray();
  void ConnectCommands();
  // A right-click menu on List of the named commands; the row under the mouse is made
  // current first.
  void AddContextMenu(QAbstractItemView& List, const char* Name, std::initializer_list<const char*> Commands);
  // The given notifier, or the desktop's with the icon's balloon when it has no service;
  // a click on the message shows the window.
  void BuildNotifier();
  // Enables, shows and hides the menu entries of browser mode or of the reader view.
  void SetBrowserModeMenus(bool BrowserMode);
  // Joins the panes' signals to the panes and the window that answer them; once.
  void WirePanes();
  // The status bar (TPaneHost).
  void ShowStatus(const QString& Text) override;
  void NoteStatus(const QString& Text) override;
  // Lays the other panes and the menus out for browser mode or for the reader view.
  void ArrangeForBrowser(bool BrowserMode);
  // fMain_download.cpp
  // True, with a status-bar note, when no download may start now: one is running or the
  // window has shut down.
  bool DownloadRefused();
  // What a run's end is compared with: the unread counts and the feeds' addresses at its
  // start, who asked for it, and whether the hourly timer waits for its end.
  struct TRunStart {
    TUnreadSnapshot Before;
    std::vector<std::shared_ptr<TFeed>> Feeds;
    std::vector<std::string> Addresses;
    TRunKind Kind;
    bool RestartHourlyTimer;
  };
  // Starts one download of Feeds unless DownloadRefused; Kind says who asked for it. The
  // run advances on the main loop's events; RunFinished takes its end.
  void RunDownload(const std::vector<std::shared_ptr<TFeed>>& Feeds, TRunKind Kind,
                   bool RestartHourlyTimer = false);
  void RunFinished(const TRunStart& Start);
  // Download All on behalf of Kind: the hourly timer stops until the run has finished.
  void DownloadAllAs(TRunKind Kind);
  // "3 of 12 feeds could not be downloaded; ..." in the status bar after a run with failures.
  void ReportFailedFeeds(int Failed, int Queued);
  // The status bar names each feed of the run that moved to a new address, and where.
  void ReportMovedFeeds(const std::vector<std::shared_ptr<TFeed>>& Feeds,
                        const std::vector<std::string>& AddressesBefore, bool AfterFailures);
  // One desktop notification when a run that started by itself brought new unread items
  // and the user is not working in this window.
  void AnnounceNewItems(const TUnreadSnapshot& Before, bool StartedByItself);

  TMainWindowServices services_;
  TFlatMenuStyle* menuStyle_ = nullptr;
  std::unique_ptr<TSettings> settings_;
  std::unique_ptr<TFeedList> feedList_;
  TFetchState fetchState_{TFetchState::DefaultPath()};
  // Made before the panes that use it, and gone after them.
  std::unique_ptr<TItemStoreLink> itemStore_;
  // The panes go before the list and the settings they use, and before their widgets,
  // which the window's children are: no event reaches a pane that is gone.
  std::unique_ptr<TFeedListPane> feedListPane_;
  std::unique_ptr<TItemPane> itemPane_;
  std::unique_ptr<TBrowserMode> browserMode_;
  bool firstShow_ = true;
  bool shutDown_ = false;
  std::unique_ptr<TDownloader> activeRun_;
  bool closeAfterRun_ = false;
  bool refillPosted_ = false;
  bool trayHintPosted_ = false;
  TNotifier* notifier_ = nullptr;

  // ---- Widgets ---------------------------------------------------------------------------

  QFrame* plToolbar = nullptr;
  QToolButton* sbAddFeed = nullptr;
  QToolButton* sbCheckFeed = nullptr;
  QToolButton* sbCatchUp = nullptr;
  QToolButton* sbCheckAll = nullptr;
  QToolButton* sbClose = nullptr;
  QStatusBar* StatusBar = nullptr;
  QSplitter* Splitter1 = nullptr;

  QSystemTrayIcon* CoolTrayIcon = nullptr;
  QMenu* TrayPopupMenu = nullptr;
  QAction* miTrayRestore = nullptr;
  QAction* miTrayExit = nullptr;
  QTimer* AutoDownloadTimer = nullptr;

  // The window's own ticked View entries, whose ticks it reads and stores.
  QAction* miViewToolbar = nullptr;
  QAction* miViewStatusBar = nullptr;
  QAction* miViewFeedList = nullptr;
  QAction* miViewItemContents = nullptr;
};

}  // namespace skimbrook
