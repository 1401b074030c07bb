#include "xml/moxXMLParser2.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "xml/moxSourceText.h"
#include "xml/moxStrings.h"

namespace skimbrook {

namespace {

const TmoxXMLString kEmpty;

constexpr const char* kMissingLessThan = "Missing <";
constexpr const char* kMissingGreaterThan = "Missing >";
constexpr const char* kEndTagFirst = "End tag without an open element";
constexpr const char* kTextWithoutLessThan = "Expected < when parsing text";
constexpr const char* kCdataWithoutEnd = "Expected ]]> when parsing CDATA section";
constexpr const char* kMissingEquals = "missing = when parsing attributes";
constexpr const char* kMissingDelimiter = "missing value delimiter when parsing attributes";
constexpr const char* kDeclarationWithoutEnd = "Missing ?> in xml declaration.";

// How often anything anywhere changed a tree after the parser built it: gave a string
// bytes of its own, added items to a list or took them out. A tree built while this count
// stayed the same holds only what the parser put there (objects in its document's arena,
// strings that refer to the source), so it is released without visiting its objects.
std::atomic<uint64_t> treeEdits{0};

void NoteTreeEdit() {
  treeEdits.fetch_add(1, std::memory_order_relaxed);
}

uint64_t TreeEditCount() {
  return treeEdits.load(std::memory_order_relaxed);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TmoxXMLString

TmoxXMLString::TmoxXMLString(TmoxXMLString&& Other) {
  if (Other.Owns()) {
    data_ = std::exchange(Other.data_, nullptr);
    length_ = std::exchange(Other.length_, 0);
  } else {
    // A string that refers to a document's bytes must not carry them out of the tree.
    Own(Other.View());
  }
}

TmoxXMLString& TmoxXMLString::operator=(const TmoxXMLString& Other) {
  return assign(Other.View());
}

TmoxXMLString& TmoxXMLString::operator=(TmoxXMLString&& Other) {
  if (this == &Other) return *this;
  if (!Other.Owns()) return assign(Other.View());
  NoteTreeEdit();
  Free();
  data_ = std::exchange(Other.data_, nullptr);
  length_ = std::exchange(Other.length_, 0);
  return *this;
}

TmoxXMLString& TmoxXMLString::assign(std::string_view Text) {
  if (!Text.empty()) NoteTreeEdit();
  Own(Text);
  return *this;
}

void TmoxXMLString::clear() noexcept {
  Free();
}

void TmoxXMLString::Refer(std::string_view Text) noexcept {
  Free();
  data_ = Text.data();
  length_ = Text.size();
}

void TmoxXMLString::Own(std::string_view Text) {
  if (Text.empty()) {
    Free();
    return;
  }
  // Copied before the old bytes go: Text may be part of them.
  char* bytes = new char[Text.size()];
  std::memcpy(bytes, Text.data(), Text.size());
  Free();
  data_ = bytes;
  length_ = Text.size() | kOwned;
}

void TmoxXMLString::Free() noexcept {
  if (Owns()) delete[] data_;
  data_ = nullptr;
  length_ = 0;
}

std::ostream& operator<<(std::ostream& Out, const TmoxXMLString& Text) {
  return Out << Text.View();
}

// ---------------------------------------------------------------------------------------
// What the tree classes keep private, for the parser and the lists.

struct TmoxXMLTreeAccess {
  template <class T>
  using TList = TmoxXMLNodeList2<T>;
  template <class T>
  using TItem = typename TList<T>::TItem;

  static void Refer(TmoxXMLString& Text, std::string_view Bytes) noexcept { Text.Refer(Bytes); }
  // Bytes of its own for a string that refers to a document, without counting an edit.
  static void OwnBytes(TmoxXMLString& Text) {
    if (!Text.Owns() && !Text.empty()) Text.Own(Text.View());
  }
  static void SetOwned(TmoxXMLString& Text, std::string_view Bytes) { Text.Own(Bytes); }

  // --- Lists

  template <class T>
  static size_t BlockBytes(size_t Capacity) {
    return TList<T>::kHeadBytes + Capacity * sizeof(TItem<T>);
  }

  // Makes Items the list's items, in a block from Arena.
  template <class T>
  static void SetArenaItems(TList<T>& List, TTreeArena& Arena, T* const* Items, size_t Count) {
    if (Count == 0) return;
    auto* block = reinterpret_cast<typename TList<T>::TBlock*>(Arena.AllocateBytes(BlockBytes<T>(Count)));
    block->Count = static_cast<uint32_t>(Count);
    block->Capacity = static_cast<uint32_t>(Count);
    block->OnHeap = false;
    List.block_ = block;
    TItem<T>* items = List.Items();
    for (size_t i = 0; i < Count; ++i) items[i].item_ = Items[i];
  }

  // Puts the items into a new block on the heap with room for Capacity of them; the old
  // block is freed when it was on the heap too (arena blocks go with their arena).
  template <class T>
  static void MoveToHeapBlock(TList<T>& List, size_t Capacity) {
    auto* old = List.block_;
    const size_t count = old == nullptr ? 0 : old->Count;
    auto* block = static_cast<typename TList<T>::TBlock*>(std::malloc(BlockBytes<T>(Capacity)));
    if (block == nullptr) throw std::bad_alloc();
    block->Count = static_cast<uint32_t>(count);
    block->Capacity = static_cast<uint32_t>(Capacity);
    block->OnHeap = true;
    if (count > 0)
      std::memcpy(reinterpret_cast<char*>(block) + TList<T>::kHeadBytes, List.Items(),
                  count * sizeof(TItem<T>));
    if (old != nullptr && old->OnHeap) std::free(old);
    List.block_ = block;
  }

  // A block on the heap with room for at least one more item, holding the items so far.
  template <class T>
  static void MakeRoomOnHeap(TList<T>& List) {
    const auto* old = List.block_;
    if (old != nullptr && old->OnHeap && old->Count < old->Capacity) return;
    const size_t count = old == nullptr ? 0 : old->Count;
    MoveToHeapBlock(List, std::max<size_t>(4, 2 * count));
  }

  template <class T>
  static void AppendOnHeap(TList<T>& List, T* Item) {
    MakeRoomOnHeap(List);
    List.Items()[List.block_->Count++].item_ = Item;
  }

  // Lets go of the list's block without touching its items.
  template <class T>
  static void ForgetItems(TList<T>& List) noexcept {
    if (List.block_ != nullptr && List.block_->OnHeap) std::free(List.block_);
    List.block_ = nullptr;
  }

  // --- Objects

  static TmoxXMLNode2* NewElement(TTreeArena& Arena) {
    auto* element = ::new (Arena.AllocateObject(sizeof(TmoxXMLNode2))) TmoxXMLNode2;
    element->inArena_ = TTreeArena::SharesObjectMemory();
    return element;
  }

  static TmoxXMLAttribute2* NewAttribute(TTreeArena& Arena) {
    auto* attribute = ::new (Arena.AllocateObject(sizeof(TmoxXMLAttribute2))) TmoxXMLAttribute2;
    attribute->inArena_ = TTreeArena::SharesObjectMemory();
    return attribute;
  }

  static void Destroy(TmoxXMLAttribute2* Attribute) noexcept {
    if (Attribute->inArena_)
      Attribute->~TmoxXMLAttribute2();
    else
      delete Attribute;
  }

  static void DestroyItems(TList<TmoxXMLAttribute2>& List) noexcept {
    for (const auto& attribute : List) Destroy(attribute.get());
    ForgetItems(List);
  }

  static void DestroyItems(TList<TmoxXMLNode2>& List) noexcept {
    if (List.block_ == nullptr) return;
    DestroyElements(List.Items(), List.block_->Count);
    ForgetItems(List);
  }

  static void DestroyElement(TmoxXMLNode2* Element) noexcept {
    TItem<TmoxXMLNode2> item;
    item.item_ = Element;
    DestroyElements(&item, 1);
  }

  // Destroys the Count elements at Items with their subtrees, without recursion.
  static void DestroyElements(const TItem<TmoxXMLNode2>* Items, size_t Count) noexcept {
    std::vector<TmoxXMLNode2*> pending;
    try {
      pending.reserve(Count);
    } catch (...) {
      std::terminate();
    }
    for (size_t i = 0; i < Count; ++i) pending.push_back(Items[i].item_);
    while (!pending.empty()) {
      TmoxXMLNode2* element = pending.back();
      pending.pop_back();
      try {
        for (const auto& child : element->Nodes) pending.push_back(child.get());
      } catch (...) {
        std::terminate();
      }
      ForgetItems(element->Nodes);
      DestroyItems(element->Attributes);
      if (element->inArena_)
        element->~TmoxXMLNode2();
      else
        delete element;
    }
  }

  // Makes Element and its subtree independent of the document: strings own their bytes,
  // lists their blocks, and objects in the arena hold a reference of their own.
  static void Detach(TmoxXMLAttribute2& Attribute) {
    OwnBytes(Attribute.Value);
    OwnBytes(Attribute.Name);
    if (Attribute.inArena_) {
      TTreeArena::HoldAlone(&Attribute);
      Attribute.inArena_ = false;
    }
  }

  template <class T>
  static void MoveBlockToHeap(TList<T>& List) {
    if (List.block_ == nullptr || List.block_->OnHeap) return;
    MoveToHeapBlock(List, List.block_->Count);
  }

  static void Detach(TmoxXMLNode2& Root) {
    std::vector<TmoxXMLNode2*> pending{&Root};
    while (!pending.empty()) {
      TmoxXMLNode2* element = pending.back();
      pending.pop_back();
      OwnBytes(element->Name);
      OwnBytes(element->Text);
      MoveBlockToHeap(element->Attributes);
      for (const auto& attribute : element->Attributes) Detach(*attribute);
      MoveBlockToHeap(element->Nodes);
      for (const auto& child : element->Nodes) pending.push_back(child.get());
      if (element->inArena_) {
        TTreeArena::HoldAlone(element);
        element->inArena_ = false;
      }
    }
  }
};

using TAccess = TmoxXMLTreeAccess;

// ---------------------------------------------------------------------------------------
// TmoxXMLNodeList2

template <class T>
T& TmoxXMLNodeList2<T>::Add(std::unique_ptr<T> Item) {
  NoteTreeEdit();
  TAccess::AppendOnHeap(*this, Item.get());
  return *Item.release();
}

template <class T>
void TmoxXMLNodeList2<T>::Clear() noexcept {
  TAccess::DestroyItems(*this);
}

template <class T>
std::vector<std::unique_ptr<T>> TmoxXMLNodeList2<T>::TakeAll() {
  NoteTreeEdit();
  std::vector<std::unique_ptr<T>> items;
  items.reserve(static_cast<size_t>(Count()));
  // Each item is made independent while the list still holds it, so that a failure on
  // the way leaves every item in the list.
  for (const TItem& item : *this) TAccess::Detach(*item);
  for (const TItem& item : *this) items.emplace_back(item.item_);
  TAccess::ForgetItems(*this);
  return items;
}

template class TmoxXMLNodeList2<TmoxXMLNode2>;
template class TmoxXMLNodeList2<TmoxXMLAttribute2>;

// ---------------------------------------------------------------------------------------
// Finding bytes

namespace {

// Finds "<" and ">" going forward through the source. Where either of them stands in 64
// bytes is taken at once and kept, so that the searches of one tag, its text and the next
// tag, which mostly lie within a few dozen bytes, cost a bit scan each. Both bytes are
// marked alike ("<" and ">" are the only bytes that equal ">" once bit 1 is set), and the
// byte at a mark tells which it is.
class TTagFinder {
 public:
  explicit TTagFinder(const char* End) : end_(End), block_(End) {}

  // The first "<" at or after From, or nullptr.
  const char* NextLess(const char* From) { return Next(From, '<'); }
  // The first ">" at or after From, or nullptr.
  const char* NextGreater(const char* From) { return Next(From, '>'); }

 private:
  static constexpr size_t kBlock = 64;

  const char* Next(const char* From, char Wanted) {
    for (int blocks = 0; From < end_; ++blocks) {
      // A long text goes to the library search, which is faster per byte where the
      // processor has wider registers than the ones used here.
      if (blocks == 2) return NextFar(From, Wanted);
      if (From < block_ || static_cast<size_t>(From - block_) >= kBlock) Load(From);
      for (uint64_t marks = marks_ >> (From - block_); marks != 0; marks &= marks - 1) {
        const char* const at = From + __builtin_ctzll(marks);
        if (*at == Wanted) return at;
      }
      if (end_ - block_ <= static_cast<ptrdiff_t>(kBlock)) return nullptr;
      From = block_ + kBlock;
    }
    return nullptr;
  }

  const char* NextFar(const char* From, char Wanted) {
    const auto* at = static_cast<const char*>(std::memchr(From, Wanted, static_cast<size_t>(end_ - From)));
    if (at != nullptr) Load(at);
    return at;
  }

  void Load(const char* At) {
    block_ = At;
    if (end_ - At >= static_cast<ptrdiff_t>(kBlock)) {
      Classify(At);
    } else {
      // The last bytes: classified from a copy, so that nothing past the end is read.
      char tail[kBlock] = {};
      std::memcpy(tail, At, static_cast<size_t>(end_ - At));
      Classify(tail);
    }
  }

#if defined(__SSE2__)
  void Classify(const char* Bytes) {
    const __m128i bit1 = _mm_set1_epi8(2);
    const __m128i greater = _mm_set1_epi8('>');
    uint64_t marks = 0;
    for (int i = 0; i < 4; ++i) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Bytes + 16 * i));
      const __m128i angle = _mm_cmpeq_epi8(_mm_or_si128(block, bit1), greater);
      marks |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(angle))} << (16 * i);
    }
    marks_ = marks;
  }
