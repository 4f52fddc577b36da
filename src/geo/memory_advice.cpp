#include "geo/memory_advice.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace wy {

void AdviseHugePages(void* data, size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  if (data == nullptr || size < 2 * kHuge) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

void ReserveText(std::string& text, size_t size) {
  if (size <= text.capacity()) return;
  text.reserve(size);
  AdviseHugePages(text.data(), text.capacity());
}

}  // namespace wy
