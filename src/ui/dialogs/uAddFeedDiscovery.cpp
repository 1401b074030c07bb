#include "ui/dialogs/uAddFeedDiscovery.h"

#include <QStringList>

#include "display/uDisplayText.h"
#include "download/uFeedDiscovery.h"
#include "ui/dialogs/uPrompts.h"

namespace skimbrook {
namespace {

// The parser of the page hands its texts over as UTF-8.
QString TitleOf(const TLinkedFeed& Feed) {
  return ToDisplayTitle(Feed.Title, "utf-8").simplified();
}

QString Address(const TLinkedFeed& Feed) {
  return ToDisplayAddress(Feed.Url, "utf-8");
}

std::string AskAboutOne(const TLinkedFeed& Feed, TPrompts& Prompts) {
  const QString title = TitleOf(Feed);
  const QString question = title.isEmpty()
                               ? QStringLiteral("Subscribe to the feed at %1?").arg(Address(Feed))
                               : QStringLiteral("Subscribe to %1 at %2?").arg(title, Address(Feed));
  return Prompts.Confirm(QStringLiteral("Add Feed"), question) ? Feed.Url : std::string();
}

std::string AskAboutSeveral(const std::vector<TLinkedFeed>& Feeds, TPrompts& Prompts) {
  QStringList choices;
  for (const TLinkedFeed& feed : Feeds) {
    const QString title = TitleOf(feed);
    choices << (title.isEmpty() ? Address(feed) : QStringLiteral("%1 (%2)").arg(title, Address(feed)));
  }
  const int chosen = Prompts.Choose(QStringLiteral("Add Feed"),
                                    QStringLiteral("This page links several feeds. Subscribe to:"), choices);
  return chosen >= 0 ? Feeds[chosen].Url : std::string();
}

}  // namespace

std::string FeedToSubscribe(const std::string& Typed, const TPageFetch& Fetch, TPrompts& Prompts) {
  const std::optional<TFetchedPage> page = Fetch ? Fetch(Typed) : std::nullopt;
  if (page && page->Cancelled) return {};
  if (!page || !LooksLikeHtmlPage(page->Body, page->ContentType)) return Typed;
  const std::vector<TLinkedFeed> feeds = FindLinkedFeeds(page->Body, page->Url.empty() ? Typed : page->Url);
  if (feeds.empty()) return Typed;
  return feeds.size() == 1 ? AskAboutOne(feeds.front(), Prompts) : AskAboutSeveral(feeds, Prompts);
}

}  // namespace skimbrook