#else
  void Classify(const char* Bytes) {
    uint64_t marks = 0;
    for (size_t i = 0; i < kBlock; ++i) marks |= uint64_t{(Bytes[i] | 2) == '>'} << i;
    marks_ = marks;
  }
#endif

  const char* const end_;
  const char* block_;  // the 64 bytes whose marks are kept (none while it is end_)
  uint64_t marks_ = 0;
};

// The first "]]>" in [From, End), or nullptr.
const char* FindCdataEnd(const char* From, const char* End) {
  while (End - From >= 3) {
    const char* bracket =
        static_cast<const char*>(std::memchr(From, ']', static_cast<size_t>(End - From - 2)));
    if (bracket == nullptr) return nullptr;
    if (bracket[1] == ']' && bracket[2] == '>') return bracket;
    From = bracket + 1;
  }
  return nullptr;
}

constexpr std::array<bool, 256> kTagSpaces = [] {
  std::array<bool, 256> spaces{};
  for (unsigned char c : {' ', '\r', '\n', '\t'}) spaces[c] = true;
  return spaces;
}();

// Line breaks and tabs count as spaces in a tag, so a start tag may spread over lines.
bool IsTagSpace(char Byte) {
  return kTagSpaces[static_cast<unsigned char>(Byte)];
}

