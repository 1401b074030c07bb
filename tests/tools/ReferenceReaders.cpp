#include "tools/ReferenceReaders.h"

#include <cctype>
#include <stdexcept>
#include <string_view>

#include "model/uRSS.h"

namespace skimbrook::test {

namespace {

// ---------------------------------------------------------------------------------------
// Byte strings with 1-based positions, 0 for "not found"

size_t Find(const std::string& Needle, const std::string& Text, size_t From) {
  if (From == 0) From = 1;
  if (Needle.empty() || Text.empty() || From > Text.size()) return 0;
  size_t at = Text.find(Needle, From - 1);
  return at == std::string::npos ? 0 : at + 1;
}

// The bytes from position First up to and including Last, clipped to the text.
std::string Bytes(const std::string& Text, size_t First, size_t Last) {
  if (First == 0) First = 1;
  if (Last < First || First > Text.size()) return "";
  if (Last > Text.size()) Last = Text.size();
  return Text.substr(First - 1, Last - First + 1);
}

std::string TrimBytes(const std::string& Text) {
  return Trim(Text);
}

// ---------------------------------------------------------------------------------------
// The tree

struct TScanFailure {
  std::string Message;
};

void SetAttribute(std::vector<std::pair<std::string, std::string>>& Attributes, const std::string& Name,
                  const std::string& Value) {
  for (auto& attribute : Attributes) {
    if (attribute.first == Name) {
      attribute.second = Value;
      return;
    }
  }
  Attributes.emplace_back(Name, Value);
}

// Returns the empty string or the message of the first malformed pair.
std::string ParseAttributeList(std::string S, std::vector<std::pair<std::string, std::string>>& Attributes) {
  S = TrimBytes(S);
  while (!S.empty()) {
    const size_t e = Find("=", S, 1);
    if (e == 0) return "missing = when parsing attributes";
    if (e + 1 > S.size() || (S[e] != '"' && S[e] != '\''))
      return "missing value delimiter when parsing attributes";
    const std::string delimiter(1, S[e]);
    const size_t c = Find(delimiter, S, e + 2);
    if (c == 0) return "Expected closing " + delimiter + " when parsing attributes";
    SetAttribute(Attributes, TrimBytes(Bytes(S, 1, e - 1)), Bytes(S, e + 2, c - 1));
    S.erase(0, c);
  }
  return "";
}

class TReferenceScan {
 public:
  TReferenceScan(const std::string& Source, size_t Position, TRefElement& Root)
      : s_(Source), position_(Position), root_(Root) {}

  // Runs the scan; throws TScanFailure.
  void Run() {
    for (;;) {
      bool empty = false;
      const size_t from = position_;
      position_ = Find("<", s_, position_);
      if (position_ == 0) throw TScanFailure{"Missing <"};
      if (ended_ != nullptr) ended_->TextAfter = Bytes(s_, from, position_ - 1);
      ended_ = nullptr;
      const size_t q = Find(">", s_, position_);
      if (q == 0) throw TScanFailure{"Missing >"};
      std::string tag = Bytes(s_, position_ + 1, q - 1);
      if (!tag.empty() && tag[0] == '/') {
        position_ = q + 1;
        if (open_.empty()) throw TScanFailure{"End tag without an open element"};
        ended_ = open_.back();
        open_.pop_back();
        if (open_.empty()) return;
        continue;
      }
      position_ = q + 1;
      if (!tag.empty() && tag.back() == '/') {
        empty = true;
        tag = TrimBytes(tag.substr(0, tag.size() - 1));
      }
      if (!tag.empty() && (tag[0] == '!' || tag[0] == '?')) continue;
      for (char& c : tag)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
      const size_t space = tag.find(' ');
      const std::string name = space == std::string::npos ? tag : tag.substr(0, space);
      const std::string attributes = space == std::string::npos ? "" : TrimBytes(tag.substr(space + 1));
      TRefElement* element = &root_;
      if (!open_.empty()) {
        open_.back()->Children.push_back(std::make_unique<TRefElement>());
        element = open_.back()->Children.back().get();
      }
      element->Name = name;
      if (!attributes.empty()) {
        std::string error = ParseAttributeList(attributes, element->Attributes);
        if (!error.empty()) throw TScanFailure{error};
      }
      if (empty) {
        if (open_.empty()) return;
        ended_ = element;
        continue;
      }
      ReadText(*element);
      open_.push_back(element);
    }
  }

