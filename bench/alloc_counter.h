// Counts every heap allocation the benchmark program makes, the plug-in's code included: this
// program replaces the global operator new and delete (alloc_counter.cpp).
#pragma once

#include <cstdint>

namespace fraywick::bench {

// Allocations made so far by operator new in any of its forms.
std::uint64_t heapAllocations();

}  // namespace fraywick::bench