// The length of the element name at the start of Tag: up to its first tag space. Bytes
// up to End may be read (the source goes on after the tag).
size_t NameLength(std::string_view Tag, const char* End) {
  const char* const p = Tag.data();
  size_t length = 0;
#if defined(__SSE2__)
  // The spaces are control bytes or the blank: sixteen bytes are checked for those at once.
  if (End - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i blank = _mm_set1_epi8(0x20);
    uint32_t low =
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(bytes, blank), bytes)));
    if (Tag.size() < 16) low &= (uint32_t{1} << Tag.size()) - 1;
    for (; low != 0; low &= low - 1) {
      const size_t at = static_cast<size_t>(__builtin_ctz(low));
      if (IsTagSpace(p[at])) return at;
    }
    if (Tag.size() <= 16) return Tag.size();
    length = 16;
  }
#else
  (void)End;
#endif
  while (length < Tag.size() && !IsTagSpace(p[length])) ++length;
  return length;
}

bool HasLineBreakOrTab(std::string_view Text) {
  const char* p = Text.data();
  const char* const end = p + Text.size();
#if defined(__SSE2__)
  // Sixteen bytes at a time, looking for any control byte first: they are rare in tags.
  const __m128i highestControl = _mm_set1_epi8(0x1F);
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i isControl = _mm_cmpeq_epi8(_mm_min_epu8(bytes, highestControl), bytes);
    if (_mm_movemask_epi8(isControl) != 0) break;
  }
