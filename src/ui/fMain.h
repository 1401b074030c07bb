// The main window: the feed list on the left, the current feed's items and the current
// item's page on the right, the menus, the toolbars, the notification-area icon and the two
// timers. It owns the settings and the subscription list for the whole run.
//
// The window's logic is spread over several sources behind this one class:
//   fMain.cpp           construction of the window, start-up, shutdown, view flags, timers
//   fMain_commands.cpp  the menus, the toolbars and the notification-area icon
//   fMain_feedlist.cpp  the feed list pane and the commands on feeds and groups
//   fMain_items.cpp     the item list, the heading panels and the content page
//   fMain_browser.cpp   the browser control's events and browser mode
//   fMain_impexp.cpp    import and export of subscription lists
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/uFetchState.h"
#include "shell/uDesktopNotifier.h"
#include "ui/uDownloader.h"
#include "ui/uNewItemsNotice.h"

class QAction;
class QKeySequence;
class QFrame;
class QLineEdit;
class QListWidget;
class QMenu;
class QLabel;
class QSplitter;
class QStatusBar;
class QSystemTrayIcon;
class QTimer;
class QToolButton;
class QUrl;

namespace skimbrook {

class RegistryStore;
class TCaptionPanel;
class TFeed;
class TFeedItem;
class TFeedList;
class TFeedListBox;
class TFlatMenuStyle;
class TPrompts;
class TSettings;
class TWebBrowser;

// The dialogs the window opens; tests replace them.
struct TMainDialogs {
  std::function<void(bool& ShowTips, QWidget* Parent)> RunTipDialog;
  std::function<bool(TSettings& Settings, QWidget* Parent)> EditOptions;
  std::function<bool(TSettings& Settings, QWidget* Parent)> EditProxySettings;
  // True when the user chose "Use the new address" of a feed that has moved.
  std::function<bool(const TFeed& Feed, const TFetchRecord* Record, QWidget* Parent)> ShowFeedInfo;
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

class TfmMain : public QMainWindow {
  Q_OBJECT

 public:
  // Builds the window and runs the start-up sequence: data folder, settings, notification
  // icon, position and view flags, the feed list from default.opml. An error in it is
  // reported and the window opens with what was set up so far.
  explicit TfmMain(TMainWindowServices Services, QWidget* Parent = nullptr);
  // Runs the shutdown sequence when closing has not.
  ~TfmMain() override;

  // ---- State shared by the panes -------------------------------------------------------

  TSettings& Settings();
  TFeedList& FeedList() { return *feedList_; }
  // What HTTP and the display know of each feed between runs: read at start, written after
  // each download run.
  TFetchState& FetchState() { return fetchState_; }
  // The encoding a feed's document named when it was last downloaded, or empty.
  const std::string& EncodingOf(const TFeed& Feed) const;
  TPrompts& Prompts() { return *services_.Prompts; }
  // The entry whose details the right-hand panes show (a feed or a group heading), or none.
  const std::shared_ptr<TFeed>& CurrentFeed() const { return currentFeed_; }
  // The item shown in the content pane, always one of the current feed's, or none.
  const std::shared_ptr<TFeedItem>& CurrentItem() const { return currentItem_; }
  // True while the program itself drives the browser, so that its navigations do not
  // switch to browser mode.
  bool navigatingInternally = false;
  // True while a download run is active.
  bool IsDownloading() const { return activeRun_ != nullptr; }
  // True once the shutdown sequence has run.
  bool IsShutDown() const { return shutDown_; }

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

  // ---- Commands (fMain_commands.cpp) ----------------------------------------------------

