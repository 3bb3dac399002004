#include "support/AllocationCounter.h"

#include <cstdlib>
#include <new>

// The replaced operator new takes its memory from malloc, so free() is the
// matching release; GCC's mismatch warning cannot see through the replacement.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

thread_local std::size_t tAllocations = 0;

void* allocate(std::size_t size) noexcept {
    ++tAllocations;
    return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

namespace vorpix::testing {
std::size_t allocationsOnThisThread() {
    return tAllocations;
}
}  // namespace vorpix::testing

// Replacements of every unaligned global allocation function, so that each
// allocation is counted and each release pairs with its allocation (sanitizer
// runtimes check the pairing). Aligned forms stay with the runtime: they pair
// among themselves and nothing under test uses them.
void* operator new(std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}

void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
