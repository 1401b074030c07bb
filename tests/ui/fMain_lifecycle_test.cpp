// The main window's start, its start-up actions, its commands that belong to no pane and
// its shutdown.
#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>

#include "MainWindowFixture.h"
#include "settings/uSettings.h"
#include "ui/panes/uFeedListBox.h"

namespace skimbrook::test {

namespace {

using Lifecycle = MainWindowTest;

const std::string kEmptyList =
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<opml>\r\n  <body>\r\n  </body>\r\n</opml>\r\n";

TEST_F(Lifecycle, FirstStartCreatesTheDataFolderAndWritesAnEmptyList) {
  const std::string folder = data.Path() + "new/nested/data/";
  SetDataFolder(folder);
  Open();
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  // Written once the window is shown and the event loop runs.
  EXPECT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(folder + "default.opml"); }));
  EXPECT_EQ(ReadFile(folder + "default.opml"), kEmptyList);
  EXPECT_EQ(Ui().lbFeedList->count(), 0);
  EXPECT_EQ(window->CurrentFeed(), nullptr);
  EXPECT_EQ(window->windowTitle(), "Skimbrook v.1.0");
  EXPECT_EQ(browser->Pages.value(0), "<html></html>");
}

TEST_F(Lifecycle, StartMakesTheFirstEntryCurrentAndLeavesTheItemListEmpty) {
  WriteSubscriptions({{"News", "http://example.org/news", 3}, {"Sports", ""}});
  WriteCache("http://example.org/news", {"One", "Two", "Three"});
  Open();
  EXPECT_EQ(Ui().lbFeedList->currentRow(), 0);
  ASSERT_NE(window->CurrentFeed(), nullptr);
  EXPECT_EQ(window->CurrentFeed()->Title, "News");
  EXPECT_EQ(window->CurrentFeed()->ItemCount(), -1) << "cache files are not read at start";
  EXPECT_EQ(Ui().lbItems->count(), 0);
  ProcessEvents();
  EXPECT_EQ(Ui().lbItems->count(), 0) << "selecting the first row at start is not a click";
}

TEST_F(Lifecycle, RememberedPositionAppliesZeroEdgesButKeepsTheDesignSizeForZeroSizes) {
  SetSetting("Form", "Left", "0");
  SetSetting("Form", "Top", "0");
  SetSetting("Form", "Width", "0");
  SetSetting("Form", "Height", "0");
  Open();
  EXPECT_EQ(window->pos(), QPoint(0, 0));
  EXPECT_EQ(window->size(), QSize(612, 519));
  EXPECT_EQ(window->minimumSize(), QSize(612, 400));
  EXPECT_EQ(Ui().lbFeedList->width(), 250);
}

TEST_F(Lifecycle, RememberedSizesAndFeedListWidthAreRestored) {
  SetSetting("Form", "Left", "40");
  SetSetting("Form", "Top", "30");
  SetSetting("Form", "Width", "800");
  SetSetting("Form", "Height", "600");
  SetSetting("Form", "Splitter1", "180");
  Open();
  window->show();
  ProcessEvents();
  EXPECT_EQ(window->size(), QSize(800, 600));
  EXPECT_EQ(Ui().lbFeedList->width(), 180);
}

TEST_F(Lifecycle, ItemContentsAtStartTakeHalfTheRightPaneWhateverTheStoredHeight) {
  SetSetting("Form", "Splitter2", "120");
  Open();
  window->show();
  ProcessEvents();
  EXPECT_TRUE(Ui().plBottomRight->isVisible());
  EXPECT_NEAR(Ui().plTopRight->height(), Ui().plRight->height() / 2, 1);
}

TEST_F(Lifecycle, ItemContentsHiddenLetTheItemListFillTheRightPane) {
  SetSetting("View", "ItemContents", "0");
  SetSetting("View", "Toolbar", "0");
  Open();
  window->show();
  ProcessEvents();
  EXPECT_FALSE(Ui().miViewItemContents->isChecked());
  EXPECT_FALSE(Ui().plBottomRight->isVisible());
  EXPECT_FALSE(Ui().plToolbar->isVisible());
  EXPECT_EQ(Ui().plTopRight->height(), Ui().Splitter2->height());
  Ui().miViewItemContents->trigger();
  ProcessEvents();
  EXPECT_TRUE(Ui().plBottomRight->isVisible());
  EXPECT_NEAR(Ui().plTopRight->height(), Ui().plRight->height() / 2, 1);
}

