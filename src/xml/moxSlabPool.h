// Memory for the elements and attributes of XML trees. A tree is built in one go and
// released in one go, so its objects are carved one after another out of 64 KiB slabs
// instead of coming one by one from the heap: building costs a pointer bump per object,
// the objects of one document lie next to each other in memory, and a slab goes back to
// the heap when the last object in it is released, on whatever thread that happens.
#pragma once

#include <cstddef>

namespace skimbrook {

// Memory for one object of ObjectSize bytes (aligned for any tree object). Objects of
// the sizes the pool serves come from slabs; other sizes (and everything in builds with
// AddressSanitizer, so that it sees every object) come from the global operator new.
void* AllocateTreeObject(std::size_t ObjectSize);

// Gives back memory from AllocateTreeObject with the same ObjectSize.
void ReleaseTreeObject(void* Object, std::size_t ObjectSize) noexcept;

}  // namespace skimbrook