#endif
  for (; p < end; ++p)
    if (*p == '\r' || *p == '\n' || *p == '\t') return true;
  return false;
}

// ---------------------------------------------------------------------------------------
// Attribute lists

// Collects the attributes of one attribute list: a repeated name keeps its first place
// and takes the last value. A tag may carry any number of attributes, so past a handful
// the names are looked up through a hash index instead of one by one.
class TAttributeCollector {
 public:
  // Attributes in the document's arena referring to the bytes they were given, or, without
  // Arena, attributes of their own (the declaration's).
  explicit TAttributeCollector(TTreeArena* Arena, std::vector<TmoxXMLAttribute2*>& Scratch)
      : arena_(Arena), attributes_(Scratch) {
    attributes_.clear();
  }

  void Set(std::string_view Name, std::string_view Value) {
    if (TmoxXMLAttribute2* existing = Find(Name)) {
      Store(existing->Value, Value);
      return;
    }
    TmoxXMLAttribute2* attribute = arena_ ? TAccess::NewAttribute(*arena_) : new TmoxXMLAttribute2;
    attributes_.push_back(attribute);
    Store(attribute->Value, Value);
    Store(attribute->Name, Name);
    if (!index_.empty()) index_.emplace(attribute->Name.View(), attributes_.size() - 1);
  }

