// Room for the loaders' big arrays, backed by huge pages where the system offers them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <vector>

namespace zorv {

// Big arrays are written whole right after they are allocated. Where the system offers huge
// pages, one fault then brings in 2 MB instead of 4 kB: a large object loads with a few dozen
// page faults instead of tens of thousands. Only a hint: the contents are the same either way.
inline void prefer_huge_pages(const void* data, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t huge_page = std::uintptr_t{2} << 20;
  const auto first = (reinterpret_cast<std::uintptr_t>(data) + huge_page - 1) & ~(huge_page - 1);
  const auto last = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(huge_page - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

// Room for items of an array, with the hint for huge pages.
template <typename Item> void make_room(std::vector<Item>& items, std::size_t count) {
  items.reserve(count);
  prefer_huge_pages(items.data(), items.capacity() * sizeof(Item));
}

// An allocator for the loaders' working arrays: a big one starts on a huge page and is hinted
// before anything is written to it, so that it takes a fault every 2 MB from its first byte to its
// last. (make_room can only hint the part of an array that its allocation happens to align.)
template <typename Item> struct huge_page_allocator {
  using value_type = Item;
  static constexpr std::size_t huge_page = std::size_t{2} << 20;

  huge_page_allocator() = default;
  template <typename Other> huge_page_allocator(const huge_page_allocator<Other>&) {}

  Item* allocate(std::size_t count) {
    const std::size_t bytes = count * sizeof(Item);
    if (bytes < huge_page) return static_cast<Item*>(::operator new(bytes));
    void* data = ::operator new (bytes, std::align_val_t{huge_page});
    prefer_huge_pages(data, bytes);
    return static_cast<Item*>(data);
  }
  void deallocate(Item* data, std::size_t count) {
    const std::size_t bytes = count * sizeof(Item);
    if (bytes < huge_page) return ::operator delete(data);
    ::operator delete (data, std::align_val_t{huge_page});
  }
  template <typename Other> bool operator==(const huge_page_allocator<Other>&) const {
    return true;
  }
};

template <typename Item> using big_vector = std::vector<Item, huge_page_allocator<Item>>;

} // namespace zorv
