// What the main window tests share: a data folder of their own, settings in memory,
// scripted prompts, recording dialogs, a browser that only records and a download that
// the test drives.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/uRSS.h"
#include "settings/uMemoryRegistry.h"
#include "settings/uSettings.h"
#include "tools/QtPrinters.h"
#include "tools/TestSupport.h"
#include "ui/browser/uWebBrowser.h"
#include "ui/dialogs/uPrompts.h"
#include "ui/panes/uBrowserMode.h"
#include "ui/panes/uCaptionPanel.h"
#include "ui/panes/uFeedListBox.h"
#include "ui/panes/uFeedListPane.h"
#include "ui/panes/uItemPane.h"
#include "ui/window/fMain.h"
#include "ui/window/uDownloadSetup.h"
#include "ui/window/uItemStoreLink.h"

namespace skimbrook::test {

// A browser that shows nothing and remembers what it was asked to do. Its history is two
// counters of pages before and after the current one; a history move is recorded as
// "back" or "forward" among the navigations.
class TFakeWebBrowser : public TWebBrowser {
 public:
  using TWebBrowser::TWebBrowser;

  void Navigate(const QString& Url) override {
    Navigations << Url;
    if (BlankReadyAfterMs >= 0 && Url == QLatin1String("about:blank")) {
      State = Loading;
      QTimer::singleShot(BlankReadyAfterMs, this, [this] {
        State = Interactive;
        emit ReadyStateChanged();
      });
    }
    emit BeforeNavigate2(Url, true);
  }
  void GoBack() override {
    if (EarlierPages == 0) throw std::runtime_error("There is no earlier page.");
    --EarlierPages, ++LaterPages;
    Navigate(QStringLiteral("back"));
  }
  void GoForward() override {
    if (LaterPages == 0) throw std::runtime_error("There is no later page.");
    --LaterPages, ++EarlierPages;
    Navigate(QStringLiteral("forward"));
  }
  void Refresh() override { ++Refreshes; }
  TReadyState ReadyState() const override { return State; }
  void LoadFromText(const QString& Html, const QUrl& BaseUrl) override {
    Pages << Html;
    Bases << BaseUrl.toString();
  }

  QStringList Navigations;
  QStringList Pages;
  // The base address each page was given.
  QStringList Bases;
  int EarlierPages = 0;
  int LaterPages = 0;
  int Refreshes = 0;
  TReadyState State = Complete;
  // When not negative, a blank page becomes ready only this long after it was asked for.
  int BlankReadyAfterMs = -1;
};

// The download runs the window started; each run does what the test says.
struct TDownloadScript {
  struct TRun {
    std::vector<std::shared_ptr<TFeed>> Queued;
    bool Aborted = false;
  };
  std::vector<TRun> Runs;
  // Called by Start with the run's queue and OnFeedApplied; the run then finishes at once.
  std::function<void(TRun& Run, const std::function<void(TFeed&)>& Applied)> OnRun;
  // While set, a started run goes on until Release.
  bool Holding = false;
  // How the run held now finishes.
  std::function<void()> Finish;

  // Makes every run go on until Release.
  void WaitInsideRun() { Holding = true; }
  // Finishes the run held, if any.
  void Release() {
    if (auto finish = std::exchange(Finish, nullptr)) finish();
  }
};

class TScriptedDownloader : public TDownloader {
 public:
  TScriptedDownloader(TDownloadScript& Script) : script_(Script), index_(Script.Runs.size()) {
    script_.Runs.emplace_back();
  }
  void QueueFeed(std::shared_ptr<TFeed> Feed) override {
    script_.Runs[index_].Queued.push_back(std::move(Feed));
  }
  void Start() override {
    if (script_.OnRun) script_.OnRun(script_.Runs[index_], OnFeedApplied);
    if (!script_.Holding) {
      if (OnFinished) OnFinished();
      return;
    }
    script_.Finish = [this] {
      if (OnFinished) OnFinished();
    };
  }
  void Abort() override {
    script_.Runs[index_].Aborted = true;
    script_.Release();
  }

 private:
  TDownloadScript& script_;
  size_t index_;
};

// A notifier that remembers what it was asked to show.
class TRecordingNotifier : public TNotifier {
 public:
  void Notify(const QString& Summary, const QString& Body) override { Shown << Summary + ": " + Body; }
  QStringList Shown;
};

// The window's widgets and commands, found by their object names as the user's tools
// would, and what no name reaches: the panes and the browser-mode flag. Taken from a built
// window; its pointers stay valid as long as the window.
struct MainWindowAccess {
  explicit MainWindowAccess(TfmMain& Window) : window(Window) {}

