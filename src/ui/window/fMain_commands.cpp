// The main window's menus, toolbar buttons and notification-area icon, the commands that
// belong to no pane, the one-line forwards to the panes' commands and the panes' requests.
#include <QAbstractItemView>
#include <QAction>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "model/uRSS.h"
#include "settings/uSettings.h"
#include "ui/dialogs/uPrompts.h"
#include "ui/painting/uFlatMenuStyle.h"
#include "ui/painting/uGlyphs.h"
#include "ui/panes/uBrowserMode.h"
#include "ui/panes/uFeedListPane.h"
#include "ui/panes/uItemPane.h"
#include "ui/window/fMain.h"
#include "ui/window/uCommand.h"
#include "ui/window/uItemStoreLink.h"
#include "ui/window/uProduct.h"

namespace skimbrook {

namespace {

constexpr int kStatusNoteMs = 10'000;

}  // namespace

// ---------------------------------------------------------------------------------------
// Building

QAction* TfmMain::Command(const char* Name) const {
  auto* command = findChild<QAction*>(QLatin1String(Name));
  Q_ASSERT_X(command, "TfmMain::Command", Name);
  return command;
}

void TfmMain::BuildCommands() {
  using T = TfmMain;
  NewCommand(this, "miFileImport", QStringLiteral("I&mport..."), this, &T::ImportFeeds);
  NewCommand(this, "miFileExport", QStringLiteral("&Export..."), this, &T::ExportFeeds);
  NewCommand(this, "miFileExit", QStringLiteral("E&xit"), this, &T::miFileExitClick,
             {QKeySequence(Qt::ALT | Qt::Key_F4)});
  miViewToolbar = NewCommand(this, "miViewToolbar", QStringLiteral("&Toolbar"), this, &T::miViewToolbarClick);
  miViewStatusBar =
      NewCommand(this, "miViewStatusBar", QStringLiteral("&Status Bar"), this, &T::miViewStatusBarClick);
  miViewFeedList = NewCommand(this, "miViewFeedList", QStringLiteral("&Feed List"), this,
                              &T::miViewFeedListClick, {QKeySequence(Qt::Key_F11)});
  miViewItemContents = NewCommand(this, "miViewItemContents", QStringLiteral("Item &Contents"), this,
                                  &T::miViewItemContentsClick, {QKeySequence(Qt::Key_F12)});
  for (QAction* ticked : {miViewToolbar, miViewStatusBar, miViewFeedList, miViewItemContents}) {
    ticked->setCheckable(true);
    ticked->setChecked(true);
  }
  NewCommand(this, "miViewTipOfTheDay", QStringLiteral("Tip Of The Da&y..."), this, &T::ShowTipOfTheDay);
  NewCommand(this, "miToolsNextUnread", QStringLiteral("&Next Unread"), this, &T::miToolsNextUnreadClick,
             {QKeySequence(Qt::Key_N)});
  NewCommand(this, "miToolsDownloadFeed", QStringLiteral("&Download Feed"), this, &T::DownloadCurrentFeed,
             {QKeySequence(Qt::Key_F5)});
  NewCommand(this, "miToolsDownloadGroup", QStringLiteral("Download Grou&p"), this, &T::DownloadCurrentGroup,
             {QKeySequence(Qt::Key_F6)});
  NewCommand(this, "miToolsDownloadAll", QStringLiteral("Download A&ll"), this, &T::DownloadAll,
             {QKeySequence(Qt::Key_F7)});
  NewCommand(this, "miToolsProxySettings", QStringLiteral("Pro&xy Settings..."), this,
             &T::miToolsProxySettingsClick);
  NewCommand(this, "miToolsOptions", QStringLiteral("Op&tions..."), this, &T::miToolsOptionsClick);
  NewCommand(this, "miHelpAbout", QStringLiteral("&About"), this, &T::miHelpAboutClick);
  NewCommand(this, "miHelpSkimbrookHelp", QStringLiteral("Skimbrook &Help..."), this,
             &T::miHelpSkimbrookHelpClick, {QKeySequence(Qt::Key_F1)});
  NewCommand(this, "miHelpEmailSupport", QStringLiteral("&Email Support"), this, &T::miHelpEmailSupportClick);
}

void TfmMain::BuildMenus() {
  BuildCommands();
  QMenuBar* bar = menuBar();
  bar->setStyle(menuStyle_);
  // A menu of the bar holding the named commands in order; nullptr stands for a separator.
  const auto menu = [&](const char* Name, const char* Caption, std::initializer_list<const char*> Commands) {
    QMenu* result = bar->addMenu(QString::fromLatin1(Caption));
    result->setObjectName(QLatin1String(Name));
    result->setStyle(menuStyle_);
    for (const char* command : Commands) {
      if (command)
        result->addAction(Command(command));
      else
        result->addSeparator();
    }
    return result;
  };
  menu("miFile", "&File",
       {"miFileAddFeed", "miFileAddGroup", "miFileRemoveFeed", "miFileFeedInfo", "miFileEditFeed", nullptr,
        "miFileImport", "miFileExport", nullptr, "miFileSearchDirectory", nullptr, "miFileExit"});
  menu("miView", "&View",
       {"miViewToolbar", "miViewStatusBar", "miViewFeedList", "miViewItemContents", "miViewSortByDate",
        "miViewShowOlderItems", "miViewStarredItems", "miViewFindItems", nullptr, "miViewBrowser",
        "miViewFeedWebSite", "miViewFollowLink", "miViewOpenInBrowser", nullptr, "miViewTipOfTheDay"});
  QMenu* tools = menu("miTools", "&Tools",
                      {"miToolsCatchUpFeed", "miToolsCatchUpGroup", "miToolsCatchUpAll", "miToolsNextUnread",
                       "miToolsMarkAsUnread", "miToolsStarItem"});
  // The separator after the catch-up entries hides with them in browser mode.
  tools->addSeparator()->setObjectName(QStringLiteral("miToolsCatchUpSeparator"));
  for (const char* command : {"miToolsDownloadFeed", "miToolsDownloadGroup", "miToolsDownloadAll",
                              "miToolsGo", "miToolsReload", "miToolsBack", "miToolsForward"})
    tools->addAction(Command(command));
  tools->addSeparator();
  tools->addActions({Command("miToolsProxySettings"), Command("miToolsOptions")});
  menu("miHelp", "&Help",
       {"miHelpAbout", "miHelpSkimbrookHelp", nullptr, "miHelpHomePage", "miHelpEmailSupport"});
}

void TfmMain::BuildTray() {
  TrayPopupMenu = new QMenu(this);
  TrayPopupMenu->setStyle(menuStyle_);
  TrayPopupMenu->setObjectName(QStringLiteral("TrayPopupMenu"));
  miTrayRestore = TrayPopupMenu->addAction(QStringLiteral("&Restore"));
  miTrayRestore->setObjectName(QStringLiteral("miTrayRestore"));
  miTrayExit = TrayPopupMenu->addAction(QStringLiteral("E&xit"));
  miTrayExit->setObjectName(QStringLiteral("miTrayExit"));
  QFont bold = miTrayRestore->font();
  bold.setBold(true);
  miTrayRestore->setFont(bold);
  TrayPopupMenu->setDefaultAction(miTrayRestore);
  connect(miTrayRestore, &QAction::triggered, this, &TfmMain::miTrayRestoreClick);
  connect(miTrayExit, &QAction::triggered, this, &TfmMain::miTrayExitClick);

  CoolTrayIcon = new QSystemTrayIcon(ProgramIcon(), this);
  CoolTrayIcon->setObjectName(QStringLiteral("CoolTrayIcon"));
  CoolTrayIcon->setToolTip(QString::fromLatin1(product::kName));
  CoolTrayIcon->setContextMenu(TrayPopupMenu);
  connect(CoolTrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason Reason) {
    if (Reason == QSystemTrayIcon::DoubleClick || Reason == QSystemTrayIcon::Trigger) miTrayRestoreClick();
  });
}

