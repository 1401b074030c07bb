// Reading feed documents: RSS 0.9x/2.0 and RDF (one reader), Atom, and the program's own
// cache form, which is an RSS 2.0 document whose read items carry isRead="true".
//
// The reader takes each item or entry while the document is parsed, as soon as its
// element has ended, and then lets the parser drop it: a large document never stands
// whole in memory as a tree, and the parts of a file already read go back to the system.
// What it reads is what a reading of the whole tree would give. The items of the
// document element and those of the channel are gathered apart and added in that order;
// the channel is the first child of the document element named exactly "channel", and
// its fields come from its first children with those names, which the reader meets first.
#include <array>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "model/uRSS.h"
#include "model/uRSS_internal.h"
#include "xml/moxStrings.h"
#include "xml/moxTreeWalk.h"

namespace skimbrook {

namespace {

// A field of the feed itself, taken from the first element that supplies it.
struct TFeedField {
  bool Found = false;
  std::string Value;
};

// The text of an element of Atom's type "xhtml" without its markup: its own text and
// that of every element below it, each followed by the text after it, in document
// order. Each piece is trimmed, as Text is, so each tag counts as a word break and the
// pieces are joined by one space.
std::string TextWithoutMarkup(const TmoxXMLNode2& Element) {
  std::string text;
  auto add = [&text](std::string_view Piece) {
    if (Piece.empty()) return;
    if (!text.empty()) text += ' ';
    text += Piece;
  };
  WalkTree(
      Element,
      [&add](const TmoxXMLNode2& Inner, size_t) {
        add(Inner.Text);
        return true;
      },
      [&add](const TmoxXMLNode2& Inner, size_t Depth) {
        if (Depth > 0) add(Trimmed(Inner.TextAfter));
      });
  return text;
}

// A quick test before the comparisons: the names of the elements that describe files
// start with one of these letters (enclosure, link, media:content, media:group).
bool MayDescribeAFile(std::string_view Name) {
  return !Name.empty() && (Name[0] == 'e' || Name[0] == 'l' || Name[0] == 'm');
}

bool IsXhtml(const TmoxXMLNode2& Element) {
  return Element.GetAttribute("type") == "xhtml";
}

// An Atom link that names the page of its entry or feed: rel "alternate", or no rel.
bool IsAlternateLink(const TmoxXMLNode2& Link) {
  const std::string_view rel = Link.GetAttribute("rel");
  return rel.empty() || rel == "alternate";
}

}  // namespace

// Reads the elements as the parse hands them over. Each item is made ready for the feed
// as it is read (owner, position, unread count), so that the feed takes the whole list at
// the end without visiting the items again.
class TFeedReader final : public TmoxXMLElementHandler {
 public:
  TFeedReader(const TmoxXMLParser2& Document, TFeed& Feed) : document_(Document), feed_(Feed) {}

  void ElementStarted(TmoxXMLNode2& Element) override;
  TAfterEnd ElementEnded(TmoxXMLNode2& Element) override;

  // After the parse: puts what was read into the feed, whose items have just been
  // replaced, or throws the reader's numbered error.
  void ApplyTo();

 private:
  enum class TDialect { None, Rss, Atom, Other };

  TAfterEnd RssElementEnded(const TmoxXMLNode2& Element);
  TAfterEnd AtomElementEnded(const TmoxXMLNode2& Element);
  // The item read from Element.
  std::shared_ptr<TFeedItem> ReadRssItem(const TmoxXMLNode2& Element);
  std::shared_ptr<TFeedItem> ReadAtomEntry(const TmoxXMLNode2& Element);
  // Adds the enclosure that Element (a child of an item or entry) describes, if any:
  // RSS enclosure, Atom link rel="enclosure", Media RSS media:content, also inside a
  // media:group. Returns false when Element is none of these.
  bool ReadEnclosure(const TmoxXMLNode2& Element, TFeedItem& Item);
  void AddEnclosure(const TmoxXMLNode2& Element, std::string_view UrlName, std::string_view LengthName,
                    TFeedItem& Item);
  // Out := Trim(XmlUnescape(the attribute Name of Element)); empty when it is absent.
  void DecodeAttribute(const TmoxXMLNode2& Element, std::string_view Name, std::string& Out);
  // Adds the finished Item to the end of Items as an item of the feed.
  void Keep(std::vector<std::shared_ptr<TFeedItem>>& Items, std::shared_ptr<TFeedItem> Item);
  // True once kMaxFeedItems items have been kept: later ones are not even read.
  bool Full() const { return rootItems_.size() + channelItems_.size() >= size_t{kMaxFeedItems}; }

