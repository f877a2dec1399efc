// The one translation unit that compiles the stb decoder, JPEG writer and resampler.
//
// Photos come from users, so only the loaders we need are built: the GIF, HDR, PNM and PIC loaders of
// this stb_image version have known memory-safety faults and are left out. A side may reach 65536 pixels
// (a JPEG's own limit, so long panoramas still load); the area is bounded by the pixel budget in
// image_io.h, checked before decoding, which keeps every size product far from overflowing.
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_PSD
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_MAX_DIMENSIONS (1 << 16)

// The decoder allocates with new[] so that its pixel block can be adopted by an ImageBuffer as it is
// (image_io.cpp relies on this): no second copy of a photo, which halves the peak memory of a decode.
#include <cstddef>
#include <cstring>
#include <new>

namespace {
// Zeroed: a corrupt file can make the decoder read parts of its state it never wrote (a Huffman table
// a scan names but the file never defined); they then read as zeros instead of leftover heap bytes.
void* StbiAllocate(size_t size) { return new (std::nothrow) unsigned char[size](); }
void StbiFree(void* block) { delete[] static_cast<unsigned char*>(block); }
void* StbiReallocate(void* block, size_t old_size, size_t new_size) {
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

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb/stb_image_resize.h>
