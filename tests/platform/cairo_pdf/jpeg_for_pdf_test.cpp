// Tests for the check of which JPEG files the PDF pages carry as stored, on headers built byte by byte.
#include "platform/cairo_pdf/jpeg_for_pdf.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Segment(uint8_t marker, const Bytes& payload) {
  const size_t length = payload.size() + 2;
  Bytes out = {0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

// A frame header of `marker` for a width x height picture of `components` 8-bit components.
Bytes Frame(int width, int height, uint8_t components = 3, uint8_t marker = 0xC0, uint8_t precision = 8) {
  Bytes payload = {precision, static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
                   static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width), components};
  for (uint8_t c = 1; c <= components; ++c) payload.insert(payload.end(), {c, 0x11, 0});
  return Segment(marker, payload);
}

// Start of image, `parts` as given, then a scan and the end of image.
Bytes File(const std::vector<Bytes>& parts) {
  Bytes out = {0xFF, 0xD8};
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  const Bytes scan = Segment(0xDA, {1, 1, 0, 0, 63, 0});
  out.insert(out.end(), scan.begin(), scan.end());
  out.insert(out.end(), {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD9});
  return out;
}

const Bytes kApp0 = Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 1, 1, 44, 1, 44, 0, 0});

TEST(JpegForPdf, CleanFilesPassUnchangedAndFillBytesBeforeTheFrameAreTakenOut) {
  Bytes clean = File({kApp0, Frame(40, 30)});
  const Bytes original = clean;
  EXPECT_TRUE(PrepareJpegForPdf(&clean, 40, 30).embeddable);
  EXPECT_EQ(clean, original);

  // One fill byte before APP0 and two before the frame header: cairo's walk stops at the first.
  Bytes filled = {0xFF, 0xD8, 0xFF};
  filled.insert(filled.end(), kApp0.begin(), kApp0.end());
  filled.insert(filled.end(), {0xFF, 0xFF});
  Bytes rest(original.begin() + 2 + static_cast<std::ptrdiff_t>(kApp0.size()), original.end());
  filled.insert(filled.end(), rest.begin(), rest.end());
  ASSERT_NE(filled, original);
  const JpegForPdf prepared = PrepareJpegForPdf(&filled, 40, 30);
  EXPECT_TRUE(prepared.embeddable) << prepared.reason;
  EXPECT_EQ(filled, original);

  // A stand-alone restart marker between segments is kept, and needs no rewrite.
  Bytes restart = File({kApp0, Bytes{0xFF, 0xD3}, Frame(40, 30)});
  const Bytes restart_original = restart;
  EXPECT_TRUE(PrepareJpegForPdf(&restart, 40, 30).embeddable);
  EXPECT_EQ(restart, restart_original);
}

TEST(JpegForPdf, WhatCairoWouldMisprintIsLeftToDecodedPixels) {
  struct Case {
    Bytes file;
    const char* why;
  };
  const Bytes cut_app0(kApp0.begin(), kApp0.begin() + 8);
  const Case cases[] = {
      {File({kApp0, Frame(40, 30, 4)}), "CMYK colour"},
      {File({kApp0, Frame(40, 30, 3, 0xC3)}), "a lossless, hierarchical or arithmetic-coded frame"},
      {File({kApp0, Frame(40, 30, 3, 0xC9)}), "a lossless, hierarchical or arithmetic-coded frame"},
      {File({kApp0, Frame(40, 30, 3, 0xC0, 12)}), "samples of 12 bits"},
      {File({kApp0, Frame(41, 30)}), "a frame size other than the picture's"},
      {File({kApp0, Frame(40, 30, 2)}), "2 colour components"},
      {File({kApp0}), "no frame header before the image data"},
      {Bytes{0xFF, 0xD8, 0x00, 0xFF, 0xC0}, "bytes that are not a marker before the frame header"},
      {Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFF}, "a segment cut short"},
      {[&] { Bytes b = {0xFF, 0xD8}; b.insert(b.end(), cut_app0.begin(), cut_app0.end()); return b; }(),
       "a segment cut short"},
      {Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01}, "a segment cut short"},
      {Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00}, "a segment cut short"},
      {File({kApp0, Bytes{0xFF, 0xD8}, Frame(40, 30)}), "no frame header before the image data"},
      {Bytes{0xFF, 0xD8, 0xFF, 0xFF, 0xFF}, "no frame header"},
      {Bytes{0x89, 'P', 'N', 'G'}, "not a JPEG file"},
      {Bytes{}, "not a JPEG file"},
  };
  for (const Case& c : cases) {
    Bytes bytes = c.file;
    const JpegForPdf result = PrepareJpegForPdf(&bytes, 40, 30);
    EXPECT_FALSE(result.embeddable) << c.why;
    EXPECT_EQ(result.reason, c.why);
    EXPECT_EQ(bytes, c.file);  // left as it was
  }
}

}  // namespace
}  // namespace platform
