// The main window's construction, start-up and shutdown, view flags and timers.
#include "ui/fMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>
#include <stdexcept>

#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "settings/uSettings.h"
#include "ui/fFeedInfo.h"
#include "ui/fHelp.h"
#include "ui/fImpExp.h"
#include "ui/fOptions.h"
#include "ui/fProxySettings.h"
#include "ui/fTip.h"
#include "ui/uCaptionPanel.h"
#include "ui/uFeedListBox.h"
#include "ui/uFeedListDelegate.h"
#include "ui/uFlatMenuStyle.h"
#include "ui/uGlyphs.h"
#include "ui/uItemListDelegate.h"
#include "ui/uProduct.h"
#include "ui/uPrompts.h"
#include "ui/uWebBrowser.h"

namespace skimbrook {

namespace {

// Sizes of the window's design, in pixels.
constexpr int kDesignWidth = 612;
constexpr int kDesignHeight = 519;
constexpr int kMinimumHeight = 400;
constexpr int kToolbarHeight = 34;
constexpr int kBrowserToolbarHeight = 29;
constexpr int kStatusBarHeight = 19;
constexpr int kFeedListWidth = 250;
constexpr int kTopRightHeight = 181;
constexpr int kSplitterWidth = 2;
constexpr int kMinimumPane = 100;
constexpr int kWindowFontPixels = 11;
constexpr int kSpeedButtonWidth = 120;
constexpr int kSpeedButtonHeight = 30;
constexpr int kBrowserButtonSize = 25;

constexpr int kMarkAsReadMs = 1000;
constexpr int kAutoDownloadMs = 3'600'000;

QToolButton* SpeedButton(QWidget* Parent, const char* Caption, TGlyph Glyph, int Left) {
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
  palette.setColor(QPalette::ButtonText, Qt::black);
  button->setPalette(palette);
  button->setGeometry(Left, 2, kSpeedButtonWidth, kSpeedButtonHeight);
  return button;
}

QToolButton* BrowserButton(QWidget* Parent, TGlyph Glyph, const char* Hint) {
  auto* button = new QToolButton(Parent);
  button->setIcon(GlyphIcon(Glyph));
  button->setIconSize(QSize(20, 20));
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  button->setToolTip(QString::fromLatin1(Hint));
  button->resize(kBrowserButtonSize, kBrowserButtonSize);
  return button;
}

// A panel with a raised inner and lowered outer bevel, laid out by hand.
QFrame* BevelPanel(QWidget* Parent, int Height) {
  auto* panel = new QFrame(Parent);
  panel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
  panel->setFixedHeight(Height);
  return panel;
}

// Keeps the browser toolbar's address box stretched and its last two buttons at a fixed
// distance from the right edge.
class TBrowserToolbarLayout : public QObject {
 public:
  TBrowserToolbarLayout(QFrame* Panel, QLineEdit* Address, QToolButton* Go, QToolButton* Close)
      : QObject(Panel), panel_(Panel), address_(Address), go_(Go), close_(Close) {
    Panel->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Watched == panel_ && (Event->type() == QEvent::Resize || Event->type() == QEvent::Show)) Arrange();
    return false;
  }

 private:
  void Arrange() {
    const int width = panel_->width();
    go_->move(width - 52, 2);
    close_->move(width - 27, 2);
    address_->setGeometry(104, 4, std::max(0, width - 52 - 4 - 104), 21);
  }

  QFrame* panel_;
  QLineEdit* address_;
  QToolButton* go_;
  QToolButton* close_;
};

// Lays the window out now, so that sizes set before the window is first shown work on the
// real pane sizes.
void LayOutNow(QMainWindow& Window) {
  if (QLayout* layout = Window.layout()) layout->activate();
  if (QWidget* central = Window.centralWidget())
    if (QLayout* layout = central->layout()) layout->activate();
}

// A column of widgets that fill Owner edge to edge, without gaps between them.
QVBoxLayout* NewFlushColumn(QWidget* Owner) {
  auto* column = new QVBoxLayout(Owner);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  return column;
}

}  // namespace

