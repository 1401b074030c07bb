// The main window's construction, start-up and shutdown, view flags and timers.
#include "ui/window/fMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>
#include <stdexcept>

#include "base/uFiles.h"
#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "settings/uSettings.h"
#include "ui/browser/uEngineModule.h"
#include "ui/browser/uWebBrowser.h"
#include "ui/dialogs/fFeedInfo.h"
#include "ui/dialogs/fImpExp.h"
#include "ui/dialogs/fOptions.h"
#include "ui/dialogs/fProxySettings.h"
#include "ui/dialogs/fTip.h"
#include "ui/dialogs/uPrompts.h"
#include "ui/painting/uFlatMenuStyle.h"
#include "ui/painting/uGlyphs.h"
#include "ui/panes/uBrowserMode.h"
#include "ui/panes/uFeedListPane.h"
#include "ui/panes/uItemPane.h"
#include "ui/window/uItemStoreLink.h"
#include "ui/window/uPaneLayout.h"
#include "ui/window/uProduct.h"

namespace skimbrook {

namespace {

// Sizes of the window's design, in pixels.
constexpr int kDesignWidth = 612;
constexpr int kDesignHeight = 519;
constexpr int kMinimumHeight = 400;

// One of the toolbar's buttons, Left pixels from its left edge.
QToolButton* SpeedButton(QWidget* Parent, const char* Caption, TGlyph Glyph, int Left) {
  constexpr int kSpeedButtonWidth = 120;
  constexpr int kSpeedButtonHeight = 30;
  auto* button = new QToolButton(Parent);
  button->setText(QString::fromLatin1(Caption));
  button->setIcon(GlyphIcon(Glyph));
  button->setIconSize(QSize(20, 20));
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  QFont font = button->font();
  font.setBold(true);
  button->setFont(font);
  QPalette palette = button->palette();
  // Black captions, unless the desktop's buttons are dark and black would not be seen.
  if (palette.color(QPalette::Button).lightness() >= 128) palette.setColor(QPalette::ButtonText, Qt::black);
  button->setPalette(palette);
  button->setGeometry(Left, 2, kSpeedButtonWidth, kSpeedButtonHeight);
  return button;
}

// The panes' first sizes (the stored form or the user may change them), the window's font
// size and the hourly download's period.
constexpr int kFeedListWidth = 250;
constexpr int kTopRightHeight = 181;
constexpr int kWindowFontPixels = 11;
constexpr int kAutoDownloadMs = 3'600'000;

}  // namespace

TMainDialogs TMainDialogs::Standard() {
  TMainDialogs dialogs;
  dialogs.RunTipDialog = &skimbrook::RunTipDialog;
  dialogs.EditOptions = &skimbrook::EditOptions;
  dialogs.EditProxySettings = &skimbrook::EditProxySettings;
  dialogs.ShowFeedInfo = [](const TFeed& Feed, const TFetchRecord* Record, QWidget* Parent,
                            bool StartEditing) {
    return skimbrook::ShowFeedInfo(Feed, Record, Parent, StartEditing);
  };
  dialogs.ShowHelp = &skimbrook::ShowHelp;
  dialogs.ChooseEntries = &skimbrook::ChooseEntries;
  return dialogs;
}

// ---------------------------------------------------------------------------------------
// Construction

TfmMain::TfmMain(TMainWindowServices Services, QWidget* Parent)
    : QMainWindow(Parent), services_(std::move(Services)), feedList_(std::make_unique<TFeedList>()) {
  // Until the start-up has read default.opml, nothing may replace it.
  feedList_->HoldBackDefault();
  if (!services_.Registry || !services_.Prompts)
    throw std::logic_error("the main window needs a settings store and prompts");
  if (!services_.CreateBrowser) services_.CreateBrowser = &CreateWebEngineBrowser;
  if (!services_.CreateDownload) services_.CreateDownload = &CreateDownloadWindow;
  if (!services_.OpenExternalUrl)
    services_.OpenExternalUrl = [](const QUrl& Url) { QDesktopServices::openUrl(Url); };

  // Created first so that it outlives the menus that use it.
  menuStyle_ = new TFlatMenuStyle();
  menuStyle_->setParent(this);
  QFont windowFont = font();
  windowFont.setPixelSize(kWindowFontPixels);
  setFont(windowFont);
  setWindowIcon(ProgramIcon());

  BuildLayout();
  BuildMenus();
  BuildTray();
  BuildNotifier();
  BuildTimers();
  ConnectCommands();
  FormCreate();
}

TfmMain::~TfmMain() {
  if (shutDown_) return;
  try {
    FormDestroy();
  } catch (...) {
    // Nothing can be reported from a destructor; closing the window reports these errors.
  }
}

void TfmMain::BuildLayout() {
  resize(kDesignWidth, kDesignHeight);
  setMinimumSize(kDesignWidth, kMinimumHeight);

  auto* central = new QWidget(this);
  auto* column = NewFlushColumn(central);
  // The panes see the window as their host only.
  TPaneHost& host = *this;
  itemStore_ = std::make_unique<TItemStoreLink>(host);
  plToolbar = BuildToolbar();
  browserMode_ = std::make_unique<TBrowserMode>(host, this, services_.OpenExternalUrl);
  column->addWidget(plToolbar);
  column->addWidget(browserMode_->Toolbar());

  Splitter1 = NewPaneSplitter(Qt::Horizontal, central);
  Splitter1->setOpaqueResize(true);
  feedListPane_ = std::make_unique<TFeedListPane>(
      host, *this, Splitter1, TFeedListPane::TDialogs{services_.Dialogs.ShowFeedInfo, services_.FetchPage});
  itemPane_ = std::make_unique<TItemPane>(host, *this, this, services_.CreateBrowser);
  browserMode_->SetBrowser(itemPane_->Browser());
  Splitter1->addWidget(feedListPane_->Widget());
  Splitter1->addWidget(itemPane_->Widget());
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  column->addWidget(Splitter1, 1);
  setCentralWidget(central);

  constexpr int kStatusBarHeight = 19;
  StatusBar = statusBar();
  StatusBar->setFixedHeight(kStatusBarHeight);
  StatusBar->setSizeGripEnabled(false);
  const std::pair<QObject*, const char*> named[] = {{plToolbar, "plToolbar"},     {sbAddFeed, "sbAddFeed"},
                                                    {sbCheckFeed, "sbCheckFeed"}, {sbCatchUp, "sbCatchUp"},
                                                    {sbCheckAll, "sbCheckAll"},   {sbClose, "sbClose"},
                                                    {StatusBar, "StatusBar"},     {Splitter1, "Splitter1"}};
  for (const auto& [object, name] : named) object->setObjectName(QLatin1String(name));
}

QFrame* TfmMain::BuildToolbar() {
  constexpr int kToolbarHeight = 34;
  QFrame* panel = BevelPanel(this, kToolbarHeight);
  sbAddFeed = SpeedButton(panel, "Add Feed", TGlyph::AddFeed, 2);
  sbCheckFeed = SpeedButton(panel, "Check Feed", TGlyph::CheckFeed, 122);
  sbCatchUp = SpeedButton(panel, "Catch Up", TGlyph::CatchUp, 242);
  sbCheckAll = SpeedButton(panel, "Check All", TGlyph::CheckAll, 362);
  sbClose = SpeedButton(panel, "Close", TGlyph::Close, 482);
  return panel;
}

void TfmMain::BuildTimers() {
  AutoDownloadTimer = new QTimer(this);
  AutoDownloadTimer->setObjectName(QStringLiteral("AutoDownloadTimer"));
  AutoDownloadTimer->setInterval(kAutoDownloadMs);
  connect(AutoDownloadTimer, &QTimer::timeout, this, &TfmMain::AutoDownloadTimerTimer);
  connect(Splitter1, &QSplitter::splitterMoved, this, &TfmMain::Splitter1Moved);
}

// ---------------------------------------------------------------------------------------
// Start-up

void TfmMain::FormCreate() {
  setWindowTitle(QString::fromLatin1(product::kMainCaption));
  QApplication::setApplicationName(QString::fromLatin1(product::kName));
  SetPaneSizes(kFeedListWidth, kTopRightHeight);
  // Whether another copy runs is settled by the program's entry before this window exists,
  // so that a second copy never builds a window at all.
  try {
    CreatePrivateFolder(DataFolder());
    settings_ =
        std::make_unique<TSettings>(*services_.Registry, services_.ExecutablePath, services_.PagesFolder);
    // A damaged state file is copied aside and ignored: it holds nothing a feed needs to be
    // read, only the next requests' validators and the reasons shown for failures.
    fetchState_.Load();
    if (TrayAvailable()) CoolTrayIcon->show();
    RestoreForm();
    ApplyViewFlags();
    // The list is written back once the window has been drawn: with thousands of entries
    // the writing would hold the window back.
    feedListPane_->LoadFeedList(false);
    AfterFirstPaint(*this, [this] { WriteBackFeedList(); });
    RestoreCurrentFeed();
    itemPane_->UpdateFeedAndItemView();
    ReportIgnoredSettings();
  } catch (const std::exception& error) {
    Prompts().Error(QString::fromLatin1(product::kName), ToDisplay(error.what()));
  }
}

void TfmMain::WriteBackFeedList() {
  try {
    FeedList().SaveDefault();
  } catch (const std::exception& error) {
    Prompts().Error(QString::fromLatin1(product::kName), ToDisplay(error.what()));
  }
}

void TfmMain::RestoreCurrentFeed() {
  const TSettings& settings = Settings();
  if (settings.CurrentFeed < 0 || settings.CurrentFeed >= FeedList().Count()) return;
  // The first entry with no item chosen is how every start begins anyway.
  if (settings.CurrentFeed == 0 && settings.CurrentItem.empty()) return;
  itemPane_->SelectItemOnNextFill(settings.CurrentItem);
  feedListPane_->OpenRow(settings.CurrentFeed);
}

void TfmMain::ReportIgnoredSettings() {
  const std::vector<std::string>& ignored = Settings().IgnoredValues();
  if (ignored.empty()) return;
  QStringList names;
  for (const std::string& name : ignored) names << ToDisplay(name);
  Prompts().Information(QString::fromLatin1(product::kName),
                        QStringLiteral("These settings are stored as another type than text, which Skimbrook "
                                       "cannot read, so their defaults are used: %1.")
                            .arg(names.join(QStringLiteral(", "))));
}

void TfmMain::RestoreForm() {
  const TSettings& settings = Settings();
  if (!settings.RememberForm) return;
  move(settings.Left, settings.Top);
  resize(settings.Width > 0 ? settings.Width : width(), settings.Height > 0 ? settings.Height : height());
  LayOutNow(*this);
  SetPaneSizes(settings.Splitter1 > 0 ? settings.Splitter1 : feedListPane_->Width(),
               settings.Splitter2 > 0 ? settings.Splitter2 : itemPane_->TopHeight());
}

void TfmMain::SetPaneSizes(int FeedListWidth, int TopRightHeight) {
  LayOutNow(*this);
  SetFirstPaneSize(*Splitter1, FeedListWidth);
  itemPane_->SetTopHeight(TopRightHeight);
}

void TfmMain::ApplyViewFlags() {
  const TSettings& settings = Settings();
  miViewToolbar->setChecked(settings.ViewToolbar);
  plToolbar->setVisible(settings.ViewToolbar);
  miViewStatusBar->setChecked(settings.ViewStatusBar);
  StatusBar->setVisible(settings.ViewStatusBar);
  miViewFeedList->setChecked(settings.ViewFeedList);
  feedListPane_->SetVisible(settings.ViewFeedList);
  miViewItemContents->setChecked(settings.ViewItemContents);
  ApplyItemContentsLayout(settings.ViewItemContents);
  itemPane_->SetNewestFirst(settings.SortByDate);
  itemPane_->SetShowOlderItems(settings.ShowOlderItems);
}

void TfmMain::ApplyItemContentsLayout(bool Shown) {
  itemPane_->ApplyContentsLayout(Shown);
}

bool TfmMain::TrayAvailable() const {
  return services_.TrayAvailable.value_or(QSystemTrayIcon::isSystemTrayAvailable());
}

const std::string& TfmMain::EncodingOf(const TFeed& Feed) const {
  static const std::string none;
  const TFetchRecord* record = Feed.XmlUrl.empty() ? nullptr : fetchState_.Find(Feed.XmlUrl);
  return record ? record->Encoding : none;
}

TSettings& TfmMain::Settings() {
  if (!settings_) throw std::runtime_error("The settings could not be loaded.");
  return *settings_;
}

void TfmMain::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  itemPane_->ApplyPendingLayout();
  // The item store opens once the window is on screen; it never holds up the start.
  itemStore_->OpenSoon();
  // Every showing asks for the start-up actions; only the first request runs them.
  QMetaObject::invokeMethod(this, &TfmMain::StartUpActions, Qt::QueuedConnection);
  // The current item's page comes on screen now; its count starts afresh.
  itemPane_->ArmMarkAsRead();
}

