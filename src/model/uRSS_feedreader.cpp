// Reading feed documents: RSS 0.9x/2.0 and RDF (one reader), Atom, and the program's own
// cache form, which is an RSS 2.0 document whose read items carry isRead="true".
#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "model/uFiles.h"
#include "model/uRSS.h"
#include "model/uRSS_internal.h"
#include "xml/moxXMLParser2.h"

namespace skimbrook {

namespace {

bool IsTrimmed(unsigned char C) {
  return C <= 32;
}

void TrimInPlace(std::string& Text) {
  size_t end = Text.size();
  while (end > 0 && IsTrimmed(static_cast<unsigned char>(Text[end - 1]))) --end;
  size_t start = 0;
  while (start < end && IsTrimmed(static_cast<unsigned char>(Text[start]))) ++start;
  Text.erase(end);
  Text.erase(0, start);
}

bool Contains(const std::string& Text, char C) {
  return std::memchr(Text.data(), C, Text.size()) != nullptr;
}

// Nothing for XmlUnescape to decode: every step of it starts at "&" or at a backslash.
bool HasNothingToDecode(const std::string& Text) {
  return !Contains(Text, '&') && !Contains(Text, '\\');
}

// Trim(StripTags(XmlUnescape(Raw))), the treatment of item and entry titles.
std::string TakeTitle(std::string& Raw) {
  if (HasNothingToDecode(Raw) && !Contains(Raw, '<')) {
    TrimInPlace(Raw);
    return std::move(Raw);
  }
  std::string title = StripTags(XmlUnescape(Raw));
  TrimInPlace(title);
  return title;
}

// The value of the attribute named exactly Name, for taking it over; nullptr when absent.
std::string* FindAttribute(TmoxXMLNode2& Element, std::string_view Name) {
  int index = Element.AttributeIndex(Name);
  return index < 0 ? nullptr : &Element.Attributes[index].Value;
}

// The first direct child of Element for each of Names (exact comparison), in one pass
// over the children instead of one per name.
template <size_t N>
std::array<TmoxXMLNode2*, N> FirstChildrenNamed(const TmoxXMLNode2& Element,
                                                const std::array<std::string_view, N>& Names) {
  std::array<TmoxXMLNode2*, N> found{};
  size_t missing = N;
  for (const auto& child : Element.Nodes) {
    for (size_t i = 0; i < N; ++i) {
      if (!found[i] && child->Name == Names[i]) {
        found[i] = child.get();
        --missing;
        break;
      }
    }
    if (missing == 0) break;
  }
  return found;
}

// The tree is consumed as it is read: once an item has its fields, the texts below it
// are no longer needed, and a large document then holds its bytes twice at most, not
// three times (source, tree and items).
void ReleaseChildren(TmoxXMLNode2& Element) {
  Element.Nodes.Clear();
}

// ---------------------------------------------------------------------------------------
// RSS and RDF

void ReadRssItem(TFeed& Feed, TmoxXMLNode2& Element) {
  static constexpr std::array<std::string_view, 6> kNames = {"title",           "link",    "description",
                                                             "content:encoded", "dc:date", "pubDate"};
  enum { kTitle, kLink, kDescription, kContent, kDcDate, kPubDate };
  auto item = std::make_shared<TFeedItem>();
  item->IsRead = SameText(Element.GetAttribute("isRead"), "True");
  auto child = FirstChildrenNamed(Element, kNames);
  if (child[kTitle]) item->Title = TakeTitle(child[kTitle]->Text);
  if (child[kLink]) item->Link = TakeDecoded(child[kLink]->Text);
  if (child[kDescription]) item->Description = TakeDecoded(child[kDescription]->Text);
  // content:encoded wins whenever it is there, even empty.
  if (child[kContent]) item->Description = TakeDecoded(child[kContent]->Text);
  // Dates are decoded like every other field, so that a date survives being written to the
  // cache file (escaped) and read back.
  if (child[kDcDate]) item->PubDate = TakeDecoded(child[kDcDate]->Text);
  if (child[kPubDate]) item->PubDate = TakeDecoded(child[kPubDate]->Text);
  Feed.AddItem(std::move(item));
  ReleaseChildren(Element);
}

void ReadRssItemsAmong(TFeed& Feed, const TmoxXMLNode2& Parent) {
  for (const auto& child : Parent.Nodes)
    if (SameText(child->Name, "item")) ReadRssItem(Feed, *child);
}

void ReadRss(TFeed& Feed, const TmoxXMLNode2& Root) {
  TmoxXMLNode2* channel = Root.FindNode("channel");
  if (!channel) throw std::runtime_error("2: <channel> not found");
  static constexpr std::array<std::string_view, 3> kNames = {"title", "link", "description"};
  auto field = FirstChildrenNamed(*channel, kNames);
  if (field[0]) Feed.Title = TakeDecoded(field[0]->Text);
  if (field[1]) Feed.HtmlUrl = TakeDecoded(field[1]->Text);
  if (field[2]) Feed.Description = TakeDecoded(field[2]->Text);
  // RSS 1.0 keeps its items beside the channel, RSS 2.0 inside it.
  ReadRssItemsAmong(Feed, Root);
  ReadRssItemsAmong(Feed, *channel);
}

// ---------------------------------------------------------------------------------------
// Atom

void ReadAtomEntry(TFeed& Feed, TmoxXMLNode2& Element) {
  static constexpr std::array<std::string_view, 6> kNames = {"title",    "link",    "issued",
                                                             "modified", "summary", "content"};
  enum { kTitle, kLink, kIssued, kModified, kSummary, kContent };
  auto item = std::make_shared<TFeedItem>();
  auto child = FirstChildrenNamed(Element, kNames);
  if (child[kTitle]) item->Title = TakeTitle(child[kTitle]->Text);
  if (child[kLink]) {
    std::string* href = FindAttribute(*child[kLink], "href");
    item->Link = href ? TakeDecoded(*href) : std::string();
  }
  if (child[kIssued]) item->PubDate = TakeDecoded(child[kIssued]->Text);
  if (child[kModified]) item->PubDate = TakeDecoded(child[kModified]->Text);
  if (child[kSummary]) item->Description = TakeDecoded(child[kSummary]->Text);
  // The content element is kept whole, wrapper included; a summary wins over it.
  if (child[kContent] && item->Description.empty()) {
    item->Description = XmlUnescape(SerializeElement(*child[kContent]));
    TrimInPlace(item->Description);
  }
  Feed.AddItem(std::move(item));
  ReleaseChildren(Element);
}

void ReadAtom(TFeed& Feed, const TmoxXMLNode2& Root) {
  if (TmoxXMLNode2* title = Root.FindNode("title")) Feed.Title = TakeDecoded(title->Text);
  // Only the first link is looked at, and only a text/html one names the web site.
  if (TmoxXMLNode2* link = Root.FindNode("link"); link && link->GetAttribute("type") == "text/html") {
    std::string* href = FindAttribute(*link, "href");
    Feed.HtmlUrl = href ? TakeDecoded(*href) : std::string();
  }
  for (const auto& child : Root.Nodes)
    if (SameText(child->Name, "entry")) ReadAtomEntry(Feed, *child);
}

// Parses Source and reads it into Feed, whose items have just been replaced.
void ReadFeedSource(TFeed& Feed, std::string Source) {
  TmoxXMLParser2 document;
  document.LoadFromString(std::move(Source));
  if (SameText(document.Name, "rss") || SameText(document.Name, "rdf:RDF"))
    ReadRss(Feed, document);
  else if (SameText(document.Name, "feed"))
    ReadAtom(Feed, document);
  else
    throw std::runtime_error("1: unrecognized feed format");
  Feed.UnreadCount = Feed.CountUnread();
}

}  // namespace

std::string TakeDecoded(std::string& Raw) {
  if (HasNothingToDecode(Raw)) {
    TrimInPlace(Raw);
    return std::move(Raw);
  }
  std::string decoded = XmlUnescape(Raw);
  TrimInPlace(decoded);
  return decoded;
}

std::string SerializeElement(const TmoxXMLNode2& E) {
  std::string out;
  out.reserve(E.Text.size() + 2 * E.Name.size() + 64);
  // Writes the start tag; true when the element has content and so an end tag to come.
  auto open = [&out](const TmoxXMLNode2& Element) {
    out += '\r';
    out += '<';
    out += Element.Name;
    for (const auto& attribute : Element.Attributes) {
      out += ' ';
      out += attribute->Name;
      out += "='";
      out += attribute->Value;
      out += '\'';
    }
    if (Element.Nodes.Count() == 0 && Element.Text.empty()) {
      out += "/>";
      return false;
    }
    out += '>';
    out += Element.Text;
    return true;
  };
  struct TFrame {
    const TmoxXMLNode2* Element;
    int NextChild;
  };
  std::vector<TFrame> openElements;
  if (open(E)) openElements.push_back({&E, 0});
  while (!openElements.empty()) {
    TFrame& top = openElements.back();
    if (top.NextChild < top.Element->Nodes.Count()) {
      const TmoxXMLNode2& child = top.Element->Nodes[top.NextChild++];
      if (open(child)) openElements.push_back({&child, 0});
    } else {
      out += "</";
      out += top.Element->Name;
      out += ">\r";
      openElements.pop_back();
    }
  }
  return out;
}

void LoadFeedFromString(TFeed& Feed, std::string Source) {
  Feed.ReplaceItems();
  ReadFeedSource(Feed, std::move(Source));
}

void TFeed::LoadFromFile(const std::string& Path) {
  // The items are replaced first, so a file that cannot be read leaves an empty list.
  ReplaceItems();
  ReadFeedSource(*this, ReadFileBytes(Path));
}

}  // namespace skimbrook
