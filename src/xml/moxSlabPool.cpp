#include "xml/moxSlabPool.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "xml/moxXMLParser2.h"

#if defined(__SANITIZE_ADDRESS__)
#define SKIMBROOK_PLAIN_TREE_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SKIMBROOK_PLAIN_TREE_MEMORY 1
#endif
#endif

namespace skimbrook {
namespace {

constexpr std::size_t kSlabBytes = 64 * 1024;
constexpr std::size_t kAlignment = alignof(std::max_align_t);

constexpr std::size_t RoundUp(std::size_t Size) {
  return (Size + kAlignment - 1) / kAlignment * kAlignment;
}

// The head of a slab, at its start; the slab is aligned to its size, so any object's
// slab is found by masking the object's address.
struct TSlab {
  // Objects still alive plus the reservation of the thread that is filling the slab.
  std::atomic<std::size_t> References;
  char* Next;
  char* Limit;
};

constexpr std::size_t kHeadBytes = RoundUp(sizeof(TSlab));

TSlab* SlabOf(void* Object) {
  return reinterpret_cast<TSlab*>(reinterpret_cast<std::uintptr_t>(Object) & ~(kSlabBytes - 1));
}

void Unreference(TSlab* Slab, std::size_t Count) noexcept {
  if (Slab->References.fetch_sub(Count, std::memory_order_acq_rel) == Count) {
    Slab->~TSlab();
    std::free(Slab);
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
    void* memory = std::aligned_alloc(kSlabBytes, kSlabBytes);
    if (memory == nullptr) throw std::bad_alloc();
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

}  // namespace skimbrook