void TfmMain::hideEvent(QHideEvent* Event) {
  QMainWindow::hideEvent(Event);
  if (itemPane_) itemPane_->StopMarkAsRead();
}

void TfmMain::changeEvent(QEvent* Event) {
  QMainWindow::changeEvent(Event);
  if (Event->type() != QEvent::WindowStateChange || !itemPane_) return;
  // Minimised, the page cannot be read; restored, it counts as shown again.
  if (isMinimized())
    itemPane_->StopMarkAsRead();
  else
    itemPane_->ResumeMarkAsRead();
}

void TfmMain::StartUpActions() {
  if (!firstShow_) return;
  firstShow_ = false;
  // The window may be closed while the tip is shown (a signal from the session, say).
  if (Settings().ShowTips) ShowTipOfTheDay();
  if (shutDown_) return;
  if (Settings().DownloadOnStartUp) DownloadAllByItself();
  if (shutDown_) return;
  if (Settings().AutomaticallyDownload) StartAutoDownloadTimer();
}

void TfmMain::ShowTipOfTheDay() {
  TSettings& settings = Settings();
  services_.Dialogs.RunTipDialog(settings.ShowTips, this);
  settings.Save();
}

void TfmMain::StartAutoDownloadTimer() {
  AutoDownloadTimer->setInterval(kAutoDownloadMs);
  AutoDownloadTimer->start();
}

