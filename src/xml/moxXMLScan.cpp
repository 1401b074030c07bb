// The scan that builds a tree: the declaration, attribute lists and the element scan,
// one forward pass over the source.
#include <cstring>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "xml/moxScan.h"
#include "xml/moxSourceText.h"
#include "xml/moxStrings.h"
#include "xml/moxXMLTree_internal.h"

namespace skimbrook {

namespace {

using TAccess = TmoxXMLTreeAccess;

// The bytes the scan's finder looks for.
constexpr TByteFinder::TWhich kLess = TByteFinder::kA;
constexpr TByteFinder::TWhich kGreater = TByteFinder::kB;

constexpr const char* kMissingLessThan = "Missing <";
constexpr const char* kMissingGreaterThan = "Missing >";
constexpr const char* kEndTagFirst = "End tag without an open element";
constexpr const char* kTextWithoutLessThan = "Expected < when parsing text";
constexpr const char* kCdataWithoutEnd = "Expected ]]> when parsing CDATA section";
constexpr const char* kMissingEquals = "missing = when parsing attributes";
constexpr const char* kMissingDelimiter = "missing value delimiter when parsing attributes";
constexpr const char* kDeclarationWithoutEnd = "Missing ?> in xml declaration.";

// The first "]]>" in [From, End), or nullptr.
const char* FindCdataEnd(const char* From, const char* End) {
  while (End - From >= 3) {
    const char* bracket = FindByte(From, End - 2, ']');
    if (bracket == nullptr) return nullptr;
    if (bracket[1] == ']' && bracket[2] == '>') return bracket;
    From = bracket + 1;
  }
  return nullptr;
}

// Line breaks and tabs count as spaces in a tag, so a start tag may spread over lines.
bool IsTagSpace(char Byte) {
  return Byte == ' ' || Byte == '\r' || Byte == '\n' || Byte == '\t';
}

// The length of the element name at the start of Tag: up to its first tag space. Tag
// spaces are blanks or control bytes, which are looked for first. The bytes up to
// Readable may be read.
size_t NameLength(std::string_view Tag, const char* Readable) {
  const char* const end = Tag.data() + Tag.size();
  const char* at = FindBlankOrControl(Tag.data(), end, Readable);
  while (at != end && !IsTagSpace(*at)) at = FindBlankOrControl(at + 1, end, Readable);
  return static_cast<size_t>(at - Tag.data());
}

// ---------------------------------------------------------------------------------------
// Attribute lists

// Collects the attributes of one start tag in the document's arena, referring to the
// bytes they were given: a repeated name keeps its first place and takes the last value.
// A tag may carry any number of attributes, so past a handful the names are looked up
// through a hash index instead of one by one.
class TAttributeCollector {
 public:
  // The list and the index, working memory kept from one tag to the next.
  struct TScratch {
    std::vector<TmoxXMLAttribute2*> Attributes;
    std::unordered_map<std::string_view, size_t> Index;
  };

  TAttributeCollector(TTreeArena& Arena, TScratch& Scratch)
      : arena_(Arena), attributes_(Scratch.Attributes), index_(Scratch.Index) {
    attributes_.clear();
    if (!index_.empty()) index_.clear();
  }

  void operator()(std::string_view Name, std::string_view Value) {
    if (TmoxXMLAttribute2* existing = Find(Name)) {
      TAccess::Refer(existing->Value, Value);
      return;
    }
    ReserveOneMore(attributes_);
    TmoxXMLAttribute2* attribute = TAccess::NewAttribute(arena_);
    attributes_.push_back(attribute);
    TAccess::Refer(attribute->Value, Value);
    TAccess::Refer(attribute->Name, Name);
    if (!index_.empty()) index_.emplace(attribute->Name.View(), attributes_.size() - 1);
  }

  void MoveTo(TmoxXMLNode2& Element) {
    TAccess::SetArenaItems(Element.Attributes, arena_, attributes_.data(), attributes_.size());
    attributes_.clear();
  }

 private:
  static constexpr size_t kIndexThreshold = 16;

  TmoxXMLAttribute2* Find(std::string_view Name) {
    if (attributes_.size() < kIndexThreshold) {
      for (TmoxXMLAttribute2* attribute : attributes_)
        if (attribute->Name.View() == Name) return attribute;
      return nullptr;
    }
    if (index_.empty()) {
      // First place wins, as in the search one by one.
      for (size_t i = 0; i < attributes_.size(); ++i) index_.emplace(attributes_[i]->Name.View(), i);
    }
    auto found = index_.find(Name);
    return found == index_.end() ? nullptr : attributes_[found->second];
  }

