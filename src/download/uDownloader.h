// One download run as the main window drives it: queue feeds, start (it advances on the
// main loop's events), abort, and hear when it has finished. The download window is the
// program's; tests put a scripted one in its place.
#pragma once

#include <functional>
#include <memory>

#include "download/uFetchRules.h"

namespace skimbrook {

class TFeed;
class TFetchState;

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
  // Called after each feed has been merged and its Changed fired; the main window refills
  // its item list when the feed is its current one.
  std::function<void(TFeed&)> OnFeedApplied;
  // Called once when the run has finished. It must not destroy the run.
  std::function<void()> OnFinished;
};

}  // namespace skimbrook
