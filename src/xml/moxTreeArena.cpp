#include "xml/moxTreeArena.h"

#include <cstdint>
#include <new>

namespace skimbrook {

namespace {

void* NewPage(size_t Bytes) {
  return ::operator new (Bytes, std::align_val_t{Bytes});
}

void DeletePage(void* Page, size_t Bytes) noexcept {
  ASAN_UNPOISON_MEMORY_REGION(Page, Bytes);
  ::operator delete (Page, std::align_val_t{Bytes});
}

}  // namespace

TTreeArena& TTreeArena::Of(const void* Object) {
  const auto page = reinterpret_cast<std::uintptr_t>(Object) & ~(std::uintptr_t{kPageBytes} - 1);
  return *reinterpret_cast<const TPageHead*>(page)->Arena;
}

char* TTreeArena::BumpInNewPage(size_t Count) {
  static_assert(sizeof(TPageHead) <= kPageHeadBytes);
  ReserveOneMore(pages_);  // so that the page cannot be lost on the way in
  void* page = spare_ != nullptr ? spare_ : NewPage(kPageBytes);
  spare_ = nullptr;
  ASAN_UNPOISON_MEMORY_REGION(page, kPageHeadBytes);
  new (page) TPageHead{this};
  pages_.push_back(page);
  char* const base = static_cast<char*>(page);
  limit_ = base + kPageBytes;
  next_ = base + kPageHeadBytes + Count;
  Unpoison(base + kPageHeadBytes, Count);
  Poison(next_, limit_);
  return base + kPageHeadBytes;
}

char* TTreeArena::AllocateBlock(size_t Count) {
  ReserveOneMore(blocks_);
  void* block = ::operator new(Count);
  blocks_.push_back(block);
  return static_cast<char*>(block);
}

void TTreeArena::FreePagesFrom(size_t Index) noexcept {
  while (pages_.size() > Index) {
    void* page = pages_.back();
    pages_.pop_back();
    if (spare_ == nullptr) {
      // Poisoned whole while it waits, so that nothing reaches it through an old pointer.
      ASAN_POISON_MEMORY_REGION(page, kPageBytes);
      spare_ = page;
    } else {
      DeletePage(page, kPageBytes);
    }
  }
}

bool TTreeArena::RewindPages(const TMark& Mark) {
  while (blocks_.size() > Mark.Blocks) {
    ::operator delete(blocks_.back());
    blocks_.pop_back();
  }
  FreePagesFrom(Mark.Pages);
  if (pages_.empty()) {
    next_ = limit_ = nullptr;
    return true;
  }
  next_ = Mark.Next;
  limit_ = static_cast<char*>(pages_.back()) + kPageBytes;
  Poison(next_, limit_);
  return true;
}

void TTreeArena::Release() {
  for (void* block : blocks_) ::operator delete(block);
  blocks_.clear();
  FreePagesFrom(0);
  if (spare_ != nullptr) {
    DeletePage(spare_, kPageBytes);
    spare_ = nullptr;
  }
  next_ = limit_ = nullptr;
  edits_ = 0;
}

}  // namespace skimbrook