  // The object named Name in the window's tree; a test that asks for a name the window
  // does not have fails here.
  template <class T>
  T* Named(const char* Name) const {
    T* found = window.findChild<T*>(QLatin1String(Name));
    if (!found) throw std::logic_error(std::string("the window has no ") + Name);
    return found;
  }
  // The list box of a feed list pane that stands alone.
  static TFeedListBox* ListOf(TFeedListPane& Pane) { return Pane.lbFeedList; }

  TfmMain& window;
  TFeedListPane& feedList = *window.feedListPane_;
  TItemPane& items = *window.itemPane_;
  TBrowserMode& browser = *window.browserMode_;
  TItemStoreLink& store = *window.itemStore_;
  bool& navigatingInternally = browser.navigatingInternally_;

  QFrame* plToolbar = Named<QFrame>("plToolbar");
  QToolButton* sbAddFeed = Named<QToolButton>("sbAddFeed");
  QToolButton* sbCheckFeed = Named<QToolButton>("sbCheckFeed");
  QToolButton* sbCatchUp = Named<QToolButton>("sbCatchUp");
  QToolButton* sbCheckAll = Named<QToolButton>("sbCheckAll");
  QToolButton* sbClose = Named<QToolButton>("sbClose");
  QFrame* plBrowserToolbar = Named<QFrame>("plBrowserToolbar");
  QToolButton* sbBrowserHome = Named<QToolButton>("sbBrowserHome");
  QToolButton* sbBrowserBack = Named<QToolButton>("sbBrowserBack");
  QToolButton* sbBrowserForward = Named<QToolButton>("sbBrowserForward");
  QToolButton* sbBrowserRefresh = Named<QToolButton>("sbBrowserRefresh");
  QLineEdit* ebURL = Named<QLineEdit>("ebURL");
  QToolButton* sbBrowserGo = Named<QToolButton>("sbBrowserGo");
  QToolButton* sbBrowserClose = Named<QToolButton>("sbBrowserClose");
  QStatusBar* StatusBar = Named<QStatusBar>("StatusBar");
  QSplitter* Splitter1 = Named<QSplitter>("Splitter1");
  TFeedListBox* lbFeedList = Named<TFeedListBox>("lbFeedList");
  QWidget* plRight = Named<QWidget>("plRight");
  QSplitter* Splitter2 = Named<QSplitter>("Splitter2");
  QWidget* plTopRight = Named<QWidget>("plTopRight");
  TCaptionPanel* plFeedTitle = Named<TCaptionPanel>("plFeedTitle");
  TCaptionPanel* plFeedLink = Named<TCaptionPanel>("plFeedLink");
  QLabel* meFeedDescription = Named<QLabel>("meFeedDescription");
  QListWidget* lbItems = Named<QListWidget>("lbItems");
  QWidget* plBottomRight = Named<QWidget>("plBottomRight");
  TCaptionPanel* plItemTitle = Named<TCaptionPanel>("plItemTitle");
  TCaptionPanel* plItemLink = Named<TCaptionPanel>("plItemLink");
  TWebBrowser* WebBrowser = Named<TWebBrowser>("WebBrowser");
  QTimer* MarkAsReadTimer = Named<QTimer>("MarkAsReadTimer");
  QSystemTrayIcon* CoolTrayIcon = Named<QSystemTrayIcon>("CoolTrayIcon");
  QMenu* TrayPopupMenu = Named<QMenu>("TrayPopupMenu");
  QAction* miTrayRestore = Named<QAction>("miTrayRestore");
  QAction* miTrayExit = Named<QAction>("miTrayExit");
  QTimer* AutoDownloadTimer = Named<QTimer>("AutoDownloadTimer");
  QMenu* miFile = Named<QMenu>("miFile");
  QAction* miFileAddFeed = Named<QAction>("miFileAddFeed");
  QAction* miFileAddGroup = Named<QAction>("miFileAddGroup");
  QAction* miFileRemoveFeed = Named<QAction>("miFileRemoveFeed");
  QAction* miFileFeedInfo = Named<QAction>("miFileFeedInfo");
  QAction* miFileImport = Named<QAction>("miFileImport");
  QAction* miFileExport = Named<QAction>("miFileExport");
  QAction* miFileSearchDirectory = Named<QAction>("miFileSearchDirectory");
  QAction* miFileExit = Named<QAction>("miFileExit");
  QMenu* miView = Named<QMenu>("miView");
  QAction* miViewToolbar = Named<QAction>("miViewToolbar");
  QAction* miViewStatusBar = Named<QAction>("miViewStatusBar");
  QAction* miViewFeedList = Named<QAction>("miViewFeedList");
  QAction* miViewItemContents = Named<QAction>("miViewItemContents");
  QAction* miViewBrowser = Named<QAction>("miViewBrowser");
  QAction* miViewFeedWebSite = Named<QAction>("miViewFeedWebSite");
  QAction* miViewFollowLink = Named<QAction>("miViewFollowLink");
  QAction* miViewTipOfTheDay = Named<QAction>("miViewTipOfTheDay");
  QMenu* miTools = Named<QMenu>("miTools");
  QAction* miToolsCatchUpFeed = Named<QAction>("miToolsCatchUpFeed");
  QAction* miToolsCatchUpGroup = Named<QAction>("miToolsCatchUpGroup");
  QAction* miToolsCatchUpAll = Named<QAction>("miToolsCatchUpAll");
  QAction* miToolsCatchUpSeparator = Named<QAction>("miToolsCatchUpSeparator");
  QAction* miToolsDownloadFeed = Named<QAction>("miToolsDownloadFeed");
  QAction* miToolsDownloadGroup = Named<QAction>("miToolsDownloadGroup");
  QAction* miToolsDownloadAll = Named<QAction>("miToolsDownloadAll");
  QAction* miToolsGo = Named<QAction>("miToolsGo");
  QAction* miToolsReload = Named<QAction>("miToolsReload");
  QAction* miToolsBack = Named<QAction>("miToolsBack");
  QAction* miToolsForward = Named<QAction>("miToolsForward");
  QAction* miToolsProxySettings = Named<QAction>("miToolsProxySettings");
  QAction* miToolsOptions = Named<QAction>("miToolsOptions");
  QMenu* miHelp = Named<QMenu>("miHelp");
  QAction* miHelpAbout = Named<QAction>("miHelpAbout");
  QAction* miHelpSkimbrookHelp = Named<QAction>("miHelpSkimbrookHelp");
  QAction* miHelpHomePage = Named<QAction>("miHelpHomePage");
  QAction* miHelpEmailSupport = Named<QAction>("miHelpEmailSupport");
  QAction* miViewSortByDate = Named<QAction>("miViewSortByDate");
  QAction* miViewShowOlderItems = Named<QAction>("miViewShowOlderItems");
  QAction* miViewStarredItems = Named<QAction>("miViewStarredItems");
  QAction* miViewFindItems = Named<QAction>("miViewFindItems");
  QAction* miToolsStarItem = Named<QAction>("miToolsStarItem");
  QWidget* plSearch = Named<QWidget>("plSearch");
  QLineEdit* edSearch = Named<QLineEdit>("edSearch");
};

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() { SetDataFolder(data.Path()); }
  ~MainWindowTest() override {
    window.reset();
    SetDataFolder("");
  }

