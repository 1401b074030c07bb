// The right-hand panes: the current feed's heading panels and item list, the current item's
// heading panels and its page in the browser, and marking items read after a delay.
#include "ui/panes/uItemPane.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMainWindow>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "ui/browser/uFeedAddress.h"
#include "ui/browser/uWebBrowser.h"
#include "ui/painting/uItemListDelegate.h"
#include "ui/panes/uBulkUpdate.h"
#include "ui/panes/uCaptionPanel.h"
#include "ui/panes/uListRules.h"
#include "ui/window/uCommand.h"
#include "ui/window/uItemStoreLink.h"
#include "ui/window/uPaneHost.h"
#include "ui/window/uPaneLayout.h"

namespace skimbrook {

namespace {

constexpr int kMarkAsReadMs = 1000;

}  // namespace

void UnhookItems(TFeed& Feed) {
  for (int i = 0; i < Feed.ItemCount(); ++i) Feed.Items(i).OnChange = nullptr;
}

// ---------------------------------------------------------------------------------------
// Building and layout

TItemPane::TItemPane(TPaneHost& Host, QMainWindow& Window, QWidget* Parent,
                     const std::function<TWebBrowser*(QWidget* Parent)>& CreateBrowser)
    : host_(Host), window_(Window) {
  BuildPane(Parent, CreateBrowser);
  MarkAsReadTimer = new QTimer(plRight);
  MarkAsReadTimer->setSingleShot(true);
  MarkAsReadTimer->setInterval(kMarkAsReadMs);
  MarkAsReadTimer->setObjectName(QStringLiteral("MarkAsReadTimer"));
  connect(MarkAsReadTimer, &QTimer::timeout, this, &TItemPane::MarkAsReadTimerTimer);
  miViewSortByDate = NewCommand(plRight, "miViewSortByDate", QStringLiteral("Sort by &Date"), this,
                                &TItemPane::miViewSortByDateClick);
  miViewSortByDate->setCheckable(true);
  NewCommand(plRight, "miToolsMarkAsUnread", QStringLiteral("Mark as &Unread"), this,
             &TItemPane::miToolsMarkAsUnreadClick, {QKeySequence(Qt::CTRL | Qt::Key_U)});
  NewCommand(plRight, "miItemCopyLink", QStringLiteral("&Copy Link"), this, &TItemPane::miItemCopyLinkClick);
  miViewShowOlderItems = NewCommand(plRight, "miViewShowOlderItems", QStringLiteral("Show Old&er Items"),
                                    this, &TItemPane::miViewShowOlderItemsClick);
  miViewShowOlderItems->setCheckable(true);
  miViewStarredItems = NewCommand(plRight, "miViewStarredItems", QStringLiteral("Starred &Items"), this,
                                  &TItemPane::miViewStarredItemsClick);
  miViewStarredItems->setCheckable(true);
  NewCommand(plRight, "miViewFindItems", QStringLiteral("Fi&nd Items..."), this,
             &TItemPane::miViewFindItemsClick, {QKeySequence(Qt::CTRL | Qt::Key_F)});
  NewCommand(plRight, "miToolsStarItem", QStringLiteral("&Star Item"), this, &TItemPane::miToolsStarItemClick,
             {QKeySequence(Qt::CTRL | Qt::Key_S)});
}

void TItemPane::BuildPane(QWidget* Parent,
                          const std::function<TWebBrowser*(QWidget* Parent)>& CreateBrowser) {
  plRight = new QWidget(Parent);
  plRight->setMinimumWidth(kMinimumPane);
  QWidget* right = plRight;
  auto* rightColumn = NewFlushColumn(right);
  Splitter2 = NewPaneSplitter(Qt::Vertical, right);
  rightColumn->addWidget(Splitter2);

  plTopRight = new QWidget(Splitter2);
  plTopRight->setMinimumHeight(kMinimumPane);
  auto* top = NewFlushColumn(plTopRight);
  plFeedTitle = new TCaptionPanel(16, 13, true, false, plTopRight);
  plFeedLink = new TCaptionPanel(13, 11, true, true, plTopRight);
  auto* plFeedDescription = new QWidget(plTopRight);
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
  // The search field: hidden until Find Items asks for it.
  plSearch = new QWidget(plTopRight);
  auto* searchRow = new QHBoxLayout(plSearch);
  searchRow->setContentsMargins(2, 2, 2, 2);
  edSearch = new QLineEdit(plSearch);
  edSearch->setPlaceholderText(QStringLiteral("Search the items' titles and texts"));
  edSearch->setClearButtonEnabled(true);
  cbSearchScope = new QComboBox(plSearch);
  cbSearchScope->addItems(
      {QStringLiteral("All feeds"), QStringLiteral("This feed"), QStringLiteral("This group")});
  searchRow->addWidget(edSearch, 1);
  searchRow->addWidget(cbSearchScope);
  plSearch->hide();
  lbItems = new QListWidget(plTopRight);
  lbItems->setItemDelegate(new TItemListDelegate(lbItems));
  lbItems->setUniformItemSizes(true);
  lbItems->setSelectionMode(QAbstractItemView::SingleSelection);
  top->addWidget(plFeedTitle);
  top->addWidget(plFeedLink);
  top->addWidget(plFeedDescription);
  top->addWidget(plSearch);
  top->addWidget(lbItems, 1);

  plBottomRight = new QWidget(Splitter2);
  plBottomRight->setMinimumHeight(kMinimumPane);
  auto* bottom = NewFlushColumn(plBottomRight);
  plItemTitle = new TCaptionPanel(16, 13, true, false, plBottomRight);
  plItemLink = new TCaptionPanel(14, 11, true, true, plBottomRight);
  WebBrowser = CreateBrowser(plBottomRight);
  bottom->addWidget(plItemTitle);
  bottom->addWidget(plItemLink);
  bottom->addWidget(WebBrowser, 1);
  const std::pair<QObject*, const char*> named[] = {
      {plRight, "plRight"},         {Splitter2, "Splitter2"},
      {plTopRight, "plTopRight"},   {plFeedTitle, "plFeedTitle"},
      {plFeedLink, "plFeedLink"},   {meFeedDescription, "meFeedDescription"},
      {lbItems, "lbItems"},         {plBottomRight, "plBottomRight"},
      {plItemTitle, "plItemTitle"}, {plItemLink, "plItemLink"},
      {WebBrowser, "WebBrowser"},   {plSearch, "plSearch"},
      {edSearch, "edSearch"},       {cbSearchScope, "cbSearchScope"}};
  for (const auto& [object, name] : named) object->setObjectName(QLatin1String(name));

  Splitter2->addWidget(plTopRight);
  Splitter2->addWidget(plBottomRight);
  Splitter2->setStretchFactor(0, 0);
  Splitter2->setStretchFactor(1, 1);
}

void TItemPane::Connect() {
  connect(lbItems, &QListWidget::currentRowChanged, this, &TItemPane::lbItemsClick);
  connect(plFeedLink, &TCaptionPanel::Clicked, this, &TItemPane::plFeedLinkClick);
  connect(plItemLink, &TCaptionPanel::Clicked, this, &TItemPane::plItemLinkClick);
  lbItems->installEventFilter(this);
  edSearch->installEventFilter(this);
  connect(edSearch, &QLineEdit::textEdited, this, &TItemPane::RunSearch);
  connect(cbSearchScope, &QComboBox::currentIndexChanged, this, &TItemPane::RunSearch);
  // Enter opens the selected result, or the first.
  connect(edSearch, &QLineEdit::returnPressed, this, [this] {
    if (lbItems->count() == 0) return;
    lbItems->setFocus();
    if (lbItems->currentRow() < 0) lbItems->setCurrentRow(0);
  });
}

bool TItemPane::eventFilter(QObject* Watched, QEvent* Event) {
  if ((Watched != lbItems && Watched != edSearch) || Event->type() != QEvent::KeyPress)
    return QObject::eventFilter(Watched, Event);
  const auto* key = static_cast<QKeyEvent*>(Event);
  if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && !ShowsFeedItems()) {
    ShowFeedItems();
    lbItems->setFocus();
    return true;
  }
  if (Watched != lbItems) return false;
  if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier) return false;
  SpaceInItems();
  return true;
}

