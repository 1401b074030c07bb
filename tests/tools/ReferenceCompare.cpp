#include "tools/ReferenceCompare.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "model/uRSS.h"
#include "model/uRSS_internal.h"
#include "tools/ReferenceReaders.h"
#include "xml/moxXMLParser2.h"

namespace skimbrook::test {

namespace {

std::string Quoted(std::string_view Text) {
  constexpr size_t kShown = 60;
  return "\"" + std::string(Text.substr(0, kShown)) + (Text.size() > kShown ? "...\"" : "\"");
}

// Long texts are shown from a little before their first difference, so the report says
// what differs rather than the same opening twice.
std::string Differ(const std::string& What, std::string_view Fast, std::string_view Reference) {
  if (Fast == Reference) return "";
  const size_t same = static_cast<size_t>(
      std::mismatch(Fast.begin(), Fast.end(), Reference.begin(), Reference.end()).first - Fast.begin());
  const size_t from = same > 20 ? same - 20 : 0;
  const std::string at = from > 0 ? " (from byte " + std::to_string(from) + ")" : "";
  return What + at + ": " + Quoted(Fast.substr(from)) + " instead of " + Quoted(Reference.substr(from));
}

std::string AttributesDiffer(const std::string& Where, const TmoxXMLNode2& Element,
                             const std::vector<std::pair<std::string, std::string>>& Reference) {
  if (Element.AttributeCount() != static_cast<int>(Reference.size()))
    return Where + ": " + std::to_string(Element.AttributeCount()) + " attributes instead of " +
           std::to_string(Reference.size());
  for (int i = 0; i < Element.AttributeCount(); ++i) {
    const auto& [name, value] = Reference[static_cast<size_t>(i)];
    std::string difference = Differ(Where + " attribute name", Element.AttributeName(i), name);
    if (difference.empty()) difference = Differ(Where + " attribute " + name, Element.GetAttribute(i), value);
    if (!difference.empty()) return difference;
  }
  return "";
}

// Walks both trees side by side, without recursion.
std::string TreesDiffer(const TmoxXMLParser2& Document, const TRefElement& Root) {
  std::vector<std::pair<const TmoxXMLNode2*, const TRefElement*>> pending{{&Document, &Root}};
  size_t visited = 0;
  while (!pending.empty()) {
    auto [element, reference] = pending.back();
    pending.pop_back();
    const std::string where = "element " + std::to_string(visited++);
    std::string difference = Differ(where + " name", element->Name, reference->Name);
    if (difference.empty()) difference = Differ(where + " text", element->Text, reference->Text);
    if (difference.empty())
      difference = Differ(where + " text after", element->TextAfter, reference->TextAfter);
    if (difference.empty()) difference = AttributesDiffer(where, *element, reference->Attributes);
    if (difference.empty() && element->Nodes.Count() != static_cast<int>(reference->Children.size()))
      difference = where + ": " + std::to_string(element->Nodes.Count()) + " children instead of " +
                   std::to_string(reference->Children.size());
    if (!difference.empty()) return difference;
    for (int i = element->Nodes.Count() - 1; i >= 0; --i) {
      const TmoxXMLNode2& child = element->Nodes[i];
      if (child.Parent != element) return where + ": a child does not point back at it";
      pending.emplace_back(&child, reference->Children[static_cast<size_t>(i)].get());
    }
  }
  return "";
}

std::string OptionalDiffers(const std::string& What, const std::string& Fast, const std::string& Before,
                            const std::optional<std::string>& Reference) {
  return Differ(What, Fast, Reference.value_or(Before));
}

}  // namespace

std::string ParseDifference(const std::string& Source) {
  const TRefDocument reference = ReferenceParse(Source);
  TmoxXMLParser2 document;
  std::optional<std::string> exception;
  try {
    document.LoadFromString(Source);
  } catch (const std::runtime_error& e) {
    exception = e.what();
  }
  std::string difference =
      Differ("exception", exception.value_or("none"), reference.Exception.value_or("none"));
  if (difference.empty()) difference = Differ("error text", document.LastError, reference.LastError);
  if (difference.empty())
    difference = AttributesDiffer("declaration", *document.Declaration, reference.Declaration);
  if (difference.empty()) difference = TreesDiffer(document, reference.Root);
  return difference;
}

std::string FeedDifference(const std::string& Source) {
  const TRefFeed reference = ReferenceReadFeed(Source);
  // Fields a document does not supply keep what they held.
  const std::string before = "(before)";
  TFeed feed(before, before, "", before);
  std::optional<std::string> error;
  try {
    LoadFeedFromString(feed, Source);
  } catch (const std::runtime_error& e) {
    error = e.what();
  }
  std::string difference = Differ("error", error.value_or("none"), reference.Error.value_or("none"));
  if (!difference.empty()) return difference;
  if (error) return feed.ItemCount() == 0 ? "" : "items kept after an error";
  difference = OptionalDiffers("title", feed.Title, before, reference.Title);
  if (difference.empty()) difference = OptionalDiffers("link", feed.HtmlUrl, before, reference.HtmlUrl);
  if (difference.empty())
    difference = OptionalDiffers("description", feed.Description, before, reference.Description);
  if (!difference.empty()) return difference;
  if (feed.ItemCount() != static_cast<int>(reference.Items.size()))
    return std::to_string(feed.ItemCount()) + " items instead of " + std::to_string(reference.Items.size());
  for (int i = 0; i < feed.ItemCount(); ++i) {
    const TFeedItem& item = feed.Items(i);
    const TRefItem& expected = reference.Items[static_cast<size_t>(i)];
    const std::string where = "item " + std::to_string(i);
    difference = Differ(where + " title", item.Title, expected.Title);
    if (difference.empty()) difference = Differ(where + " link", item.Link, expected.Link);
    if (difference.empty())
      difference = Differ(where + " description", item.Description, expected.Description);
    if (difference.empty()) difference = Differ(where + " date", item.PubDate, expected.PubDate);
    if (difference.empty()) difference = Differ(where + " guid", item.Guid, expected.Guid);
    if (difference.empty() && item.Enclosures.size() != expected.Enclosures.size())
      difference = where + ": " + std::to_string(item.Enclosures.size()) + " enclosures instead of " +
                   std::to_string(expected.Enclosures.size());
    for (size_t e = 0; difference.empty() && e < item.Enclosures.size(); ++e) {
      const std::string which = where + " enclosure " + std::to_string(e);
      difference = Differ(which + " url", item.Enclosures[e].Url, expected.Enclosures[e].Url);
      if (difference.empty())
        difference = Differ(which + " type", item.Enclosures[e].Type, expected.Enclosures[e].Type);
      if (difference.empty())
        difference = Differ(which + " length", item.Enclosures[e].Length, expected.Enclosures[e].Length);
    }
    if (difference.empty() && item.IsRead != expected.IsRead) difference = where + ": read flag differs";
    if (!difference.empty()) return difference;
  }
  if (feed.UnreadCount != feed.CountUnread()) return "unread count not recounted";
  return "";
}

std::string ListDifference(const std::string& Source) {
  const TRefList reference = ReferenceReadList(Source);
  TFeedList list;
  std::optional<std::string> error;
  try {
    LoadFeedListFromString(list, Source);
  } catch (const std::runtime_error& e) {
    error = e.what();
  }
  std::string difference = Differ("error", error.value_or("none"), reference.Error.value_or("none"));
  if (difference.empty()) difference = Differ("parse error", list.LastParseError(), reference.ParseError);
  if (!difference.empty()) return difference;
  if (list.Count() != static_cast<int>(reference.Entries.size()))
    return std::to_string(list.Count()) + " entries instead of " + std::to_string(reference.Entries.size());
  for (int i = 0; i < list.Count(); ++i) {
    const TFeed& entry = *list.Feeds(i);
    const TRefEntry& expected = reference.Entries[static_cast<size_t>(i)];
    const std::string where = "entry " + std::to_string(i);
    difference = Differ(where + " title", entry.Title, expected.Title);
    if (difference.empty()) difference = Differ(where + " xmlUrl", entry.XmlUrl, expected.XmlUrl);
    if (difference.empty()) difference = Differ(where + " htmlUrl", entry.HtmlUrl, expected.HtmlUrl);
    if (difference.empty())
      difference = Differ(where + " description", entry.Description, expected.Description);
    if (difference.empty() && entry.UnreadCount != expected.UnreadCount)
      difference = where + ": unread count differs";
    if (!difference.empty()) return difference;
  }
  return "";
}

}  // namespace skimbrook::test
