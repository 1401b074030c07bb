#include "download/fDownload.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>

#include "download/uCurlQtPump.h"

namespace skimbrook {

namespace {

enum TColumn { kColumnTitle = 0, kColumnUrl = 1, kColumnStatus = 2 };
enum TTab { kTabTasks = 0, kTabLog = 1 };

// Length of the valid UTF-8 sequence at the start of Bytes, or 0 when there is none.
size_t Utf8SequenceLength(std::string_view Bytes) {
  auto at = [&](size_t I) { return static_cast<unsigned char>(Bytes[I]); };
  unsigned char lead = at(0);
  size_t length = lead < 0x80                    ? 1
                  : lead >= 0xC2 && lead <= 0xDF ? 2
                  : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                 : 0;
  if (length == 0 || length > Bytes.size()) return 0;
  for (size_t i = 1; i < length; ++i)
    if ((at(i) & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and code points above U+10FFFF.
  if ((lead == 0xE0 && at(1) < 0xA0) || (lead == 0xED && at(1) >= 0xA0) || (lead == 0xF0 && at(1) < 0x90) ||
      (lead == 0xF4 && at(1) >= 0x90))
    return 0;
  return length;
}

// Text of the feed model for display: every valid UTF-8 sequence as UTF-8, every other
// byte as Windows-1252, so that a feed in either encoding reads right.
QString ToDisplay(std::string_view Bytes) {
  static const char16_t kWindows1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                            0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  QString text;
  text.reserve(static_cast<qsizetype>(Bytes.size()));
  while (!Bytes.empty()) {
    size_t length = Utf8SequenceLength(Bytes);
    if (length > 0) {
      text += QString::fromUtf8(Bytes.data(), static_cast<qsizetype>(length));
    } else {
      auto byte = static_cast<unsigned char>(Bytes[0]);
      text += QChar(byte >= 0x80 && byte < 0xA0 ? kWindows1252[byte - 0x80] : char16_t(byte));
      length = 1;
    }
    Bytes.remove_prefix(length);
  }
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Creation and destruction

TfmDownload::TfmDownload(const TSettings& Settings, QWidget* MainWindow)
    : TfmDownload(Settings, MainWindow, NewQtHttpClient()) {}

TfmDownload::TfmDownload(const TSettings& Settings, QWidget* MainWindow, std::unique_ptr<HttpClient> Client)
    : QWidget(MainWindow, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint), settings_(Settings) {
  setWindowTitle("Download");
  resize(432, 270);

  ListView = new QTreeWidget(this);
  ListView->setColumnCount(3);
  ListView->setHeaderLabels({"Feed Title", "XML URL", "Status"});
  ListView->setColumnWidth(kColumnTitle, 150);
  ListView->setColumnWidth(kColumnUrl, 150);
  ListView->setColumnWidth(kColumnStatus, 100);
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

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(ListView, 1);
  layout->addWidget(Memo, 1);
  layout->addWidget(TabSet, 0, Qt::AlignLeft);

  run_ = std::make_unique<TDownloadRun>(std::move(Client), static_cast<TDownloadView&>(*this));
  run_->OnFeedApplied = [this](TFeed& Feed) {
    if (OnFeedApplied) OnFeedApplied(Feed);
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

void TfmDownload::RunQueue() {
  show();
  run_->RunQueue(settings_);
}

void TfmDownload::Abort() {
  run_->Abort();
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

void TfmDownload::RowAdded(int, const std::string& Title, const std::string& XmlUrl) {
  new QTreeWidgetItem(ListView, {ToDisplay(Title), ToDisplay(XmlUrl), QString()});
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

void TfmDownload::LogLineAdded(const std::string& Line) {
  Memo->appendPlainText(ToDisplay(Line));
}

}  // namespace skimbrook