  // Sets a value under the program's key before the window reads its settings.
  void SetSetting(const std::string& Subkey, const std::string& Name, const std::string& Value) {
    registry.WriteString("Software\\Skimbrook\\1.0\\" + Subkey, Name, Value);
  }
  std::optional<std::string> StoredSetting(const std::string& Subkey, const std::string& Name) {
    return registry.ReadString("Software\\Skimbrook\\1.0\\" + Subkey, Name);
  }

  // Writes default.opml with the given entries (an entry without URL is a heading).
  struct TEntry {
    std::string Title;
    std::string XmlUrl;
    int Unread = 0;
  };
  void WriteSubscriptions(const std::vector<TEntry>& Entries) {
    TFeedList list;
    for (const TEntry& entry : Entries) {
      auto feed = std::make_shared<TFeed>(entry.Title, "", entry.XmlUrl, "");
      feed->UnreadCount = entry.Unread;
      list.Add(feed);
    }
    list.SaveDefault();
  }
  // Writes the cache file of Url with items titled by Titles ("*" in front: already read).
  // The cache's channel title, which a feed takes over when it loads the cache, is Title.
  void WriteCache(const std::string& Url, const std::vector<std::string>& Titles,
                  const std::string& Title = "Cached") {
    TFeed feed(Title, "http://example.org/", Url, "");
    feed.LoadFromFile(DataPath("ui/empty-feed.xml"));
    feed.Title = Title;
    for (const std::string& title : Titles) {
      auto item = std::make_shared<TFeedItem>();
      item->IsRead = title.starts_with('*');
      item->Title = item->IsRead ? title.substr(1) : title;
      item->Link = "http://example.org/" + item->Title;
      item->Description = "<p>" + item->Title + "</p>";
      feed.AddItem(item);
    }
    feed.SaveCache();
  }