  void miFileAddFeedClick();
  void miFileAddGroupClick();
  void miFileFeedInfoClick();
  void miFileImportClick();
  void miFileExportClick();
  void miFileSearchDirectoryClick();
  void miFileExitClick();
  void miViewToolbarClick();
  void miViewStatusBarClick();
  void miViewFeedListClick();
  void miViewItemContentsClick();
  void miViewBrowserClick();
  void miViewFeedWebSiteClick();
  void miViewFollowLinkClick();
  void miViewTipOfTheDayClick();
  void miToolsCatchUpFeedClick();
  void miToolsCatchUpGroupClick();
  void miToolsCatchUpAllClick();
  void miToolsDownloadFeedClick();
  void miToolsDownloadGroupClick();
  void miToolsDownloadAllClick();
  void miToolsGoClick();
  void miToolsReloadClick();
  void miToolsBackClick();
  void miToolsForwardClick();
  void miToolsProxySettingsClick();
  void miToolsOptionsClick();
  void miHelpAboutClick();
  void miHelpSkimbrookHelpClick();
  void miHelpHomePageClick();
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

  // ---- Feed list pane (fMain_feedlist.cpp) -----------------------------------------------

  // Reads default.opml, rebuilds every row, makes the first entry current and writes the
  // file back.
  void LoadFeedList();
  // The model's observer of every entry: rewrites row Index.
  void UpdateFeedRow(int Index, TFeed& Feed);
  // The selected row's entry becomes the current feed; its items are shown when the
  // posted refill runs.
  void lbFeedListClick();
  // Moves the selected row to the row at Position, or to the end below the last row.
  void lbFeedListDragDrop(const QPoint& Position);
  // Subscribes to Url, selects it and offers to download it now.
  void AddFeed(const std::string& Url);
  void PromptAddFeed();
  void PromptAddGroup();
  void miFileRemoveFeedClick();
  // Feed Info of the current feed; its "Use the new address" moves the subscription.
  void ShowCurrentFeedInfo();
  // Marks every item of the current feed read; FocusList gives the feed list the focus.
  void CatchUpCurrentFeed(bool FocusList = true);
  void CatchUpCurrentGroup();
  void CatchUpAll();
  void DownloadCurrentFeed();
  void DownloadCurrentGroup();
  void DownloadAll();
  // Download All as a run that started by itself (download on start, the hourly run): the
  // only kind whose new items are told by a desktop notification.
  void DownloadAllByItself();
  // Whether the running download started by itself.
  bool RunStartedByItself() const { return runStartedByItself_; }
  // Sets the notification-area icon's hint to the total unread count once the events
  // already waiting have been handled (a reload changes every row's count at once).
  void PostTrayHintUpdate();

  // ---- Item list and content (fMain_items.cpp) -------------------------------------------

  // Shows the current feed's items (loading them first when needed) and selects the first.
  void FillItemList();
  // The model's observer of the current feed's items: rewrites line Index.
  void ItemLineChanged(int Index, TFeedItem& Item);
  // The selected line's item becomes current; an unread one arms the mark-as-read timer.
  void lbItemsClick();
  // Marks the current item read, if its page is still on screen.
  void MarkAsReadTimerTimer();
  // True while the current item's page can be seen: the reader view of a window that is
  // shown (not hidden to the notification area, not minimised).
  bool ItemPageOnScreen() const;
  // A fresh one-second count for the current item when it is unread and on screen.
  void ArmMarkAsRead();
  // Fills the five heading panels and writes the current item's page.
  void UpdateFeedAndItemView();
  // The page of an item: its description between "<html>" and "</html>".
  static QString ContentPage(const TFeedItem* Item, const std::string& Encoding = {});
  // Loads Page into Browser, its relative addresses resolving against BaseUrl; errors are
  // dropped and the pane keeps what it showed.
  static void WriteContentPage(TWebBrowser& Browser, const QString& Page, const QUrl& BaseUrl);
  void plFeedLinkClick();
  void plItemLinkClick();

  // ---- Browser control and browser mode (fMain_browser.cpp) ------------------------------

  // Before every navigation of the content pane's browser.
  void WebBrowserBeforeNavigate2(const QString& Url, bool MainFrame);
  void WebBrowserStatusTextChange(const QString& Text);
  void WebBrowserNewWindow2(const QString& Url);
  // A link of an item page that is not a web address was clicked and not followed.
  void WebBrowserNavigationRefused(const QUrl& Url);
  void EnterBrowserMode(bool BlankFirst);
  void LeaveBrowserMode();
  bool InBrowserMode() const;
  void OpenFeedWebSite();
  void FollowItemLink();
  void SearchDirectory();
  void sbBrowserHomeClick();
  void sbBrowserBackClick();
  void sbBrowserForwardClick();
  void sbBrowserRefreshClick();
  void sbBrowserGoClick();
  void sbBrowserCloseClick();

