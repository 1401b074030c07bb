// A small forward-scanning XML parser: one file becomes a tree of elements, each with a
// name, a text and named attributes. It is deliberately not a conforming XML processor:
// no entity decoding, no namespaces, no character-set conversion, end tags not matched
// by name, and a syntax error stops the scan while keeping the tree built so far.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace skimbrook {

class TmoxXMLParser2;

// One attribute: the raw bytes between the quotes, and the name.
struct TmoxXMLAttribute2 {
  std::string Value;
  std::string Name;

  // Attributes come from the pool of tree memory (a bump per object, no heap call).
  static void* operator new(std::size_t Size);
  static void operator delete(void* Attribute, std::size_t Size) noexcept;
};

// An ordered list that owns its items: clearing or destroying it destroys them.
template <class T>
class TmoxXMLNodeList2 {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  // The item at 0-based Index; the caller keeps Index inside 0..Count()-1.
  T& operator[](int Index) const { return *items_[static_cast<size_t>(Index)]; }
  // Appends Item and returns it.
  T& Add(std::unique_ptr<T> Item) {
    items_.push_back(std::move(Item));
    return *items_.back();
  }
  void Clear() { items_.clear(); }
  // Takes every item out of the list without destroying it (used by the iterative teardown).
  std::vector<std::unique_ptr<T>> TakeAll() { return std::exchange(items_, {}); }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<std::unique_ptr<T>> items_;
};

// One element. Destroying an element destroys its attributes and its whole subtree,
// without recursion, so any nesting depth is safe.
class TmoxXMLNode2 {
 public:
  TmoxXMLNode2() = default;
  virtual ~TmoxXMLNode2();
  TmoxXMLNode2(const TmoxXMLNode2&) = delete;
  TmoxXMLNode2& operator=(const TmoxXMLNode2&) = delete;

  // Elements come from the pool of tree memory (a bump per object, no heap call).
  static void* operator new(std::size_t Size);
  static void operator delete(void* Element, std::size_t Size) noexcept;

  std::string Name;                    // exactly as written in the start tag, prefix included
  std::string Text;                    // trimmed text before the first child tag, or the first CDATA section
  TmoxXMLParser2* Document = nullptr;  // the document that created the element; none on the root
  TmoxXMLNode2* Parent = nullptr;      // the enclosing element; none on the root
  TmoxXMLNodeList2<TmoxXMLNode2> Nodes;
  TmoxXMLNodeList2<TmoxXMLAttribute2> Attributes;

  // The first direct child whose Name equals Name exactly, or nullptr.
  TmoxXMLNode2* FindNode(std::string_view Name) const;
  int AttributeCount() const { return Attributes.Count(); }
  // The name of attribute Index; empty when Index is not below the count.
  const std::string& AttributeName(int Index) const;
  // The value of the attribute named exactly Name; empty when there is none.
  const std::string& GetAttribute(std::string_view Name) const;
  // The value of attribute Index; empty when Index is not below the count.
  const std::string& GetAttribute(int Index) const;
  // Replaces the value of the attribute named Name, or appends a new attribute.
  void SetAttribute(std::string_view Name, std::string_view Value);
  // Replaces the value of attribute Index when Index is below the count; otherwise nothing.
  void SetAttribute(int Index, std::string_view Value);
  // The 0-based index of the attribute named exactly Name, or -1.
  int AttributeIndex(std::string_view Name) const;
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
  // As LoadFromFile, with the source text given directly.
  void LoadFromString(std::string Source);
  // Builds the tree from the source text; returns the empty string or the error text.
  std::string Parse();
  // The document serialised as text (declaration line, then the elements indented by two
  // spaces per level). Works without recursion.
  std::string Xml();

 private:
  std::string source_;
};

}  // namespace skimbrook