void TfmMain::AutoDownloadTimerTimer() {
  DownloadAllByItself();
}

void TfmMain::Splitter1Moved() {
  feedListPane_->Repaint();
}

void TfmMain::SecondCopyActivated(const QString& CommandLine) {
  if (!CommandLine.isEmpty()) PostItemListRefill();
}

void TfmMain::PostTrayHintUpdate() {
  if (trayHintPosted_ || !CoolTrayIcon) return;
  trayHintPosted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        trayHintPosted_ = false;
        if (!feedList_) return;
        CoolTrayIcon->setToolTip(TrayHint(TotalUnread(FeedList())));
        // Catching up or a download may have read the current feed's older items too.
        itemPane_->UpdateOlderCount();
      },
      Qt::QueuedConnection);
}

void TfmMain::PostItemListRefill() {
  // A click raises both a row change and a click; one refill serves them.
  if (refillPosted_) return;
  refillPosted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        refillPosted_ = false;
        itemPane_->FillItemList();
      },
      Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------------------
// Shutdown

void TfmMain::closeEvent(QCloseEvent* Event) {
  if (shutDown_) {
    Event->accept();
    return;
  }
  if (activeRun_) {
    // The run stops first; its end closes the window again.
    closeAfterRun_ = true;
    activeRun_->Abort();
    Event->ignore();
    return;
  }
  try {
    FormDestroy();
  } catch (const std::exception& error) {
    Prompts().Error(QString::fromLatin1(product::kName), ToDisplay(error.what()));
  }
  // A blank page still getting ready is waited for no longer.
  browserMode_->StopWaiting();
  Event->accept();
  if (CoolTrayIcon) CoolTrayIcon->hide();
  emit ShutdownFinished();
}