void TItemPane::SpaceInItems() {
  // Space reads on: the page scrolls by a screen, and at its end the next unread item comes.
  if (!WebBrowser->PageAtEnd()) {
    WebBrowser->PageDown();
    return;
  }
  if (auto* next = window_.findChild<QAction*>(QStringLiteral("miToolsNextUnread"));
      next && next->isEnabled())
    next->trigger();
}

void TItemPane::ApplyContentsLayout(bool Shown) {
  plTopRight->show();
  plBottomRight->setVisible(Shown);
  halfHeightPending_ = Shown && !window_.isVisible();
  if (!Shown) return;
  LayOutNow(window_);
  const int height = plRight->height();
  const int top = height / 2;
  Splitter2->setSizes({top, std::max(0, height - top - Splitter2->handleWidth())});
}

void TItemPane::ApplyPendingLayout() {
  // Pane heights settle only once the window is laid out for real.
  if (halfHeightPending_) ApplyContentsLayout(true);
}

int TItemPane::TopHeight() const {
  return plTopRight->height();
}

void TItemPane::SetTopHeight(int Height) {
  SetFirstPaneSize(*Splitter2, Height);
}

void TItemPane::ShowBrowserOnly(bool BrowserOnly) {
  if (BrowserOnly) {
    plBottomRight->show();
    plItemTitle->hide();
    plItemLink->hide();
    // Hiding a pane hides its splitter handle with it.
    plTopRight->hide();
    halfHeightPending_ = false;
  } else {
    plItemLink->show();
    plItemTitle->show();
  }
}