  size_t Position() const { return position_; }

 private:
  void ReadText(TRefElement& Element) {
    const size_t f = Find("<", s_, position_);
    if (f == 0) throw TScanFailure{"Expected < when parsing text"};
    if (Bytes(s_, f, f + 8) == "<![CDATA[") {
      position_ = f + 9;
      const size_t a = Find("]]>", s_, position_);
      if (a == 0) throw TScanFailure{"Expected ]]> when parsing CDATA section"};
      Element.Text = TrimBytes(Bytes(s_, position_, a - 1));
      position_ = a + 3;
    } else {
      Element.Text = TrimBytes(Bytes(s_, position_, f - 1));
      position_ = f;
    }
  }

  const std::string& s_;
  size_t position_;
  TRefElement& root_;
  std::vector<TRefElement*> open_;
  TRefElement* ended_ = nullptr;  // the child that ended last, waiting for its text after
};

std::string Value(const std::vector<std::pair<std::string, std::string>>& Attributes,
                  const std::string& Name) {
  for (const auto& attribute : Attributes)
    if (attribute.first == Name) return attribute.second;
  return "";
}

const std::string* FindValue(const std::vector<std::pair<std::string, std::string>>& Attributes,
                             const std::string& Name) {
  for (const auto& attribute : Attributes)
    if (attribute.first == Name) return &attribute.second;
  return nullptr;
}

void WriteElement(std::string& Out, const TRefElement& Element, size_t Level) {
  const std::string indent(2 * Level, ' ');
  Out += indent + "<" + Element.Name;
  for (const auto& [name, value] : Element.Attributes) Out += " " + name + "='" + value + "'";
  if (Element.Children.empty() && Element.Text.empty()) {
    Out += "/>";
    return;
  }
  Out += ">";
  if (Element.Text.find_first_of("<>") != std::string::npos)
    Out += "<![CDATA[" + Element.Text + "]]>";
  else
    Out += Element.Text;
  for (const auto& child : Element.Children) {
    Out += "\r\n";
    WriteElement(Out, *child, Level + 1);
  }
  Out += "\r\n" + indent + "</" + Element.Name + ">";
}

const TRefElement* FirstChild(const TRefElement& Element, const std::string& Name) {
  for (const auto& child : Element.Children)
    if (child->Name == Name) return child.get();
  return nullptr;
}

bool SameTextIgnoringCase(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    const auto a = static_cast<unsigned char>(A[i]);
    const auto b = static_cast<unsigned char>(B[i]);
    const auto lowerA = (a >= 'A' && a <= 'Z') ? a + 32 : a;
    const auto lowerB = (b >= 'A' && b <= 'Z') ? b + 32 : b;
    if (lowerA != lowerB) return false;
  }
  return true;
}

std::string Decoded(const std::string& Text) {
  return Trim(XmlUnescape(Text));
}

std::string DecodedTitle(const std::string& Text) {
  return Trim(StripTags(XmlUnescape(Text)));
}

bool IsTrimmedAway(char Byte) {
  return static_cast<unsigned char>(Byte) <= 0x20;
}

// A CR stands for what trimming took from the text beside a tag; text that kept its last
// byte touches the next tag, text that kept its first byte touches the end tag before it.
bool TouchesNextTag(const std::string& Text) {
  return !TrimBytes(Text).empty() && !IsTrimmedAway(Text.back());
}

bool TouchesTagBefore(const std::string& Text) {
  return !TrimBytes(Text).empty() && !IsTrimmedAway(Text.front());
}

void SerializeElement(std::string& Out, const TRefElement& Element, bool AfterTouchingText = false,
                      bool IsOutermost = true) {
  if (!AfterTouchingText) Out += "\r";
  Out += "<" + Element.Name;
  for (const auto& [name, value] : Element.Attributes) Out += " " + name + "='" + value + "'";
  if (Element.Children.empty() && Element.Text.empty()) {
    Out += "/>";
    return;
  }
  Out += ">" + Element.Text;
  bool touching = false;
  for (const auto& child : Element.Children) {
    SerializeElement(Out, *child, touching, false);
    Out += TrimBytes(child->TextAfter);
    touching = TouchesNextTag(child->TextAfter);
  }
  Out += "</" + Element.Name + ">";
  if (IsOutermost || !TouchesTagBefore(Element.TextAfter)) Out += "\r";
}

// The texts of Element and of everything below it, each child's text after it following
// the child, joined by single blanks.
void CollectText(const TRefElement& Element, std::vector<std::string>& Pieces) {
  Pieces.push_back(Element.Text);
  for (const auto& child : Element.Children) {
    CollectText(*child, Pieces);
    Pieces.push_back(TrimBytes(child->TextAfter));
  }
}

std::string TextWithoutMarkup(const TRefElement& Element) {
  std::vector<std::string> pieces;
  CollectText(Element, pieces);
  std::string text;
  for (const std::string& piece : pieces) {
    if (piece.empty()) continue;
    if (!text.empty()) text += " ";
    text += piece;
  }
  return text;
}

// Text, or for an element of type xhtml its text without markup.
std::string AtomText(const TRefElement& Element) {
  return Value(Element.Attributes, "type") == "xhtml" ? TextWithoutMarkup(Element) : Element.Text;
}

void AddEnclosure(std::vector<TRefEnclosure>& Enclosures, const TRefElement& Element,
                  const std::string& UrlName, const std::string& LengthName) {
  TRefEnclosure enclosure{Decoded(Value(Element.Attributes, UrlName)),
                          Decoded(Value(Element.Attributes, "type")),
                          Decoded(Value(Element.Attributes, LengthName))};
  if (enclosure.Url.empty()) return;
  for (const auto& known : Enclosures)
    if (known.Url == enclosure.Url) return;
  Enclosures.push_back(enclosure);
}

// The enclosures among the children of an item or entry, in document order.
std::vector<TRefEnclosure> Enclosures(const TRefElement& Element, bool Atom) {
  std::vector<TRefEnclosure> enclosures;
  for (const auto& child : Element.Children) {
    if (!Atom && child->Name == "enclosure") AddEnclosure(enclosures, *child, "url", "length");
    if (Atom && child->Name == "link" && Value(child->Attributes, "rel") == "enclosure")
      AddEnclosure(enclosures, *child, "href", "length");
    if (child->Name == "media:content") AddEnclosure(enclosures, *child, "url", "fileSize");
    if (child->Name == "media:group")
      for (const auto& member : child->Children)
        if (member->Name == "media:content") AddEnclosure(enclosures, *member, "url", "fileSize");
  }
  return enclosures;
}

bool IsAlternate(const TRefElement& Link) {
  const std::string rel = Value(Link.Attributes, "rel");
  return rel.empty() || rel == "alternate";
}

TRefItem RssItem(const TRefElement& Element) {
  TRefItem item;
  item.IsRead = SameTextIgnoringCase(Value(Element.Attributes, "isRead"), "True");
  if (auto* e = FirstChild(Element, "title")) item.Title = DecodedTitle(e->Text);
  if (auto* e = FirstChild(Element, "link")) item.Link = Decoded(e->Text);
  if (auto* e = FirstChild(Element, "description")) item.Description = Decoded(e->Text);
  if (auto* e = FirstChild(Element, "content:encoded")) item.Description = Decoded(e->Text);
  if (auto* e = FirstChild(Element, "dc:date")) item.PubDate = Decoded(e->Text);
  if (auto* e = FirstChild(Element, "pubDate")) item.PubDate = Decoded(e->Text);
  if (auto* e = FirstChild(Element, "guid")) item.Guid = Decoded(e->Text);
  item.Enclosures = Enclosures(Element, false);
  return item;
}

TRefItem AtomEntry(const TRefElement& Element) {
  TRefItem item;
  if (auto* e = FirstChild(Element, "title")) item.Title = DecodedTitle(AtomText(*e));
  const TRefElement* link = nullptr;
  for (const auto& child : Element.Children)
    if (child->Name == "link" && IsAlternate(*child)) {
      link = child.get();
      break;
    }
  if (!link) link = FirstChild(Element, "link");
  if (link) item.Link = Decoded(Value(link->Attributes, "href"));
  const TRefElement* issued = FirstChild(Element, "issued");
  const TRefElement* modified = FirstChild(Element, "modified");
  if (issued) item.PubDate = Decoded(issued->Text);
  if (modified) item.PubDate = Decoded(modified->Text);
  if (!issued && !modified) {
    if (auto* e = FirstChild(Element, "published"))
      item.PubDate = Decoded(e->Text);
    else if (auto* e = FirstChild(Element, "updated"))
      item.PubDate = Decoded(e->Text);
  }
  if (auto* e = FirstChild(Element, "id")) item.Guid = Decoded(e->Text);
  const TRefElement* content = FirstChild(Element, "content");
  if (content && (!content->Text.empty() || !content->Children.empty())) {
    std::string serialized;
    SerializeElement(serialized, *content);
    item.Description = Decoded(serialized);
  } else {
    if (auto* e = FirstChild(Element, "summary")) item.Description = Decoded(AtomText(*e));
    if (content && item.Description.empty()) {
      std::string serialized;
      SerializeElement(serialized, *content);
      item.Description = Decoded(serialized);
    }
  }
  item.Enclosures = Enclosures(Element, true);
  return item;
}

int Count(const std::string& Text) {
  std::string_view digits = Text;
  bool negative = false;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty()) return 0;
  long long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) return 0;
  }
  if (negative) value = -value;
  if (value > 2147483647LL) return 0;
  return static_cast<int>(value);
}

