#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local std::size_t tAllocations = 0;
}

namespace vorpix::testing {
std::size_t allocationsOnThisThread() {
    return tAllocations;
}
}  // namespace vorpix::testing

// Replacements of the global allocation functions: count, then use malloc.
// The array, nothrow and aligned forms all end in these two in libstdc++.
void* operator new(std::size_t size) {
    ++tAllocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