  // Hands the attributes to Element (the declaration gets them on the heap).
  void MoveTo(TmoxXMLNode2& Element) {
    if (arena_) {
      TAccess::SetArenaItems(Element.Attributes, *arena_, attributes_.data(), attributes_.size());
    } else {
      for (TmoxXMLAttribute2* attribute : attributes_) TAccess::AppendOnHeap(Element.Attributes, attribute);
    }
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

  void Store(TmoxXMLString& Target, std::string_view Bytes) {
    if (arena_)
      TAccess::Refer(Target, Bytes);
    else
      TAccess::SetOwned(Target, Bytes);
  }

  TTreeArena* arena_;
  std::vector<TmoxXMLAttribute2*>& attributes_;
  std::unordered_map<std::string_view, size_t> index_;
};

// The first Byte in Text from From on, or npos. Names and values are mostly a few dozen
// bytes, too short for a library search to pay for its call.
size_t FindIn(std::string_view Text, size_t From, char Byte) {
  const char* p = Text.data() + From;
  const char* const end = Text.data() + Text.size();
#if defined(__SSE2__)
  if (end - p >= 16) {
    const __m128i wanted = _mm_set1_epi8(Byte);
    auto marks = [&wanted](const char* At) {
      return static_cast<unsigned>(
          _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(At)), wanted)));
    };
    for (; end - p > 16; p += 16) {
      if (const unsigned bits = marks(p)) return static_cast<size_t>(p - Text.data()) + __builtin_ctz(bits);
    }
    // The last sixteen bytes, without those before p that were looked at already.
    const char* const last = end - 16;
    if (const unsigned bits = marks(last) & (~0u << (p - last)))
      return static_cast<size_t>(last - Text.data()) + __builtin_ctz(bits);
    return std::string_view::npos;
  }
#endif
  for (; p < end; ++p)
    if (*p == Byte) return static_cast<size_t>(p - Text.data());
  return std::string_view::npos;
}

