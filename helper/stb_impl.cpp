// The one translation unit that compiles the stb decoder, JPEG writer and resampler.
//
// Photos come from users, so only the loaders we need are built: the GIF, HDR, PNM and PIC loaders of
// this stb_image version have known memory-safety faults and are left out. Dimensions are capped well
// below what overflows stb's own size arithmetic; the pixel budget in image_io.h is checked first.
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_PSD
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_MAX_DIMENSIONS (1 << 15)
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb/stb_image_resize.h>