  TTreeArena& arena_;
  std::vector<TmoxXMLAttribute2*>& attributes_;
  std::unordered_map<std::string_view, size_t>& index_;
};

// Reads Text as a list of name="value" or name='value' pairs, handing each to Set; the
// bytes up to Readable may be read. Returns the empty string, or the message of the first
// malformed pair; the pairs before it are set.
template <class TSet>
std::string ParseAttributeList(std::string_view Text, const char* Readable, TSet&& Set) {
  // Lists, and the names in them, mostly start right at their first letter: the plain
  // trim looks at a byte or two where a search would first have to be set up.
  const std::string_view list = Trimmed(Text);
  if (list.empty()) return {};  // perhaps without bytes to point at
  const char* const end = list.data() + list.size();
  for (const char* rest = list.data(); rest != end;) {
    const char* const equals = FindByte(rest, end, Readable, '=');
    if (equals == nullptr) return kMissingEquals;
    const char* const open = equals + 1;
    if (open == end || (*open != '"' && *open != '\'')) return kMissingDelimiter;
    const char* const closing = FindByte(open + 1, end, Readable, *open);
    if (closing == nullptr) return std::string("Expected closing ") + *open + " when parsing attributes";
    // Whatever stands before the "=" is the name, stray words included.
    Set(Trimmed(std::string_view(rest, static_cast<size_t>(equals - rest))),
        std::string_view(open + 1, static_cast<size_t>(closing - open - 1)));
    rest = closing + 1;
  }
  return {};
}

// ---------------------------------------------------------------------------------------
// Element scan

// One forward pass over the source that builds the tree. The open elements and their
// children wait in two vectors until the element ends, when the children move into the
// element's list in one block; neither the number of tags nor their depth costs call stack.
class TElementScan {
 public:
  TElementScan(std::string_view Source, size_t Position, TmoxXMLParser2& Document, TTreeArena& Arena,
               TmoxXMLElementHandler* Handler, TmoxSourceText& SourceText)
      : begin_(Source.data()),
        end_(Source.data() + Source.size()),
        finder_(end_, '<', '>'),
        document_(Document),
        arena_(Arena),
        handler_(Handler),
        sourceText_(SourceText) {
    cursor_ = Position > Source.size() ? end_ : begin_ + (Position - 1);
  }

  // Runs to the end of the root element; false when a step failed, with its message
  // in Error().
  bool Run();
  // Ends every element that has not ended yet, the innermost first (after a failure).
  void EndRemaining();
  // Lists what waits in its parents as far as memory allows, without telling the handler
  // (after an exception). Whatever stays unlisted goes with the arena.
  void Abandon() noexcept;
  const std::string& Error() const { return error_; }
  // The 1-based position reached, 0 when the search for the next tag failed.
  size_t Position() const { return lost_ ? 0 : static_cast<size_t>(cursor_ - begin_) + 1; }

 private:
  struct TOpen {
    TmoxXMLNode2* Element;
    size_t FirstChild;  // where its children begin in pending_
  };

  bool Fail(std::string Message) {
    error_ = std::move(Message);
    return false;
  }
  bool StartElement(std::string_view Tag, bool IsEmptyTag, bool& Completed);
  bool ReadAttributes(std::string_view Text, TmoxXMLNode2& Element);
  bool ReadText(TmoxXMLNode2& Element);
  // The open element has met its end: its children go into its list and the handler
  // hears of it.
  void CloseInnermost();
  void Started(TmoxXMLNode2& Element) {
    if (handler_) handler_->ElementStarted(Element);
  }
  // The handler hears that Element has ended; a child it keeps waits for its text after.
  void Ended(TmoxXMLNode2& Element, const TTreeArena::TMark& Mark);

