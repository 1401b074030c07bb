// A small forward-scanning XML parser: one file becomes a tree of elements, each with a
// name, a text, the text that follows it in its parent, and named attributes. It is deliberately not a
// conforming XML processor: no entity decoding, no namespaces, no character-set conversion, end tags not
// matched by name, and a syntax error stops the scan while keeping the tree built so far.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/moxTreeArena.h"

namespace skimbrook {

class TmoxXMLParser2;
class TmoxXMLNode2;
class TmoxSourceText;
struct TmoxXMLAttribute2;
struct TmoxXMLTreeAccess;

// The text of an element name, element text or attribute value. Text that the parser
// read refers to the document's own bytes, which live as long as the document. Text
// assigned afterwards goes into the document's arena when the string belongs to one of
// its elements or attributes, and is owned by the string otherwise (a copy, the root's
// own texts, an element of no document). It reads like a std::string_view and converts
// to std::string.
class TmoxXMLString {
 public:
  TmoxXMLString() noexcept = default;
  explicit TmoxXMLString(std::string_view Text) { Own(Text); }
  TmoxXMLString(const TmoxXMLString& Other) { Own(Other.View()); }
  // Moving a string whose bytes it does not own copies them: only the tree refers.
  TmoxXMLString(TmoxXMLString&& Other);
  TmoxXMLString& operator=(const TmoxXMLString& Other);
  TmoxXMLString& operator=(TmoxXMLString&& Other);
  TmoxXMLString& operator=(std::string_view Text) { return assign(Text); }
  TmoxXMLString& operator=(const std::string& Text) { return assign(Text); }
  TmoxXMLString& operator=(const char* Text) { return assign(Text); }
  ~TmoxXMLString() { Free(); }

  TmoxXMLString& assign(std::string_view Text);
  void clear() noexcept;

  std::string_view View() const noexcept { return {data(), size()}; }
  operator std::string_view() const noexcept { return View(); }
  operator std::string() const { return std::string(View()); }

  const char* data() const noexcept { return data_ == nullptr ? "" : data_; }
  size_t size() const noexcept { return static_cast<size_t>(length_ & kLengthMask); }
  size_t length() const noexcept { return size(); }
  bool empty() const noexcept { return size() == 0; }
  char operator[](size_t Index) const noexcept { return data_[Index]; }
  char front() const noexcept { return data_[0]; }
  char back() const noexcept { return data_[size() - 1]; }
  const char* begin() const noexcept { return data(); }
  const char* end() const noexcept { return data() + size(); }
  size_t find(std::string_view Text, size_t From = 0) const noexcept { return View().find(Text, From); }
  bool starts_with(std::string_view Text) const noexcept { return View().starts_with(Text); }
  bool ends_with(std::string_view Text) const noexcept { return View().ends_with(Text); }

  friend bool operator==(const TmoxXMLString& A, const TmoxXMLString& B) noexcept {
    return A.View() == B.View();
  }
  friend bool operator==(const TmoxXMLString& A, std::string_view B) noexcept { return A.View() == B; }
  friend std::ostream& operator<<(std::ostream& Out, const TmoxXMLString& Text);

 private:
  friend struct TmoxXMLTreeAccess;
  friend struct TmoxXMLAttribute2;
  friend class TmoxXMLNode2;
  static constexpr uint64_t kOwned = uint64_t{1} << 63;
  static constexpr uint64_t kInArena = uint64_t{1} << 62;
  static constexpr uint64_t kLengthMask = kInArena - 1;

  // A string inside an object of Arena: whatever it is given later goes there too.
  struct TArenaTag {};
  explicit TmoxXMLString(TArenaTag) noexcept : length_(kInArena) {}

  // Refers to Text's bytes, which the caller keeps alive.
  void Refer(std::string_view Text) noexcept {
    Free();
    data_ = Text.data();
    length_ |= Text.size();
  }
  void Own(std::string_view Text);
  void Free() noexcept {
    if (Owns()) delete[] data_;
    data_ = nullptr;
    length_ &= kInArena;
  }
  bool Owns() const noexcept { return (length_ & kOwned) != 0; }
  bool InArena() const noexcept { return (length_ & kInArena) != 0; }