void TItemPane::FocusItems() {
  lbItems->setFocus();
}

// ---------------------------------------------------------------------------------------
// Items

void TItemPane::ClearItemLines() {
  const QSignalBlocker blocker(lbItems);
  lbItems->clear();
  rowItems_.clear();
  itemRows_.clear();
  storedLines_.clear();
  firstStoredRow_ = 0;
  currentStored_ = -1;
}

int TItemPane::ItemIndexOfRow(int Row) const {
  if (Row < 0 || static_cast<std::size_t>(Row) >= rowItems_.size()) return -1;
  return rowItems_[static_cast<std::size_t>(Row)];
}

void TItemPane::WriteItemLines(TFeed& Feed) {
  const QSignalBlocker blocker(lbItems);
  const TBulkUpdate bulk(*lbItems);
  lbItems->clear();
  rowItems_ = ItemListOrder(Feed, NewestFirst());
  itemRows_.assign(rowItems_.size(), -1);
  for (std::size_t row = 0; row < rowItems_.size(); ++row) {
    itemRows_[static_cast<std::size_t>(rowItems_[row])] = static_cast<int>(row);
    lbItems->addItem(QString());
  }
  for (int i = 0; i < Feed.ItemCount(); ++i) {
    TFeedItem& item = Feed.Items(i);
    item.OnChange = [this](int Index, TFeedItem& Changed) { ItemLineChanged(Index, Changed); };
    item.Changed();
  }
  AppendStoredLines();
}

bool TItemPane::NewestFirst() const {
  return miViewSortByDate->isChecked();
}

void TItemPane::SetNewestFirst(bool NewestFirst) {
  if (NewestFirst == this->NewestFirst()) return;
  miViewSortByDate->setChecked(NewestFirst);
  miViewSortByDateClick();
}

