// The feed list pane: one row per entry of the subscription list, and the commands that
// add, remove, reorder and catch up entries.
#include "ui/panes/uFeedListPane.h"

#include <QMainWindow>
#include <QSignalBlocker>

#include "display/uDisplayText.h"
#include "download/uDownloadRun.h"
#include "model/uRSS.h"
#include "ui/browser/uFeedAddress.h"
#include "ui/dialogs/uPrompts.h"
#include "ui/painting/uFeedListDelegate.h"
#include "ui/panes/uFeedListBox.h"
#include "ui/panes/uFeedRows.h"
#include "ui/panes/uListRules.h"
#include "ui/window/uCommand.h"
#include "ui/window/uDownloadSetup.h"
#include "ui/window/uItemStoreLink.h"
#include "ui/window/uPaneHost.h"
#include "ui/window/uPaneLayout.h"

namespace skimbrook {

// ---------------------------------------------------------------------------------------
// Building

TFeedListPane::TFeedListPane(TPaneHost& Host, QMainWindow& Window, QWidget* Parent, TDialogs Dialogs)
    : host_(Host), window_(Window), dialogs_(std::move(Dialogs)) {
  lbFeedList = new TFeedListBox(Parent);
  rows_ = new TFeedRows(Host, lbFeedList);
  lbFeedList->setModel(rows_);
  lbFeedList->setItemDelegate(new TFeedListDelegate(lbFeedList));
  lbFeedList->setUniformItemSizes(true);
  lbFeedList->setMinimumWidth(kMinimumPane);
  lbFeedList->setObjectName(QStringLiteral("lbFeedList"));
  BuildCommands();
}

void TFeedListPane::BuildCommands() {
  using T = TFeedListPane;
  QWidget* home = lbFeedList;
  NewCommand(home, "miFileAddFeed", QStringLiteral("&Add Feed"), this, &T::miFileAddFeedClick,
             {QKeySequence(Qt::CTRL | Qt::Key_A)});
  NewCommand(home, "miFileAddGroup", QStringLiteral("Add &Group"), this, &T::miFileAddGroupClick,
             {QKeySequence(Qt::CTRL | Qt::Key_G)});
  NewCommand(home, "miFileRemoveFeed", QStringLiteral("&Remove Feed/Group"), this, &T::miFileRemoveFeedClick,
             {QKeySequence(Qt::Key_Delete)});
  NewCommand(home, "miFileFeedInfo", QStringLiteral("Feed &Info"), this, &T::miFileFeedInfoClick,
             {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
  NewCommand(home, "miFileEditFeed", QStringLiteral("E&dit Feed..."), this, &T::miFileEditFeedClick);
  NewCommand(home, "miToolsCatchUpFeed", QStringLiteral("Catch Up &Feed"), this, &T::miToolsCatchUpFeedClick,
             {QKeySequence(Qt::Key_F2)});
  NewCommand(home, "miToolsCatchUpGroup", QStringLiteral("Catch Up &Group"), this,
             &T::miToolsCatchUpGroupClick, {QKeySequence(Qt::Key_F3)});
  NewCommand(home, "miToolsCatchUpAll", QStringLiteral("Catch Up &All"), this, &T::miToolsCatchUpAllClick,
             {QKeySequence(Qt::Key_F4)});
}

void TFeedListPane::Connect() {
  // A click on the row that is already selected counts too (the first row after start).
  connect(lbFeedList, &TFeedListBox::currentRowChanged, this, &TFeedListPane::lbFeedListClick);
  connect(lbFeedList, &TFeedListBox::clicked, this, &TFeedListPane::lbFeedListClick);
  connect(lbFeedList, &TFeedListBox::RowDropped, this, &TFeedListPane::lbFeedListDragDrop);
}

QWidget* TFeedListPane::Widget() const {
  return lbFeedList;
}
int TFeedListPane::SelectedRow() const {
  return lbFeedList->currentRow();
}
int TFeedListPane::Width() const {
  return lbFeedList->width();
}
void TFeedListPane::SetVisible(bool Visible) {
  lbFeedList->setVisible(Visible);
}
void TFeedListPane::Focus() {
  lbFeedList->setFocus();
}
void TFeedListPane::Repaint() {
  lbFeedList->viewport()->update();
}

// ---------------------------------------------------------------------------------------
// Rows

void TFeedListPane::UpdateFeedRow(int Index, TFeed&) {
  rows_->Changed(Index);
  emit CountsChanged();
}

void TFeedListPane::UpdateAllRows() {
  rows_->ChangedAll();
  emit CountsChanged();
}

void TFeedListPane::HookFeed(TFeed& Feed) {
  Feed.OnChange = [this](int Index, TFeed& Changed) { UpdateFeedRow(Index, Changed); };
}

void TFeedListPane::OpenRow(int Row) {
  SelectFeedRow(Row);
  lbFeedListClick();
}

// Selects a row without it counting as the user's click.
void TFeedListPane::SelectFeedRow(int Row) {
  const QSignalBlocker blocker(lbFeedList);
  lbFeedList->setCurrentRow(Row);
}

void TFeedListPane::FocusFeedListIfVisible() {
  if (lbFeedList->isVisibleTo(&window_)) lbFeedList->setFocus();
}

void TFeedListPane::ReportDamagedSubscriptionFile() {
  const std::string& copy = host_.FeedList().DamagedCopyPath();
  if (copy.empty()) return;
  host_.Prompts().Information(
      QStringLiteral("Information"),
      QStringLiteral("The subscription list default.opml could not be read completely.\n"
                     "An unchanged copy of it was kept as:\n%1")
          .arg(ToDisplay(copy)));
}

void TFeedListPane::LoadFeedList(bool WriteBack) {
  // Nothing may keep pointing at the entries and items that the reload replaces.
  emit ItemsToBeReplaced();
  currentFeed_.reset();

  std::exception_ptr loadError;
  {
    // Rows always mirror the list, also when the file could not be read.
    const QSignalBlocker blocker(lbFeedList);
    rows_->Reset([&] {
      try {
        host_.FeedList().LoadDefault();
      } catch (...) {
        loadError = std::current_exception();
      }
    });
    for (int i = 0; i < host_.FeedList().Count(); ++i) HookFeed(*host_.FeedList().Feeds(i));
    emit CountsChanged();
    if (host_.FeedList().Count() > 0) {
      lbFeedList->setCurrentRow(0);
      currentFeed_ = host_.FeedList().Feeds(0);
    }
  }
  ReportDamagedSubscriptionFile();
  if (loadError) std::rethrow_exception(loadError);
  if (WriteBack) host_.FeedList().SaveDefault();
}

// ---------------------------------------------------------------------------------------
// Selecting, adding, removing, moving

void TFeedListPane::lbFeedListClick() {
  if (currentFeed_ && currentFeed_->ItemCount() != -1) UnhookItems(*currentFeed_);
  const int row = lbFeedList->currentRow();
  currentFeed_ = row >= 0 && row < host_.FeedList().Count() ? host_.FeedList().Feeds(row) : nullptr;
  emit CurrentFeedChanged();
}

void TFeedListPane::InsertFeedRow(int Row, const std::shared_ptr<TFeed>& Feed) {
  {
    const QSignalBlocker blocker(lbFeedList);
    rows_->Insert(Row, [&] { host_.FeedList().Insert(Feed, Row); });
  }
  HookFeed(*Feed);
  Feed->Changed();
}

bool TFeedListPane::SelectSubscribed(const std::string& Url) {
  const int existing = host_.FeedList().IndexOfAddress(Url);
  if (existing < 0) return false;
  SelectFeedRow(existing);
  // The entry already current keeps its item list and the item being read.
  if (currentFeed_ != host_.FeedList().Feeds(existing)) lbFeedListClick();
  const TFeed& feed = *host_.FeedList().Feeds(existing);
  host_.NoteStatus(
      QStringLiteral("Already subscribed: %1").arg(ToDisplayTitle(feed.Title, host_.EncodingOf(feed))));
  return true;
}

void TFeedListPane::AddFeed(const std::string& Asked) {
  // Whoever asks (a script over D-Bus included) gets the reason of a refusal; nothing is
  // added then.
  const std::string url = SubscriptionAddress(Asked);
  // One subscription per address: a second entry would be downloaded and counted twice.
  if (SelectSubscribed(url)) return;
  const int row = host_.FeedList().Count();
  // Named by its address until its first download, without a password written in it.
  InsertFeedRow(row, std::make_shared<TFeed>(AddressWithoutPassword(url), std::string(), url, std::string()));
  SelectFeedRow(row);
  lbFeedListClick();
  if (host_.Prompts().Confirm(QStringLiteral("Confirm"), QStringLiteral("Download feed now?")))
    emit DownloadCurrentFeedWanted();
}

void TFeedListPane::miFileAddFeedClick() {
  const QString answer =
      host_.Prompts().InputBox(QStringLiteral("Add Feed"), QStringLiteral("XML URL:"), QString());
  if (Trim(FromDisplay(answer)).empty()) return;
  // A browser's feed: forms are taken as skimbrook-addfeed takes them.
  std::string url;
  try {
    url = SubscriptionAddress(FromDisplay(answer));
  } catch (const std::runtime_error& refused) {
    host_.Prompts().Error(QStringLiteral("Add Feed"), ToDisplay(refused.what()));
    return;
  }
  // An address already in the list needs no look at its page.
  if (SelectSubscribed(url)) return;
  const TPageFetch fetch = dialogs_.FetchPage ? dialogs_.FetchPage : [this](const std::string& Address) {
    return FetchPageForDiscovery(host_.Settings(), Address, &window_);
  };
  url = FeedToSubscribe(url, fetch, host_.Prompts());
  if (!url.empty()) AddFeed(url);
}

void TFeedListPane::miFileAddGroupClick() {
  if (host_.IsDownloading()) {
    // Adding a group reloads every entry, which the running download still holds.
    host_.Prompts().Information(QStringLiteral("Information"),
                                QStringLiteral("A group cannot be added while feeds are being downloaded."));
    return;
  }
  const QString answer =
      host_.Prompts().InputBox(QStringLiteral("Add Group"), QStringLiteral("Group Name:"), QString());
  if (answer.isEmpty()) return;
  auto heading = std::make_shared<TFeed>();
  heading->Title = FromDisplay(answer);

  const int selected = lbFeedList->currentRow();
  const int row = selected < 0 ? host_.FeedList().Count() : selected;
  InsertFeedRow(row, heading);
  host_.FeedList().SaveDefault();
  LoadFeedList();
  SelectFeedRow(row);
  lbFeedListClick();
}

void TFeedListPane::miFileRemoveFeedClick() {
  if (!currentFeed_) return;
  const QString question = QStringLiteral("Are you sure you want to delete \"%1\"?")
                               .arg(ToDisplayTitle(currentFeed_->Title, host_.EncodingOf(*currentFeed_)));
  if (!host_.Prompts().Warning(QStringLiteral("Warning"), question)) return;
  const int row = lbFeedList->currentRow();
  if (row < 0 || row >= host_.FeedList().Count()) return;

  // A download that still holds the entry finishes with it; no row follows it any more.
  std::shared_ptr<TFeed> removed;
  {
    const QSignalBlocker blocker(lbFeedList);
    rows_->Remove(row, [&] { removed = host_.FeedList().Delete(row); });
  }
  removed->OnChange = nullptr;
  // Its items leave the store too, except the starred ones.
  host_.ItemStore().FeedRemoved(removed->XmlUrl);
  FocusFeedListIfVisible();
  emit CountsChanged();
  SelectFeedRow(std::min(row, lbFeedList->count() - 1));
  lbFeedListClick();
}

void TFeedListPane::miFileFeedInfoClick() {
  ShowCurrentFeedInfo(false);
}

void TFeedListPane::miFileEditFeedClick() {
  ShowCurrentFeedInfo(true);
}

void TFeedListPane::ShowCurrentFeedInfo(bool StartEditing) {
  const std::shared_ptr<TFeed> feed = currentFeed_;
  if (!feed) return;
  const std::string url = feed->XmlUrl;
  const TFeedInfoAnswer answer = dialogs_.ShowFeedInfo(
      *feed, url.empty() ? nullptr : host_.FetchState().Find(url), &window_, StartEditing);
  if (answer.Action == TFeedInfoAnswer::kEdited) {
    ApplyFeedEdit(feed, url, answer);
    return;
  }
  if (answer.Action != TFeedInfoAnswer::kUseNewAddress) return;
  // Asked again: a run that the hourly timer started while the dialog was open may have
  // changed or moved the record.
  const TFetchRecord* record = url.empty() || feed->XmlUrl != url ? nullptr : host_.FetchState().Find(url);
  if (!record || record->MovedTo.empty()) return;
  if (host_.IsDownloading()) {
    host_.NoteStatus(QStringLiteral("A download is running; use the new address when it has finished."));
    return;
  }
  const std::string target = record->MovedTo;
  if (RefuseTakenAddress(*feed, target)) return;
  MoveSubscription(*feed, target, host_.FetchState());
  host_.ItemStore().FeedMoved(url, target);
  host_.FetchState().Save();
  host_.FeedList().SaveDefault();
  host_.NoteStatus(QStringLiteral("The feed now comes from %1.").arg(ToDisplayAddress(target)));
  // Fetched from there at once, so that the feed's items and its mark tell how it fares now.
  if (currentFeed_ == feed) emit DownloadCurrentFeedWanted();
}

void TFeedListPane::ApplyFeedEdit(const std::shared_ptr<TFeed>& Feed, const std::string& ShownUrl,
                                  const TFeedInfoAnswer& Answer) {
  bool moved = false;
  if (Answer.AddressChanged) {
    if (host_.IsDownloading()) {
      // The running download may still write the feed's cache file under its old name.
      host_.Prompts().Information(
          QStringLiteral("Information"),
          QStringLiteral("The address cannot be changed while feeds are being downloaded."));
    } else if (Feed->XmlUrl != ShownUrl) {
      host_.NoteStatus(
          QStringLiteral("The feed moved while Feed Info was open; its address was left as it is."));
    } else {
      moved = MoveToTypedAddress(*Feed, Answer.XmlUrl);
    }
  }
  if (Answer.TitleChanged) {
    if (Feed->XmlUrl.empty()) {
      Feed->Title = FromDisplay(Answer.Title);
    } else if (Answer.Title.trimmed().isEmpty()) {
      // The feed's document names it again from its next download; until then its address.
      Feed->UserTitle = false;
      Feed->Title = AddressWithoutPassword(Feed->XmlUrl);
    } else {
      Feed->UserTitle = true;
      Feed->Title = FromDisplayTitle(Answer.Title, host_.EncodingOf(*Feed));
    }
    Feed->Changed();
  }
  host_.FeedList().SaveDefault();
  if (currentFeed_ != Feed) return;
  if (moved)
    emit DownloadCurrentFeedWanted();  // so that its items and its mark tell how it fares there
  else if (Answer.TitleChanged)
    lbFeedListClick();  // the panes above the items show the new name
}

bool TFeedListPane::MoveToTypedAddress(TFeed& Feed, const std::string& Url) {
  // Asked again: an entry added while the dialog was open (by a browser) may have it.
  if (RefuseTakenAddress(Feed, Url)) return false;
  const std::string before = Feed.XmlUrl;
  MoveSubscription(Feed, Url, host_.FetchState());
  host_.ItemStore().FeedMoved(before, Url);
  // The validators and the waits were the old address's answers; the first request to the
  // new one asks for the whole document.
  TFetchRecord& record = host_.FetchState().For(Url);
  record.ETag.clear();
  record.LastModified.clear();
  record.WaitUntil = 0;
  record.FreshUntil = 0;
  host_.FetchState().Save();
  host_.NoteStatus(QStringLiteral("The feed now comes from %1.").arg(ToDisplayAddress(Url)));
  return true;
}

bool TFeedListPane::RefuseTakenAddress(const TFeed& Feed, const std::string& Url) {
  const TFeed* other = host_.FeedList().OtherWithAddress(Feed, Url);
  if (!other) return false;
  host_.Prompts().Error(
      QStringLiteral("Feed Info"),
      QStringLiteral("\"%1\" already has the address %2.")
          .arg(ToDisplayTitle(other->Title, host_.EncodingOf(*other)), ToDisplayAddress(Url)));
  return true;
}

void TFeedListPane::lbFeedListDragDrop(const QPoint& Position) {
  const int source = lbFeedList->currentRow();
  if (source < 0 || source >= host_.FeedList().Count()) return;
  const QModelIndex targetRow = lbFeedList->indexAt(Position);
  // Below the last row is the end of the list.
  const int target = targetRow.isValid() ? targetRow.row() : host_.FeedList().Count() - 1;

  const QSignalBlocker blocker(lbFeedList);
  std::shared_ptr<TFeed> entry;
  rows_->Remove(source, [&] { entry = host_.FeedList().Delete(source); });
  rows_->Insert(target, [&] { host_.FeedList().Insert(std::move(entry), target); });
  lbFeedList->setCurrentRow(target);
  host_.FeedList().SaveDefault();
}

// ---------------------------------------------------------------------------------------
// Catching up

void TFeedListPane::CatchUpFeed(TFeed& Feed) {
  if (Feed.ItemCount() == -1) Feed.LoadCache();
  host_.ItemStore().FeedLoaded(Feed);
  Feed.CatchUp();
  host_.ItemStore().FeedCaughtUp(Feed);
}

void TFeedListPane::miToolsCatchUpFeedClick() {
  CatchUpCurrentFeed(true);
}

void TFeedListPane::CatchUpCurrentFeed(bool FocusList) {
  if (currentFeed_ && !currentFeed_->XmlUrl.empty()) CatchUpFeed(*currentFeed_);
  if (FocusList) FocusFeedListIfVisible();
}

void TFeedListPane::miToolsCatchUpGroupClick() {
  const int selected = lbFeedList->currentRow();
  if (selected < 0) return;
  const TRowRange range = GroupRange(host_.FeedList(), selected);
  for (int i = range.First; i < range.Last; ++i) CatchUpFeed(*host_.FeedList().Feeds(i));
  FocusFeedListIfVisible();
}

void TFeedListPane::miToolsCatchUpAllClick() {
  for (int i = 0; i < host_.FeedList().Count(); ++i) {
    TFeed& feed = *host_.FeedList().Feeds(i);
    if (!feed.XmlUrl.empty()) CatchUpFeed(feed);
  }
  FocusFeedListIfVisible();
}

}  // namespace skimbrook
