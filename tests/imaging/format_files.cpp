// Picture files through libwebp, libtiff, libjpeg, libpng and libheif.
#include "tests/imaging/format_files.h"

#include <stdio.h>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <webp/encode.h>

#include <cstring>
#include <stdexcept>
#include <string>

#if defined(PICTAVERA_TEST_HEIF)
#include <libheif/heif.h>
#endif

namespace imaging::testing {

std::vector<uint8_t> WebpFile(const Bitmap& image) {
  uint8_t* out = nullptr;
  const size_t size = WebPEncodeLosslessRGBA(image.rgba.data(), image.width_px, image.height_px,
                                             image.width_px * 4, &out);
  if (size == 0) throw std::runtime_error("WebP encoder failed");
  std::vector<uint8_t> bytes(out, out + size);
  WebPFree(out);
  return bytes;
}

namespace {

struct TiffMemory {
  std::vector<uint8_t> bytes;
  uint64_t at = 0;
};
tmsize_t TiffRead(thandle_t h, void* out, tmsize_t n) {
  auto* m = static_cast<TiffMemory*>(h);
  const size_t take = std::min<size_t>(static_cast<size_t>(n), m->bytes.size() - std::min<size_t>(m->at, m->bytes.size()));
  std::memcpy(out, m->bytes.data() + m->at, take);
  m->at += take;
  return static_cast<tmsize_t>(take);
}
tmsize_t TiffWrite(thandle_t h, void* data, tmsize_t n) {
  auto* m = static_cast<TiffMemory*>(h);
  if (m->bytes.size() < m->at + n) m->bytes.resize(m->at + n);
  std::memcpy(m->bytes.data() + m->at, data, static_cast<size_t>(n));
  m->at += n;
  return n;
}
toff_t TiffSeek(thandle_t h, toff_t off, int whence) {
  auto* m = static_cast<TiffMemory*>(h);
  m->at = (whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->at : m->bytes.size()) + off;
  return m->at;
}
int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t h) { return static_cast<TiffMemory*>(h)->bytes.size(); }
int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}

}  // namespace

std::vector<uint8_t> TiffFile(const Bitmap& image, int orientation, bool deflate) {
  TiffMemory memory;
  TIFF* tiff = TIFFClientOpen("test", "w", &memory, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap, TiffUnmap);
  if (tiff == nullptr) throw std::runtime_error("TIFF writer failed");
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, image.width_px);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, image.height_px);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  uint16_t extra = EXTRASAMPLE_UNASSALPHA;
  TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_ORIENTATION, orientation);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, deflate ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 8);
  for (int y = 0; y < image.height_px; ++y) {
    TIFFWriteScanline(tiff, const_cast<uint8_t*>(image.pixel(0, y)), static_cast<uint32_t>(y), 0);
  }
  TIFFClose(tiff);
  return memory.bytes;
}

std::vector<uint8_t> JpegFile(const Bitmap& image, const std::vector<uint8_t>& icc) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr error;
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = static_cast<JDIMENSION>(image.width_px);
  cinfo.image_height = static_cast<JDIMENSION>(image.height_px);
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_EXT_RGBA;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  if (!icc.empty()) jpeg_write_icc_profile(&cinfo, icc.data(), static_cast<unsigned>(icc.size()));
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(image.pixel(0, static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> bytes(out, out + size);
  free(out);
  return bytes;
}

namespace {
void PngAppend(png_structp png, png_bytep data, size_t length) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  bytes->insert(bytes->end(), data, data + length);
}
void PngNoFlush(png_structp) {}
}  // namespace

std::vector<uint8_t> PngFileWithColour(const Bitmap& image, const std::vector<uint8_t>& icc, double gamma) {
  std::vector<uint8_t> bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &bytes, PngAppend, PngNoFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width_px), static_cast<png_uint_32>(image.height_px), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!icc.empty()) png_set_iCCP(png, info, "test", 0, icc.data(), static_cast<png_uint_32>(icc.size()));
  if (gamma > 0) png_set_gAMA(png, info, gamma);
  png_write_info(png, info);
  for (int y = 0; y < image.height_px; ++y) png_write_row(png, const_cast<png_bytep>(image.pixel(0, y)));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return bytes;
}

#if defined(PICTAVERA_TEST_HEIF)

bool CanWriteHeic() { return heif_have_encoder_for_format(heif_compression_HEVC) != 0; }

namespace {
heif_error WriteBytes(heif_context*, const void* data, size_t size, void* user) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(user);
  const auto* p = static_cast<const uint8_t*>(data);
  bytes->insert(bytes->end(), p, p + size);
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
}

// An EXIF item: the offset of the TIFF header (0), then a TIFF block whose first directory holds only
// the orientation.
std::vector<uint8_t> ExifWithOrientation(int orientation) {
  return {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0,
          static_cast<uint8_t>(orientation), 0, 0, 0, 0, 0, 0, 0};
}
}  // namespace

std::vector<uint8_t> HeicFile(const Bitmap& image, int orientation, int exif_orientation) {
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
  if (encoder == nullptr) throw std::runtime_error("no HEVC encoder");
  heif_encoder_set_lossy_quality(encoder, 90);
  heif_image* picture = nullptr;
  heif_image_create(image.width_px, image.height_px, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, &picture);
  heif_image_add_plane(picture, heif_channel_interleaved, image.width_px, image.height_px, 8);
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(picture, heif_channel_interleaved, &stride);
  for (int y = 0; y < image.height_px; ++y) std::memcpy(plane + y * stride, image.pixel(0, y), image.row_bytes());
  heif_encoding_options* options = heif_encoding_options_alloc();
  options->image_orientation = static_cast<heif_orientation>(orientation);
  heif_image_handle* handle = nullptr;
  const heif_error encoded = heif_context_encode_image(context, picture, encoder, options, &handle);
  heif_encoding_options_free(options);
  if (encoded.code != heif_error_Ok) throw std::runtime_error(std::string("HEIC encoder: ") + encoded.message);
  if (exif_orientation > 0) {
    const std::vector<uint8_t> tiff = ExifWithOrientation(exif_orientation);
    std::vector<uint8_t> item = {0, 0, 0, 0};
    item.insert(item.end(), tiff.begin(), tiff.end());
    heif_context_add_exif_metadata(context, handle, tiff.data(), static_cast<int>(tiff.size()));
  }
  std::vector<uint8_t> bytes;
  heif_writer writer{1, WriteBytes};
  heif_context_write(context, &writer, &bytes);
  heif_image_handle_release(handle);
  heif_image_release(picture);
  heif_encoder_release(encoder);
  heif_context_free(context);
  return bytes;
}

#else

bool CanWriteHeic() { return false; }
std::vector<uint8_t> HeicFile(const Bitmap&, int, int) { throw std::runtime_error("no libheif in this build"); }

#endif

}  // namespace imaging::testing