TMainDialogs TMainDialogs::Standard() {
  TMainDialogs dialogs;
  dialogs.RunTipDialog = &skimbrook::RunTipDialog;
  dialogs.EditOptions = &skimbrook::EditOptions;
  dialogs.EditProxySettings = &skimbrook::EditProxySettings;
  dialogs.ShowFeedInfo = &skimbrook::ShowFeedInfo;
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
  plToolbar = BuildToolbar();
  plBrowserToolbar = BuildBrowserToolbar();
  column->addWidget(plToolbar);
  column->addWidget(plBrowserToolbar);

  Splitter1 = new QSplitter(Qt::Horizontal, central);
  Splitter1->setHandleWidth(kSplitterWidth);
  Splitter1->setChildrenCollapsible(false);
  Splitter1->setOpaqueResize(true);
  lbFeedList = new TFeedListBox(Splitter1);
  lbFeedList->setItemDelegate(new TFeedListDelegate(lbFeedList));
  lbFeedList->setUniformItemSizes(true);
  lbFeedList->setMinimumWidth(kMinimumPane);
  plRight = BuildRightPane();
  plRight->setMinimumWidth(kMinimumPane);
  Splitter1->addWidget(lbFeedList);
  Splitter1->addWidget(plRight);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  column->addWidget(Splitter1, 1);
  setCentralWidget(central);

  StatusBar = statusBar();
  StatusBar->setFixedHeight(kStatusBarHeight);
  StatusBar->setSizeGripEnabled(false);
}

QFrame* TfmMain::BuildToolbar() {
  QFrame* panel = BevelPanel(this, kToolbarHeight);
  sbAddFeed = SpeedButton(panel, "Add Feed", TGlyph::AddFeed, 2);
  sbCheckFeed = SpeedButton(panel, "Check Feed", TGlyph::CheckFeed, 122);
  sbCatchUp = SpeedButton(panel, "Catch Up", TGlyph::CatchUp, 242);
  sbCheckAll = SpeedButton(panel, "Check All", TGlyph::CheckAll, 362);
  sbClose = SpeedButton(panel, "Close", TGlyph::Close, 482);
  return panel;
}

QFrame* TfmMain::BuildBrowserToolbar() {
  QFrame* panel = BevelPanel(this, kBrowserToolbarHeight);
  sbBrowserHome = BrowserButton(panel, TGlyph::BrowserHome, "Home");
  sbBrowserBack = BrowserButton(panel, TGlyph::BrowserBack, "Back");
  sbBrowserForward = BrowserButton(panel, TGlyph::BrowserForward, "Forward");
  sbBrowserRefresh = BrowserButton(panel, TGlyph::BrowserRefresh, "Refresh");
  sbBrowserHome->move(2, 2);
  sbBrowserBack->move(27, 2);
  sbBrowserForward->move(52, 2);
  sbBrowserRefresh->move(77, 2);
  ebURL = new QLineEdit(panel);
  ebURL->setFrame(false);
  ebURL->setFixedHeight(21);
  sbBrowserGo = BrowserButton(panel, TGlyph::BrowserGo, "Go");
  sbBrowserClose = BrowserButton(panel, TGlyph::BrowserClose, "Close");
  new TBrowserToolbarLayout(panel, ebURL, sbBrowserGo, sbBrowserClose);
  panel->hide();
  return panel;
}

