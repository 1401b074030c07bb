// The main window's menus, toolbar buttons and notification-area icon, the commands that
// belong to no pane, the one-line forwards to the panes' commands and the panes' requests.
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
#include "ui/fMain.h"
#include "ui/uBrowserMode.h"
#include "ui/uFeedListPane.h"
#include "ui/uFlatMenuStyle.h"
#include "ui/uGlyphs.h"
#include "ui/uItemPane.h"
#include "ui/uProduct.h"
#include "ui/uPrompts.h"

namespace skimbrook {

namespace {

constexpr int kStatusNoteMs = 10'000;

}  // namespace

// ---------------------------------------------------------------------------------------
// Building

QAction* TfmMain::AddMenuEntry(QMenu* Menu, const QString& Caption, const QKeySequence& Shortcut,
                               void (TfmMain::*Handler)()) {
  QAction* action = Menu->addAction(Caption);
  action->setShortcut(Shortcut);
  connect(action, &QAction::triggered, this, Handler);
  return action;
}

void TfmMain::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setStyle(menuStyle_);
  const auto menu = [&](const char* Caption) {
    QMenu* result = bar->addMenu(QString::fromLatin1(Caption));
    result->setStyle(menuStyle_);
    return result;
  };
  const QKeySequence none;

  miFile = menu("File");
  miFileAddFeed =
      AddMenuEntry(miFile, "Add Feed", QKeySequence(Qt::CTRL | Qt::Key_A), &TfmMain::miFileAddFeedClick);
  miFileAddGroup =
      AddMenuEntry(miFile, "Add Group", QKeySequence(Qt::CTRL | Qt::Key_G), &TfmMain::miFileAddGroupClick);
  miFileRemoveFeed = AddMenuEntry(miFile, "Remove Feed/Group", QKeySequence(Qt::Key_Delete),
                                  &TfmMain::miFileRemoveFeedClick);
  miFileFeedInfo = AddMenuEntry(miFile, "Feed Info", QKeySequence(Qt::ALT | Qt::Key_Return),
                                &TfmMain::miFileFeedInfoClick);
  miFileFeedInfo->setShortcuts(
      {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
  miFile->addSeparator();
  miFileImport = AddMenuEntry(miFile, "Import...", none, &TfmMain::miFileImportClick);
  miFileExport = AddMenuEntry(miFile, "Export...", none, &TfmMain::miFileExportClick);
  miFile->addSeparator();
  const QString search = QStringLiteral("Search %1...").arg(QString::fromLatin1(product::kDirectoryName));
  miFileSearchDirectory = AddMenuEntry(miFile, search, none, &TfmMain::miFileSearchDirectoryClick);
  miFile->addSeparator();
  miFileExit = AddMenuEntry(miFile, "Exit", QKeySequence(Qt::ALT | Qt::Key_F4), &TfmMain::miFileExitClick);

  miView = menu("View");
  miViewToolbar = AddMenuEntry(miView, "Toolbar", none, &TfmMain::miViewToolbarClick);
  miViewStatusBar = AddMenuEntry(miView, "Status Bar", none, &TfmMain::miViewStatusBarClick);
  miViewFeedList =
      AddMenuEntry(miView, "Feed List", QKeySequence(Qt::Key_F11), &TfmMain::miViewFeedListClick);
  miViewItemContents =
      AddMenuEntry(miView, "Item Contents", QKeySequence(Qt::Key_F12), &TfmMain::miViewItemContentsClick);
  miView->addAction(itemPane_->SortByDateAction());
  miView->addSeparator();
  miViewBrowser =
      AddMenuEntry(miView, "Browser", QKeySequence(Qt::CTRL | Qt::Key_B), &TfmMain::miViewBrowserClick);
  browserMode_->SetMenuEntry(miViewBrowser);
  miViewFeedWebSite = AddMenuEntry(miView, "Feed Web Site", QKeySequence(Qt::CTRL | Qt::Key_W),
                                   &TfmMain::miViewFeedWebSiteClick);
  miViewFollowLink = AddMenuEntry(miView, "Follow Link", QKeySequence(Qt::CTRL | Qt::Key_L),
                                  &TfmMain::miViewFollowLinkClick);
  miView->addSeparator();
  miViewTipOfTheDay = AddMenuEntry(miView, "Tip Of The Day...", none, &TfmMain::miViewTipOfTheDayClick);
  for (QAction* ticked :
       {miViewToolbar, miViewStatusBar, miViewFeedList, miViewItemContents, miViewBrowser}) {
    ticked->setCheckable(true);
    ticked->setChecked(true);
  }
  miViewBrowser->setChecked(false);

  miTools = menu("Tools");
  miToolsCatchUpFeed =
      AddMenuEntry(miTools, "Catch Up Feed", QKeySequence(Qt::Key_F2), &TfmMain::miToolsCatchUpFeedClick);
  miToolsCatchUpGroup =
      AddMenuEntry(miTools, "Catch Up Group", QKeySequence(Qt::Key_F3), &TfmMain::miToolsCatchUpGroupClick);
  miToolsCatchUpAll =
      AddMenuEntry(miTools, "Catch Up All", QKeySequence(Qt::Key_F4), &TfmMain::miToolsCatchUpAllClick);
  miToolsCatchUpSeparator = miTools->addSeparator();
  miToolsDownloadFeed =
      AddMenuEntry(miTools, "Download Feed", QKeySequence(Qt::Key_F5), &TfmMain::miToolsDownloadFeedClick);
  miToolsDownloadGroup =
      AddMenuEntry(miTools, "Download Group", QKeySequence(Qt::Key_F6), &TfmMain::miToolsDownloadGroupClick);
  miToolsDownloadAll =
      AddMenuEntry(miTools, "Download All", QKeySequence(Qt::Key_F7), &TfmMain::miToolsDownloadAllClick);
  miToolsGo = AddMenuEntry(miTools, "Go", QKeySequence(Qt::Key_Return), &TfmMain::miToolsGoClick);
  // The keypad's Enter is Enter too.
  miToolsGo->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
  miToolsReload = AddMenuEntry(miTools, "Reload", QKeySequence(Qt::Key_F5), &TfmMain::miToolsReloadClick);
  miToolsBack = AddMenuEntry(miTools, "Back", none, &TfmMain::miToolsBackClick);
  miToolsForward = AddMenuEntry(miTools, "Forward", none, &TfmMain::miToolsForwardClick);
  for (QAction* browserOnly : {miToolsGo, miToolsReload, miToolsBack, miToolsForward})
    browserOnly->setVisible(false);
  miTools->addSeparator();
  miToolsProxySettings =
      AddMenuEntry(miTools, "Proxy Settings...", none, &TfmMain::miToolsProxySettingsClick);
  miToolsOptions = AddMenuEntry(miTools, "Options...", none, &TfmMain::miToolsOptionsClick);

  miHelp = menu("Help");
  miHelpAbout = AddMenuEntry(miHelp, "About", none, &TfmMain::miHelpAboutClick);
  miHelpSkimbrookHelp =
      AddMenuEntry(miHelp, "Skimbrook Help...", QKeySequence(Qt::Key_F1), &TfmMain::miHelpSkimbrookHelpClick);
  miHelp->addSeparator();
  miHelpHomePage = AddMenuEntry(miHelp, "Home Page", none, &TfmMain::miHelpHomePageClick);
  miHelpEmailSupport = AddMenuEntry(miHelp, "Email Support", none, &TfmMain::miHelpEmailSupportClick);
}

void TfmMain::BuildTray() {
  TrayPopupMenu = new QMenu(this);
  TrayPopupMenu->setStyle(menuStyle_);
  miTrayRestore = TrayPopupMenu->addAction(QStringLiteral("Restore"));
  miTrayExit = TrayPopupMenu->addAction(QStringLiteral("Exit"));
  QFont bold = miTrayRestore->font();
  bold.setBold(true);
  miTrayRestore->setFont(bold);
  TrayPopupMenu->setDefaultAction(miTrayRestore);
  connect(miTrayRestore, &QAction::triggered, this, &TfmMain::miTrayRestoreClick);
  connect(miTrayExit, &QAction::triggered, this, &TfmMain::miTrayExitClick);

  CoolTrayIcon = new QSystemTrayIcon(ProgramIcon(), this);
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
}

// ---------------------------------------------------------------------------------------
// File menu

void TfmMain::miFileAddFeedClick() {
  feedListPane_->PromptAddFeed();
}
void TfmMain::miFileAddGroupClick() {
  feedListPane_->PromptAddGroup();
}

void TfmMain::miFileFeedInfoClick() {
  feedListPane_->ShowCurrentFeedInfo();
}

void TfmMain::miFileImportClick() {
  ImportFeeds();
}
void TfmMain::miFileExportClick() {
  ExportFeeds();
}
void TfmMain::miFileSearchDirectoryClick() {
  browserMode_->SearchDirectory();
}
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
void TfmMain::miViewFeedWebSiteClick() {
  browserMode_->OpenFeedWebSite();
}
void TfmMain::miViewFollowLinkClick() {
  browserMode_->FollowItemLink();
}
void TfmMain::miViewBrowserClick() {
  browserMode_->miViewBrowserClick();
}
void TfmMain::miViewTipOfTheDayClick() {
  ShowTipOfTheDay();
}

// ---------------------------------------------------------------------------------------
// Tools menu

void TfmMain::miToolsCatchUpFeedClick() {
  feedListPane_->CatchUpCurrentFeed();
}
void TfmMain::miToolsCatchUpGroupClick() {
  feedListPane_->CatchUpCurrentGroup();
}
void TfmMain::miToolsCatchUpAllClick() {
  feedListPane_->CatchUpAll();
}
void TfmMain::miToolsDownloadFeedClick() {
  DownloadCurrentFeed();
}
void TfmMain::miToolsDownloadGroupClick() {
  DownloadCurrentGroup();
}
void TfmMain::miToolsDownloadAllClick() {
  DownloadAll();
}

void TfmMain::miToolsGoClick() {
  browserMode_->sbBrowserGoClick();
}
void TfmMain::miToolsReloadClick() {
  browserMode_->sbBrowserRefreshClick();
}
void TfmMain::miToolsBackClick() {
  browserMode_->sbBrowserBackClick();
}
void TfmMain::miToolsForwardClick() {
  browserMode_->sbBrowserForwardClick();
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
void TfmMain::miHelpHomePageClick() {
  browserMode_->ShowHomePage();
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
  feedListPane_->PromptAddFeed();
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
// Forwards to the panes, for the callers that name the window's commands

void TfmMain::AddFeed(const std::string& Url) {
  feedListPane_->AddFeed(Url);
}
void TfmMain::PromptAddFeed() {
  feedListPane_->PromptAddFeed();
}
void TfmMain::PromptAddGroup() {
  feedListPane_->PromptAddGroup();
}
void TfmMain::miFileRemoveFeedClick() {
  feedListPane_->miFileRemoveFeedClick();
}
void TfmMain::lbFeedListDragDrop(const QPoint& Position) {
  feedListPane_->lbFeedListDragDrop(Position);
}
void TfmMain::CatchUpCurrentFeed(bool FocusList) {
  feedListPane_->CatchUpCurrentFeed(FocusList);
}
void TfmMain::CatchUpCurrentGroup() {
  feedListPane_->CatchUpCurrentGroup();
}
void TfmMain::CatchUpAll() {
  feedListPane_->CatchUpAll();
}
void TfmMain::FillItemList() {
  itemPane_->FillItemList();
}
void TfmMain::UpdateFeedAndItemView() {
  itemPane_->UpdateFeedAndItemView();
}
void TfmMain::MarkAsReadTimerTimer() {
  itemPane_->MarkAsReadTimerTimer();
}
void TfmMain::plFeedLinkClick() {
  itemPane_->plFeedLinkClick();
}
void TfmMain::plItemLinkClick() {
  itemPane_->plItemLinkClick();
}
void TfmMain::EnterBrowserMode(bool BlankFirst) {
  browserMode_->EnterBrowserMode(BlankFirst);
}
void TfmMain::OpenFeedWebSite() {
  browserMode_->OpenFeedWebSite();
}
void TfmMain::FollowItemLink() {
  browserMode_->FollowItemLink();
}

// ---------------------------------------------------------------------------------------
// What the panes ask of the window

const std::shared_ptr<TFeed>& TfmMain::CurrentFeed() const {
  return feedListPane_->CurrentFeed();
}
const std::shared_ptr<TFeedItem>& TfmMain::CurrentItem() const {
  return itemPane_->CurrentItem();
}
bool TfmMain::InBrowserMode() const {
  return browserMode_->InBrowserMode();
}
bool& TfmMain::NavigatingInternally() {
  return browserMode_->NavigatingInternally();
}
void TfmMain::ShowStatus(const QString& Text) {
  StatusBar->showMessage(Text);
}
void TfmMain::NoteStatus(const QString& Text) {
  StatusBar->showMessage(Text, kStatusNoteMs);
}
void TfmMain::ReleaseItemList() {
  itemPane_->ReleaseItemList();
}

void TfmMain::SetBrowserModeMenus(bool BrowserMode) {
  for (QAction* disabled : {miViewToolbar, miViewStatusBar, miViewFeedList, miViewItemContents,
                            miViewFeedWebSite, miViewFollowLink, miFileAddFeed, miFileRemoveFeed,
                            miFileFeedInfo, miFileAddGroup, itemPane_->SortByDateAction()})
    disabled->setEnabled(!BrowserMode);
  for (QAction* hidden : {miToolsCatchUpFeed, miToolsCatchUpGroup, miToolsCatchUpAll, miToolsCatchUpSeparator,
                          miToolsDownloadFeed, miToolsDownloadGroup, miToolsDownloadAll})
    hidden->setVisible(!BrowserMode);
  for (QAction* shown : {miToolsGo, miToolsReload, miToolsBack, miToolsForward})
    shown->setVisible(BrowserMode);
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
