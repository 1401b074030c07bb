// The memory of one document's tree: its elements, attributes and child lists, and the
// bytes of every text set after the parse. Everything is bumped out of 64 KiB pages that
// the arena holds until the document is parsed again or destroyed; nothing in it is freed
// one by one, and nothing in it owns memory elsewhere, so a tree goes in one step. One
// document, one thread: there is nothing to share and nothing to lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
// Without AddressSanitizer its annotations do nothing; with it, the sanitizer also sees a
// use of arena memory that was never handed out or was given back by Rewind.
#include <sanitizer/asan_interface.h>
#endif
#endif
#if !defined(ASAN_POISON_MEMORY_REGION)
#define ASAN_POISON_MEMORY_REGION(Address, Size) ((void)(Address), (void)(Size))
#define ASAN_UNPOISON_MEMORY_REGION(Address, Size) ((void)(Address), (void)(Size))
#endif

namespace skimbrook {

class TmoxXMLParser2;
class TTreeArena;

// Room for one more item in Items, growing it as push_back would: a push_back after it
// cannot fail, so nothing made just before it can be lost.
template <class T>
void ReserveOneMore(std::vector<T>& Items) {
  if (Items.size() == Items.capacity()) [[unlikely]]
    Items.reserve(2 * Items.size() + 4);
}

// The head of a block of list items (the items follow it). Lists of a document's elements
// always have one, if only their arena's empty block, so that a list can tell where new
// items must come from.
struct TTreeListHead {
  uint32_t Count;
  uint32_t Capacity;
  TTreeArena* Arena;  // none for a block on the heap
};

class TTreeArena {
 public:
  // Where the arena stood; Rewind returns to it.
  struct TMark {
    size_t Pages = 0;      // pages in use
    char* Next = nullptr;  // the free space in the last of them
    size_t Blocks = 0;     // large byte blocks
    uint64_t Edits = 0;
  };

  explicit TTreeArena(TmoxXMLParser2& Owner) : owner_(Owner), empty_{0, 0, this} {}
  ~TTreeArena() { Release(); }
  TTreeArena(const TTreeArena&) = delete;
  TTreeArena& operator=(const TTreeArena&) = delete;

  // The arena that made Object, which AllocateObject or EditObject handed out: pages are
  // aligned to their size and start with the arena they belong to.
  static TTreeArena& Of(const void* Object);
  TmoxXMLParser2& Owner() const { return owner_; }
  // The block of an empty list of this arena.
  TTreeListHead* EmptyList() { return &empty_; }

  // Memory for one object of the tree while it is parsed (Size up to a few hundred bytes).
  void* AllocateObject(size_t Size) { return Bump(RoundUp(Size)); }
  // Count bytes while the tree is parsed, 8-byte aligned.
  char* AllocateBytes(size_t Count) {
    Count = RoundUp(Count == 0 ? 1 : Count);
    return Count <= kLargeBlock ? Bump(Count) : AllocateBlock(Count);
  }
  // The same for a change to the tree after (or beside) the parse; a change may belong to
  // any element, so Rewind no longer gives back what came before it.
  void* EditObject(size_t Size) {
    ++edits_;
    return AllocateObject(Size);
  }
  char* EditBytes(size_t Count) {
    ++edits_;
    return AllocateBytes(Count);
  }

  TMark Mark() const { return {pages_.size(), next_, blocks_.size(), edits_}; }
  // Gives back everything allocated since Mark, which the caller no longer uses, unless
  // the tree was changed since; returns whether it did.
  bool Rewind(const TMark& Mark) {
    if (Mark.Edits != edits_) return false;
    // Mostly the mark lies in the page still being filled.
    if (Mark.Pages != pages_.size() || Mark.Blocks != blocks_.size()) return RewindPages(Mark);
    next_ = Mark.Next;
    Poison(next_, limit_);
    return true;
  }
  // Gives back everything.
  void Release();

 private:
  static constexpr size_t kPageBytes = 64 * 1024;
  static constexpr size_t kLargeBlock = 8 * 1024;
  struct TPageHead {
    TTreeArena* Arena;
  };
  static constexpr size_t kPageHeadBytes = 16;

  static constexpr size_t RoundUp(size_t Size) { return (Size + 7) & ~size_t{7}; }
  char* Bump(size_t Count) {
    if (static_cast<size_t>(limit_ - next_) < Count) return BumpInNewPage(Count);
    char* memory = next_;
    next_ += Count;
    Unpoison(memory, Count);
    return memory;
  }
  char* BumpInNewPage(size_t Count);
  bool RewindPages(const TMark& Mark);
  char* AllocateBlock(size_t Count);
  void FreePagesFrom(size_t Index) noexcept;
  static void Poison(char* From, char* To) {
    ASAN_POISON_MEMORY_REGION(From, static_cast<size_t>(To - From));
  }
  static void Unpoison(char* Memory, size_t Count) { ASAN_UNPOISON_MEMORY_REGION(Memory, Count); }

  TmoxXMLParser2& owner_;
  TTreeListHead empty_;
  std::vector<void*> pages_;   // in allocation order
  std::vector<void*> blocks_;  // large byte blocks, in allocation order
  void* spare_ = nullptr;      // the last page given back, kept for the next
  char* next_ = nullptr;       // free space in the last page
  char* limit_ = nullptr;
  uint64_t edits_ = 0;
};

}  // namespace skimbrook