void TfmMain::BuildNotifier() {
  notifier_ = services_.Notifier;
  if (!notifier_) {
    auto* desktop = new TDesktopNotifier(this);
    desktop->Fallback = [this](const QString& Summary, const QString& Body) {
      if (TrayAvailable()) CoolTrayIcon->showMessage(Summary, Body, ProgramIcon());
    };
    notifier_ = desktop;
  }
  notifier_->OnClicked = [this] { miTrayRestoreClick(); };
  // The balloon of the fallback is the icon's own message.
  connect(CoolTrayIcon, &QSystemTrayIcon::messageClicked, this, &TfmMain::miTrayRestoreClick);
}

void TfmMain::ConnectCommands() {
  connect(sbAddFeed, &QToolButton::clicked, this, &TfmMain::sbAddFeedClick);
  connect(sbCheckFeed, &QToolButton::clicked, this, &TfmMain::sbCheckFeedClick);
  connect(sbCatchUp, &QToolButton::clicked, this, &TfmMain::sbCatchUpClick);
  connect(sbCheckAll, &QToolButton::clicked, this, &TfmMain::sbCheckAllClick);
  connect(sbClose, &QToolButton::clicked, this, &TfmMain::sbCloseClick);
  feedListPane_->Connect();
  itemPane_->Connect();
  browserMode_->Connect();
  WirePanes();
  AddContextMenu(
      *findChild<QAbstractItemView*>(QStringLiteral("lbFeedList")), "pmFeedList",
      {"miToolsDownloadFeed", "miToolsCatchUpFeed", "miFileFeedInfo", "miFileEditFeed", "miFileRemoveFeed"});
  AddContextMenu(*findChild<QAbstractItemView*>(QStringLiteral("lbItems")), "pmItems",
                 {"miViewOpenInBrowser", "miToolsMarkAsUnread", "miToolsStarItem", "miItemCopyLink"});
}