TEST_F(Lifecycle, StartUpActionsRunOnceInOrderAfterTheFirstShow) {
  SetSetting("Options", "DownloadOnStartUp", "1");
  WriteSubscriptions({{"News", "http://example.org/news"}});
  downloads.OnRun = [this](TDownloadScript::TRun&, const auto&) { events << "download"; };
  Open();
  ProcessEvents();
  EXPECT_TRUE(events.isEmpty()) << "nothing before the window is shown";
  window->show();
  ProcessEvents();
  EXPECT_EQ(events, QStringList({"tip", "download"}));
  EXPECT_TRUE(Ui().AutoDownloadTimer->isActive());
  EXPECT_EQ(Ui().AutoDownloadTimer->interval(), 3'600'000);

  window->sbCloseClick();
  window->miTrayRestoreClick();
  ProcessEvents();
  EXPECT_EQ(events, QStringList({"tip", "download"})) << "restoring does not repeat them";
}

TEST_F(Lifecycle, ClosingWhileTheTipIsShownSkipsTheRestOfTheStartUpActions) {
  SetSetting("Options", "DownloadOnStartUp", "1");
  onTip = [this] { window->close(); };
  Open();
  window->show();
  ProcessEvents();
  EXPECT_EQ(events, QStringList({"tip"}));
  EXPECT_TRUE(window->IsShutDown());
  EXPECT_TRUE(downloads.Runs.empty());
  EXPECT_FALSE(Ui().AutoDownloadTimer->isActive());
}

TEST_F(Lifecycle, CloseButtonHidesToTheNotificationAreaOnlyWhenAsked) {
  trayAvailable = true;
  Open();
  window->show();
  ProcessEvents();
  Ui().sbClose->click();
  EXPECT_TRUE(window->isHidden());
  window->miTrayRestoreClick();
  EXPECT_TRUE(window->isVisible());

  window->Settings().MinimizeToTray = false;
  Ui().sbClose->click();
  EXPECT_TRUE(window->isVisible());
}

TEST_F(Lifecycle, ExitFromTheNotificationAreaWhileHiddenSavesEverything) {
  trayAvailable = true;
  Open();
  window->show();
  ProcessEvents();
  window->resize(650, 450);
  window->sbCloseClick();
  ASSERT_TRUE(window->isHidden());
  Ui().miTrayExit->trigger();
  EXPECT_TRUE(window->IsShutDown());
  EXPECT_EQ(StoredSetting("Form", "Width"), "650");
  EXPECT_TRUE(Exists(data.File("default.opml")));
}

TEST_F(Lifecycle, DialogCommandsOpenTheirDialogsAndSaveOnlyOnOk) {
  WriteSubscriptions({{"News", "http://example.org/news"}});
  Open();
  Ui().miFileFeedInfo->trigger();
  Ui().miHelpSkimbrookHelp->trigger();
  proxyAnswer = true;
  Ui().miToolsProxySettings->trigger();
  EXPECT_EQ(events, QStringList({"info News", "help", "proxy"}));
  EXPECT_EQ(StoredSetting("Proxy", "Address"), "proxy.example.org");
  prompts.Answer(true);
  Trigger("miFileRemoveFeed");
  Ui().miFileFeedInfo->trigger();
  EXPECT_EQ(events.size(), 3) << "no feed, no feed info";
}

TEST_F(Lifecycle, CloseButtonMinimisesWhenThereIsNoNotificationArea) {
  trayAvailable = false;
  Open();
  window->show();
  ProcessEvents();
  Ui().sbClose->click();
  ProcessEvents();
  EXPECT_FALSE(window->isHidden()) << "a hidden window could never come back";
  EXPECT_TRUE(window->isMinimized());
}

TEST_F(Lifecycle, ShutdownStoresGeometryOnlyWhenRememberedButAlwaysTheViewTicks) {
  SetSetting("Options", "RememberForm", "0");
  WriteSubscriptions({{"News", "http://example.org/news", 2}});
  WriteCache("http://example.org/news", {"One", "Two"}, "News");
  Open();
  window->show();
  ProcessEvents();
  window->resize(640, 480);
  Ui().miViewStatusBar->trigger();
  Trigger("miToolsCatchUpFeed");
  QSignalSpy finished(window.get(), &TfmMain::ShutdownFinished);
  EXPECT_TRUE(window->close());
  EXPECT_EQ(finished.count(), 1);
  EXPECT_EQ(StoredSetting("Form", "Width"), "0") << "the geometry fields keep what they held";
  EXPECT_EQ(StoredSetting("View", "StatusBar"), "0");
  EXPECT_EQ(StoredSetting("View", "Toolbar"), "1");
  EXPECT_NE(DefaultOpml().find("News"), std::string::npos);
  EXPECT_EQ(DefaultOpml().find("unreadCount"), std::string::npos) << "the caught-up count reaches the file";
}

