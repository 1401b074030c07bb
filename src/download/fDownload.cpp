#include "download/fDownload.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>

#include "display/uDisplayText.h"
#include "download/uCurlQtPump.h"

namespace skimbrook {

namespace {

enum TColumn { kColumnTitle = 0, kColumnUrl = 1, kColumnStatus = 2, kColumnReason = 3 };
// The three columns of the task list, then the reason of a failure, wide enough for the
// usual ones ("404 Not Found", "cannot connect"); the window is as wide as all four.
constexpr int kReasonWidth = 150;
enum TTab { kTabTasks = 0, kTabLog = 1 };

}  // namespace

// ---------------------------------------------------------------------------------------
// Creation and destruction

TfmDownload::TfmDownload(std::optional<THttpProxy> Proxy, QWidget* MainWindow)
    : TfmDownload(std::move(Proxy), MainWindow, NewQtHttpClient()) {}

TfmDownload::TfmDownload(std::optional<THttpProxy> Proxy, QWidget* MainWindow,
                         std::unique_ptr<HttpClient> Client)
    : QWidget(MainWindow, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      proxy_(std::move(Proxy)) {
  setWindowTitle("Download");
  resize(432 + kReasonWidth, 270);

  ListView = new QTreeWidget(this);
  ListView->setColumnCount(4);
  ListView->setHeaderLabels({"Feed Title", "XML URL", "Status", "Reason"});
  ListView->setColumnWidth(kColumnTitle, 150);
  ListView->setColumnWidth(kColumnUrl, 150);
  ListView->setColumnWidth(kColumnStatus, 100);
  ListView->setColumnWidth(kColumnReason, kReasonWidth);
  ListView->header()->setSectionsClickable(false);
  ListView->setRootIsDecorated(false);
  ListView->setItemsExpandable(false);
  ListView->setUniformRowHeights(true);
  ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
  ListView->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);

  Memo = new QPlainTextEdit(this);
  Memo->setReadOnly(true);
  Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo->hide();

  TabSet = new QTabBar(this);
  TabSet->setShape(QTabBar::RoundedSouth);
  TabSet->setExpanding(false);
  TabSet->addTab("Tasks");
  TabSet->addTab("Log");
  TabSet->setCurrentIndex(kTabTasks);
  connect(TabSet, &QTabBar::currentChanged, this, &TfmDownload::TabSetChange);

  StopButton = new QPushButton("Stop", this);
  StopButton->setEnabled(false);
  connect(StopButton, &QPushButton::clicked, this, &TfmDownload::Abort);

  auto* bottom = new QHBoxLayout;
  bottom->setContentsMargins(0, 0, 4, 2);
  bottom->addWidget(TabSet, 0, Qt::AlignLeft);
  bottom->addStretch(1);
  bottom->addWidget(StopButton);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(ListView, 1);
  layout->addWidget(Memo, 1);
  layout->addLayout(bottom);

  run_ = std::make_unique<TDownloadRun>(std::move(Client), static_cast<TDownloadView&>(*this));
  run_->OnFeedApplied = [this](TFeed& Feed) {
    if (OnFeedApplied) OnFeedApplied(Feed);
  };
  run_->OnFinished = [this] {
    StopButton->setEnabled(false);
    if (OnFinished) OnFinished();
  };
  CentreOn(MainWindow);
}

TfmDownload::~TfmDownload() {
  run_->CloseClient();
  try {
    run_->WriteLog("download.log");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "skimbrook: %s\n", error.what());
  }
}

void TfmDownload::CentreOn(QWidget* MainWindow) {
  QRect area = MainWindow ? MainWindow->frameGeometry() : QRect();
  if (area.isEmpty() && screen()) area = screen()->availableGeometry();
  QRect frame = geometry();
  frame.moveCenter(area.center());
  move(frame.topLeft());
}

void TfmDownload::closeEvent(QCloseEvent* Event) {
  Event->ignore();
}

// ---------------------------------------------------------------------------------------
// Commands

void TfmDownload::QueueFeed(std::shared_ptr<TFeed> Feed) {
  run_->QueueFeed(std::move(Feed));
}

void TfmDownload::Start() {
  show();
  StopButton->setEnabled(true);
  run_->Start(proxy_);
}

void TfmDownload::RunQueue() {
  show();
  StopButton->setEnabled(true);
  run_->RunQueue(proxy_);
}

void TfmDownload::Abort() {
  run_->Abort();
}

void TfmDownload::SetKind(TRunKind Kind) {
  TRunOptions options = run_->Options();
  options.Kind = Kind;
  run_->SetOptions(std::move(options));
}

void TfmDownload::AddLogLine(const std::string& Text) {
  run_->AddLogLine(Text);
}

void TfmDownload::TabSetChange(int Index) {
  ListView->setVisible(Index == kTabTasks);
  Memo->setVisible(Index == kTabLog);
}

// ---------------------------------------------------------------------------------------
// What the run shows

void TfmDownload::RowAdded(int Row, const std::string& Title, const std::string& XmlUrl) {
  const TFetchRecord* record = state_ ? state_->Find(run_->RowFeed(Row)->XmlUrl) : nullptr;
  const std::string encoding = record ? record->Encoding : std::string();
  new QTreeWidgetItem(ListView,
                      {ToDisplayTitle(Title, encoding), ToDisplayAddress(XmlUrl), QString(), QString()});
}

void TfmDownload::RowStarted(int Row) {
  QTreeWidgetItem* item = ListView->topLevelItem(Row);
  ListView->setCurrentItem(item);
  // Keeps the row being worked on in view, two text lines above the bottom of the list.
  ListView->doItemsLayout();
  int top = ListView->visualItemRect(item).top();
  int delta = top - ListView->viewport()->height() + 2 * ListView->fontMetrics().height();
  QScrollBar* bar = ListView->verticalScrollBar();
  bar->setValue(bar->value() + delta);
}

void TfmDownload::RowStatusChanged(int Row, const std::string& Status) {
  ListView->topLevelItem(Row)->setText(kColumnStatus, ToDisplay(Status));
}

void TfmDownload::RowDetailChanged(int Row, const std::string& Detail) {
  ListView->topLevelItem(Row)->setToolTip(kColumnStatus, PlainAsRichText(ToDisplay(Detail)));
}

void TfmDownload::RowReasonChanged(int Row, const std::string& Reason) {
  QTreeWidgetItem* item = ListView->topLevelItem(Row);
  const QString text = ToDisplayAddress(Reason);
  item->setText(kColumnReason, text);
  // A long reason (a redirect's target) is read whole in the tooltip.
  item->setToolTip(kColumnReason, PlainAsRichText(text));
}

void TfmDownload::LogLineAdded(const std::string& Line) {
  Memo->appendPlainText(ToDisplay(Line));
}

}  // namespace skimbrook
