// Counts the program's heap allocations, for benchmarks that report them.
#pragma once

#include <cstdint>

namespace torvane::bench {
std::uint64_t AllocationCount();
}  // namespace torvane::bench