  const char* data_ = nullptr;
  // The size, kOwned when data_ was allocated by this string, kInArena for a string of
  // an arena object (never both).
  uint64_t length_ = 0;
};

// One attribute: the raw bytes between the quotes, and the name.
struct TmoxXMLAttribute2 {
  TmoxXMLAttribute2() = default;

  TmoxXMLString Value;
  TmoxXMLString Name;

 private:
  friend struct TmoxXMLTreeAccess;
  explicit TmoxXMLAttribute2(TmoxXMLString::TArenaTag Tag) noexcept : Value(Tag), Name(Tag) {}
};

// An ordered list that owns its items: clearing or destroying it destroys them. The
// lists of a document's elements keep their items in the document's arena: an item added
// there is copied into it, and an item taken out is copied out of it.
template <class T>
class TmoxXMLNodeList2 {
 public:
  // One place in the list: the item, reached like through a pointer.
  class TItem {
   public:
    T* get() const noexcept { return item_; }
    T* operator->() const noexcept { return item_; }
    T& operator*() const noexcept { return *item_; }
    explicit operator bool() const noexcept { return item_ != nullptr; }

   private:
    friend class TmoxXMLNodeList2;
    friend struct TmoxXMLTreeAccess;
    T* item_;
  };

  TmoxXMLNodeList2() noexcept = default;
  ~TmoxXMLNodeList2();
  TmoxXMLNodeList2(const TmoxXMLNodeList2&) = delete;
  TmoxXMLNodeList2& operator=(const TmoxXMLNodeList2&) = delete;

  int Count() const noexcept { return block_ == nullptr ? 0 : static_cast<int>(block_->Count); }
  // The item at 0-based Index; the caller keeps Index inside 0..Count()-1.
  T& operator[](int Index) const noexcept { return *Items()[Index].item_; }
  // Appends Item (with everything below it) and returns the item as the list holds it.
  T& Add(std::unique_ptr<T> Item);
  void Clear() noexcept;
  // Takes every item out of the list; each then stands on its own, with everything below
  // it, whatever happens to the document it came from.
  std::vector<std::unique_ptr<T>> TakeAll();

  const TItem* begin() const noexcept { return Items(); }
  const TItem* end() const noexcept { return Items() + Count(); }

 private:
  friend struct TmoxXMLTreeAccess;
  friend class TmoxXMLNode2;
  // The items follow the head in the same block.
  using TBlock = TTreeListHead;
  static constexpr size_t kHeadBytes = (sizeof(TBlock) + sizeof(TItem) - 1) / sizeof(TItem) * sizeof(TItem);

  explicit TmoxXMLNodeList2(TTreeArena& Arena) noexcept : block_(Arena.EmptyList()) {}
  TItem* Items() const noexcept {
    return block_ == nullptr ? nullptr
                             : reinterpret_cast<TItem*>(reinterpret_cast<char*>(block_) + kHeadBytes);
  }
  TTreeArena* Arena() const noexcept { return block_ == nullptr ? nullptr : block_->Arena; }

  TBlock* block_ = nullptr;  // none while a list on the heap is empty
};

// One element. Destroying an element destroys its attributes and its whole subtree,
// without recursion, so any nesting depth is safe. The elements of a document live in
// its arena and go with it.
class TmoxXMLNode2 {
 public:
  TmoxXMLNode2() noexcept = default;
  virtual ~TmoxXMLNode2();
  TmoxXMLNode2(const TmoxXMLNode2&) = delete;
  TmoxXMLNode2& operator=(const TmoxXMLNode2&) = delete;

  TmoxXMLString Name;  // exactly as written in the start tag, prefix included
  TmoxXMLString Text;  // trimmed text before the first child tag, or the first CDATA section
  // The bytes between this element's end and the next tag, as written (blanks included,
  // not trimmed as Text is): the parent's content that follows this element, as in
  // "<p>The <a>link</a> works</p>", where a keeps " works". Empty on the root.
  TmoxXMLString TextAfter;
  TmoxXMLParser2* Document = nullptr;  // the document that created the element; none on the root
  TmoxXMLNode2* Parent = nullptr;      // the enclosing element; none on the root
  TmoxXMLNodeList2<TmoxXMLNode2> Nodes;
  TmoxXMLNodeList2<TmoxXMLAttribute2> Attributes;

