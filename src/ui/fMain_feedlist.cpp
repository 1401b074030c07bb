// The feed list pane: one row per entry of the subscription list, and the commands that
// add, remove, reorder, catch up and download entries.
#include <QListWidget>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTimer>

#include "display/uDisplayText.h"
#include "download/uDownloadRun.h"
#include "model/uRSS.h"
#include "settings/uSettings.h"
#include "shell/uFeedLink.h"
#include "ui/fMain.h"
#include "ui/uBulkUpdate.h"
#include "ui/uFeedListBox.h"
#include "ui/uFeedListDelegate.h"
#include "ui/uListRules.h"
#include "ui/uProduct.h"
#include "ui/uPrompts.h"

namespace skimbrook {

namespace {

constexpr int kStatusNoteMs = 10'000;

}  // namespace

// ---------------------------------------------------------------------------------------
// Rows

void TfmMain::UpdateFeedRow(int Index, TFeed& Feed) {
  if (QListWidgetItem* row = lbFeedList->item(Index)) {
    const TFetchRecord* record = Feed.XmlUrl.empty() ? nullptr : FetchState().Find(Feed.XmlUrl);
    row->setText(FeedRowText(Feed, record ? record->Encoding : std::string()));
    const bool failed = record && !record->LastFailure.empty();
    row->setData(TFeedListDelegate::kFailedRole, failed);
    row->setToolTip(failed ? FailureTooltip(*record) : QString());
  }
  PostTrayHintUpdate();
}

void TfmMain::HookFeed(TFeed& Feed) {
  Feed.OnChange = [this](int Index, TFeed& Changed) { UpdateFeedRow(Index, Changed); };
}

// Selects a row without it counting as the user's click.
void TfmMain::SelectFeedRow(int Row) {
  const QSignalBlocker blocker(lbFeedList);
  lbFeedList->setCurrentRow(Row);
}

void TfmMain::FocusFeedListIfVisible() {
  if (lbFeedList->isVisibleTo(this)) lbFeedList->setFocus();
}

void TfmMain::NoteStatus(const QString& Text) {
  StatusBar->showMessage(Text, kStatusNoteMs);
}

void TfmMain::ReportDamagedSubscriptionFile() {
  const std::string& copy = FeedList().DamagedCopyPath();
  if (copy.empty()) return;
  Prompts().Information(QStringLiteral("Information"),
                        QStringLiteral("The subscription list default.opml could not be read completely.\n"
                                       "An unchanged copy of it was kept as:\n%1")
                            .arg(ToDisplay(copy)));
}

void TfmMain::LoadFeedList() {
  // Nothing may keep pointing at the entries and items that the reload replaces.
  ReleaseItemList();
  currentFeed_.reset();

  std::exception_ptr loadError;
  try {
    FeedList().LoadDefault();
  } catch (...) {
    loadError = std::current_exception();
  }
  ReportDamagedSubscriptionFile();

  {
    // Rows always mirror the list, also when the file could not be read.
    const TBulkUpdate bulk(*lbFeedList);
    const QSignalBlocker blocker(lbFeedList);
    lbFeedList->clear();
    for (int i = 0; i < FeedList().Count(); ++i) {
      lbFeedList->addItem(QString());
      TFeed& feed = *FeedList().Feeds(i);
      HookFeed(feed);
      feed.Changed();
    }
    if (FeedList().Count() > 0) {
      lbFeedList->setCurrentRow(0);
      currentFeed_ = FeedList().Feeds(0);
    }
  }
  if (loadError) std::rethrow_exception(loadError);
  FeedList().SaveDefault();
}

// ---------------------------------------------------------------------------------------
// Selecting, adding, removing, moving

void TfmMain::lbFeedListClick() {
  if (currentFeed_ && currentFeed_->ItemCount() != -1) UnhookItems(*currentFeed_);
  const int row = lbFeedList->currentRow();
  currentFeed_ = row >= 0 && row < FeedList().Count() ? FeedList().Feeds(row) : nullptr;
  PostItemListRefill();
}

void TfmMain::InsertFeedRow(int Row, const std::shared_ptr<TFeed>& Feed) {
  FeedList().Insert(Feed, Row);
  {
    const QSignalBlocker blocker(lbFeedList);
    lbFeedList->insertItem(Row, QString());
  }
  HookFeed(*Feed);
  Feed->Changed();
}

void TfmMain::AddFeed(const std::string& Url) {
  const int row = FeedList().Count();
  InsertFeedRow(row, std::make_shared<TFeed>(Url, std::string(), Url, std::string()));
  SelectFeedRow(row);
  lbFeedListClick();
  if (Prompts().Confirm(QStringLiteral("Confirm"), QStringLiteral("Download feed now?")))
    DownloadCurrentFeed();
}

void TfmMain::PromptAddFeed() {
  const QString answer =
      Prompts().InputBox(QStringLiteral("Add Feed"), QStringLiteral("XML URL:"), QString());
  std::string url = Trim(FromDisplay(answer));
  if (url.empty()) return;
  // A browser's feed: forms, as skimbrook-addfeed takes them.
  if (QString::fromStdString(url).startsWith(QLatin1String("feed"), Qt::CaseInsensitive)) {
    const QString web = FeedAddressFromLink(QString::fromStdString(url));
    if (!web.isEmpty()) url = FromDisplay(web);
  }
  const TPageFetch fetch = services_.FetchPage ? services_.FetchPage : [this](const std::string& Address) {
    return FetchPageForDiscovery(Settings(), Address);
  };
  url = FeedToSubscribe(url, fetch, Prompts());
  if (!url.empty()) AddFeed(url);
}

void TfmMain::PromptAddGroup() {
  if (IsDownloading()) {
    // Adding a group reloads every entry, which the running download still holds.
    Prompts().Information(QStringLiteral("Information"),
                          QStringLiteral("A group cannot be added while feeds are being downloaded."));
    return;
  }
  const QString answer =
      Prompts().InputBox(QStringLiteral("Add Group"), QStringLiteral("Group Name:"), QString());
  if (answer.isEmpty()) return;
  auto heading = std::make_shared<TFeed>();
  heading->Title = FromDisplay(answer);

  const int selected = lbFeedList->currentRow();
  const int row = selected < 0 ? FeedList().Count() : selected;
  InsertFeedRow(row, heading);
  FeedList().SaveDefault();
  LoadFeedList();
  SelectFeedRow(row);
  lbFeedListClick();
}

void TfmMain::miFileRemoveFeedClick() {
  if (!currentFeed_) return;
  const QString question = QStringLiteral("Are you sure you want to delete \"%1\"?")
                               .arg(ToDisplayTitle(currentFeed_->Title, EncodingOf(*currentFeed_)));
  if (!Prompts().Warning(QStringLiteral("Warning"), question)) return;
  const int row = lbFeedList->currentRow();
  if (row < 0 || row >= FeedList().Count()) return;

  // A download that still holds the entry finishes with it; no row follows it any more.
  const std::shared_ptr<TFeed> removed = FeedList().Delete(row);
  removed->OnChange = nullptr;
  FocusFeedListIfVisible();
  {
    const QSignalBlocker blocker(lbFeedList);
    delete lbFeedList->takeItem(row);
  }
  PostTrayHintUpdate();
  SelectFeedRow(std::min(row, lbFeedList->count() - 1));
  lbFeedListClick();
}

void TfmMain::ShowCurrentFeedInfo() {
  const std::shared_ptr<TFeed> feed = currentFeed_;
  if (!feed) return;
  const std::string url = feed->XmlUrl;
  if (!services_.Dialogs.ShowFeedInfo(*feed, url.empty() ? nullptr : FetchState().Find(url), this)) return;
  // Asked again: a run that the hourly timer started while the dialog was open may have
  // changed or moved the record.
  const TFetchRecord* record = url.empty() || feed->XmlUrl != url ? nullptr : FetchState().Find(url);
  if (!record || record->MovedTo.empty()) return;
  if (IsDownloading()) {
    NoteStatus(QStringLiteral("A download is running; use the new address when it has finished."));
    return;
  }
  const std::string target = record->MovedTo;
  MoveSubscription(*feed, target, FetchState());
  FetchState().Save();
  FeedList().SaveDefault();
  NoteStatus(QStringLiteral("The feed now comes from %1.").arg(ToDisplay(target)));
}

void TfmMain::lbFeedListDragDrop(const QPoint& Position) {
  const int source = lbFeedList->currentRow();
  if (source < 0 || source >= FeedList().Count()) return;
  QListWidgetItem* targetRow = lbFeedList->itemAt(Position);
  const int target = targetRow ? lbFeedList->row(targetRow) : -1;
  const QString text = lbFeedList->item(source)->text();

  const QSignalBlocker blocker(lbFeedList);
  delete lbFeedList->takeItem(source);
  std::shared_ptr<TFeed> entry = FeedList().Delete(source);
  if (target < 0) {
    lbFeedList->addItem(text);
    FeedList().Add(std::move(entry));
    lbFeedList->setCurrentRow(lbFeedList->count() - 1);
  } else {
    lbFeedList->insertItem(target, text);
    FeedList().Insert(std::move(entry), target);
    lbFeedList->setCurrentRow(target);
  }
  FeedList().SaveDefault();
}

// ---------------------------------------------------------------------------------------
// Catching up

void TfmMain::CatchUpFeed(TFeed& Feed) {
  if (Feed.ItemCount() == -1) Feed.LoadCache();
  Feed.CatchUp();
}

void TfmMain::CatchUpCurrentFeed(bool FocusList) {
  if (currentFeed_ && !currentFeed_->XmlUrl.empty()) CatchUpFeed(*currentFeed_);
  if (FocusList) FocusFeedListIfVisible();
}

void TfmMain::CatchUpCurrentGroup() {
  const int selected = lbFeedList->currentRow();
  if (selected < 0) return;
  const TRowRange range = GroupRange(FeedList(), selected);
  for (int i = range.First; i < range.Last; ++i) CatchUpFeed(*FeedList().Feeds(i));
  FocusFeedListIfVisible();
}

void TfmMain::CatchUpAll() {
  for (int i = 0; i < FeedList().Count(); ++i) {
    TFeed& feed = *FeedList().Feeds(i);
    if (!feed.XmlUrl.empty()) CatchUpFeed(feed);
  }
  FocusFeedListIfVisible();
}

// ---------------------------------------------------------------------------------------
// Downloading

bool TfmMain::DownloadRefused() {
  if (shutDown_) return true;
  if (activeRun_) {
    NoteStatus(QStringLiteral("A download is already running; try again when it has finished."));
    return true;
  }
  return false;
}

void TfmMain::RunDownload(const std::vector<std::shared_ptr<TFeed>>& Feeds, TRunKind Kind) {
  if (DownloadRefused()) return;
  std::unique_ptr<TDownloader> run = services_.CreateDownload(Settings(), this);
  run->SetFetchState(fetchState_);
  run->SetKind(Kind);
  run->OnFeedApplied = [this](TFeed& Feed) {
    if (currentFeed_.get() == &Feed) FillItemList();
  };
  for (const auto& feed : Feeds) run->QueueFeed(feed);

  struct TActiveRun {
    TfmMain& window;
    ~TActiveRun() {
      window.activeRun_ = nullptr;
      if (window.closeAfterRun_) QTimer::singleShot(0, &window, [w = &window] { w->close(); });
    }
  };
  activeRun_ = run.get();
  const TActiveRun active{*this};
  const TUnreadSnapshot before(FeedList());
  const bool startedByItself = runStartedByItself_;
  run->RunQueue();
  if (shutDown_) return;
  AnnounceNewItems(before, startedByItself);
  ReportFailedFeeds(run->FailedRows(), static_cast<int>(Feeds.size()));
  // The rows' failure marks follow the reasons the run kept.
  for (int i = 0; i < FeedList().Count(); ++i) UpdateFeedRow(i, *FeedList().Feeds(i));
}

void TfmMain::ReportFailedFeeds(int Failed, int Queued) {
  if (Failed == 0) return;
  // Stays until the next message: the download window, which showed each reason, is gone.
  StatusBar->showMessage(QStringLiteral("%1 of %2 %3 could not be downloaded; Feed Info says why.")
                             .arg(Failed)
                             .arg(Queued)
                             .arg(Queued == 1 ? QStringLiteral("feed") : QStringLiteral("feeds")));
}

void TfmMain::AnnounceNewItems(const TUnreadSnapshot& Before, bool StartedByItself) {
  const TUnreadSnapshot::TGain gain = Before.GainSince(FeedList());
  if (!ShouldNotify(gain, StartedByItself, Settings().ShowNotifications, isActiveWindow())) return;
  notifier_->Notify(QString::fromLatin1(product::kName), NewItemsText(gain.Items, gain.Feeds));
}

void TfmMain::DownloadCurrentFeed() {
  if (currentFeed_ && !currentFeed_->XmlUrl.empty()) RunDownload({currentFeed_}, TRunKind::UserOne);
}

void TfmMain::DownloadCurrentGroup() {
  const int selected = lbFeedList->currentRow();
  if (selected < 0) return;
  const TRowRange range = GroupRange(FeedList(), selected);
  std::vector<std::shared_ptr<TFeed>> feeds;
  for (int i = range.First; i < range.Last; ++i) feeds.push_back(FeedList().Feeds(i));
  RunDownload(feeds, TRunKind::UserSeveral);
}

void TfmMain::DownloadAll() {
  // Checked before the hourly timer stops, so that a refused run leaves it going.
  if (DownloadRefused()) return;
  AutoDownloadTimer->stop();
  std::vector<std::shared_ptr<TFeed>> feeds;
  for (int i = 0; i < FeedList().Count(); ++i)
    if (!FeedList().Feeds(i)->XmlUrl.empty()) feeds.push_back(FeedList().Feeds(i));
  RunDownload(feeds, runStartedByItself_ ? TRunKind::Automatic : TRunKind::UserSeveral);
  if (Settings().AutomaticallyDownload) StartAutoDownloadTimer();
}

void TfmMain::DownloadAllByItself() {
  runStartedByItself_ = true;
  DownloadAll();
  runStartedByItself_ = false;
}

}  // namespace skimbrook