void Walk(const TRefElement& Element, std::vector<TRefEntry>& Entries) {
  for (const auto& child : Element.Children) {
    TRefEntry entry;
    entry.Title = Decoded(Value(child->Attributes, "title"));
    if (entry.Title.empty()) entry.Title = Decoded(Value(child->Attributes, "text"));
    entry.HtmlUrl = Decoded(Value(child->Attributes, "htmlUrl"));
    if (entry.HtmlUrl.empty()) entry.HtmlUrl = Decoded(Value(child->Attributes, "htmlurl"));
    entry.XmlUrl = Decoded(Value(child->Attributes, "xmlUrl"));
    if (entry.XmlUrl.empty()) entry.XmlUrl = Decoded(Value(child->Attributes, "xmlurl"));
    entry.Description = Decoded(Value(child->Attributes, "description"));
    entry.UnreadCount = Count(Value(child->Attributes, "unreadCount"));
    Entries.push_back(entry);
    Walk(*child, Entries);
  }
}

}  // namespace

TRefDocument ReferenceParse(const std::string& Source) {
  TRefDocument document;
  size_t position = 1;
  const size_t p = Find("<", Source, 1);
  if (p > 0 && Bytes(Source, p, p + 4) == "<?xml") {
    const size_t q = Find("?>", Source, p);
    if (q == 0) {
      document.LastError = "Missing ?> in xml declaration.";
      return document;
    }
    position = q + 2;
    std::string error = ParseAttributeList(TrimBytes(Bytes(Source, p + 6, q - 1)), document.Declaration);
    if (!error.empty()) {
      // The load stores the message as its error text before it throws it.
      document.Exception = error;
      document.LastError = error;
      return document;
    }
  }
  TReferenceScan scan(Source, position, document.Root);
  try {
    scan.Run();
  } catch (const TScanFailure& failure) {
    const size_t at = scan.Position();
    const size_t nearFrom = at > 20 ? at - 20 : 1;
    document.LastError = failure.Message + " near " + Bytes(Source, nearFrom, nearFrom + 49) +
                         "\r\nError position=" + std::to_string(at) + "\r\n" +
                         ReferenceXml(document, (size_t{1} << 20) + 2 * Source.size());
  }
  return document;
}

