// The download runs the window starts: one feed, a group, all feeds, and what a run reports
// when it ends (failures in the status bar, new items as a desktop notification).
#include <QStatusBar>
#include <QStringList>
#include <QTimer>
#include <set>

#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "settings/uSettings.h"
#include "ui/panes/uFeedListPane.h"
#include "ui/panes/uItemPane.h"
#include "ui/panes/uListRules.h"
#include "ui/window/fMain.h"
#include "ui/window/uItemStoreLink.h"
#include "ui/window/uProduct.h"

namespace skimbrook {

bool TfmMain::DownloadRefused() {
  if (shutDown_) return true;
  if (activeRun_) {
    NoteStatus(QStringLiteral("A download is already running; try again when it has finished."));
    return true;
  }
  return false;
}

void TfmMain::RunDownload(const std::vector<std::shared_ptr<TFeed>>& Feeds, TRunKind Kind,
                          bool RestartHourlyTimer) {
  if (DownloadRefused()) return;
  std::unique_ptr<TDownloader> run = services_.CreateDownload(Settings(), this);
  // The run saves the state at its end: without the feeds no longer subscribed to.
  std::set<std::string> subscribed;
  for (int i = 0; i < FeedList().Count(); ++i)
    if (!FeedList().Feeds(i)->XmlUrl.empty()) subscribed.insert(FeedList().Feeds(i)->XmlUrl);
  fetchState_.KeepOnly(subscribed);
  run->SetFetchState(fetchState_);
  run->SetKind(Kind);
  for (const auto& feed : Feeds) run->QueueFeed(feed);

  auto start = std::make_shared<TRunStart>(
      TRunStart{TUnreadSnapshot(FeedList()), Feeds, {}, Kind, RestartHourlyTimer});
  for (const auto& feed : Feeds) start->Addresses.push_back(feed->XmlUrl);
  run->OnFeedApplied = [this, start](TFeed& Feed) {
    // The store first: an item that came back takes the read flag the store kept for it,
    // which the refilled list then shows.
    std::string before;
    for (size_t i = 0; i < start->Feeds.size(); ++i)
      if (start->Feeds[i].get() == &Feed) before = start->Addresses[i];
    itemStore_->FeedDownloaded(Feed, before);
    if (CurrentFeed().get() == &Feed) itemPane_->FillItemList();
  };
  run->OnFinished = [this, start] { RunFinished(*start); };
  activeRun_ = std::move(run);
  activeRun_->Start();
}

void TfmMain::RunFinished(const TRunStart& Start) {
  // The run's own functions are still on the stack: it goes once they have returned.
  std::shared_ptr<TDownloader> ended(std::move(activeRun_));
  QTimer::singleShot(0, this, [ended] {});
  if (closeAfterRun_) {
    QTimer::singleShot(0, this, [this] { close(); });
    return;
  }
  if (shutDown_) return;
  AnnounceNewItems(Start.Before, Start.Kind == TRunKind::Automatic);
  ReportFailedFeeds(ended->FailedRows(), static_cast<int>(Start.Feeds.size()));
  ReportMovedFeeds(Start.Feeds, Start.Addresses, ended->FailedRows() > 0);
  // The clean-up runs here only, never at start-up: a run has just shown which feeds live.
  itemStore_->RunEnded(Settings().KeepDays);
  // The rows' failure marks follow the reasons the run kept.
  feedListPane_->UpdateAllRows();
  if (Start.RestartHourlyTimer && Settings().AutomaticallyDownload) StartAutoDownloadTimer();
}

void TfmMain::ReportFailedFeeds(int Failed, int Queued) {
  if (Failed == 0) return;
  // Stays until the next message: the download window, which showed each reason, is gone.
  StatusBar->showMessage(QStringLiteral("%1 of %2 %3 could not be downloaded; Feed Info says why.")
                             .arg(Failed)
                             .arg(Queued)
                             .arg(Queued == 1 ? QStringLiteral("feed") : QStringLiteral("feeds")));
}

void TfmMain::ReportMovedFeeds(const std::vector<std::shared_ptr<TFeed>>& Feeds,
                               const std::vector<std::string>& AddressesBefore, bool AfterFailures) {
  QStringList moves;
  for (size_t i = 0; i < Feeds.size(); ++i) {
    const TFeed& feed = *Feeds[i];
    if (feed.XmlUrl == AddressesBefore[i]) continue;
    moves << QStringLiteral("%1 moved to %2.")
                 .arg(ToDisplayTitle(feed.Title, EncodingOf(feed)), ToDisplayAddress(feed.XmlUrl));
  }
  if (moves.isEmpty()) return;
  // After the failures, if any: both stay until the next message.
  const QString failures = AfterFailures ? StatusBar->currentMessage() + QStringLiteral("  ") : QString();
  StatusBar->showMessage(failures + moves.join(QStringLiteral("  ")));
}

void TfmMain::AnnounceNewItems(const TUnreadSnapshot& Before, bool StartedByItself) {
  const TUnreadSnapshot::TGain gain = Before.GainSince(FeedList());
  if (!ShouldNotify(gain, StartedByItself, Settings().ShowNotifications, isActiveWindow())) return;
  notifier_->Notify(QString::fromLatin1(product::kName), NewItemsText(gain.Items, gain.Feeds));
}

void TfmMain::DownloadCurrentFeed() {
  if (CurrentFeed() && !CurrentFeed()->XmlUrl.empty()) RunDownload({CurrentFeed()}, TRunKind::UserOne);
}

void TfmMain::DownloadCurrentGroup() {
  const int selected = feedListPane_->SelectedRow();
  if (selected < 0) return;
  const TRowRange range = GroupRange(FeedList(), selected);
  std::vector<std::shared_ptr<TFeed>> feeds;
  for (int i = range.First; i < range.Last; ++i) feeds.push_back(FeedList().Feeds(i));
  RunDownload(feeds, TRunKind::UserSeveral);
}

void TfmMain::DownloadAll() {
  DownloadAllAs(TRunKind::UserSeveral);
}

void TfmMain::DownloadAllByItself() {
  DownloadAllAs(TRunKind::Automatic);
}

void TfmMain::DownloadAllAs(TRunKind Kind) {
  // Checked before the hourly timer stops, so that a refused run leaves it going. The
  // timer starts again when the run has finished.
  if (DownloadRefused()) return;
  AutoDownloadTimer->stop();
  std::vector<std::shared_ptr<TFeed>> feeds;
  for (int i = 0; i < FeedList().Count(); ++i)
    if (!FeedList().Feeds(i)->XmlUrl.empty()) feeds.push_back(FeedList().Feeds(i));
  RunDownload(feeds, Kind, true);
}

}  // namespace skimbrook