// Reads Text as a list of name="value" or name='value' pairs into Collector. Returns the
// empty string, or the message of the first malformed pair; the pairs before it stay set.
std::string ParseAttributeList(std::string_view Text, TAttributeCollector& Collector) {
  std::string_view rest = Trim(Text);
  while (!rest.empty()) {
    const size_t equals = FindIn(rest, 0, '=');
    if (equals == std::string_view::npos) return kMissingEquals;
    const size_t open = equals + 1;  // the byte after "="
    if (open >= rest.size() || (rest[open] != '"' && rest[open] != '\'')) return kMissingDelimiter;
    const char delimiter = rest[open];
    const size_t closing = FindIn(rest, open + 1, delimiter);
    if (closing == std::string_view::npos)
      return std::string("Expected closing ") + delimiter + " when parsing attributes";
    // Whatever stands before the "=" is the name, stray words included.
    Collector.Set(Trim(rest.substr(0, equals)), rest.substr(open + 1, closing - open - 1));
    rest.remove_prefix(closing + 1);
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
        finder_(end_),
        document_(Document),
        arena_(Arena),
        handler_(Handler),
        sourceText_(SourceText),
        startEdit_(TreeEditCount()) {
    cursor_ = Position > Source.size() ? end_ : begin_ + (Position - 1);
  }

  // Runs to the end of the root element; false when a step failed, with its message
  // in Error().
  bool Run();
  // Ends every element that has not ended yet, the innermost first (after a failure).
  void EndRemaining();
  // Attaches what waits to its parents without telling the handler (after an exception).
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
  void Ended(TmoxXMLNode2& Element, const TTreeArena::TMark& Mark);

  const char* const begin_;
  const char* const end_;
  const char* cursor_;
  bool lost_ = false;
  TTagFinder finder_;
  TmoxXMLParser2& document_;
  TTreeArena& arena_;
  TmoxXMLElementHandler* const handler_;
  TmoxSourceText& sourceText_;
  const uint64_t startEdit_;
  std::vector<TOpen> open_;
  std::vector<TTreeArena::TMark> openMarks_;  // where each open element began, with a handler
  std::vector<TmoxXMLNode2*> pending_;
  // The element being started, until the handler has heard of it.
  TmoxXMLNode2* starting_ = nullptr;
  TTreeArena::TMark startingMark_;
  std::vector<TmoxXMLAttribute2*> attributes_;  // reused for every tag that has attributes
  std::string error_;
};

bool TElementScan::Run() {
  for (;;) {
    // After an element's text the position is at the next "<" already.
    const char* const less = cursor_ < end_ && *cursor_ == '<' ? cursor_ : finder_.NextLess(cursor_);
    if (less == nullptr) {
      lost_ = true;
      return Fail(kMissingLessThan);
    }
    cursor_ = less;
    const char* const greater = finder_.NextGreater(less + 1);
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
      tag = Trim(tag.substr(0, tag.size() - 1));
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
  const std::string_view attributes = space < Tag.size() ? Trim(Tag.substr(space + 1)) : std::string_view();

  // Only a handler may drop elements, and only a drop needs to know where one began.
  TTreeArena::TMark mark;
  if (handler_) mark = arena_.Mark();
  TmoxXMLNode2* element = &document_;
  TmoxXMLNode2* const parent = open_.empty() ? nullptr : open_.back().Element;
  if (parent != nullptr) {
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
  if (HasLineBreakOrTab(Text)) {
    char* copy = arena_.AllocateBytes(Text.size());
    for (size_t i = 0; i < Text.size(); ++i) copy[i] = IsTagSpace(Text[i]) ? ' ' : Text[i];
    Text = std::string_view(copy, Text.size());
  }
  TAttributeCollector collector(&arena_, attributes_);
  std::string error = ParseAttributeList(Text, collector);
  collector.MoveTo(Element);
  return error.empty() || Fail(std::move(error));
}

// Reads the text right after a start tag: the bytes up to the next "<", or the content
// of a CDATA section when that is the first markup.
bool TElementScan::ReadText(TmoxXMLNode2& Element) {
  static constexpr std::string_view kCdataStart = "<![CDATA[";
  const char* const next = finder_.NextLess(cursor_);
  if (next == nullptr) return Fail(kTextWithoutLessThan);
  if (static_cast<size_t>(end_ - next) >= kCdataStart.size() &&
      std::memcmp(next, kCdataStart.data(), kCdataStart.size()) == 0) {
    cursor_ = next + kCdataStart.size();
    const char* const close = FindCdataEnd(cursor_, end_);
    if (close == nullptr) return Fail(kCdataWithoutEnd);
    TAccess::Refer(Element.Text, Trim(std::string_view(cursor_, static_cast<size_t>(close - cursor_))));
    cursor_ = close + 3;
  } else {
    TAccess::Refer(Element.Text, Trim(std::string_view(cursor_, static_cast<size_t>(next - cursor_))));
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
  if (handler_) {
    const TTreeArena::TMark mark = openMarks_.back();
    openMarks_.pop_back();
    Ended(element, mark);
  }
}

void TElementScan::Ended(TmoxXMLNode2& Element, const TTreeArena::TMark& Mark) {
  if (handler_ == nullptr) return;
  if (handler_->ElementEnded(Element) != TmoxXMLElementHandler::TAfterEnd::Drop) return;
  if (&Element == &document_) return;
  // The element is the last child waiting for its parent, and everything allocated since
  // it was created belongs to its subtree.
  pending_.pop_back();
  const bool untouched = TreeEditCount() == startEdit_;
  if (!(untouched && TTreeArena::SharesObjectMemory())) TAccess::DestroyElement(&Element);
  // Objects taken out of the tree since may still lie in the arena's newest memory.
  if (untouched) arena_.Rewind(Mark);
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
  starting_ = nullptr;
  // The lists filled here are on the heap, which a tree released in one go would leak.
  NoteTreeEdit();
  try {
    openMarks_.clear();
    while (!open_.empty()) {
      const TOpen top = open_.back();
      open_.pop_back();
      const size_t count = pending_.size() - top.FirstChild;
      for (size_t i = 0; i < count; ++i)
        TAccess::AppendOnHeap(top.Element->Nodes, pending_[top.FirstChild + i]);
      pending_.resize(top.FirstChild);
    }
  } catch (...) {
    std::terminate();
  }
}

// ---------------------------------------------------------------------------------------
// Serialisation

// The output of Xml: one buffer that starts at 64 KiB and grows by at least 64 KiB, or by
// the piece when that is longer. realloc lets large buffers grow without copying. Past
// Limit bytes the writer stops and drops everything else.
class TXmlOutput {
 public:
  explicit TXmlOutput(size_t Limit) : limit_(Limit) {}
  ~TXmlOutput() { std::free(data_); }
  TXmlOutput(const TXmlOutput&) = delete;
  TXmlOutput& operator=(const TXmlOutput&) = delete;

  bool Full() const { return full_; }

  void Write(std::string_view Piece) {
    if (full_) return;
    if (Piece.size() > limit_ - length_) {
      Piece = Piece.substr(0, limit_ - length_);
      full_ = true;
    }
    Reserve(Piece.size());
    if (!Piece.empty()) std::memcpy(data_ + length_, Piece.data(), Piece.size());
    length_ += Piece.size();
  }

  void WriteSpaces(size_t Count) {
    if (full_) return;
    if (Count > limit_ - length_) {
      Count = limit_ - length_;
      full_ = true;
    }
    Reserve(Count);
    std::memset(data_ + length_, ' ', Count);
    length_ += Count;
  }

  std::string Take() const { return std::string(data_ == nullptr ? "" : data_, length_); }

 private:
  static constexpr size_t kGrowthStep = 65536;

  void Reserve(size_t PieceLength) {
    if (data_ != nullptr && PieceLength <= capacity_ - length_) return;
    size_t capacity = data_ == nullptr ? kGrowthStep : capacity_;
    if (PieceLength > capacity - length_) capacity += std::max(kGrowthStep, PieceLength);
    void* grown = std::realloc(data_, capacity);
    if (grown == nullptr) throw std::bad_alloc();
    data_ = static_cast<char*>(grown);
    capacity_ = capacity;
  }

  char* data_ = nullptr;
  size_t capacity_ = 0;
  size_t length_ = 0;
  size_t limit_;
  bool full_ = false;
};

void WriteText(TXmlOutput& Out, std::string_view Text) {
  if (std::memchr(Text.data(), '<', Text.size()) == nullptr &&
      std::memchr(Text.data(), '>', Text.size()) == nullptr) {
    Out.Write(Text);
    return;
  }
  Out.Write("<![CDATA[");
  Out.Write(Text);
  Out.Write("]]>");
}

// Writes the start tag, attributes and text of Element; returns false when the element
// was written whole as an empty-element tag.
bool WriteStart(TXmlOutput& Out, const TmoxXMLNode2& Element, size_t Level) {
  Out.WriteSpaces(2 * Level);
  Out.Write("<");
  Out.Write(Element.Name);
  for (const auto& attribute : Element.Attributes) {
    Out.Write(" ");
    Out.Write(attribute->Name);
    Out.Write("='");
    Out.Write(attribute->Value);
    Out.Write("'");
  }
  if (Element.Nodes.Count() == 0 && Element.Text.empty()) {
    Out.Write("/>");
    return false;
  }
  Out.Write(">");
  WriteText(Out, Element.Text);
  return true;
}

void WriteEnd(TXmlOutput& Out, const TmoxXMLNode2& Element, size_t Level) {
  Out.Write("\r\n");
  Out.WriteSpaces(2 * Level);
  Out.Write("</");
  Out.Write(Element.Name);
  Out.Write(">");
}

// The declaration line and the tree, walked with an explicit stack of open elements.
std::string SerializeDocument(const TmoxXMLParser2& Document, size_t Limit) {
  TXmlOutput out(Limit);
  const std::string_view version = Document.Declaration->GetAttribute("version");
  const std::string_view encoding = Document.Declaration->GetAttribute("encoding");
  out.Write("<?xml version='");
  out.Write(version.empty() ? "1.0" : version);
  out.Write("' encoding='");
  out.Write(encoding.empty() ? "ISO-8859-1" : encoding);
  out.Write("' ?>\r\n");

  struct TFrame {
    const TmoxXMLNode2* Element;
    int NextChild;
  };
  std::vector<TFrame> open;
  if (WriteStart(out, Document, 0)) open.push_back({&Document, 0});
  while (!open.empty() && !out.Full()) {
    const size_t level = open.size() - 1;
    TFrame& top = open.back();
    if (top.NextChild < top.Element->Nodes.Count()) {
      const TmoxXMLNode2& child = top.Element->Nodes[top.NextChild++];
      out.Write("\r\n");
      if (WriteStart(out, child, level + 1)) open.push_back({&child, 0});
    } else {
      WriteEnd(out, *top.Element, level);
      open.pop_back();
    }
  }
  return out.Take();
}

// How much of the tree an error text may show. The tree of a truncated document is
// normally about as large as the document, but indentation grows with depth, so a deeply
// nested document would otherwise ask for an error text of many gigabytes.
size_t ErrorTreeLimit(size_t SourceSize) {
  return (size_t{1} << 20) + 2 * SourceSize;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TmoxXMLNode2

void* TmoxXMLAttribute2::operator new(std::size_t Size) {
  return AllocateTreeObject(Size);
}
void TmoxXMLAttribute2::operator delete(void* Attribute, std::size_t Size) noexcept {
  ReleaseTreeObject(Attribute, Size);
}
void* TmoxXMLNode2::operator new(std::size_t Size) {
  return AllocateTreeObject(Size);
}
void TmoxXMLNode2::operator delete(void* Element, std::size_t Size) noexcept {
  ReleaseTreeObject(Element, Size);
}

// The lists destroy the subtree (without recursion) and the attributes.
TmoxXMLNode2::~TmoxXMLNode2() = default;

TmoxXMLNode2* TmoxXMLNode2::FindNode(std::string_view Name) const {
  for (const auto& node : Nodes) {
    if (node->Name.View() == Name) return node.get();
  }
  return nullptr;
}

const TmoxXMLString& TmoxXMLNode2::AttributeName(int Index) const {
  if (Index < 0 || Index >= Attributes.Count()) return kEmpty;
  return Attributes[Index].Name;
}

const TmoxXMLString& TmoxXMLNode2::GetAttribute(std::string_view Name) const {
  const int index = AttributeIndex(Name);
  return index < 0 ? kEmpty : Attributes[index].Value;
}

const TmoxXMLString& TmoxXMLNode2::GetAttribute(int Index) const {
  if (Index < 0 || Index >= Attributes.Count()) return kEmpty;
  return Attributes[Index].Value;
}

void TmoxXMLNode2::SetAttribute(std::string_view Name, std::string_view Value) {
  const int index = AttributeIndex(Name);
  if (index >= 0) {
    Attributes[index].Value.assign(Value);
    return;
  }
  auto attribute = std::make_unique<TmoxXMLAttribute2>();
  attribute->Value.assign(Value);
  attribute->Name.assign(Name);
  Attributes.Add(std::move(attribute));
}

void TmoxXMLNode2::SetAttribute(int Index, std::string_view Value) {
  if (Index < 0 || Index >= Attributes.Count()) return;
  Attributes[Index].Value.assign(Value);
}

int TmoxXMLNode2::AttributeIndex(std::string_view Name) const {
  for (int i = 0; i < Attributes.Count(); ++i) {
    if (Attributes[i].Name.View() == Name) return i;
  }
  return -1;
}

// ---------------------------------------------------------------------------------------
// TmoxXMLParser2

TmoxXMLParser2::TmoxXMLParser2()
    : Declaration(std::make_unique<TmoxXMLNode2>()), source_(std::make_unique<TmoxSourceText>()) {
  Declaration->Document = this;
}

TmoxXMLParser2::~TmoxXMLParser2() {
  ClearTree();
}

void TmoxXMLParser2::ClearTree() noexcept {
  // A tree that nothing has changed since it was built holds nothing but arena memory.
  if (TTreeArena::SharesObjectMemory() && TreeEditCount() == builtInEdit_) {
    TAccess::ForgetItems(Nodes);
    TAccess::ForgetItems(Attributes);
  } else {
    Nodes.Clear();
    Attributes.Clear();
  }
  arena_.Release();
}

void TmoxXMLParser2::LoadFromFile(const std::string& Path) {
  source_->Load(Path);
  LoadSource(nullptr);
}

void TmoxXMLParser2::LoadFromFile(const std::string& Path, TmoxXMLElementHandler& Handler) {
  source_->Load(Path);
  LoadSource(&Handler);
}

void TmoxXMLParser2::LoadFromString(std::string Source) {
  source_->Assign(std::move(Source));
  LoadSource(nullptr);
}

void TmoxXMLParser2::LoadFromString(std::string Source, TmoxXMLElementHandler& Handler) {
  source_->Assign(std::move(Source));
  LoadSource(&Handler);
}

void TmoxXMLParser2::LoadSource(TmoxXMLElementHandler* Handler) {
  LastError.clear();
  try {
    LastError = ParseWith(Handler);
  } catch (const std::runtime_error& e) {
    LastError = e.what();
    throw;
  }
}

std::string TmoxXMLParser2::Parse() {
  return ParseWith(nullptr);
}

std::string TmoxXMLParser2::ParseWith(TmoxXMLElementHandler* Handler) {
  ClearTree();
  Name.clear();
  Text.clear();
  // A reused document must not report the previous document's version or encoding.
  Declaration->Attributes.Clear();
  builtInEdit_ = TreeEditCount();

  const std::string_view source = source_->View();
  size_t position = 1;
  const size_t first = FindFrom("<", source, 1);
  if (first > 0 && HasAt(source, first, "<?xml")) {
    const size_t end = FindFrom("?>", source, first);
    if (end == 0) return kDeclarationWithoutEnd;
    position = end + 2;
    // The byte right after "<?xml" is passed over whatever it is.
    std::vector<TmoxXMLAttribute2*> scratch;
    TAttributeCollector collector(nullptr, scratch);
    std::string error = ParseAttributeList(Trim(Slice(source, first + 6, end - 1)), collector);
    collector.MoveTo(*Declaration);
    if (!error.empty()) throw std::runtime_error(error);
  }

  TElementScan scan(source, position, *this, arena_, Handler, *source_);
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
  result += Slice(source, nearFrom, nearFrom + 49);
  result += "\r\nError position=";
  result += std::to_string(at);
  result += "\r\n";
  result += SerializeDocument(*this, ErrorTreeLimit(source.size()));
  return result;
}

size_t TmoxXMLParser2::SourceBytesReleased() const {
  return source_->ReleasedBytes();
}

std::string TmoxXMLParser2::Xml() {
  return SerializeDocument(*this, SIZE_MAX);
}

}  // namespace skimbrook
