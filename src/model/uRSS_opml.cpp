// The subscription list as OPML: one writer and one reader for default.opml and for the
// files the user imports and exports. Groups are one level deep and positional: a
// heading (an entry without xmlUrl) stands for the feeds that follow it.
#include <charconv>
#include <climits>

#include "model/uRSS.h"
#include "model/uRSS_internal.h"
#include "xml/moxTreeWalk.h"

namespace skimbrook {

namespace {

const char* const kGroupClose = "    </outline>";

// Appends Name="Value" with the value escaped, after a blank.
void AppendAttribute(std::string& Line, std::string_view Name, std::string_view Value) {
  Line += ' ';
  Line += Name;
  Line += "=\"";
  AppendXmlEscaped(Line, Value);
  Line += '"';
}

std::string HeadingLine(const TFeed& Heading) {
  std::string line = "    <outline";
  line.reserve(64 + Heading.Title.size() + Heading.Description.size() + Heading.HtmlUrl.size());
  AppendAttribute(line, "title", Heading.Title);
  AppendAttribute(line, "description", Heading.Description);
  AppendAttribute(line, "htmlUrl", Heading.HtmlUrl);
  line += " >";
  return line;
}

std::string FeedLine(const TFeed& Feed, bool InGroup) {
  std::string line = InGroup ? "      <outline" : "    <outline";
  line.reserve(112 + Feed.Title.size() + Feed.Description.size() + Feed.XmlUrl.size() + Feed.HtmlUrl.size());
  AppendAttribute(line, "title", Feed.Title);
  AppendAttribute(line, "description", Feed.Description);
  AppendAttribute(line, "xmlUrl", Feed.XmlUrl);
  AppendAttribute(line, "htmlUrl", Feed.HtmlUrl);
  line += " type=\"rss\"";
  if (Feed.UnreadCount != 0) {
    line += " unreadCount=\"";
    line += std::to_string(Feed.UnreadCount);
    line += '"';
  }
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

// The attributes an entry is read from, each the first of its name.
struct TOutlineAttributes {
  const TmoxXMLString* Title = nullptr;
  const TmoxXMLString* HtmlUrl = nullptr;
  const TmoxXMLString* HtmlUrlLower = nullptr;
  const TmoxXMLString* XmlUrl = nullptr;
  const TmoxXMLString* XmlUrlLower = nullptr;
  const TmoxXMLString* Description = nullptr;
  const TmoxXMLString* UnreadCount = nullptr;

  // One pass over the attributes instead of a search per name.
  explicit TOutlineAttributes(const TmoxXMLNode2& Outline) {
    for (const auto& attribute : Outline.Attributes) {
      const std::string_view name = attribute->Name;
      const TmoxXMLString** slot = nullptr;
      if (name == "title")
        slot = &Title;
      else if (name == "htmlUrl")
        slot = &HtmlUrl;
      else if (name == "htmlurl")
        slot = &HtmlUrlLower;
      else if (name == "xmlUrl")
        slot = &XmlUrl;
      else if (name == "xmlurl")
        slot = &XmlUrlLower;
      else if (name == "description")
        slot = &Description;
      else if (name == "unreadCount")
        slot = &UnreadCount;
      if (slot != nullptr && *slot == nullptr) *slot = &attribute->Value;
    }
  }
};

// Target := Trim(XmlUnescape(Value)); empty when the attribute is absent.
void Read(const TmoxXMLString* Value, TFieldDecoder& Decoder, std::string& Target) {
  if (Value == nullptr)
    Target.clear();
  else
    Decoder.Decode(*Value, Target);
}

std::shared_ptr<TFeed> EntryFromOutline(const TmoxXMLNode2& Outline, TFieldDecoder& Decoder) {
  const TOutlineAttributes attributes(Outline);
  auto feed = std::make_shared<TFeed>();
  Read(attributes.Title, Decoder, feed->Title);
  Read(attributes.HtmlUrl, Decoder, feed->HtmlUrl);
  if (feed->HtmlUrl.empty()) Read(attributes.HtmlUrlLower, Decoder, feed->HtmlUrl);
  Read(attributes.XmlUrl, Decoder, feed->XmlUrl);
  if (feed->XmlUrl.empty()) Read(attributes.XmlUrlLower, Decoder, feed->XmlUrl);
  Read(attributes.Description, Decoder, feed->Description);
  feed->UnreadCount = attributes.UnreadCount ? ParseCount(*attributes.UnreadCount) : 0;
  return feed;
}

// Every element below Body becomes an entry, parent before its children, depth first.
void AddOutlines(TFeedList& List, const TmoxXMLNode2& Body) {
  TFieldDecoder decoder;
  WalkTree(Body, [&](const TmoxXMLNode2& Outline, size_t Depth) {
    if (Depth > 0) List.Add(EntryFromOutline(Outline, decoder));
    return true;
  });
}

// A document without a body is an empty list.
void AddEntries(TFeedList& List, const TmoxXMLParser2& Document) {
  if (const TmoxXMLNode2* body = Document.FindNode("body")) AddOutlines(List, *body);
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

namespace {

// Clear, then the entries of Document once Parse has filled it. The old entries go only
// after the parse, so that the new ones are built from the memory just given back instead
// of the allocator first gathering that memory up for the document's large blocks.
template <class TParse>
void ReplaceEntries(TFeedList& List, TmoxXMLParser2& Document, std::string& LastParseError, TParse Parse) {
  LastParseError.clear();
  try {
    Parse();
  } catch (...) {
    List.Clear();
    throw;
  }
  List.Clear();
  LastParseError = Document.LastError;
  AddEntries(List, Document);
}

}  // namespace

void LoadFeedListFromString(TFeedList& List, std::string Source) {
  TmoxXMLParser2 document;
  ReplaceEntries(List, document, List.lastParseError_,
                 [&document, &Source] { document.LoadFromString(std::move(Source)); });
}

void TFeedList::LoadFromFile(const std::string& Path) {
  TmoxXMLParser2 document;
  ReplaceEntries(*this, document, lastParseError_, [&document, &Path] { document.LoadFromFile(Path); });
}

}  // namespace skimbrook
