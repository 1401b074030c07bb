// What the main window's panes may ask of the window: the shared state of the run and the
// few requests that cross from one pane to another. A pane sees this and its own widgets,
// never the window's other widgets or state.
#pragma once

#include <memory>
#include <string>

class QString;
class QUrl;

namespace skimbrook {

class TFeed;
class TFeedItem;
class TFeedList;
class TFetchState;
class TItemStoreLink;
class TPrompts;
class TSettings;

class TPaneHost {
 public:
  virtual ~TPaneHost() = default;

  // ---- Shared state ----
  virtual TSettings& Settings() = 0;
  virtual TFeedList& FeedList() = 0;
  virtual TFetchState& FetchState() = 0;
  virtual TPrompts& Prompts() = 0;
  // The item store: older items, stars and search. Every step is a no-op while it is closed.
  virtual TItemStoreLink& ItemStore() = 0;
  // The encoding a feed's document named when it was last downloaded, or empty.
  virtual const std::string& EncodingOf(const TFeed& Feed) const = 0;
  // The entry the feed list has selected (a feed or a group heading), or none.
  virtual const std::shared_ptr<TFeed>& CurrentFeed() const = 0;
  // The item the item list has selected, or none.
  virtual const std::shared_ptr<TFeedItem>& CurrentItem() const = 0;
  // What the current item's relative addresses resolve against: its own feed's address,
  // which is not the current feed's for a starred item or a search result of another feed.
  virtual QUrl CurrentItemBaseUrl() const = 0;
  virtual bool IsDownloading() const = 0;
  virtual bool IsShutDown() const = 0;
  virtual bool InBrowserMode() const = 0;

  // ---- The status bar ----
  // Shows Text until the next message.
  virtual void ShowStatus(const QString& Text) = 0;
  // Shows Text for a few seconds.
  virtual void NoteStatus(const QString& Text) = 0;
};

// Stops the items of Feed from reporting their changes to the item list.
void UnhookItems(TFeed& Feed);

}  // namespace skimbrook
