#pragma once

// Counts calls of the global operator new made by the current thread, so a
// test can assert that a lookup allocates nothing.

#include <cstddef>

namespace vorpix::testing {

std::size_t allocationsOnThisThread();

// Allocations made on this thread since construction.
class AllocationScope {
public:
    AllocationScope() : start_(allocationsOnThisThread()) {}
    std::size_t count() const { return allocationsOnThisThread() - start_; }

private:
    std::size_t start_;
};

}  // namespace vorpix::testing
