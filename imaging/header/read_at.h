// ReadAtFunction: how the picture readers get at a file's bytes, so that the same code reads a file on
// disk a window at a time, a file already in memory, or a hostile file built in a test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace imaging {

// Reads up to `length` bytes at `offset` into `out`; returns how many were read (fewer only at the end of
// the file), or -1 on a read error.
using ReadAtFunction = std::function<int64_t(uint64_t offset, size_t length, uint8_t* out)>;

// Reads the `size` bytes at `data` (which must outlive the function).
ReadAtFunction ReadFromMemory(const uint8_t* data, size_t size);

}  // namespace imaging