void TfmMain::WirePanes() {
  TFeedListPane* feeds = feedListPane_.get();
  TItemPane* items = itemPane_.get();
  TBrowserMode* browser = browserMode_.get();
  connect(feeds, &TFeedListPane::CurrentFeedChanged, items, &TItemPane::LeaveStoredLists);
  connect(feeds, &TFeedListPane::CurrentFeedChanged, this, &TfmMain::PostItemListRefill);
  connect(feeds, &TFeedListPane::CountsChanged, this, &TfmMain::PostTrayHintUpdate);
  connect(feeds, &TFeedListPane::ItemsToBeReplaced, items, &TItemPane::ReleaseItemList);
  connect(feeds, &TFeedListPane::DownloadCurrentFeedWanted, this, &TfmMain::DownloadCurrentFeed);
  connect(items, &TItemPane::ItemPageReady, browser, &TBrowserMode::ShowItemPage);
  connect(items, &TItemPane::FeedWebSiteWanted, browser, &TBrowserMode::miViewFeedWebSiteClick);
  connect(items, &TItemPane::ItemLinkWanted, browser, &TBrowserMode::miViewFollowLinkClick);
  connect(browser, &TBrowserMode::ModeChanged, this, &TfmMain::ArrangeForBrowser);
}

void TfmMain::AddContextMenu(QAbstractItemView& List, const char* Name,
                             std::initializer_list<const char*> Commands) {
  auto* popup = new QMenu(&List);
  popup->setObjectName(QLatin1String(Name));
  popup->setStyle(menuStyle_);
  for (const char* command : Commands) popup->addAction(Command(command));
  List.setContextMenuPolicy(Qt::CustomContextMenu);
  connect(&List, &QWidget::customContextMenuRequested, this, [&List, popup](const QPoint& Position) {
    // The row under the mouse becomes the current one first, as a click would make it.
    const QModelIndex row = List.indexAt(Position);
    if (!row.isValid()) return;
    if (row != List.currentIndex()) List.setCurrentIndex(row);
    popup->popup(List.viewport()->mapToGlobal(Position));
  });
}

// ---------------------------------------------------------------------------------------
// File menu

void TfmMain::miFileExitClick() {
  close();
}

// ---------------------------------------------------------------------------------------
// View menu: each ticked entry applies the tick it carries after the click.

void TfmMain::miViewToolbarClick() {
  plToolbar->setVisible(miViewToolbar->isChecked());
}
void TfmMain::miViewStatusBarClick() {
  StatusBar->setVisible(miViewStatusBar->isChecked());
}

void TfmMain::miViewFeedListClick() {
  const bool shown = miViewFeedList->isChecked();
  feedListPane_->SetVisible(shown);
  if (shown)
    feedListPane_->Focus();
  else
    itemPane_->FocusItems();
}

void TfmMain::miViewItemContentsClick() {
  ApplyItemContentsLayout(miViewItemContents->isChecked());
}
// ---------------------------------------------------------------------------------------
// Tools menu

void TfmMain::miToolsNextUnreadClick() {
  const std::shared_ptr<TFeed> current = CurrentFeed();
  if (current && !current->XmlUrl.empty() && itemPane_->SelectUnreadAfter(itemPane_->CurrentRow())) return;
  // The next feed with unread items in list order, across groups, from the top again once;
  // back at the current feed, its lines above the current one.
  const int start = feedListPane_->SelectedRow();
  const int count = FeedList().Count();
  for (int step = 1; step <= count; ++step) {
    const int row = (start + step) % count;
    const TFeed& feed = *FeedList().Feeds(row);
    if (feed.XmlUrl.empty() || feed.UnreadCount <= 0) continue;
    if (row == start) {
      if (itemPane_->SelectUnreadAfter(-1)) return;
      break;
    }
    itemPane_->SelectFirstUnreadOnNextFill();
    feedListPane_->OpenRow(row);
    return;
  }
  NoteStatus(QStringLiteral("No unread items."));
}

void TfmMain::miToolsProxySettingsClick() {
  if (services_.Dialogs.EditProxySettings(Settings(), this)) Settings().Save();
}

void TfmMain::miToolsOptionsClick() {
  if (!services_.Dialogs.EditOptions(Settings(), this)) return;
  Settings().Save();
  if (!AutoDownloadTimer->isActive() && Settings().AutomaticallyDownload) StartAutoDownloadTimer();
}

// ---------------------------------------------------------------------------------------
// Help menu