  // ---- Import and export (fMain_impexp.cpp) ----------------------------------------------

  // Asks for an OPML file, lets the user tick its entries and appends those to the list.
  void ImportFeeds();
  // Lets the user tick entries of the saved subscription list and writes them to a file.
  void ExportFeeds();

  // ---- Components ----------------------------------------------------------------------

  QFrame* plToolbar = nullptr;
  QToolButton* sbAddFeed = nullptr;
  QToolButton* sbCheckFeed = nullptr;
  QToolButton* sbCatchUp = nullptr;
  QToolButton* sbCheckAll = nullptr;
  QToolButton* sbClose = nullptr;

  QFrame* plBrowserToolbar = nullptr;
  QToolButton* sbBrowserHome = nullptr;
  QToolButton* sbBrowserBack = nullptr;
  QToolButton* sbBrowserForward = nullptr;
  QToolButton* sbBrowserRefresh = nullptr;
  QLineEdit* ebURL = nullptr;
  QToolButton* sbBrowserGo = nullptr;
  QToolButton* sbBrowserClose = nullptr;

  QStatusBar* StatusBar = nullptr;
  QSplitter* Splitter1 = nullptr;
  TFeedListBox* lbFeedList = nullptr;
  QWidget* plRight = nullptr;
  QSplitter* Splitter2 = nullptr;
  QWidget* plTopRight = nullptr;
  TCaptionPanel* plFeedTitle = nullptr;
  TCaptionPanel* plFeedLink = nullptr;
  QWidget* plFeedDescription = nullptr;
  QLabel* meFeedDescription = nullptr;
  QListWidget* lbItems = nullptr;
  QWidget* plBottomRight = nullptr;
  TCaptionPanel* plItemTitle = nullptr;
  TCaptionPanel* plItemLink = nullptr;
  TWebBrowser* WebBrowser = nullptr;

  QSystemTrayIcon* CoolTrayIcon = nullptr;
  QMenu* TrayPopupMenu = nullptr;
  QAction* miTrayRestore = nullptr;
  QAction* miTrayExit = nullptr;
  QTimer* MarkAsReadTimer = nullptr;
  QTimer* AutoDownloadTimer = nullptr;

  QMenu* miFile = nullptr;
  QAction* miFileAddFeed = nullptr;
  QAction* miFileAddGroup = nullptr;
  QAction* miFileRemoveFeed = nullptr;
  QAction* miFileFeedInfo = nullptr;
  QAction* miFileImport = nullptr;
  QAction* miFileExport = nullptr;
  QAction* miFileSearchDirectory = nullptr;
  QAction* miFileExit = nullptr;
  QMenu* miView = nullptr;
  QAction* miViewToolbar = nullptr;
  QAction* miViewStatusBar = nullptr;
  QAction* miViewFeedList = nullptr;
  QAction* miViewItemContents = nullptr;
  QAction* miViewBrowser = nullptr;
  QAction* miViewFeedWebSite = nullptr;
  QAction* miViewFollowLink = nullptr;
  QAction* miViewTipOfTheDay = nullptr;
  QMenu* miTools = nullptr;
  QAction* miToolsCatchUpFeed = nullptr;
  QAction* miToolsCatchUpGroup = nullptr;
  QAction* miToolsCatchUpAll = nullptr;
  QAction* miToolsCatchUpSeparator = nullptr;
  QAction* miToolsDownloadFeed = nullptr;
  QAction* miToolsDownloadGroup = nullptr;
  QAction* miToolsDownloadAll = nullptr;
  QAction* miToolsGo = nullptr;
  QAction* miToolsReload = nullptr;
  QAction* miToolsBack = nullptr;
  QAction* miToolsForward = nullptr;
  QAction* miToolsProxySettings = nullptr;
  QAction* miToolsOptions = nullptr;
  QMenu* miHelp = nullptr;
  QAction* miHelpAbout = nullptr;
  QAction* miHelpSkimbrookHelp = nullptr;
  QAction* miHelpHomePage = nullptr;
  QAction* miHelpEmailSupport = nullptr;