QWidget* TfmMain::BuildRightPane() {
  auto* right = new QWidget(this);
  auto* rightColumn = NewFlushColumn(right);
  Splitter2 = new QSplitter(Qt::Vertical, right);
  Splitter2->setHandleWidth(kSplitterWidth);
  Splitter2->setChildrenCollapsible(false);
  rightColumn->addWidget(Splitter2);

  plTopRight = new QWidget(Splitter2);
  plTopRight->setMinimumHeight(kMinimumPane);
  auto* top = NewFlushColumn(plTopRight);
  plFeedTitle = new TCaptionPanel(16, 13, true, false, plTopRight);
  plFeedLink = new TCaptionPanel(13, 11, true, true, plTopRight);
  plFeedDescription = new QWidget(plTopRight);
  plFeedDescription->setFixedHeight(34);
  ApplyPanelColours(*plFeedDescription);
  auto* descriptionBox = new QVBoxLayout(plFeedDescription);
  descriptionBox->setContentsMargins(4, 1, 4, 1);
  // Read-only text that cannot be selected or scrolled: a disabled memo, drawn as a label.
  meFeedDescription = new QLabel(plFeedDescription);
  meFeedDescription->setTextFormat(Qt::PlainText);
  meFeedDescription->setWordWrap(true);
  meFeedDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  meFeedDescription->setMinimumWidth(1);
  meFeedDescription->setCursor(Qt::ArrowCursor);
  QFont descriptionFont = meFeedDescription->font();
  descriptionFont.setPixelSize(11);
  meFeedDescription->setFont(descriptionFont);
  ApplyPanelColours(*meFeedDescription);
  descriptionBox->addWidget(meFeedDescription);
  lbItems = new QListWidget(plTopRight);
  lbItems->setItemDelegate(new TItemListDelegate(lbItems));
  lbItems->setUniformItemSizes(true);
  lbItems->setSelectionMode(QAbstractItemView::SingleSelection);
  top->addWidget(plFeedTitle);
  top->addWidget(plFeedLink);
  top->addWidget(plFeedDescription);
  top->addWidget(lbItems, 1);

  plBottomRight = new QWidget(Splitter2);
  plBottomRight->setMinimumHeight(kMinimumPane);
  auto* bottom = NewFlushColumn(plBottomRight);
  plItemTitle = new TCaptionPanel(16, 13, true, false, plBottomRight);
  plItemLink = new TCaptionPanel(14, 11, true, true, plBottomRight);
  WebBrowser = services_.CreateBrowser(plBottomRight);
  bottom->addWidget(plItemTitle);
  bottom->addWidget(plItemLink);
  bottom->addWidget(WebBrowser, 1);

  Splitter2->addWidget(plTopRight);
  Splitter2->addWidget(plBottomRight);
  Splitter2->setStretchFactor(0, 0);
  Splitter2->setStretchFactor(1, 1);
  return right;
}

void TfmMain::BuildTimers() {
  MarkAsReadTimer = new QTimer(this);
  MarkAsReadTimer->setSingleShot(true);
  MarkAsReadTimer->setInterval(kMarkAsReadMs);
  AutoDownloadTimer = new QTimer(this);
  AutoDownloadTimer->setInterval(kAutoDownloadMs);
  connect(MarkAsReadTimer, &QTimer::timeout, this, &TfmMain::MarkAsReadTimerTimer);
  connect(AutoDownloadTimer, &QTimer::timeout, this, &TfmMain::AutoDownloadTimerTimer);
  connect(Splitter1, &QSplitter::splitterMoved, this, &TfmMain::Splitter1Moved);
}

void TfmMain::ConnectPanes() {
  // A click on the row that is already selected counts too (the first row after start).
  connect(lbFeedList, &QListWidget::currentRowChanged, this, &TfmMain::lbFeedListClick);
  connect(lbFeedList, &QListWidget::clicked, this, &TfmMain::lbFeedListClick);
  connect(lbFeedList, &TFeedListBox::RowDropped, this, &TfmMain::lbFeedListDragDrop);
  connect(lbItems, &QListWidget::currentRowChanged, this, &TfmMain::lbItemsClick);
  connect(plFeedLink, &TCaptionPanel::Clicked, this, &TfmMain::plFeedLinkClick);
  connect(plItemLink, &TCaptionPanel::Clicked, this, &TfmMain::plItemLinkClick);
  connect(WebBrowser, &TWebBrowser::BeforeNavigate2, this, &TfmMain::WebBrowserBeforeNavigate2);
  connect(WebBrowser, &TWebBrowser::StatusTextChange, this, &TfmMain::WebBrowserStatusTextChange);
  connect(WebBrowser, &TWebBrowser::NewWindow2, this, &TfmMain::WebBrowserNewWindow2);
  connect(WebBrowser, &TWebBrowser::NavigationRefused, this, &TfmMain::WebBrowserNavigationRefused);
}

// ---------------------------------------------------------------------------------------
// Start-up

