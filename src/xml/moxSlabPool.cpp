#include "xml/moxSlabPool.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>

#include "xml/moxXMLParser2.h"

#if defined(SKIMBROOK_PLAIN_TREE_MEMORY)
#include <sanitizer/asan_interface.h>
#define SKIMBROOK_POISON(Address, Size) ASAN_POISON_MEMORY_REGION(Address, Size)
#define SKIMBROOK_UNPOISON(Address, Size) ASAN_UNPOISON_MEMORY_REGION(Address, Size)
#else
#define SKIMBROOK_POISON(Address, Size) ((void)(Address), (void)(Size))
#define SKIMBROOK_UNPOISON(Address, Size) ((void)(Address), (void)(Size))
#endif

namespace skimbrook {
namespace {

constexpr std::size_t kSlabBytes = 64 * 1024;
constexpr std::size_t kAlignment = alignof(std::max_align_t);

constexpr std::size_t RoundUp(std::size_t Size, std::size_t Alignment = kAlignment) {
  return (Size + Alignment - 1) / Alignment * Alignment;
}

// The head of a slab, at its start; the slab is aligned to its size, so any object's
// slab is found by masking the object's address.
struct TSlab {
  // Objects still alive plus the reservation of the thread or arena that is filling it.
  std::atomic<std::size_t> References;
  char* Next;
  char* Limit;
};

constexpr std::size_t kHeadBytes = RoundUp(sizeof(TSlab));

TSlab* SlabOf(void* Object) {
  return reinterpret_cast<TSlab*>(reinterpret_cast<std::uintptr_t>(Object) & ~(kSlabBytes - 1));
}

// Slabs given back are kept for the next tree, up to a limit: a fresh slab costs a page
// fault for every 4 KiB first written, which is several times the cost of building the
// objects in it.
class TSlabCache {
 public:
  ~TSlabCache() {
    for (void* slab : free_) std::free(slab);
  }

  void* Take() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (!free_.empty()) {
        void* slab = free_.back();
        free_.pop_back();
        return slab;
      }
    }
    void* memory = std::aligned_alloc(kSlabBytes, kSlabBytes);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
  }

  void Give(void* Slab) noexcept {
#if !defined(SKIMBROOK_PLAIN_TREE_MEMORY)
    // With the sanitizer a slab goes straight back to the heap, so that any later use of
    // it is reported.
    static constexpr std::size_t kKeptSlabs = 128;  // 8 MiB
    std::lock_guard<std::mutex> guard(lock_);
    if (free_.size() < kKeptSlabs) {
      try {
        free_.push_back(Slab);
        return;
      } catch (...) {
      }
    }
#endif
    std::free(Slab);
  }

 private:
  std::mutex lock_;
  std::vector<void*> free_;
};

TSlabCache& Slabs() {
  // Never destroyed: slabs may be released by static destructors of other units.
  static TSlabCache* cache = new TSlabCache;
  return *cache;
}

void Unreference(TSlab* Slab, std::size_t Count) noexcept {
  if (Slab->References.fetch_sub(Count, std::memory_order_acq_rel) == Count) {
    Slab->~TSlab();
    Slabs().Give(Slab);
  }
}

// The slab one thread is filling with objects of one size. It holds a reference for
// every object the slab could still hand out, plus one, so that handing out an object
// needs no atomic operation; the unused part is returned when the slab is retired.
class TFillingSlab {
 public:
  explicit TFillingSlab(std::size_t ObjectSize) : size_(RoundUp(ObjectSize)) {}
  ~TFillingSlab() { Retire(); }
  TFillingSlab(const TFillingSlab&) = delete;
  TFillingSlab& operator=(const TFillingSlab&) = delete;

  void* Allocate() {
    if (slab_ == nullptr || slab_->Next + size_ > slab_->Limit) Replace();
    void* object = slab_->Next;
    slab_->Next += size_;
    return object;
  }

 private:
  std::size_t Capacity() const { return (kSlabBytes - kHeadBytes) / size_; }

  void Replace() {
    Retire();
    void* memory = Slabs().Take();
    char* base = static_cast<char*>(memory);
    slab_ = new (memory) TSlab{{Capacity() + 1}, base + kHeadBytes, base + kHeadBytes + Capacity() * size_};
  }

  void Retire() noexcept {
    if (slab_ == nullptr) return;
    const std::size_t unused = static_cast<std::size_t>(slab_->Limit - slab_->Next) / size_;
    TSlab* slab = slab_;
    slab_ = nullptr;
    Unreference(slab, unused + 1);
  }

  std::size_t size_;
  TSlab* slab_ = nullptr;
};

bool IsPooledSize(std::size_t ObjectSize) {
#if defined(SKIMBROOK_PLAIN_TREE_MEMORY)
  (void)ObjectSize;
  return false;
#else
  return ObjectSize == sizeof(TmoxXMLNode2) || ObjectSize == sizeof(TmoxXMLAttribute2);
#endif
}

TFillingSlab& FillingSlabFor(std::size_t ObjectSize) {
  thread_local TFillingSlab elements(sizeof(TmoxXMLNode2));
  thread_local TFillingSlab attributes(sizeof(TmoxXMLAttribute2));
  return ObjectSize == sizeof(TmoxXMLNode2) ? elements : attributes;
}

}  // namespace

void* AllocateTreeObject(std::size_t ObjectSize) {
  if (!IsPooledSize(ObjectSize)) return ::operator new(ObjectSize);
  return FillingSlabFor(ObjectSize).Allocate();
}

void ReleaseTreeObject(void* Object, std::size_t ObjectSize) noexcept {
  if (Object == nullptr) return;
  if (!IsPooledSize(ObjectSize)) {
    ::operator delete(Object);
    return;
  }
  Unreference(SlabOf(Object), 1);
}

// ---------------------------------------------------------------------------------------
// TTreeArena

void TTreeArena::Unpoison(char* Memory, std::size_t Count) {
  SKIMBROOK_UNPOISON(Memory, Count);
}

char* TTreeArena::AllocateBlock(std::size_t Count) {
  blocks_.reserve(blocks_.size() + 1);
  void* block = std::malloc(Count);
  if (block == nullptr) throw std::bad_alloc();
  blocks_.push_back(block);
  return static_cast<char*>(block);
}

char* TTreeArena::BumpInNewSlab(std::size_t Count) {
  slabs_.reserve(slabs_.size() + 1);
  void* memory = Slabs().Take();
  char* base = static_cast<char*>(memory);
  new (memory) TSlab{{1}, nullptr, nullptr};
  slabs_.push_back(memory);
  limit_ = base + kSlabBytes;
  next_ = base + kHeadBytes + Count;
  SKIMBROOK_POISON(next_, static_cast<std::size_t>(limit_ - next_));
  return base + kHeadBytes;
}

void TTreeArena::Rewind(const TMark& Mark) {
  while (blocks_.size() > Mark.Blocks) {
    std::free(blocks_.back());
    blocks_.pop_back();
  }
  while (slabs_.size() > Mark.Slabs) {
    Unreference(static_cast<TSlab*>(slabs_.back()), 1);
    slabs_.pop_back();
  }
  if (slabs_.empty()) {
    next_ = limit_ = nullptr;
    return;
  }
  next_ = Mark.Next;
  limit_ = static_cast<char*>(slabs_.back()) + kSlabBytes;
  SKIMBROOK_POISON(next_, static_cast<std::size_t>(limit_ - next_));
}

void TTreeArena::HoldAlone(void* Object) {
  SlabOf(Object)->References.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace skimbrook