void TItemPane::miViewSortByDateClick() {
  const std::shared_ptr<TFeed> feed = host_.CurrentFeed();
  if (!feed || feed->XmlUrl.empty() || feed->ItemCount() <= 0) return;
  if (!ShowsFeedItems()) return;
  WriteItemLines(*feed);
  const QSignalBlocker blocker(lbItems);
  for (int i = 0; i < feed->ItemCount(); ++i)
    if (currentItem_ && feed->ItemPtr(i) == currentItem_)
      lbItems->setCurrentRow(itemRows_[static_cast<std::size_t>(i)]);
  if (currentStored_ >= 0) lbItems->setCurrentRow(firstStoredRow_ + currentStored_);
}

void TItemPane::ReleaseItemList() {
  MarkAsReadTimer->stop();
  currentItem_.reset();
  if (const std::shared_ptr<TFeed>& feed = host_.CurrentFeed()) UnhookItems(*feed);
  ClearItemLines();
  // The list is about to be read again: whatever the lines showed, the feed's come next.
  listKind_ = TListKind::FeedItems;
  miViewStarredItems->setChecked(false);
  LeaveSearch();
}

void TItemPane::FillItemList() {
  // The starred items or the search results stay until the user leaves them; a download
  // meanwhile changes the feed's items, not those lines.
  if (!ShowsFeedItems()) return;
  currentItem_.reset();
  if (!host_.CurrentFeed()) {
    ClearItemLines();
    UpdateFeedAndItemView();
    return;
  }
  // Held here so that nothing called while the list is filled can take the feed away.
  const std::shared_ptr<TFeed> feed = host_.CurrentFeed();
  if (feed->XmlUrl.empty()) {
    ClearItemLines();
  } else {
    // The earlier feed's lines go first, so that a cache file that cannot be read leaves
    // no lines of another feed behind.
    ClearItemLines();
    if (feed->ItemCount() == -1) feed->LoadCache();
    host_.ItemStore().FeedLoaded(*feed);
    if (miViewShowOlderItems->isChecked()) storedLines_ = host_.ItemStore().OlderItems(*feed);
    WriteItemLines(*feed);
    if (lbItems->count() > 0) {
      const QSignalBlocker blocker(lbItems);
      lbItems->setCurrentRow(0);
      if (std::exchange(firstUnreadOnFill_, false) && !SelectUnreadAfter(-1)) lbItems->setCurrentRow(0);
      if (const std::string wanted = std::exchange(itemOnFill_, {}); !wanted.empty())
        SelectItem(*feed, wanted);
    }
    if (lbItems->count() > 0) lbItemsClick();
  }
  feed->UnreadCount = feed->CountUnread();
  UpdateFeedAndItemView();
  UpdateOlderCount();
}

void TItemPane::ItemLineChanged(int Index, TFeedItem& Item) {
  if (Index < 0 || static_cast<std::size_t>(Index) >= itemRows_.size()) return;
  QListWidgetItem* line = lbItems->item(itemRows_[static_cast<std::size_t>(Index)]);
  if (!line) return;
  const std::string encoding = host_.CurrentFeed() ? host_.EncodingOf(*host_.CurrentFeed()) : std::string();
  const QString star = Item.Feed && host_.ItemStore().IsStarred(*Item.Feed, Item) ? StarMark() : QString();
  line->setText(ItemLineText(Item, encoding).insert(1, star));
  // The line's own text keeps its date; the painter shows the date in a column of its own.
  line->setData(kItemTitleRole, QLatin1Char(Item.IsRead ? '-' : '+') + star + ItemTitleText(Item, encoding));
  line->setData(kItemDateRole, ItemDateText(Item, QDateTime::currentDateTime(), encoding));
  // What a screen reader says: the state in words, where the screen shows it in bold.
  const QString title = ItemTitleText(Item, encoding);
  line->setData(Qt::AccessibleTextRole, Item.IsRead ? title : QStringLiteral("unread: ") + title);
  if (HasStandInTitle(Item)) {
    QFont italic = lbItems->font();
    italic.setItalic(true);
    line->setFont(italic);
  }
}

