// The subscription list as OPML: one writer and one reader for default.opml and for the
// files the user imports and exports. Groups are one level deep and positional: a
// heading (an entry without xmlUrl) stands for the feeds that follow it.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <ctime>

#include "model/uRSS.h"
#include "model/uRSS_internal.h"
#include "xml/moxXMLParser2.h"

namespace skimbrook {

namespace {

const char* const kGroupClose = "    </outline>";

// A control character XML cannot hold, not even as a reference.
bool IsForbiddenInXml(char C) {
  const auto code = static_cast<unsigned char>(C);
  return code < 0x20 && C != '\t' && C != '\n' && C != '\r';
}

// Appends Name="Value" with the value escaped, after a blank. Control characters XML cannot
// hold (a title may have brought one as "&#1;") are left out, so the file stays XML.
void AppendAttribute(std::string& Line, std::string_view Name, std::string_view Value) {
  Line += ' ';
  Line += Name;
  Line += "=\"";
  if (std::any_of(Value.begin(), Value.end(), IsForbiddenInXml)) {
    std::string kept(Value);
    std::erase_if(kept, IsForbiddenInXml);
    AppendXmlEscaped(Line, kept);
  } else {
    AppendXmlEscaped(Line, Value);
  }
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
  if (Feed.UserTitle) line += " userTitle=\"1\"";
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
  const TmoxXMLString* Text = nullptr;
  const TmoxXMLString* UserTitle = nullptr;

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
      else if (name == "text")
        slot = &Text;
      else if (name == "userTitle")
        slot = &UserTitle;
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
  // OPML 2.0 names every outline by its text; title is optional there.
  if (feed->Title.empty()) Read(attributes.Text, Decoder, feed->Title);
  Read(attributes.HtmlUrl, Decoder, feed->HtmlUrl);
  if (feed->HtmlUrl.empty()) Read(attributes.HtmlUrlLower, Decoder, feed->HtmlUrl);
  Read(attributes.XmlUrl, Decoder, feed->XmlUrl);
  if (feed->XmlUrl.empty()) Read(attributes.XmlUrlLower, Decoder, feed->XmlUrl);
  Read(attributes.Description, Decoder, feed->Description);
  feed->UnreadCount = attributes.UnreadCount ? ParseCount(*attributes.UnreadCount) : 0;
  // Only a feed's title can be the user's: a heading's is always.
  feed->UserTitle = !feed->XmlUrl.empty() && attributes.UserTitle && ParseCount(*attributes.UserTitle) == 1;
  return feed;
}

// Every element below the document's first body becomes an entry of List, parent before
// its children, in document order. The entries are added as the start tags come (an
// entry needs only its attributes), and every element is dropped once it has ended, so
// that a large list never stands whole as a tree.
class TOutlineReader final : public TmoxXMLElementHandler {
 public:
  TOutlineReader(const TmoxXMLParser2& Document, TFeedList& List) : document_(Document), list_(List) {}

  void ElementStarted(TmoxXMLNode2& Element) override {
    if (body_ != nullptr) {
      list_.Add(EntryFromOutline(Element, decoder_));
    } else if (!bodyFound_ && Element.Parent == &document_ && Element.Name == "body") {
      // Between a body's start and end tags come exactly the elements below it.
      bodyFound_ = true;
      body_ = &Element;
    }
  }
  TAfterEnd ElementEnded(TmoxXMLNode2& Element) override {
    if (&Element == body_) body_ = nullptr;
    return TAfterEnd::Drop;
  }