  const TmoxXMLParser2& document_;
  TFeed& feed_;
  TDialect dialect_ = TDialect::None;
  TFieldDecoder decoder_;
  bool channelFound_ = false;
  const TmoxXMLNode2* channel_ = nullptr;  // the channel while it is open
  TFeedField title_, htmlUrl_, description_;
  bool atomLinkSeen_ = false;
  // The first Atom link of the feed that is its web page (alternate or without rel, of
  // type text/html or without type); it wins over the first link's text/html rule.
  TFeedField atomPageUrl_;
  std::vector<std::shared_ptr<TFeedItem>> rootItems_;     // items of the document element
  std::vector<std::shared_ptr<TFeedItem>> channelItems_;  // items of the channel
  int unread_ = 0;                                        // unread items of both lists
};

void TFeedReader::Keep(std::vector<std::shared_ptr<TFeedItem>>& Items, std::shared_ptr<TFeedItem> Item) {
  Item->Feed = &feed_;
  Item->index_ = static_cast<int>(Items.size());
  if (!Item->IsRead) ++unread_;
  Items.push_back(std::move(Item));
}

void TFeedReader::ElementStarted(TmoxXMLNode2& Element) {
  if (&Element == &document_) {
    const std::string_view name = Element.Name;
    if (SameText(name, "rss") || SameText(name, "rdf:RDF"))
      dialect_ = TDialect::Rss;
    else if (SameText(name, "feed"))
      dialect_ = TDialect::Atom;
    else
      dialect_ = TDialect::Other;
    return;
  }
  if (dialect_ == TDialect::Rss && Element.Parent == &document_ && !channelFound_ &&
      Element.Name == "channel") {
    channelFound_ = true;
    channel_ = &Element;
  }
}

TmoxXMLElementHandler::TAfterEnd TFeedReader::ElementEnded(TmoxXMLNode2& Element) {
  if (&Element == &document_) return TAfterEnd::Keep;
  switch (dialect_) {
    case TDialect::Rss:
      return RssElementEnded(Element);
    case TDialect::Atom:
      return AtomElementEnded(Element);
    default:
      // Nothing below the document element of another dialect is read.
      return Element.Parent == &document_ ? TAfterEnd::Drop : TAfterEnd::Keep;
  }
}

namespace {

// Reads the field from Element unless an earlier element supplied it.
void TakeFirst(TFeedField& Field, const TmoxXMLNode2& Element, TFieldDecoder& Decoder) {
  if (Field.Found) return;
  Field.Found = true;
  Decoder.Decode(Element.Text, Field.Value);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// RSS and RDF

TmoxXMLElementHandler::TAfterEnd TFeedReader::RssElementEnded(const TmoxXMLNode2& Element) {
  const std::string_view name = Element.Name;
  if (Element.Parent == &document_) {
    // RSS 1.0 keeps its items beside the channel, RSS 2.0 inside it.
    if (SameText(name, "item") && !Full()) Keep(rootItems_, ReadRssItem(Element));
    if (&Element == channel_) channel_ = nullptr;
    return TAfterEnd::Drop;
  }
  if (Element.Parent != channel_ || channel_ == nullptr) return TAfterEnd::Keep;
  if (SameText(name, "item")) {
    if (!Full()) Keep(channelItems_, ReadRssItem(Element));
  } else if (name == "title")
    TakeFirst(title_, Element, decoder_);
  else if (name == "link")
    TakeFirst(htmlUrl_, Element, decoder_);
  else if (name == "description")
    TakeFirst(description_, Element, decoder_);
  return TAfterEnd::Drop;
}

std::shared_ptr<TFeedItem> TFeedReader::ReadRssItem(const TmoxXMLNode2& Element) {
  static constexpr std::array<std::string_view, 7> kNames = {
      "title", "link", "description", "content:encoded", "dc:date", "pubDate", "guid"};
  enum { kTitle, kLink, kDescription, kContent, kDcDate, kPubDate, kGuid };
  auto item = std::make_shared<TFeedItem>();
  item->IsRead = SameText(Element.GetAttribute("isRead"), "True");
  std::array<const TmoxXMLNode2*, kNames.size()> child{};
  for (const auto& node : Element.Nodes) {
    const std::string_view name = node->Name;
    if (MayDescribeAFile(name) && ReadEnclosure(*node, *item)) continue;
    for (size_t i = 0; i < kNames.size(); ++i) {
      if (name == kNames[i]) {
        if (!child[i]) child[i] = node.get();
        break;
      }
    }
  }
  if (child[kTitle]) decoder_.DecodeTitle(child[kTitle]->Text, item->Title);
  if (child[kLink]) decoder_.Decode(child[kLink]->Text, item->Link);
  // content:encoded wins whenever it is there, even empty; pubDate wins over dc:date.
  // Dates are decoded like every other field, so that a date survives being written to
  // the cache file (escaped) and read back.
  if (const TmoxXMLNode2* description = child[kContent] ? child[kContent] : child[kDescription])
    decoder_.Decode(description->Text, item->Description);
  if (const TmoxXMLNode2* date = child[kPubDate] ? child[kPubDate] : child[kDcDate])
    decoder_.Decode(date->Text, item->PubDate);
  if (child[kGuid]) decoder_.Decode(child[kGuid]->Text, item->Guid);
  return item;
}

void TFeedReader::DecodeAttribute(const TmoxXMLNode2& Element, std::string_view Name, std::string& Out) {
  const int index = Element.AttributeIndex(Name);
  if (index >= 0)
    decoder_.Decode(Element.Attributes[index].Value, Out);
  else
    Out.clear();
}

bool TFeedReader::ReadEnclosure(const TmoxXMLNode2& Element, TFeedItem& Item) {
  const std::string_view name = Element.Name;
  if (name == "enclosure" && dialect_ == TDialect::Rss) {
    AddEnclosure(Element, "url", "length", Item);
  } else if (name == "link" && dialect_ == TDialect::Atom) {
    if (Element.GetAttribute("rel") != "enclosure") return false;
    AddEnclosure(Element, "href", "length", Item);
  } else if (name == "media:content") {
    AddEnclosure(Element, "url", "fileSize", Item);
  } else if (name == "media:group") {
    for (const auto& member : Element.Nodes)
      if (member->Name == "media:content") AddEnclosure(*member, "url", "fileSize", Item);
  } else {
    return false;
  }
  return true;
}

void TFeedReader::AddEnclosure(const TmoxXMLNode2& Element, std::string_view UrlName,
                               std::string_view LengthName, TFeedItem& Item) {
  TEnclosure enclosure;
  DecodeAttribute(Element, UrlName, enclosure.Url);
  // A file without an address cannot be fetched, and a podcast often names the same file
  // twice (enclosure and media:content): the first mention stands for it.
  if (enclosure.Url.empty()) return;
  for (const TEnclosure& known : Item.Enclosures)
    if (known.Url == enclosure.Url) return;
  DecodeAttribute(Element, "type", enclosure.Type);
  DecodeAttribute(Element, LengthName, enclosure.Length);
  Item.Enclosures.push_back(std::move(enclosure));
}

// ---------------------------------------------------------------------------------------
// Atom

TmoxXMLElementHandler::TAfterEnd TFeedReader::AtomElementEnded(const TmoxXMLNode2& Element) {
  if (Element.Parent != &document_) return TAfterEnd::Keep;
  const std::string_view name = Element.Name;
  if (SameText(name, "entry")) {
    if (!Full()) Keep(rootItems_, ReadAtomEntry(Element));
  } else if (name == "title") {
    if (!title_.Found && IsXhtml(Element)) {
      title_.Found = true;
      decoder_.Decode(TextWithoutMarkup(Element), title_.Value);
    }
    TakeFirst(title_, Element, decoder_);
  } else if (name == "link") {
    // The web site is the first alternate link of type text/html or without type. A feed
    // without one keeps the older rule: its first link, when that is of type text/html.
    const std::string_view type = Element.GetAttribute("type");
    if (!atomPageUrl_.Found && IsAlternateLink(Element) && (type.empty() || type == "text/html")) {
      atomPageUrl_.Found = true;
      DecodeAttribute(Element, "href", atomPageUrl_.Value);
    }
    if (!atomLinkSeen_) {
      atomLinkSeen_ = true;
      if (type == "text/html") {
        htmlUrl_.Found = true;
        DecodeAttribute(Element, "href", htmlUrl_.Value);
      }
    }
  }
  return TAfterEnd::Drop;
}

std::shared_ptr<TFeedItem> TFeedReader::ReadAtomEntry(const TmoxXMLNode2& Element) {
  static constexpr std::array<std::string_view, 9> kNames = {
      "title", "issued", "modified", "published", "updated", "summary", "content", "id", "link"};
  enum { kTitle, kIssued, kModified, kPublished, kUpdated, kSummary, kContent, kId, kLink };
  auto item = std::make_shared<TFeedItem>();
  std::array<const TmoxXMLNode2*, kNames.size()> child{};
  const TmoxXMLNode2* alternate = nullptr;
  for (const auto& node : Element.Nodes) {
    // An enclosure link still counts as a link: the first link of an entry without an
    // alternate one names its page, whatever it is.
    const std::string_view name = node->Name;
    if (MayDescribeAFile(name)) ReadEnclosure(*node, *item);
    for (size_t i = 0; i < kNames.size(); ++i) {
      if (name == kNames[i]) {
        if (!child[i]) child[i] = node.get();
        break;
      }
    }
    if (name == "link" && !alternate && IsAlternateLink(*node)) alternate = node.get();
  }
  if (const TmoxXMLNode2* title = child[kTitle])
    decoder_.DecodeTitle(IsXhtml(*title) ? std::string_view(TextWithoutMarkup(*title)) : title->Text.View(),
                         item->Title);
  // The entry's page: its alternate link, else its first link of any kind.
  if (const TmoxXMLNode2* link = alternate ? alternate : child[kLink])
    DecodeAttribute(*link, "href", item->Link);
  // Atom 0.3's dates (modified over issued), else Atom 1.0's (published over updated).
  const TmoxXMLNode2* date = child[kModified] ? child[kModified] : child[kIssued];
  if (!date) date = child[kPublished] ? child[kPublished] : child[kUpdated];
  if (date) decoder_.Decode(date->Text, item->PubDate);
  if (child[kId]) decoder_.Decode(child[kId]->Text, item->Guid);
  // Content with something in it wins over the summary, as content:encoded does over
  // description; it is kept whole, wrapper included. An empty content element counts only
  // when there is nothing else.
  const TmoxXMLNode2* const content = child[kContent];
  if (content && (!content->Text.empty() || content->Nodes.Count() > 0)) {
    decoder_.Decode(SerializeElement(*content), item->Description);
    return item;
  }
  if (const TmoxXMLNode2* summary = child[kSummary])
    decoder_.Decode(IsXhtml(*summary) ? std::string_view(TextWithoutMarkup(*summary)) : summary->Text.View(),
                    item->Description);
  if (content && item->Description.empty()) decoder_.Decode(SerializeElement(*content), item->Description);
  return item;
}

// ---------------------------------------------------------------------------------------

void TFeedReader::ApplyTo() {
  if (dialect_ != TDialect::Rss && dialect_ != TDialect::Atom)
    throw std::runtime_error("1: unrecognized feed format");
  if (dialect_ == TDialect::Rss && !channelFound_) throw std::runtime_error("2: <channel> not found");
  if (title_.Found && !feed_.UserTitle) feed_.Title = std::move(title_.Value);
  if (atomPageUrl_.Found)
    feed_.HtmlUrl = std::move(atomPageUrl_.Value);
  else if (htmlUrl_.Found)
    feed_.HtmlUrl = std::move(htmlUrl_.Value);
  if (description_.Found) feed_.Description = std::move(description_.Value);
  feed_.AdoptItems(std::move(rootItems_), std::move(channelItems_), unread_);
}

std::string SerializeElement(const TmoxXMLNode2& E) {
  std::string out;
  out.reserve(E.Text.size() + 2 * E.Name.size() + 64);
  // The CR around a child's tags stands for the bytes that trimming took from the text
  // beside it. Where trimming took none, the text touches the tag ("<em>event</em>, look", "H<sub>2</sub>O"),
  // there was no blank, and a CR would show as one: the tag and the text stay together.
  bool touchesNextTag = false;
  // Writes a child's text after it, and notes whether it touches the next tag.
  auto textAfter = [&out, &touchesNextTag](const TmoxXMLNode2& Element) {
    const std::string_view after = Trimmed(Element.TextAfter);
    out += after;
    touchesNextTag = !after.empty() && !IsTrimByte(Element.TextAfter.back());
  };
  auto touchesEndTag = [](const TmoxXMLNode2& Element, size_t Depth) {
    return Depth > 0 && !Trimmed(Element.TextAfter).empty() && !IsTrimByte(Element.TextAfter.front());
  };
  // The start tag; true when the element has content and so an end tag to come.
  auto open = [&](const TmoxXMLNode2& Element, size_t Depth) {
    if (!std::exchange(touchesNextTag, false)) out += '\r';
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
      // A child's text after it follows it in the parent's content; E's own is not E's.
      if (Depth > 0) textAfter(Element);
      return false;
    }
    out += '>';
    out += Element.Text;
    return true;
  };
  auto close = [&](const TmoxXMLNode2& Element, size_t Depth) {
    out += "</";
    out += Element.Name;
    out += '>';
    touchesNextTag = false;
    if (!touchesEndTag(Element, Depth)) out += '\r';
    if (Depth > 0) textAfter(Element);
  };
  WalkTree(E, open, close);
  return out;
}

void LoadFeedFromString(TFeed& Feed, std::string Source) {
  Feed.ReplaceItems();
  TmoxXMLParser2 document;
  TFeedReader reader(document, Feed);
  document.LoadFromString(std::move(Source), reader);
  reader.ApplyTo();
}

void TFeed::LoadFromFile(const std::string& Path) {
  // The items are replaced first, so a file that cannot be read leaves an empty list.
  ReplaceItems();
  TmoxXMLParser2 document;
  TFeedReader reader(document, *this);
  document.LoadFromFile(Path, reader);
  reader.ApplyTo();
}

}  // namespace skimbrook
