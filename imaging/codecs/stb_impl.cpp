// The one translation unit that compiles stb_image, for the formats no Debian library of ours reads:
// BMP, TGA and PSD.
//
// Photos come from users, so only those loaders are built: the GIF, HDR, PNM and PIC loaders of this
// stb_image version have known memory-safety faults and are left out (the formats are refused by name
// before stb sees a file). A side may reach 65536 pixels; the area is bounded by the pixel limits of
// bitmap.h, checked before decoding, which keeps every size product far from overflowing.
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_PSD
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS (1 << 16)

#include <cstddef>
#include <cstring>
#include <new>

namespace {
// Zeroed: a damaged file can make the decoder leave parts of its picture unwritten; they then read as
// black instead of leftover heap bytes.
void* StbiAllocate(size_t size) { return new (std::nothrow) unsigned char[size](); }
void StbiFree(void* block) { delete[] static_cast<unsigned char*>(block); }
// stb asks for all three allocation functions; the loaders built here never grow a block.
[[maybe_unused]] void* StbiReallocate(void* block, size_t old_size, size_t new_size) {
  void* grown = StbiAllocate(new_size);
  if (grown == nullptr) return nullptr;  // like realloc: the old block stays valid and owned by the caller
  if (block != nullptr) std::memcpy(grown, block, old_size < new_size ? old_size : new_size);
  StbiFree(block);
  return grown;
}
}  // namespace

#define STBI_MALLOC(size) StbiAllocate(size)
#define STBI_FREE(block) StbiFree(block)
#define STBI_REALLOC_SIZED(block, old_size, new_size) StbiReallocate(block, old_size, new_size)
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
