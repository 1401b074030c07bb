// The tree: its texts, lists and elements, and the document that holds them. The scan
// that builds a tree is in moxXMLScan.cpp, the writer in moxXMLWriter.cpp.
#include "xml/moxXMLParser2.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <stdexcept>
#include <utility>

#include "xml/moxSourceText.h"
#include "xml/moxTreeWalk.h"
#include "xml/moxXMLTree_internal.h"

namespace skimbrook {

namespace {

const TmoxXMLString kEmpty;

}  // namespace

using TAccess = TmoxXMLTreeAccess;

// ---------------------------------------------------------------------------------------
// TmoxXMLString

TmoxXMLString::TmoxXMLString(TmoxXMLString&& Other) {
  if (Other.Owns()) {
    data_ = std::exchange(Other.data_, nullptr);
    length_ = std::exchange(Other.length_, 0);
  } else {
    // Bytes of a document must not be carried out of its tree.
    Own(Other.View());
  }
}

TmoxXMLString& TmoxXMLString::operator=(const TmoxXMLString& Other) {
  return assign(Other.View());
}

TmoxXMLString& TmoxXMLString::operator=(TmoxXMLString&& Other) {
  if (this == &Other) return *this;
  if (!Other.Owns() || InArena()) return assign(Other.View());
  Free();
  data_ = std::exchange(Other.data_, nullptr);
  length_ = std::exchange(Other.length_, 0);
  return *this;
}

TmoxXMLString& TmoxXMLString::assign(std::string_view Text) {
  if (!InArena()) {
    Own(Text);
    return *this;
  }
  if (Text.empty()) {
    data_ = nullptr;
    length_ = kInArena;
    return *this;
  }
  // The old bytes stay in the arena, so Text may be part of them.
  char* bytes = TTreeArena::Of(this).EditBytes(Text.size());
  std::memcpy(bytes, Text.data(), Text.size());
  data_ = bytes;
  length_ = Text.size() | kInArena;
  return *this;
}

void TmoxXMLString::clear() noexcept {
  Free();
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

std::ostream& operator<<(std::ostream& Out, const TmoxXMLString& Text) {
  return Out << Text.View();
}

// ---------------------------------------------------------------------------------------
// Lists. A list of an arena holds only objects of that arena, which own nothing outside
// it; a list on the heap holds only objects on the heap. Copies cross between the two.

template <class T>
void TAccess::AppendInArena(TList<T>& List, T* Item) {
  TTreeListHead* block = List.block_;
  if (block->Count == block->Capacity) {
    const uint32_t capacity = std::max<uint32_t>(4, 2 * block->Capacity);
    auto* grown = reinterpret_cast<TTreeListHead*>(block->Arena->EditBytes(BlockBytes<T>(capacity)));
    *grown = {block->Count, capacity, block->Arena};
    std::memcpy(reinterpret_cast<char*>(grown) + TList<T>::kHeadBytes, List.Items(),
                block->Count * sizeof(TItem<T>));
    List.block_ = block = grown;  // the old block stays in the arena
  }
  List.Items()[block->Count++].item_ = Item;
}

template <class T>
void TAccess::AppendOnHeap(TList<T>& List, T* Item) {
  TTreeListHead* block = List.block_;
  const uint32_t count = block == nullptr ? 0 : block->Count;
  if (block == nullptr || count == block->Capacity) {
    const uint32_t capacity = std::max<uint32_t>(4, 2 * count);
    auto* grown = static_cast<TTreeListHead*>(std::malloc(BlockBytes<T>(capacity)));
    if (grown == nullptr) throw std::bad_alloc();
    *grown = {count, capacity, nullptr};
    if (count > 0)
      std::memcpy(reinterpret_cast<char*>(grown) + TList<T>::kHeadBytes, List.Items(),
                  count * sizeof(TItem<T>));
    std::free(block);
    List.block_ = block = grown;
  }
  List.Items()[block->Count++].item_ = Item;
}

template <>
void TAccess::DestroyHeapItems(TList<TmoxXMLAttribute2>& List) noexcept {
  for (const auto& attribute : List) delete attribute.get();
  std::free(List.block_);
  List.block_ = nullptr;
}

// Each element's children are taken out of it before it goes, so that destroying a
// subtree of any depth never recurses. The elements waiting their turn are chained
// through their Parent fields, so that destroying needs no memory, even when none is left.
template <>
void TAccess::DestroyHeapItems(TList<TmoxXMLNode2>& List) noexcept {
  TmoxXMLNode2* waiting = nullptr;
  auto takeItems = [&waiting](TList<TmoxXMLNode2>& From) {
    for (const auto& item : From) {
      item->Parent = waiting;
      waiting = item.get();
    }
    std::free(From.block_);
    From.block_ = nullptr;
  };
  takeItems(List);
  while (waiting != nullptr) {
    TmoxXMLNode2* element = waiting;
    waiting = element->Parent;
    takeItems(element->Nodes);
    delete element;
  }
}

template <class T>
T& TmoxXMLNodeList2<T>::Add(std::unique_ptr<T> Item) {
  TTreeArena* arena = Arena();
  if (arena == nullptr) {
    TAccess::AppendOnHeap(*this, Item.get());
    return *Item.release();
  }
  T* copy = TAccess::CopyIntoArena(*Item, *arena);
  TAccess::AppendInArena(*this, copy);
  return *copy;
}

template <class T>
void TmoxXMLNodeList2<T>::Clear() noexcept {
  if (Arena() != nullptr)
    TAccess::ForgetItems(*this);
  else
    TAccess::DestroyHeapItems(*this);
}

template <class T>
std::vector<std::unique_ptr<T>> TmoxXMLNodeList2<T>::TakeAll() {
  std::vector<std::unique_ptr<T>> items;
  items.reserve(static_cast<size_t>(Count()));
  // Copied while the list still holds every item, so that a failure on the way leaves
  // the list as it was.
  if (Arena() != nullptr) {
    for (const TItem& item : *this) items.push_back(TAccess::CopyToHeap(*item));
  } else {
    for (const TItem& item : *this) items.emplace_back(item.item_);
    std::free(block_);
    block_ = nullptr;
  }
  TAccess::ForgetItems(*this);
  return items;
}

template <class T>
TmoxXMLNodeList2<T>::~TmoxXMLNodeList2() {
  if (Arena() == nullptr) TAccess::DestroyHeapItems(*this);
}

// Every member of the lists is defined above: an explicit instantiation makes only the
// members already defined (clang holds to that; gcc also makes later ones).
template class TmoxXMLNodeList2<TmoxXMLNode2>;
template class TmoxXMLNodeList2<TmoxXMLAttribute2>;

// ---------------------------------------------------------------------------------------
// Copies

TmoxXMLAttribute2* TAccess::CopyIntoArena(const TmoxXMLAttribute2& Attribute, TTreeArena& Arena) {
  TmoxXMLAttribute2* copy = NewAttribute(Arena, true);
  copy->Value.assign(Attribute.Value);
  copy->Name.assign(Attribute.Name);
  return copy;
}

std::unique_ptr<TmoxXMLAttribute2> TAccess::CopyToHeap(const TmoxXMLAttribute2& Attribute) {
  auto copy = std::make_unique<TmoxXMLAttribute2>();
  copy->Value.assign(Attribute.Value);
  copy->Name.assign(Attribute.Name);
  return copy;
}

namespace {

// Copies the name, texts and attributes of From into To.
void CopyElementContent(const TmoxXMLNode2& From, TmoxXMLNode2& To) {
  To.Name.assign(From.Name);
  To.Text.assign(From.Text);
  To.TextAfter.assign(From.TextAfter);
  for (const auto& attribute : From.Attributes) To.Attributes.Add(TAccess::CopyToHeap(*attribute));
}

}  // namespace

TmoxXMLNode2* TAccess::CopyIntoArena(const TmoxXMLNode2& Element, TTreeArena& Arena) {
  std::vector<TmoxXMLNode2*> copies;  // the copy of each element on the way down
  WalkTree(Element, [&](const TmoxXMLNode2& From, size_t Depth) {
    TmoxXMLNode2* copy = NewElement(Arena, true);
    copy->Document = &Arena.Owner();
    copy->Parent = Depth == 0 ? From.Parent : copies[Depth - 1];
    CopyElementContent(From, *copy);
    if (Depth > 0) AppendInArena(copies[Depth - 1]->Nodes, copy);
    copies.resize(Depth);
    copies.push_back(copy);
    return true;
  });
  return copies.front();
}

std::unique_ptr<TmoxXMLNode2> TAccess::CopyToHeap(const TmoxXMLNode2& Element) {
  std::unique_ptr<TmoxXMLNode2> root;
  std::vector<TmoxXMLNode2*> copies;
  WalkTree(Element, [&](const TmoxXMLNode2& From, size_t Depth) {
    auto made = std::make_unique<TmoxXMLNode2>();
    CopyElementContent(From, *made);
    TmoxXMLNode2* copy = made.get();
    if (Depth == 0) {
      root = std::move(made);
    } else {
      copy->Parent = copies[Depth - 1];
      copies[Depth - 1]->Nodes.Add(std::move(made));
    }
    copies.resize(Depth);
    copies.push_back(copy);
    return true;
  });
  return root;
}

// ---------------------------------------------------------------------------------------
// TmoxXMLNode2

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
    : Declaration(std::make_unique<TmoxXMLNode2>()),
      arena_(*this),
      source_(std::make_unique<TmoxSourceText>()) {
  Declaration->Document = this;
  TAccess::UseArena(Nodes, arena_);
  TAccess::UseArena(Attributes, arena_);
}

TmoxXMLParser2::~TmoxXMLParser2() {
  ClearTree();
  // The arena goes before the root's own lists do: they must not look at it then.
  TAccess::LeaveArena(Nodes);
  TAccess::LeaveArena(Attributes);
}

void TmoxXMLParser2::ClearTree() noexcept {
  TAccess::ForgetItems(Nodes);
  TAccess::ForgetItems(Attributes);
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
  return ParseDocument(*this, source_->View(), arena_, Handler, *source_);
}

size_t TmoxXMLParser2::SourceBytesReleased() const {
  return source_->ReleasedBytes();
}

std::string TmoxXMLParser2::Xml() {
  return SerializeDocument(*this, SIZE_MAX);
}

}  // namespace skimbrook