  const char* const begin_;
  const char* const end_;
  const char* cursor_;
  bool lost_ = false;
  TByteFinder finder_;
  TmoxXMLParser2& document_;
  TTreeArena& arena_;
  TmoxXMLElementHandler* const handler_;
  TmoxSourceText& sourceText_;
  std::vector<TOpen> open_;
  std::vector<TTreeArena::TMark> openMarks_;  // where each open element began, with a handler
  std::vector<TmoxXMLNode2*> pending_;
  // The element being started, until the handler has heard of it.
  TmoxXMLNode2* starting_ = nullptr;
  // The child that has just ended, still in the tree, until the next tag gives the end
  // of its text after.
  TmoxXMLNode2* ended_ = nullptr;
  TTreeArena::TMark startingMark_;
  TAttributeCollector::TScratch attributes_;  // reused for every tag that has attributes
  std::string error_;
};

bool TElementScan::Run() {
  for (;;) {
    // After an element's text the position is at the next "<" already.
    const char* const less = cursor_ < end_ && *cursor_ == '<' ? cursor_ : finder_.Next(cursor_, kLess);
    if (less == nullptr) {
      lost_ = true;
      return Fail(kMissingLessThan);
    }
    if (ended_ != nullptr) {
      // The text after a child, up to the next tag, is part of its parent's content. It is
      // kept as written: trimming it here would cost every end tag of every document.
      TAccess::Refer(ended_->TextAfter, std::string_view(cursor_, static_cast<size_t>(less - cursor_)));
      ended_ = nullptr;
    }
    cursor_ = less;
    const char* const greater = finder_.Next(less + 1, kGreater);
    if (greater == nullptr) return Fail(kMissingGreaterThan);
    std::string_view tag(less + 1, static_cast<size_t>(greater - less - 1));
    cursor_ = greater + 1;

    if (!tag.empty() && tag.front() == '/') {
      // End tags close whatever is open; their names are not compared.
      if (open_.empty()) return Fail(kEndTagFirst);
      CloseInnermost();
      if (open_.empty()) return true;
      continue;
    }
    bool isEmptyTag = false;
    if (!tag.empty() && tag.back() == '/') {
      isEmptyTag = true;
      tag = Trimmed(tag.substr(0, tag.size() - 1));
    }
    // Comments, DOCTYPE, processing instructions and misplaced CDATA end at this ">".
    if (!tag.empty() && (tag.front() == '!' || tag.front() == '?')) continue;

    bool completed = false;
    if (!StartElement(tag, isEmptyTag, completed)) return false;
    if (completed) return true;
  }
}

bool TElementScan::StartElement(std::string_view Tag, bool IsEmptyTag, bool& Completed) {
  const size_t space = NameLength(Tag, end_);
  const std::string_view name = Tag.substr(0, space);
  const std::string_view attributes =
      space < Tag.size() ? Trimmed(Tag.substr(space + 1)) : std::string_view();

  // Only a handler may drop elements, and only a drop needs to know where one began.
  TTreeArena::TMark mark;
  if (handler_) mark = arena_.Mark();
  TmoxXMLNode2* element = &document_;
  TmoxXMLNode2* const parent = open_.empty() ? nullptr : open_.back().Element;
  if (parent != nullptr) {
    ReserveOneMore(pending_);
    element = TAccess::NewElement(arena_);
    element->Document = &document_;
    pending_.push_back(element);
  }
  TAccess::Refer(element->Name, name);
  element->Parent = parent;
  starting_ = element;
  if (handler_) startingMark_ = mark;

  if (!attributes.empty() && !ReadAttributes(attributes, *element)) return false;
  if (IsEmptyTag) {
    starting_ = nullptr;
    Started(*element);
    Ended(*element, mark);
    Completed = parent == nullptr;
    return true;
  }
  if (!ReadText(*element)) return false;
  starting_ = nullptr;
  Started(*element);
  open_.push_back({element, pending_.size()});
  if (handler_) openMarks_.push_back(mark);
  return true;
}

bool TElementScan::ReadAttributes(std::string_view Text, TmoxXMLNode2& Element) {
  // Values keep their line breaks and tabs only as spaces; such lists are read from a
  // copy in the arena, all others straight from the source.
  const char* readable = end_;
  if (HasControlByte(Text.data(), Text.data() + Text.size(), readable)) {
    char* copy = arena_.AllocateBytes(Text.size());
    for (size_t i = 0; i < Text.size(); ++i) copy[i] = IsTagSpace(Text[i]) ? ' ' : Text[i];
    Text = std::string_view(copy, Text.size());
    readable = copy + Text.size();
  }
  TAttributeCollector collector(arena_, attributes_);
  std::string error = ParseAttributeList(Text, readable, collector);
  collector.MoveTo(Element);
  return error.empty() || Fail(std::move(error));
}

// Reads the text right after a start tag: the bytes up to the next "<", or the content
// of a CDATA section when that is the first markup.
bool TElementScan::ReadText(TmoxXMLNode2& Element) {
  static constexpr std::string_view kCdataStart = "<![CDATA[";
  const char* const next = finder_.Next(cursor_, kLess);
  if (next == nullptr) return Fail(kTextWithoutLessThan);
  if (static_cast<size_t>(end_ - next) >= kCdataStart.size() &&
      std::memcmp(next, kCdataStart.data(), kCdataStart.size()) == 0) {
    cursor_ = next + kCdataStart.size();
    const char* const close = FindCdataEnd(cursor_, end_);
    if (close == nullptr) return Fail(kCdataWithoutEnd);
    TAccess::Refer(Element.Text, Trimmed(std::string_view(cursor_, static_cast<size_t>(close - cursor_))));
    cursor_ = close + 3;
  } else {
    TAccess::Refer(Element.Text, Trimmed(std::string_view(cursor_, static_cast<size_t>(next - cursor_))));
    cursor_ = next;
  }
  return true;
}

void TElementScan::CloseInnermost() {
  TmoxXMLNode2& element = *open_.back().Element;
  const size_t first = open_.back().FirstChild;
  if (pending_.size() > first) {
    TAccess::SetArenaItems(element.Nodes, arena_, pending_.data() + first, pending_.size() - first);
    pending_.resize(first);
  }
  open_.pop_back();
  TTreeArena::TMark mark;
  if (handler_) {
    mark = openMarks_.back();
    openMarks_.pop_back();
  }
  Ended(element, mark);
}

void TElementScan::Ended(TmoxXMLNode2& Element, const TTreeArena::TMark& Mark) {
  ended_ = &Element == &document_ ? nullptr : &Element;
  if (handler_ == nullptr) return;
  if (handler_->ElementEnded(Element) != TmoxXMLElementHandler::TAfterEnd::Drop) return;
  if (&Element == &document_) return;
  ended_ = nullptr;
  // The element is the last child waiting for its parent, and everything the parse
  // allocated since it was created belongs to its subtree; the arena keeps it all when
  // the tree was changed meanwhile.
  pending_.pop_back();
  arena_.Rewind(Mark);
  sourceText_.ReleaseBefore(cursor_);
}

void TElementScan::EndRemaining() {
  if (starting_ != nullptr) {
    TmoxXMLNode2* element = starting_;
    starting_ = nullptr;
    Started(*element);
    Ended(*element, startingMark_);
  }
  while (!open_.empty()) CloseInnermost();
}

void TElementScan::Abandon() noexcept {
  try {
    while (!open_.empty()) {
      const TOpen top = open_.back();
      open_.pop_back();
      if (top.Element->Nodes.Count() == 0)
        TAccess::SetArenaItems(top.Element->Nodes, arena_, pending_.data() + top.FirstChild,
                               pending_.size() - top.FirstChild);
      pending_.resize(top.FirstChild);
    }
  } catch (...) {
    // Out of memory: the elements not listed yet stay unlisted.
  }
}

// How much of the tree an error text may show. The tree of a truncated document is
// normally about as large as the document, but indentation grows with depth, so a deeply
// nested document would otherwise ask for an error text of many gigabytes.
size_t ErrorTreeLimit(size_t SourceSize) {
  return (size_t{1} << 20) + 2 * SourceSize;
}

}  // namespace

std::string ParseDocument(TmoxXMLParser2& Document, std::string_view Source, TTreeArena& Arena,
                          TmoxXMLElementHandler* Handler, TmoxSourceText& SourceText) {
  size_t position = 1;
  const size_t first = FindFrom("<", Source, 1);
  if (first > 0 && HasAt(Source, first, "<?xml")) {
    const size_t end = FindFrom("?>", Source, first);
    if (end == 0) return kDeclarationWithoutEnd;
    position = end + 2;
    // The byte right after "<?xml" is passed over whatever it is.
    TmoxXMLNode2& declaration = *Document.Declaration;
    std::string error = ParseAttributeList(Slice(Source, first + 6, end - 1), Source.data() + Source.size(),
                                           [&declaration](std::string_view Name, std::string_view Value) {
                                             declaration.SetAttribute(Name, Value);
                                           });
    if (!error.empty()) throw std::runtime_error(error);
  }

  TElementScan scan(Source, position, Document, Arena, Handler, SourceText);
  bool completed = false;
  try {
    completed = scan.Run();
    if (!completed) scan.EndRemaining();
  } catch (...) {
    scan.Abandon();
    throw;
  }
  if (completed) return {};

  const size_t at = scan.Position();
  const size_t nearFrom = at > 20 ? at - 20 : 1;
  std::string result = scan.Error();
  result += " near ";
  result += Slice(Source, nearFrom, nearFrom + 49);
  result += "\r\nError position=";
  result += std::to_string(at);
  result += "\r\n";
  result += SerializeDocument(Document, ErrorTreeLimit(Source.size()));
  return result;
}

}  // namespace skimbrook