 signals:
  // The shutdown sequence has run; the program may end.
  void ShutdownFinished();

 protected:
  void showEvent(QShowEvent* Event) override;
  void hideEvent(QHideEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  // fMain.cpp
  void BuildLayout();
  QFrame* BuildToolbar();
  QFrame* BuildBrowserToolbar();
  QWidget* BuildRightPane();
  void BuildTimers();
  void FormCreate();
  void RestoreForm();
  // Names, in one message, the stored settings of another type that were read as defaults.
  void ReportIgnoredSettings();
  void SetPaneSizes(int FeedListWidth, int TopRightHeight);
  void ApplyViewFlags();
  void StoreForm();
  bool TrayAvailable() const;
  // fMain_commands.cpp
  void BuildMenus();
  void BuildTray();
  void ConnectCommands();
  QAction* AddMenuEntry(QMenu* Menu, const QString& Caption, const QKeySequence& Shortcut,
                        void (TfmMain::*Handler)());
  void ConnectPanes();
  // fMain_feedlist.cpp
  void SelectFeedRow(int Row);
  void HookFeed(TFeed& Feed);
  // Puts Feed into the list at Row (Count() appends) with its row, hooked and drawn.
  void InsertFeedRow(int Row, const std::shared_ptr<TFeed>& Feed);
  void FocusFeedListIfVisible();
  void CatchUpFeed(TFeed& Feed);
  // Drops the current item, stops the mark-as-read timer and unhooks the item list.
  void ReleaseItemList();
  void ReportDamagedSubscriptionFile();
  // True, with a status-bar note, when no download may start now: one is running or the
  // window has shut down.
  bool DownloadRefused();
  // Runs one download of Feeds unless DownloadRefused; Kind says who asked for it (a run
  // started by itself overrides it).
  void RunDownload(const std::vector<std::shared_ptr<TFeed>>& Feeds, TRunKind Kind);
  // "3 of 12 feeds could not be downloaded; ..." in the status bar after a run with failures.
  void ReportFailedFeeds(int Failed, int Queued);
  void NoteStatus(const QString& Text);
  // One desktop notification when a run that started by itself brought new unread items
  // and the user is not working in this window.
  void AnnounceNewItems(const TUnreadSnapshot& Before, bool StartedByItself);
  // fMain_items.cpp
  void UnhookItems(TFeed& Feed);
  void ClearItemLines();
  // fMain_browser.cpp
  // Navigates to about:blank as the program's own navigation and waits until it is ready.
  void BlankBrowser();
  // Enables, shows and hides the menu entries of browser mode or of the reader view.
  void SetBrowserModeMenus(bool BrowserMode);
  // Opens an address that comes from the current feed (an item's Link, the feed's
  // HtmlUrl) in browser mode: resolved against the feed's XmlUrl, and only when it is a web
  // address; anything else is refused with a status-bar note.
  void OpenFeedAddress(const std::string& Address);
  void KeepEnterInPages();
  // The given notifier, or the desktop's with the icon's balloon when it has no service;
  // a click on the message shows the window.
  void BuildNotifier();

  TMainWindowServices services_;
  TFlatMenuStyle* menuStyle_ = nullptr;
  std::unique_ptr<TSettings> settings_;
  std::unique_ptr<TFeedList> feedList_;
  TFetchState fetchState_{TFetchState::DefaultPath()};
  std::shared_ptr<TFeed> currentFeed_;
  std::shared_ptr<TFeedItem> currentItem_;
  bool firstShow_ = true;
  bool shutDown_ = false;
  TDownloader* activeRun_ = nullptr;
  bool closeAfterRun_ = false;
  bool refillPosted_ = false;
  bool runStartedByItself_ = false;
  bool trayHintPosted_ = false;
  TNotifier* notifier_ = nullptr;
  // The half-height layout was applied before the window was laid out for real.
  bool halfHeightPending_ = false;
};

}  // namespace skimbrook