void TItemPane::lbItemsClick() {
  MarkAsReadTimer->stop();
  keptUnread_.reset();
  const int index = ItemIndexOfRow(lbItems->currentRow());
  const std::shared_ptr<TFeed>& feed = host_.CurrentFeed();
  currentStored_ = StoredIndexOfRow(lbItems->currentRow());
  if (currentStored_ >= 0)
    currentItem_ = ItemOfStored(storedLines_[static_cast<size_t>(currentStored_)]);
  else if (feed && index >= 0 && index < feed->ItemCount())
    currentItem_ = feed->ItemPtr(index);
  else
    currentItem_.reset();
  UpdateFeedAndItemView();
  ArmMarkAsRead();
}

bool TItemPane::ItemPageOnScreen() const {
  return !host_.InBrowserMode() && window_.isVisible() && !window_.isMinimized();
}

void TItemPane::StopMarkAsRead() {
  MarkAsReadTimer->stop();
}

void TItemPane::ResumeMarkAsRead() {
  if (!MarkAsReadTimer->isActive()) ArmMarkAsRead();
}

void TItemPane::ArmMarkAsRead() {
  MarkAsReadTimer->stop();
  // An item counts as read only once its page has been seen: a refill in browser mode or
  // in a hidden window waits until the page is shown.
  if (currentItem_ && !currentItem_->IsRead && currentItem_ != keptUnread_ && ItemPageOnScreen())
    MarkAsReadTimer->start();
}

void TItemPane::miToolsMarkAsUnreadClick() {
  const std::shared_ptr<TFeedItem> item = currentItem_;
  if (!item) return;
  MarkAsReadTimer->stop();
  keptUnread_ = item;
  SetItemRead(item, false);
}

void TItemPane::miItemCopyLinkClick() {
  const std::shared_ptr<TFeedItem> item = currentItem_;
  const std::shared_ptr<TFeed> feed = host_.CurrentFeed();
  if (!item || !feed || item->Link.empty()) return;
  QGuiApplication::clipboard()->setText(ToDisplay(Trim(item->Link), host_.EncodingOf(*feed)));
}

int TItemPane::CurrentRow() const {
  return lbItems->currentRow();
}

void TItemPane::SelectItem(const TFeed& Feed, const std::string& Identity) {
  for (int i = 0; i < Feed.ItemCount(); ++i)
    if (ItemIdentity(Feed.Items(i)) == Identity)
      lbItems->setCurrentRow(itemRows_[static_cast<std::size_t>(i)]);
}

bool TItemPane::SelectUnreadAfter(int Row) {
  const std::shared_ptr<TFeed> feed = host_.CurrentFeed();
  if (!feed || feed->XmlUrl.empty()) return false;
  for (int row = std::max(Row + 1, 0); row < lbItems->count(); ++row) {
    const int index = ItemIndexOfRow(row);
    if (index < 0 || index >= feed->ItemCount() || feed->Items(index).IsRead) continue;
    lbItems->setCurrentRow(row);
    return true;
  }
  return false;
}

void TItemPane::MarkAsReadTimerTimer() {
  MarkAsReadTimer->stop();
  if (!ItemPageOnScreen()) return;
  if (const std::shared_ptr<TFeedItem> item = currentItem_) SetItemRead(item, true);
}