void TfmMain::StoreForm() {
  TSettings& settings = *settings_;
  if (settings.RememberForm) {
    settings.Left = x();
    settings.Top = y();
    settings.Width = width();
    settings.Height = height();
    settings.Splitter1 = feedListPane_->Width();
    settings.Splitter2 = itemPane_->TopHeight();
  }
  settings.ViewToolbar = miViewToolbar->isChecked();
  settings.ViewStatusBar = miViewStatusBar->isChecked();
  settings.ViewFeedList = miViewFeedList->isChecked();
  settings.ViewItemContents = miViewItemContents->isChecked();
  settings.SortByDate = itemPane_->NewestFirst();
  settings.ShowOlderItems = itemPane_->ShowOlderItems();
  settings.CurrentFeed = std::max(0, feedListPane_->SelectedRow());
  settings.CurrentItem = itemPane_->CurrentItem() ? ItemIdentity(*itemPane_->CurrentItem()) : std::string();
}

void TfmMain::FormDestroy() {
  if (shutDown_) return;
  shutDown_ = true;
  itemPane_->StopMarkAsRead();
  AutoDownloadTimer->stop();
  // Both files are attempted even when the first fails; the first error is reported.
  std::exception_ptr firstError;
  if (settings_) {
    try {
      StoreForm();
      settings_->Save();
    } catch (...) {
      firstError = std::current_exception();
    }
  }
  // A list that was never read stays as it is on the disk.
  if (!feedList_->DefaultHeldBack()) {
    try {
      feedList_->SaveDefault();
    } catch (...) {
      if (!firstError) firstError = std::current_exception();
    }
  }
  if (firstError) std::rethrow_exception(firstError);
}

}  // namespace skimbrook