  // The first direct child whose Name equals Name exactly, or nullptr.
  TmoxXMLNode2* FindNode(std::string_view Name) const;
  int AttributeCount() const { return Attributes.Count(); }
  // The name of attribute Index; empty when Index is not below the count.
  const TmoxXMLString& AttributeName(int Index) const;
  // The value of the attribute named exactly Name; empty when there is none.
  const TmoxXMLString& GetAttribute(std::string_view Name) const;
  // The value of attribute Index; empty when Index is not below the count.
  const TmoxXMLString& GetAttribute(int Index) const;
  // Replaces the value of the attribute named Name, or appends a new attribute.
  void SetAttribute(std::string_view Name, std::string_view Value);
  // Replaces the value of attribute Index when Index is below the count; otherwise nothing.
  void SetAttribute(int Index, std::string_view Value);
  // The 0-based index of the attribute named exactly Name, or -1.
  int AttributeIndex(std::string_view Name) const;

 private:
  friend struct TmoxXMLTreeAccess;
  // An element of Arena: its texts and lists take their memory from there.
  explicit TmoxXMLNode2(TTreeArena& Arena) noexcept
      : Name(TmoxXMLString::TArenaTag{}),
        Text(TmoxXMLString::TArenaTag{}),
        TextAfter(TmoxXMLString::TArenaTag{}),
        Nodes(Arena),
        Attributes(Arena) {}
};

// Receives the elements of a document while it is parsed, for readers that need one
// part of the tree at a time. Elements come in document order of their start tags;
// until an element has ended, its own Nodes stay empty.
class TmoxXMLElementHandler {
 public:
  // What becomes of an element that has ended.
  enum class TAfterEnd { Keep, Drop };

  virtual ~TmoxXMLElementHandler() = default;
  // Element has its name, attributes and text; its children are still to come.
  virtual void ElementStarted(TmoxXMLNode2& Element) = 0;
  // Element and its subtree are complete. Drop takes the element out of the tree and
  // destroys it with its subtree (the root is always kept). When the scan stops on an
  // error, every element not yet ended ends then, the innermost first.
  virtual TAfterEnd ElementEnded(TmoxXMLNode2& Element) = 0;
};

// The document object, which is at the same time the root element.
class TmoxXMLParser2 : public TmoxXMLNode2 {
 public:
  TmoxXMLParser2();
  ~TmoxXMLParser2() override;

  // Error text of the last LoadFromFile or LoadFromString; empty after a clean parse.
  std::string LastError;
  // The pseudo-attributes of the XML declaration ("version", "encoding", ...).
  std::unique_ptr<TmoxXMLNode2> Declaration;

  // Reads the file whole (no conversion) and parses it into LastError. Throws
  // std::runtime_error when the file cannot be read or the declaration is malformed.
  void LoadFromFile(const std::string& Path);
  // As LoadFromFile, handing every element to Handler while the file is parsed. The
  // parts of the file before the elements dropped so far are given back to the system
  // as the scan goes on, so reading a large file needs little more memory than what the
  // handler keeps. With an error, LastError shows the tree that was kept.
  void LoadFromFile(const std::string& Path, TmoxXMLElementHandler& Handler);
  // As LoadFromFile, with the source text given directly.
  void LoadFromString(std::string Source);
  void LoadFromString(std::string Source, TmoxXMLElementHandler& Handler);
  // Builds the tree from the source text; returns the empty string or the error text.
  std::string Parse();
  // The document serialised as text (declaration line, then the elements indented by two
  // spaces per level). Works without recursion.
  std::string Xml();
  // How many bytes of the file being read have been given back to the system so far.
  size_t SourceBytesReleased() const;

 private:
  friend struct TmoxXMLTreeAccess;
  std::string ParseWith(TmoxXMLElementHandler* Handler);
  void LoadSource(TmoxXMLElementHandler* Handler);
  // Destroys the tree below the root and gives back its memory.
  void ClearTree() noexcept;

  TTreeArena arena_;  // the root's lists keep their items here too
  std::unique_ptr<TmoxSourceText> source_;
};

extern template class TmoxXMLNodeList2<TmoxXMLNode2>;
extern template class TmoxXMLNodeList2<TmoxXMLAttribute2>;

}  // namespace skimbrook
