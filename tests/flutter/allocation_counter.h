// Largest single heap allocation seen by the test program, for tests that check a hostile length was
// not trusted. The counting operator new lives in allocation_counter.cpp.
#pragma once

#include <cstddef>

namespace flutter {

void ResetLargestAllocation();
size_t LargestAllocationBytes();

}  // namespace flutter
