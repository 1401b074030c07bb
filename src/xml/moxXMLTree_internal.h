// What the tree classes keep private, for the sources of the parser: the scan, the
// writer and the tree itself.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "xml/moxXMLParser2.h"

namespace skimbrook {

class TmoxSourceText;

struct TmoxXMLTreeAccess {
  template <class T>
  using TList = TmoxXMLNodeList2<T>;
  template <class T>
  using TItem = typename TList<T>::TItem;

  static void Refer(TmoxXMLString& Text, std::string_view Bytes) noexcept { Text.Refer(Bytes); }

  // An element or attribute of Arena, made by the parse, or (Edit) by a change afterwards.
  static TmoxXMLNode2* NewElement(TTreeArena& Arena, bool Edit = false) {
    return ::new (Edit ? Arena.EditObject(sizeof(TmoxXMLNode2)) : Arena.AllocateObject(sizeof(TmoxXMLNode2)))
        TmoxXMLNode2(Arena);
  }
  static TmoxXMLAttribute2* NewAttribute(TTreeArena& Arena, bool Edit = false) {
    void* memory =
        Edit ? Arena.EditObject(sizeof(TmoxXMLAttribute2)) : Arena.AllocateObject(sizeof(TmoxXMLAttribute2));
    return ::new (memory) TmoxXMLAttribute2(TmoxXMLString::TArenaTag{});
  }

  // Makes the Count items at Items the items of an empty list of Arena, in one block.
  template <class T>
  static void SetArenaItems(TList<T>& List, TTreeArena& Arena, T* const* Items, size_t Count) {
    if (Count == 0) return;
    auto* block = reinterpret_cast<TTreeListHead*>(Arena.AllocateBytes(BlockBytes<T>(Count)));
    *block = {static_cast<uint32_t>(Count), static_cast<uint32_t>(Count), &Arena};
    List.block_ = block;
    TItem<T>* items = List.Items();
    for (size_t i = 0; i < Count; ++i) items[i].item_ = Items[i];
  }

  // The root's lists: they live in the document object, their items in its arena.
  template <class T>
  static void UseArena(TList<T>& List, TTreeArena& Arena) noexcept {
    List.block_ = Arena.EmptyList();
  }
  template <class T>
  static void LeaveArena(TList<T>& List) noexcept {
    List.block_ = nullptr;
  }
  // Empties a list of an arena; what it held stays in the arena.
  template <class T>
  static void ForgetItems(TList<T>& List) noexcept {
    List.block_ = List.Arena() != nullptr ? List.Arena()->EmptyList() : nullptr;
  }

  template <class T>
  static size_t BlockBytes(size_t Capacity) {
    return TList<T>::kHeadBytes + Capacity * sizeof(TItem<T>);
  }
  template <class T>
  static void AppendInArena(TList<T>& List, T* Item);
  template <class T>
  static void AppendOnHeap(TList<T>& List, T* Item);
  template <class T>
  static void DestroyHeapItems(TList<T>& List) noexcept;

  // Copies with everything below them: into Arena as a change of its tree, or onto the heap.
  static TmoxXMLNode2* CopyIntoArena(const TmoxXMLNode2& Element, TTreeArena& Arena);
  static TmoxXMLAttribute2* CopyIntoArena(const TmoxXMLAttribute2& Attribute, TTreeArena& Arena);
  static std::unique_ptr<TmoxXMLNode2> CopyToHeap(const TmoxXMLNode2& Element);
  static std::unique_ptr<TmoxXMLAttribute2> CopyToHeap(const TmoxXMLAttribute2& Attribute);
};

// Builds Document's tree from Source: the declaration, then the element scan. Returns the
// empty string or the error text (message, context, position, the tree built so far).
std::string ParseDocument(TmoxXMLParser2& Document, std::string_view Source, TTreeArena& Arena,
                          TmoxXMLElementHandler* Handler, TmoxSourceText& SourceText);

// The declaration line and the tree, stopping after Limit bytes.
std::string SerializeDocument(const TmoxXMLParser2& Document, size_t Limit);

}  // namespace skimbrook