TEST_F(Lifecycle, ShutdownWithRememberFormStoresTheCurrentGeometry) {
  Open();
  window->show();
  ProcessEvents();
  window->resize(700, 500);
  ProcessEvents();
  window->close();
  EXPECT_EQ(StoredSetting("Form", "Width"), "700");
  EXPECT_EQ(StoredSetting("Form", "Height"), "500");
  EXPECT_EQ(StoredSetting("Form", "Splitter1"), std::to_string(Ui().lbFeedList->width()));
  EXPECT_EQ(StoredSetting("Form", "Splitter2"), std::to_string(Ui().plTopRight->height()));
}

// A store whose file exists but cannot be read, as the hive file store behaves then.
class TUnreadableRegistry : public TMemoryRegistry {
 public:
  std::optional<std::string> ReadString(const std::string&, const std::string& Name) override {
    throw std::runtime_error("Failed to get data for '" + Name + "'");
  }
};

TEST_F(Lifecycle, AStartThatCannotReadTheSettingsReportsItAndNeverOverwritesTheList) {
  TUnreadableRegistry unreadable;
  WriteSubscriptions({{"News", "http://example.org/news", 5}});
  const std::string before = DefaultOpml();
  TMainWindowServices services = Services();
  services.Registry = &unreadable;
  window = std::make_unique<TfmMain>(std::move(services));
  ASSERT_EQ(prompts.Asked().size(), 1u);
  EXPECT_EQ(prompts.Asked()[0].Kind, TScriptedPrompts::TKind::Error);
  EXPECT_EQ(prompts.Asked()[0].Title, "Skimbrook");
  EXPECT_TRUE(prompts.Asked()[0].Text.contains("Failed to get data for 'Left'"));
  // Commands that save the list refuse while it was never read.
  prompts.Answer("Group");
  EXPECT_THROW(Ui().feedList.miFileAddGroupClick(), std::runtime_error);
  EXPECT_EQ(DefaultOpml(), before);
  window->close();
  EXPECT_EQ(DefaultOpml(), before);
}

TEST_F(Lifecycle, SettingsOfAnotherTypeAreNamedInOneMessageAndTheStartGoesOn) {
  registry = TMemoryRegistry(
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Skimbrook\\1.0\\Form]\n\"Width\"=dword:00000320\n"
      "\"Height\"=hex:01\n\"Left\"=\"15\"\n");
  WriteSubscriptions({{"News", "http://example.org/news", 5}});
  Open();
  ASSERT_EQ(prompts.Asked().size(), 1u);
  EXPECT_EQ(prompts.Asked()[0].Kind, TScriptedPrompts::TKind::Information);
  EXPECT_TRUE(prompts.Asked()[0].Text.contains("Form\\Height, Form\\Width"))
      << prompts.Asked()[0].Text.toStdString();
  EXPECT_EQ(window->x(), 15);
  EXPECT_EQ(Ui().lbFeedList->count(), 1);
  window->close();
  EXPECT_EQ(StoredSetting("Form", "Width"), std::to_string(window->width())) << "saved as text again";
}

TEST_F(Lifecycle, ADamagedListIsReportedWithTheNameOfItsCopy) {
  WriteFile(data.File("default.opml"), "<opml><body><outline title=\"A\" xmlUrl=\"http://a/\" /><outl");
  Open();
  const auto& asked = prompts.Asked();
  ASSERT_FALSE(asked.empty());
  EXPECT_TRUE(asked.back().Text.contains(QString::fromStdString(data.Path()) + "default.opml.damaged-"));
  EXPECT_FALSE(window->FeedList().DamagedCopyPath().empty());
  EXPECT_TRUE(Exists(window->FeedList().DamagedCopyPath()));
}

TEST_F(Lifecycle, OptionsConfirmedSaveAndStartTheHourWhenTheTimerWasOff) {
  Open();
  onOptions = [](TSettings& Settings) {
    Settings.DownloadOnStartUp = true;
    return true;
  };
  EXPECT_FALSE(Ui().AutoDownloadTimer->isActive());
  Ui().miToolsOptions->trigger();
  EXPECT_TRUE(Ui().AutoDownloadTimer->isActive());
  EXPECT_EQ(StoredSetting("Options", "DownloadOnStartUp"), "1");

  onOptions = [](TSettings&) { return false; };
  Ui().AutoDownloadTimer->stop();
  Ui().miToolsOptions->trigger();
  EXPECT_FALSE(Ui().AutoDownloadTimer->isActive()) << "Cancel changes nothing";
}

