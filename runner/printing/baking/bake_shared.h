// BakeShared: the state every bake of the process shares.
// Thread safety: its members are atomics; any thread may use them.
#pragma once

#include <atomic>
#include <cstdint>

namespace runner::printing {

// The file-name counter, which never goes back, so that names in one folder stay distinct across bakes.
struct BakeShared {
  std::atomic<uint32_t> file_counter{0};
};

}  // namespace runner::printing
