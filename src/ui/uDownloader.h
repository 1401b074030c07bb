// One download run as the main window drives it: queue feeds, start (it advances on the
// main loop's events), abort, and hear when it has finished. The download window provides it; tests put a
// fake in its place.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "download/uFetchRules.h"
#include "download/uHttpClient.h"
#include "ui/uAddFeedDiscovery.h"

class QWidget;

namespace skimbrook {

class TFeed;
class TFetchState;
class TSettings;

class TDownloader {
 public:
  virtual ~TDownloader() = default;
  // Appends a feed (never a group heading) to the queue.
  virtual void QueueFeed(std::shared_ptr<TFeed> Feed) = 0;
  // Shows the run and starts it; returns at once. OnFinished follows when every queued
  // feed is done, perhaps before Start returns.
  virtual void Start() = 0;
  // Stops the transfers in progress; the run then finishes soon.
  virtual void Abort() = 0;
  // Where the run reads and keeps what it learns about each feed; set before Start.
  virtual void SetFetchState(TFetchState& /*State*/) {}
  // Who started the run (which feeds it skips); set before Start.
  virtual void SetKind(TRunKind /*Kind*/) {}
  // After the run: how many rows ended in "error".
  virtual int FailedRows() const { return 0; }
  // Called after each feed has been merged and its Changed fired.
  std::function<void(TFeed&)> OnFeedApplied;
  // Called once when the run has finished. It must not destroy the run.
  std::function<void()> OnFinished;
};

// Creates a run for the main window with the proxy settings of Settings.
using TDownloaderFactory =
    std::function<std::unique_ptr<TDownloader>(const TSettings& Settings, QWidget* MainWindow)>;

// The proxy that downloads go through: none unless UseProxy is on. The user name and
// password are handed over whether or not UseAuthentication is set; it only decides whether
// they go out with the first request.
std::optional<THttpProxy> DownloadProxy(const TSettings& Settings);

// The page at Url for Add Feed's look at a typed address: fetched with the program's client
// and proxy (its status lines go nowhere), at most kMaxDiscoveryPageBytes of it and for
// seconds, while a window over Parent offers Cancel; none unless the answer is a success,
// and a page marked Cancelled when the user stopped it.
std::optional<TFetchedPage> FetchPageForDiscovery(const TSettings& Settings, const std::string& Url,
                                                  QWidget* Parent = nullptr);

// The run over the download window.
std::unique_ptr<TDownloader> CreateDownloadWindow(const TSettings& Settings, QWidget* MainWindow);

}  // namespace skimbrook
