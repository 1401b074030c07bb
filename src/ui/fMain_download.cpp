// The download runs the window starts: one feed, a group, all feeds, and what a run reports
// when it ends (failures in the status bar, new items as a desktop notification).
#include <QStatusBar>
#include <QStringList>
#include <QTimer>
#include <set>

#include "display/uDisplayText.h"
#include "model/uRSS.h"
#include "settings/uSettings.h"
#include "ui/fMain.h"
#include "ui/uFeedListPane.h"
#include "ui/uListRules.h"
#include "ui/uProduct.h"

namespace skimbrook {

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
  // The run saves the state at its end: without the feeds no longer subscribed to.
  std::set<std::string> subscribed;
  for (int i = 0; i < FeedList().Count(); ++i)
    if (!FeedList().Feeds(i)->XmlUrl.empty()) subscribed.insert(FeedList().Feeds(i)->XmlUrl);
  fetchState_.KeepOnly(subscribed);
  run->SetFetchState(fetchState_);
  run->SetKind(Kind);
  run->OnFeedApplied = [this](TFeed& Feed) {
    if (CurrentFeed().get() == &Feed) FillItemList();
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
  std::vector<std::string> addressesBefore;
  for (const auto& feed : Feeds) addressesBefore.push_back(feed->XmlUrl);
  const bool startedByItself = runStartedByItself_;
  run->RunQueue();
  if (shutDown_) return;
  AnnounceNewItems(before, startedByItself);
  ReportFailedFeeds(run->FailedRows(), static_cast<int>(Feeds.size()));
  ReportMovedFeeds(Feeds, addressesBefore, run->FailedRows() > 0);
  // The rows' failure marks follow the reasons the run kept.
  for (int i = 0; i < FeedList().Count(); ++i) feedListPane_->UpdateFeedRow(i, *FeedList().Feeds(i));
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