namespace {

// "Audio", "Video", "Image" or "File", from an enclosure's media type.
QString EnclosureKind(const std::string& Type) {
  if (Type.starts_with("audio/")) return QStringLiteral("Audio");
  if (Type.starts_with("video/")) return QStringLiteral("Video");
  if (Type.starts_with("image/")) return QStringLiteral("Image");
  return QStringLiteral("File");
}

// "12.3 MB" for a length in bytes; empty when the length is not a positive number.
QString EnclosureSize(const std::string& Length) {
  bool ok = false;
  const qlonglong bytes = QString::fromStdString(Length).trimmed().toLongLong(&ok);
  if (!ok || bytes <= 0) return {};
  return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

// One line under the text for each enclosure: its kind, its file name and its size, as a
// link that opens in the desktop's application (a new window, which the browser hands to
// the desktop for web addresses only).
QString EnclosureLines(const std::vector<TEnclosure>& Enclosures, const std::string& Encoding) {
  QString lines;
  for (const TEnclosure& enclosure : Enclosures) {
    const QString address = ToDisplay(Trim(enclosure.Url), Encoding);
    QString name = QUrl(address).fileName();
    if (name.isEmpty()) name = address;
    QString text = EnclosureKind(enclosure.Type) + QStringLiteral(": ") + name;
    if (const QString size = EnclosureSize(enclosure.Length); !size.isEmpty())
      text += QStringLiteral(" (%1)").arg(size);
    lines += QStringLiteral("<p class=\"enclosure\"><a href=\"%1\" target=\"_blank\">%2</a></p>")
                 .arg(address.toHtmlEscaped(), text.toHtmlEscaped());
  }
  return lines;
}

}  // namespace

QString TItemPane::ContentPage(const TFeedItem* Item, const std::string& Encoding) {
  // Decoded here, so the engine gets characters and never guesses the bytes' encoding.
  QString body = Item ? ToDisplay(Item->Description, Encoding) : QString();
  if (Item && !Item->Enclosures.empty()) body += EnclosureLines(Item->Enclosures, Encoding);
  return QStringLiteral("<html>") + body + QStringLiteral("</html>");
}

void TItemPane::UpdateFeedAndItemView() {
  const std::shared_ptr<TFeed> current = host_.CurrentFeed();
  const std::string encoding = CurrentEncoding();
  if (listKind_ != TListKind::FeedItems) {
    plFeedTitle->SetCaption(listKind_ == TListKind::Starred ? QStringLiteral("Starred Items")
                                                            : QStringLiteral("Search Results"));
    plFeedLink->SetCaption(QString());
    meFeedDescription->setText(
        listKind_ == TListKind::Starred
            ? QStringLiteral("Every starred item of every feed, newest first.")
            : QStringLiteral("Items whose titles or texts hold every word typed, newest "
                             "first. Escape returns to the feed's items."));
  } else if (const TFeed* feed = current.get()) {
    const std::string& feedEncoding = host_.EncodingOf(*feed);
    plFeedTitle->SetCaption(PanelText(feed->Title, feedEncoding));
    plFeedLink->SetCaption(ToDisplay(feed->HtmlUrl, feedEncoding), !feed->HtmlUrl.empty());
    meFeedDescription->setText(PanelText(feed->Description, feedEncoding));
  } else {
    plFeedTitle->SetCaption(QString());
    plFeedLink->SetCaption(QString());
    meFeedDescription->clear();
  }

  const std::shared_ptr<TFeedItem> item = currentItem_;
  if (item) {
    plItemTitle->SetCaption(ToDisplayTitle(item->Title, encoding));
    plItemTitle->SetSideText(ItemLongDateText(*item, encoding));
    plItemLink->SetCaption(ToDisplay(item->Link, encoding), !item->Link.empty());
  } else {
    plItemTitle->SetCaption(QString());
    plItemTitle->SetSideText(QString());
    plItemLink->SetCaption(QString());
  }
  // Relative links of the page point into the feed's site, as they do in the feed.
  emit ItemPageReady(ContentPage(item.get(), encoding), CurrentBaseUrl());
}

void TItemPane::plFeedLinkClick() {
  emit FeedWebSiteWanted();
}
void TItemPane::plItemLinkClick() {
  emit ItemLinkWanted();
}

}  // namespace skimbrook