TEST_F(Lifecycle, HourlyDownloadRestartsTheHourOnlyWhenStillWanted) {
  WriteSubscriptions(
      {{"News", "http://example.org/news"}, {"Group", ""}, {"Other", "http://example.org/other"}});
  Open();
  window->StartAutoDownloadTimer();
  window->AutoDownloadTimerTimer();
  ASSERT_EQ(downloads.Runs.size(), 1u);
  EXPECT_EQ(downloads.Runs[0].Queued.size(), 2u) << "headings are not queued";
  EXPECT_TRUE(Ui().AutoDownloadTimer->isActive());

  window->Settings().AutomaticallyDownload = false;
  window->AutoDownloadTimerTimer();
  EXPECT_FALSE(Ui().AutoDownloadTimer->isActive());
}

TEST_F(Lifecycle, ASecondDownloadDuringARunIsRefusedWithANote) {
  WriteSubscriptions({{"News", "http://example.org/news"}});
  Open();
  downloads.WaitInsideRun();
  window->DownloadAll();
  // While the run goes on, the window answers, and refuses a second run.
  window->DownloadCurrentFeed();
  window->AutoDownloadTimerTimer();
  Trigger("miFileAddGroup");
  EXPECT_TRUE(window->IsDownloading());
  downloads.Release();
  EXPECT_EQ(downloads.Runs.size(), 1u);
  EXPECT_TRUE(Ui().StatusBar->currentMessage().contains("already running"));
  EXPECT_EQ(prompts.AskedTitles(), QStringList({"Information"})) << "Add Group refused without asking a name";
  EXPECT_FALSE(window->IsDownloading());
  downloads.Holding = false;
  window->DownloadCurrentFeed();
  EXPECT_EQ(downloads.Runs.size(), 2u) << "the next command after the run works again";
}

TEST_F(Lifecycle, ClosingDuringARunAbortsItAndThenShutsDown) {
  WriteSubscriptions({{"News", "http://example.org/news"}});
  Open();
  window->show();
  ProcessEvents();
  QSignalSpy finished(window.get(), &TfmMain::ShutdownFinished);
  downloads.WaitInsideRun();
  window->DownloadCurrentFeed();
  window->close();
  EXPECT_TRUE(downloads.Runs.at(0).Aborted);
  EXPECT_FALSE(window->IsShutDown()) << "not before the run has ended and the close comes again";
  ProcessEvents();
  EXPECT_TRUE(window->IsShutDown());
  EXPECT_EQ(finished.count(), 1);
}

TEST_F(Lifecycle, SecondCopyWithArgumentsRefillsTheItemList) {
  WriteSubscriptions({{"News", "http://example.org/news"}});
  WriteCache("http://example.org/news", {"One"});
  Open();
  window->SecondCopyActivated("");
  ProcessEvents();
  EXPECT_EQ(Ui().lbItems->count(), 0);
  window->SecondCopyActivated("--anything");
  ProcessEvents();
  EXPECT_EQ(Ui().lbItems->count(), 1);
}

TEST_F(Lifecycle, AboutBoxAndSupportMail) {
  Open();
  Ui().miHelpAbout->trigger();
  ASSERT_EQ(prompts.Asked().size(), 1u);
  EXPECT_EQ(prompts.Asked()[0].Title, "Information");
  const QStringList lines = prompts.Asked()[0].Text.split('\n');
  ASSERT_EQ(lines.size(), 6);
  EXPECT_EQ(lines[0], "Skimbrook");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "Version: 1.0");
  EXPECT_EQ(lines[4], "Build: 100");
  EXPECT_TRUE(QRegularExpression("^Release Date: \\d\\d/\\d\\d/\\d{4}$").match(lines[5]).hasMatch());
  Ui().miHelpEmailSupport->trigger();
  EXPECT_TRUE(events.last().startsWith("mailto:"));
}

// Every entry of every menu in order: caption, shortcut, and "-" for a separator.
QStringList MenuEntries(const QMenu& Menu) {
  QStringList entries;
  for (const QAction* action : Menu.actions()) {
    if (action->isSeparator())
      entries << "-";
    else
      entries << action->text() + (action->shortcut().isEmpty() ? "" : "|" + action->shortcut().toString());
  }
  return entries;
}

