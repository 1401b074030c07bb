// The subscription list as OPML: one writer and one reader for default.opml and for the
// files the user imports and exports. Groups are one level deep and positional: a
// heading (an entry without xmlUrl) stands for the feeds that follow it.
#include <charconv>
#include <climits>

#include "model/uRSS.h"
#include "model/uRSS_internal.h"
#include "xml/moxXMLParser2.h"

namespace skimbrook {

namespace {

const char* const kGroupClose = "    </outline>";

std::string HeadingLine(const TFeed& Heading) {
  return "    <outline title=\"" + XmlEscape(Heading.Title) + "\" description=\"" +
         XmlEscape(Heading.Description) + "\" htmlUrl=\"" + XmlEscape(Heading.HtmlUrl) + "\" >";
}

std::string FeedLine(const TFeed& Feed, bool InGroup) {
  std::string line = InGroup ? "      " : "    ";
  line += "<outline title=\"" + XmlEscape(Feed.Title) + "\" description=\"" + XmlEscape(Feed.Description) +
          "\" xmlUrl=\"" + XmlEscape(Feed.XmlUrl) + "\" htmlUrl=\"" + XmlEscape(Feed.HtmlUrl) +
          "\" type=\"rss\"";
  if (Feed.UnreadCount != 0) line += " unreadCount=\"" + std::to_string(Feed.UnreadCount) + "\"";
  line += " />";
  return line;
}

// A decimal integer with an optional sign and nothing else; 0 for anything that is not
// one or does not fit.
int ParseCount(std::string_view Text) {
  if (Text.size() > 1 && Text[0] == '+' && Text[1] != '-') Text.remove_prefix(1);
  long long value = 0;
  auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
  if (Text.empty() || error != std::errc() || end != Text.data() + Text.size()) return 0;
  if (value < INT_MIN || value > INT_MAX) return 0;
  return static_cast<int>(value);
}

// Trim(XmlUnescape(value)) of the attribute named exactly Name, empty when absent.
std::string DecodedAttribute(TmoxXMLNode2& Element, std::string_view Name) {
  int index = Element.AttributeIndex(Name);
  return index < 0 ? std::string() : TakeDecoded(Element.Attributes[index].Value);
}

std::shared_ptr<TFeed> EntryFromOutline(TmoxXMLNode2& Outline) {
  auto feed = std::make_shared<TFeed>();
  feed->Title = DecodedAttribute(Outline, "title");
  feed->HtmlUrl = DecodedAttribute(Outline, "htmlUrl");
  if (feed->HtmlUrl.empty()) feed->HtmlUrl = DecodedAttribute(Outline, "htmlurl");
  feed->XmlUrl = DecodedAttribute(Outline, "xmlUrl");
  if (feed->XmlUrl.empty()) feed->XmlUrl = DecodedAttribute(Outline, "xmlurl");
  feed->Description = DecodedAttribute(Outline, "description");
  feed->UnreadCount = ParseCount(Outline.GetAttribute("unreadCount"));
  return feed;
}

// Every element below Body becomes an entry, parent before its children, depth first;
// an explicit stack keeps any nesting depth off the call stack.
void AddOutlines(TFeedList& List, const TmoxXMLNode2& Body) {
  struct TFrame {
    const TmoxXMLNode2* Element;
    int NextChild;
  };
  std::vector<TFrame> path{{&Body, 0}};
  while (!path.empty()) {
    TFrame& top = path.back();
    if (top.NextChild == top.Element->Nodes.Count()) {
      path.pop_back();
      continue;
    }
    TmoxXMLNode2& child = top.Element->Nodes[top.NextChild++];
    List.Add(EntryFromOutline(child));
    if (child.Nodes.Count() > 0) path.push_back({&child, 0});
  }
}

}  // namespace

std::vector<std::string> OpmlLines(const TFeedList& List) {
  std::vector<std::string> lines = {"<?xml version=\"1.0\" encoding=\"utf-8\" ?>", "<opml>", "  <body>"};
  lines.reserve(static_cast<size_t>(List.Count()) * 2 + 6);
  bool groupOpen = false;
  for (int i = 0; i < List.Count(); ++i) {
    const TFeed& entry = *List.Feeds(i);
    if (entry.XmlUrl.empty()) {
      if (groupOpen) lines.push_back(kGroupClose);
      lines.push_back(HeadingLine(entry));
      groupOpen = true;
    } else {
      lines.push_back(FeedLine(entry, groupOpen));
    }
  }
  if (groupOpen) lines.push_back(kGroupClose);
  lines.push_back("  </body>");
  lines.push_back("</opml>");
  return lines;
}

void LoadFeedListFromString(TFeedList& List, std::string Source) {
  List.Clear();
  TmoxXMLParser2 document;
  document.LoadFromString(std::move(Source));
  List.lastParseError_ = document.LastError;
  // A document without a body is an empty list.
  if (const TmoxXMLNode2* body = document.FindNode("body")) AddOutlines(List, *body);
}

}  // namespace skimbrook
