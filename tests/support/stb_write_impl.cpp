// The one translation unit that compiles stb_image_write, for the tests' picture files.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