TEST_F(Lifecycle, MenusHoldEveryEntryInOrderWithItsShortcutAndMnemonic) {
  Open();
  QStringList menus;
  for (const QAction* action : window->menuBar()->actions()) menus << action->text();
  EXPECT_EQ(menus, QStringList({"&File", "&View", "&Tools", "&Help"}));
  EXPECT_EQ(MenuEntries(*Ui().miFile),
            QStringList({"&Add Feed|Ctrl+A", "Add &Group|Ctrl+G", "&Remove Feed/Group|Del",
                         "Feed &Info|Alt+Return", "E&dit Feed...", "-", "I&mport...", "&Export...", "-",
                         "&Search Feed Directory...", "-", "E&xit|Alt+F4"}));
  EXPECT_EQ(MenuEntries(*Ui().miView),
            QStringList({"&Toolbar", "&Status Bar", "&Feed List|F11", "Item &Contents|F12", "Sort by &Date",
                         "Show Old&er Items", "Starred &Items", "Fi&nd Items...|Ctrl+F", "-",
                         "&Browser|Ctrl+B", "Feed &Web Site|Ctrl+W", "Follow &Link|Ctrl+L",
                         "&Open in Browser|Ctrl+O", "-", "Tip Of The Da&y..."}));
  EXPECT_EQ(MenuEntries(*Ui().miTools),
            QStringList({"Catch Up &Feed|F2", "Catch Up &Group|F3", "Catch Up &All|F4", "&Next Unread|N",
                         "Mark as &Unread|Ctrl+U", "&Star Item|Ctrl+S", "-", "&Download Feed|F5",
                         "Download Grou&p|F6", "Download A&ll|F7", "G&o|Return", "&Reload|F5",
                         "&Back|Alt+Left", "For&ward|Alt+Right", "-", "Pro&xy Settings...", "Op&tions..."}));
  EXPECT_EQ(MenuEntries(*Ui().miHelp),
            QStringList({"&About", "Skimbrook &Help...|F1", "-", "Home &Page", "&Email Support"}));
  // No two entries of a menu share their underlined letter.
  for (const QMenu* menu : {Ui().miFile, Ui().miView, Ui().miTools, Ui().miHelp}) {
    QList<QChar> letters;
    for (const QAction* action : menu->actions()) {
      const qsizetype amp = action->text().indexOf(QLatin1Char('&'));
      if (action->isSeparator()) continue;
      ASSERT_GE(amp, 0) << action->text().toStdString();
      const QChar letter = action->text().at(amp + 1).toLower();
      EXPECT_FALSE(letters.contains(letter)) << action->text().toStdString();
      letters << letter;
    }
  }
  for (const QAction* hidden : {Ui().miToolsGo, Ui().miToolsReload, Ui().miToolsBack, Ui().miToolsForward})
    EXPECT_FALSE(hidden->isVisible()) << hidden->text().toStdString();
  EXPECT_EQ(Ui().TrayPopupMenu->defaultAction(), Ui().miTrayRestore);
  EXPECT_TRUE(Ui().miTrayRestore->font().bold());
}

TEST_F(Lifecycle, ToolbarsHaveTheirDesignSizes) {
  Open();
  const std::vector<std::pair<QToolButton*, QString>> buttons = {{Ui().sbAddFeed, "Add Feed"},
                                                                 {Ui().sbCheckFeed, "Check Feed"},
                                                                 {Ui().sbCatchUp, "Catch Up"},
                                                                 {Ui().sbCheckAll, "Check All"},
                                                                 {Ui().sbClose, "Close"}};
  int left = 2;
  for (const auto& [button, caption] : buttons) {
    EXPECT_EQ(button->geometry(), QRect(left, 2, 120, 30)) << caption.toStdString();
    EXPECT_EQ(button->text(), caption);
    EXPECT_TRUE(button->font().bold());
    EXPECT_FALSE(button->icon().isNull());
    left += 120;
  }
  EXPECT_EQ(Ui().plToolbar->height(), 34);
  EXPECT_TRUE(Ui().plBrowserToolbar->isHidden());
  window->show();
  Ui().plBrowserToolbar->show();
  ProcessEvents();
  const int width = Ui().plBrowserToolbar->width();
  EXPECT_EQ(Ui().plBrowserToolbar->height(), 29);
  EXPECT_EQ(Ui().sbBrowserGo->geometry(), QRect(width - 52, 2, 25, 25));
  EXPECT_EQ(Ui().sbBrowserClose->geometry(), QRect(width - 27, 2, 25, 25));
  EXPECT_EQ(Ui().sbBrowserRefresh->geometry(), QRect(77, 2, 25, 25));
  EXPECT_EQ(Ui().ebURL->x(), 104);
  EXPECT_EQ(Ui().ebURL->height(), 21);
}

}  // namespace

}  // namespace skimbrook::test