  TMainWindowServices Services() {
    TMainWindowServices services;
    services.Registry = &registry;
    services.ExecutablePath = "/opt/skimbrook/skimbrook";
    services.Prompts = &prompts;
    services.CreateBrowser = [this](QWidget* Parent) {
      browser = new TFakeWebBrowser(Parent);
      return browser;
    };
    if (!useDownloadWindow) {
      services.CreateDownload = [this](const TSettings&, QWidget*) {
        return std::make_unique<TScriptedDownloader>(downloads);
      };
    }
    services.Dialogs.RunTipDialog = [this](bool&, QWidget*) {
      events << "tip";
      if (onTip) onTip();
    };
    services.Dialogs.EditOptions = [this](TSettings& Settings, QWidget*) {
      events << "options";
      if (onOptions) return onOptions(Settings);
      return false;
    };
    services.Dialogs.ShowHelp = [this](QWidget*) { events << "help"; };
    services.Dialogs.ShowFeedInfo = [this](const TFeed& Feed, const TFetchRecord* Record, QWidget*,
                                           bool Editing) {
      events << QString::fromStdString((Editing ? "edit " : "info ") + Feed.Title);
      if (Record && !Record->LastFailure.empty())
        events << QString::fromStdString("reason " + Record->LastFailure);
      if (useNewAddress) return TFeedInfoAnswer(TFeedInfoAnswer::kUseNewAddress);
      return feedInfoAnswer;
    };
    services.Dialogs.EditProxySettings = [this](TSettings& Settings, QWidget*) {
      events << "proxy";
      Settings.ProxyAddress = "proxy.example.org";
      return proxyAnswer;
    };
    services.TrayAvailable = trayAvailable;
    services.Notifier = &notifier;
    // Typed addresses are looked at only where a test serves a page.
    services.FetchPage = [this](const std::string& Url) -> std::optional<TFetchedPage> {
      if (pages.count(Url) == 0) return std::nullopt;
      return TFetchedPage{pages[Url], "text/html", Url};
    };
    services.OpenExternalUrl = [this](const QUrl& Url) { events << Url.toString(); };
    return services;
  }

  TfmMain& Open() {
    window = std::make_unique<TfmMain>(Services());
    return *window;
  }

  // The open window's widgets.
  MainWindowAccess Ui() const { return MainWindowAccess(*window); }
  // Gives the command named Name, as its menu entry or shortcut would.
  void Trigger(const char* Name) const { Ui().Named<QAction>(Name)->trigger(); }

  static void ProcessEvents() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  // Lets the window's download run to its end, and what it left behind go.
  void WaitForDownload() {
    QElapsedTimer clock;
    clock.start();
    while (window->IsDownloading() && clock.elapsed() < 60000)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ProcessEvents();
  }

  QStringList FeedRows() const;
  QStringList ItemLines() const;
  // Selects a feed row as the user would and lets the posted refill run.
  void ClickFeedRow(int Row);

  std::string DefaultOpml() const { return ReadFile(data.File("default.opml")); }

  TTempDir data;
  TMemoryRegistry registry;
  TScriptedPrompts prompts;
  TDownloadScript downloads;
  TRecordingNotifier notifier;
  // Pages that Add Feed's look at a typed address finds, by address.
  std::map<std::string, std::string> pages;
  QStringList events;
  std::function<bool(TSettings&)> onOptions;
  std::function<void()> onTip;
  bool proxyAnswer = false;
  // Feed Info's answer: "Use the new address" was chosen.
  bool useNewAddress = false;
  // Feed Info's answer otherwise (an edit).
  TFeedInfoAnswer feedInfoAnswer;
  std::optional<bool> trayAvailable = false;
  // Downloads through the real download window instead of the script.
  bool useDownloadWindow = false;
  TFakeWebBrowser* browser = nullptr;
  std::unique_ptr<TfmMain> window;
};

}  // namespace skimbrook::test