QString TfmMain::AboutText() {
  return QStringList{QString::fromLatin1(product::kName),
                     QString::fromLatin1(product::kRightsNotice),
                     QString(),
                     QStringLiteral("Version: %1").arg(QString::fromLatin1(product::kVersion)),
                     QStringLiteral("Build: %1").arg(QString::fromLatin1(product::kBuild)),
                     QStringLiteral("Release Date: %1").arg(QString::fromLatin1(product::kReleaseDate))}
      .join(QLatin1Char('\n'));
}

void TfmMain::miHelpAboutClick() {
  Prompts().Information(QStringLiteral("Information"), AboutText());
}
void TfmMain::miHelpSkimbrookHelpClick() {
  services_.Dialogs.ShowHelp(this);
}

void TfmMain::miHelpEmailSupportClick() {
  services_.OpenExternalUrl(QUrl(QStringLiteral("mailto:") + QString::fromLatin1(product::kSupportMailbox)));
}

// ---------------------------------------------------------------------------------------
// Toolbar and notification area

void TfmMain::sbAddFeedClick() {
  feedListPane_->miFileAddFeedClick();
}
void TfmMain::sbCheckFeedClick() {
  DownloadCurrentFeed();
}
void TfmMain::sbCatchUpClick() {
  feedListPane_->CatchUpCurrentFeed(false);
}
void TfmMain::sbCheckAllClick() {
  DownloadAll();
}

void TfmMain::sbCloseClick() {
  if (!Settings().MinimizeToTray) return;
  // Without a notification area a hidden window could never come back.
  if (TrayAvailable())
    hide();
  else
    showMinimized();
}

void TfmMain::miTrayRestoreClick() {
  if (isMinimized())
    showNormal();
  else
    show();
  raise();
  activateWindow();
}

void TfmMain::miTrayExitClick() {
  close();
}

// ---------------------------------------------------------------------------------------
// The automation entry and the panes' requests that another pane answers

void TfmMain::AddFeed(const std::string& Url) {
  feedListPane_->AddFeed(Url);
}

// ---------------------------------------------------------------------------------------
// What the panes ask of the window

const std::shared_ptr<TFeed>& TfmMain::CurrentFeed() const {
  return feedListPane_->CurrentFeed();
}
const std::shared_ptr<TFeedItem>& TfmMain::CurrentItem() const {
  return itemPane_->CurrentItem();
}
QUrl TfmMain::CurrentItemBaseUrl() const {
  return itemPane_->CurrentBaseUrl();
}
bool TfmMain::InBrowserMode() const {
  return browserMode_->InBrowserMode();
}
void TfmMain::ShowStatus(const QString& Text) {
  StatusBar->showMessage(Text);
}
void TfmMain::NoteStatus(const QString& Text) {
  StatusBar->showMessage(Text, kStatusNoteMs);
}

void TfmMain::SetBrowserModeMenus(bool BrowserMode) {
  for (const char* disabled :
       {"miViewToolbar", "miViewStatusBar", "miViewFeedList", "miViewItemContents", "miViewSortByDate",
        "miViewFeedWebSite", "miViewFollowLink", "miFileAddFeed", "miFileRemoveFeed", "miFileFeedInfo",
        "miFileAddGroup", "miFileEditFeed", "miViewShowOlderItems", "miViewStarredItems", "miViewFindItems",
        "miToolsStarItem"})
    Command(disabled)->setEnabled(!BrowserMode);
  for (const char* hidden :
       {"miToolsCatchUpFeed", "miToolsCatchUpGroup", "miToolsCatchUpAll", "miToolsCatchUpSeparator",
        "miToolsDownloadFeed", "miToolsDownloadGroup", "miToolsDownloadAll"})
    Command(hidden)->setVisible(!BrowserMode);
  for (const char* shown : {"miToolsGo", "miToolsReload", "miToolsBack", "miToolsForward"})
    Command(shown)->setVisible(BrowserMode);
}

void TfmMain::ArrangeForBrowser(bool BrowserMode) {
  if (BrowserMode) {
    itemPane_->ShowBrowserOnly(true);
    feedListPane_->SetVisible(false);
    plToolbar->hide();
    SetBrowserModeMenus(true);
    // The item's page is no longer on screen.
    itemPane_->StopMarkAsRead();
    return;
  }
  itemPane_->ShowBrowserOnly(false);
  plToolbar->setVisible(miViewToolbar->isChecked());
  feedListPane_->SetVisible(miViewFeedList->isChecked());
  ApplyItemContentsLayout(miViewItemContents->isChecked());

  SetBrowserModeMenus(false);
  itemPane_->FocusItems();
  itemPane_->UpdateFeedAndItemView();
  // The current item's page is on screen again, as if it had just been selected.
  itemPane_->ArmMarkAsRead();
}

}  // namespace skimbrook