 private:
  const TmoxXMLParser2& document_;
  TFeedList& list_;
  TFieldDecoder decoder_;
  bool bodyFound_ = false;
  const TmoxXMLNode2* body_ = nullptr;  // the body while it is open
};

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

// ---------------------------------------------------------------------------------------
// OPML 2.0 for other programs

namespace {

// The length of the valid UTF-8 sequence at the start of Text that encodes a character XML
// can hold (U+FFFE and U+FFFF cannot be held), or 0.
size_t Utf8CharLength(std::string_view Text) {
  const auto byte = [&Text](size_t I) { return static_cast<unsigned char>(Text[I]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  char32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07;
  } else {
    return 0;
  }
  if (Text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  const char32_t least = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0x80;
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  if (code == 0xFFFE || code == 0xFFFF) return 0;
  return length;
}

// Text, taken as UTF-8, escaped for an attribute value or element text in double quotes.
// Tab and line ends are written as references, so that an attribute keeps them.
void AppendUtf8Escaped(std::string& Out, std::string_view Text) {
  for (size_t i = 0; i < Text.size();) {
    const char c = Text[i];
    const size_t length = Utf8CharLength(Text.substr(i));
    if (length == 0) {
      Out += "\xEF\xBF\xBD";  // U+FFFD in place of a byte that is no character
      ++i;
      continue;
    }
    if (length > 1)
      Out.append(Text.substr(i, length));
    else if (c == '&')
      Out += "&amp;";
    else if (c == '<')
      Out += "&lt;";
    else if (c == '>')
      Out += "&gt;";
    else if (c == '"')
      Out += "&quot;";
    else if (c == '\t' || c == '\n' || c == '\r')
      Out += "&#" + std::to_string(static_cast<int>(c)) + ';';
    else if (!IsForbiddenInXml(c))
      Out += c;
    i += length;
  }
}

void AppendUtf8Attribute(std::string& Line, std::string_view Name, std::string_view Value) {
  Line += ' ';
  Line += Name;
  Line += "=\"";
  AppendUtf8Escaped(Line, Value);
  Line += '"';
}

// "text" and "title" both: OPML 2.0 readers name an outline by its text, older ones by its
// title.
std::string Opml2Outline(const TFeed& Entry, std::string_view Indent, bool Opens) {
  std::string line(Indent);
  line += "<outline";
  AppendUtf8Attribute(line, "text", Entry.Title);
  AppendUtf8Attribute(line, "title", Entry.Title);
  if (!Entry.XmlUrl.empty()) {
    line += " type=\"rss\"";
    AppendUtf8Attribute(line, "xmlUrl", Entry.XmlUrl);
  }
  if (!Entry.HtmlUrl.empty()) AppendUtf8Attribute(line, "htmlUrl", Entry.HtmlUrl);
  line += Opens ? ">" : "/>";
  return line;
}

// Time as RFC 822 wants it in GMT, with English names whatever the locale.
std::string Rfc822Date(std::time_t Time) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm utc{};
  ::gmtime_r(&Time, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday], utc.tm_mday,
                kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

}  // namespace

std::vector<std::string> Opml2Lines(const TFeedList& List, std::string_view Title, std::time_t Created) {
  std::string title = "    <title>";
  AppendUtf8Escaped(title, Title);
  title += "</title>";
  std::vector<std::string> lines = {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                                    "<opml version=\"2.0\">",
                                    "  <head>",
                                    std::move(title),
                                    "    <dateCreated>" + Rfc822Date(Created) + "</dateCreated>",
                                    "  </head>",
                                    "  <body>"};
  bool groupOpen = false;
  for (int i = 0; i < List.Count(); ++i) {
    const TFeed& entry = *List.Feeds(i);
    if (entry.XmlUrl.empty()) {
      if (groupOpen) lines.push_back("    </outline>");
      // A heading without feeds after it is an empty element.
      groupOpen = i + 1 < List.Count() && !List.Feeds(i + 1)->XmlUrl.empty();
      lines.push_back(Opml2Outline(entry, "    ", groupOpen));
    } else {
      lines.push_back(Opml2Outline(entry, groupOpen ? "      " : "    ", false));
    }
  }
  if (groupOpen) lines.push_back("    </outline>");
  lines.push_back("  </body>");
  lines.push_back("</opml>");
  return lines;
}

namespace {

// Clear, then the entries Load reads through the reader it is given; none when it throws.
// A parse that stops on an error names it with the tree it built, which the reader has
// dropped, so the same source is parsed once more, kept whole, for that text.
template <class TLoad>
void ReplaceEntries(TFeedList& List, TmoxXMLParser2& Document, std::string& LastParseError, TLoad Load) {
  List.Clear();
  LastParseError.clear();
  TOutlineReader reader(Document, List);
  try {
    Load(reader);
  } catch (...) {
    List.Clear();
    throw;
  }
  if (!Document.LastError.empty()) LastParseError = Document.Parse();
}

}  // namespace

void LoadFeedListFromString(TFeedList& List, std::string Source) {
  TmoxXMLParser2 document;
  ReplaceEntries(List, document, List.lastParseError_, [&document, &Source](TOutlineReader& Reader) {
    document.LoadFromString(std::move(Source), Reader);
  });
}

void TFeedList::LoadFromFile(const std::string& Path) {
  TmoxXMLParser2 document;
  ReplaceEntries(*this, document, lastParseError_,
                 [&document, &Path](TOutlineReader& Reader) { document.LoadFromFile(Path, Reader); });
}

}  // namespace skimbrook
