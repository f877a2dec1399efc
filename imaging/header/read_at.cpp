// Reading from memory through a ReadAtFunction.
#include "imaging/header/read_at.h"

#include <algorithm>
#include <cstring>

namespace imaging {

ReadAtFunction ReadFromMemory(const uint8_t* data, size_t size) {
  return [data, size](uint64_t offset, size_t length, uint8_t* out) -> int64_t {
    if (offset >= size) return 0;
    const size_t take = std::min<uint64_t>(length, size - offset);
    if (take > 0) std::memcpy(out, data + offset, take);
    return static_cast<int64_t>(take);
  };
}

}  // namespace imaging