std::string ReferenceXml(const TRefDocument& Document, size_t Limit) {
  std::string version = Value(Document.Declaration, "version");
  std::string encoding = Value(Document.Declaration, "encoding");
  std::string out = "<?xml version='" + (version.empty() ? std::string("1.0") : version) + "' encoding='" +
                    (encoding.empty() ? std::string("ISO-8859-1") : encoding) + "' ?>\r\n";
  WriteElement(out, Document.Root, 0);
  if (out.size() > Limit) out.resize(Limit);
  return out;
}

TRefFeed ReferenceReadFeed(const std::string& Source) {
  TRefFeed feed;
  const TRefDocument document = ReferenceParse(Source);
  if (document.Exception) {
    feed.Error = document.Exception;
    return feed;
  }
  const TRefElement& root = document.Root;
  if (SameTextIgnoringCase(root.Name, "rss") || SameTextIgnoringCase(root.Name, "rdf:RDF")) {
    const TRefElement* channel = FirstChild(root, "channel");
    if (!channel) {
      feed.Error = "2: <channel> not found";
      return feed;
    }
    if (auto* e = FirstChild(*channel, "title")) feed.Title = Decoded(e->Text);
    if (auto* e = FirstChild(*channel, "link")) feed.HtmlUrl = Decoded(e->Text);
    if (auto* e = FirstChild(*channel, "description")) feed.Description = Decoded(e->Text);
    for (const TRefElement* parent : {&root, channel})
      for (const auto& child : parent->Children)
        if (SameTextIgnoringCase(child->Name, "item")) feed.Items.push_back(RssItem(*child));
  } else if (SameTextIgnoringCase(root.Name, "feed")) {
    if (auto* e = FirstChild(root, "title")) feed.Title = Decoded(AtomText(*e));
    for (const auto& child : root.Children) {
      const std::string type = Value(child->Attributes, "type");
      if (child->Name == "link" && IsAlternate(*child) && (type.empty() || type == "text/html")) {
        feed.HtmlUrl = Decoded(Value(child->Attributes, "href"));
        break;
      }
    }
    if (auto* e = FirstChild(root, "link");
        !feed.HtmlUrl && e && Value(e->Attributes, "type") == "text/html") {
      const std::string* href = FindValue(e->Attributes, "href");
      feed.HtmlUrl = href ? Decoded(*href) : "";
    }
    for (const auto& child : root.Children)
      if (SameTextIgnoringCase(child->Name, "entry")) feed.Items.push_back(AtomEntry(*child));
  } else {
    feed.Error = "1: unrecognized feed format";
  }
  return feed;
}

TRefList ReferenceReadList(const std::string& Source) {
  TRefList list;
  const TRefDocument document = ReferenceParse(Source);
  if (document.Exception) {
    list.Error = document.Exception;
    return list;
  }
  list.ParseError = document.LastError;
  if (const TRefElement* body = FirstChild(document.Root, "body")) Walk(*body, list.Entries);
  return list;
}

}  // namespace skimbrook::test