void TfmMain::FormCreate() {
  navigatingInternally = false;
  currentFeed_.reset();
  currentItem_.reset();
  setWindowTitle(QString::fromLatin1(product::kMainCaption));
  QApplication::setApplicationName(QString::fromLatin1(product::kName));
  SetPaneSizes(kFeedListWidth, kTopRightHeight);
  // Whether another copy runs is settled by the program's entry before this window exists,
  // so that a second copy never builds a window at all.
  try {
    std::error_code ignored;
    std::filesystem::create_directories(DataFolder(), ignored);
    settings_ =
        std::make_unique<TSettings>(*services_.Registry, services_.ExecutablePath, services_.PagesFolder);
    // A damaged state file is copied aside and ignored: it holds nothing a feed needs to be
    // read, only the next requests' validators and the reasons shown for failures.
    fetchState_.Load();
    if (TrayAvailable()) CoolTrayIcon->show();
    RestoreForm();
    ApplyViewFlags();
    LoadFeedList();
    UpdateFeedAndItemView();
    ReportIgnoredSettings();
  } catch (const std::exception& error) {
    Prompts().Error(QString::fromLatin1(product::kName), ToDisplay(error.what()));
  }
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
  SetPaneSizes(settings.Splitter1 > 0 ? settings.Splitter1 : lbFeedList->width(),
               settings.Splitter2 > 0 ? settings.Splitter2 : plTopRight->height());
}

void TfmMain::SetPaneSizes(int FeedListWidth, int TopRightHeight) {
  LayOutNow(*this);
  const int width = Splitter1->width() - Splitter1->handleWidth();
  Splitter1->setSizes({FeedListWidth, std::max(0, width - FeedListWidth)});
  const int height = Splitter2->height() - Splitter2->handleWidth();
  Splitter2->setSizes({TopRightHeight, std::max(0, height - TopRightHeight)});
}

void TfmMain::ApplyViewFlags() {
  const TSettings& settings = Settings();
  miViewToolbar->setChecked(settings.ViewToolbar);
  plToolbar->setVisible(settings.ViewToolbar);
  miViewStatusBar->setChecked(settings.ViewStatusBar);
  StatusBar->setVisible(settings.ViewStatusBar);
  miViewFeedList->setChecked(settings.ViewFeedList);
  lbFeedList->setVisible(settings.ViewFeedList);
  miViewItemContents->setChecked(settings.ViewItemContents);
  ApplyItemContentsLayout(settings.ViewItemContents);
}

void TfmMain::ApplyItemContentsLayout(bool Shown) {
  plTopRight->show();
  plBottomRight->setVisible(Shown);
  halfHeightPending_ = Shown && !isVisible();
  if (!Shown) return;
  LayOutNow(*this);
  const int height = plRight->height();
  const int top = height / 2;
  Splitter2->setSizes({top, std::max(0, height - top - Splitter2->handleWidth())});
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
  // Pane heights settle only once the window is laid out for real.
  if (halfHeightPending_) ApplyItemContentsLayout(true);
  // Every showing asks for the start-up actions; only the first request runs them.
  QMetaObject::invokeMethod(this, &TfmMain::StartUpActions, Qt::QueuedConnection);
  // The current item's page comes on screen now; its count starts afresh.
  ArmMarkAsRead();
}

void TfmMain::hideEvent(QHideEvent* Event) {
  QMainWindow::hideEvent(Event);
  if (MarkAsReadTimer) MarkAsReadTimer->stop();
}

void TfmMain::changeEvent(QEvent* Event) {
  QMainWindow::changeEvent(Event);
  if (Event->type() != QEvent::WindowStateChange || !MarkAsReadTimer) return;
  // Minimised, the page cannot be read; restored, it counts as shown again.
  if (isMinimized())
    MarkAsReadTimer->stop();
  else if (!MarkAsReadTimer->isActive())
    ArmMarkAsRead();
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
  lbFeedList->viewport()->update();
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
        if (feedList_) CoolTrayIcon->setToolTip(TrayHint(TotalUnread(FeedList())));
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
        FillItemList();
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
    // The run's nested event loop is still on the stack; let it unwind first. The command
    // that started it closes the window again once it has returned.
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
    settings.Splitter1 = lbFeedList->width();
    settings.Splitter2 = plTopRight->height();
  }
  settings.ViewToolbar = miViewToolbar->isChecked();
  settings.ViewStatusBar = miViewStatusBar->isChecked();
  settings.ViewFeedList = miViewFeedList->isChecked();
  settings.ViewItemContents = miViewItemContents->isChecked();
}

void TfmMain::FormDestroy() {
  if (shutDown_) return;
  shutDown_ = true;
  MarkAsReadTimer->stop();
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
