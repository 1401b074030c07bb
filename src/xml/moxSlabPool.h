// Memory for the elements and attributes of XML trees. A tree is built in one go and
// released in one go, so its objects are carved one after another out of 64 KiB slabs
// instead of coming one by one from the heap: building costs a pointer bump per object,
// the objects of one document lie next to each other in memory, and a slab goes back to
// the heap when the last object in it is released, on whatever thread that happens.
//
// Two kinds of owner share the slabs. Objects created one at a time (operator new of the
// tree classes) each hold a reference on their slab. A document's tree is allocated from
// its own TTreeArena, which holds one reference per slab for all of its objects, so that
// dropping a whole tree, or the last part of it, costs nothing per object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Defined in builds with AddressSanitizer: tree objects are then plain heap objects.
#if defined(__SANITIZE_ADDRESS__)
#define SKIMBROOK_PLAIN_TREE_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SKIMBROOK_PLAIN_TREE_MEMORY 1
#endif
#endif

namespace skimbrook {

// Memory for one object of ObjectSize bytes (aligned for any tree object). Objects of
// the sizes the pool serves come from slabs; other sizes (and everything in builds with
// AddressSanitizer, so that it sees every object) come from the global operator new.
void* AllocateTreeObject(std::size_t ObjectSize);

// Gives back memory from AllocateTreeObject with the same ObjectSize, or memory of an
// arena object that TTreeArena::HoldAlone gave a reference of its own.
void ReleaseTreeObject(void* Object, std::size_t ObjectSize) noexcept;

// Memory of one document's tree: objects and byte blocks bumped out of slabs that the
// arena holds until it is released. Nothing in it is released one by one; Rewind and
// Release give back everything allocated since a mark, or everything.
class TTreeArena {
 public:
  // Where the arena stood; Rewind returns to it.
  struct TMark {
    std::size_t Slabs = 0;   // number of slabs in use
    char* Next = nullptr;    // the free space in the last of them
    std::size_t Blocks = 0;  // number of large byte blocks
  };

  TTreeArena() = default;
  ~TTreeArena() { Release(); }
  TTreeArena(const TTreeArena&) = delete;
  TTreeArena& operator=(const TTreeArena&) = delete;

  // True when objects live in the arena's slabs. In builds with AddressSanitizer every
  // object is a heap object of its own instead (from AllocateTreeObject, to be released
  // with ReleaseTreeObject), so that the sanitizer sees each one.
  static constexpr bool SharesObjectMemory() { return kSharesObjectMemory; }

  // Memory for one tree object; see SharesObjectMemory.
  void* AllocateObject(std::size_t ObjectSize) {
    if constexpr (!kSharesObjectMemory) return AllocateTreeObject(ObjectSize);
    return Bump(RoundUp8(ObjectSize));
  }
  // Count bytes, 8-byte aligned, that live until the arena is rewound past them or released.
  char* AllocateBytes(std::size_t Count) {
    Count = RoundUp8(Count == 0 ? 1 : Count);
    return Count <= kLargeBlock ? Bump(Count) : AllocateBlock(Count);
  }

  TMark Mark() const { return {slabs_.size(), next_, blocks_.size()}; }
  // Gives back everything allocated since Mark. Only allowed when no object or byte
  // block allocated since then is still in use (objects given a reference of their own
  // with HoldAlone excepted: their slab stays until they are released).
  void Rewind(const TMark& Mark);
  // Gives back everything (as Rewind to an empty arena).
  void Release() { Rewind(TMark{}); }

  // Gives an object from AllocateObject (when SharesObjectMemory) a reference of its own
  // on its slab, so that it may outlive the arena; ReleaseTreeObject releases it.
  static void HoldAlone(void* Object);

 private:
#if defined(SKIMBROOK_PLAIN_TREE_MEMORY)
  static constexpr bool kSharesObjectMemory = false;
#else
  static constexpr bool kSharesObjectMemory = true;
#endif
  static constexpr std::size_t kLargeBlock = 8 * 1024;

  static constexpr std::size_t RoundUp8(std::size_t Size) {
    return (Size + 7) & ~std::size_t{7};
  }
  char* Bump(std::size_t Count) {
    if (static_cast<std::size_t>(limit_ - next_) < Count) return BumpInNewSlab(Count);
    char* memory = next_;
    next_ += Count;
    // With the sanitizer, memory given back by Rewind stays poisoned until handed out again.
    if constexpr (!kSharesObjectMemory) Unpoison(memory, Count);
    return memory;
  }
  static void Unpoison(char* Memory, std::size_t Count);
  char* BumpInNewSlab(std::size_t Count);
  char* AllocateBlock(std::size_t Count);

  std::vector<void*> slabs_;   // in allocation order; each holds one reference for the arena
  std::vector<void*> blocks_;  // large byte blocks, in allocation order
  char* next_ = nullptr;       // free space in the last slab
  char* limit_ = nullptr;
};

}  // namespace skimbrook
