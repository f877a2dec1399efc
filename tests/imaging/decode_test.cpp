// Tests for the one decoder: every format to the same picture, orientation once, refusals by name, the
// damage rule for both purposes, claims the data cannot back, colour descriptions, the budget.
#include "imaging/decode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/encode.h"
#include "tests/imaging/format_files.h"
#include "tests/support/picture_files.h"

namespace imaging {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// Smooth colours with a bright left half, so a turn is easy to see and lossy formats stay close.
Bitmap Picture() {
  Bitmap image = *MakeBitmap(kWidth, kHeight, 0xFF000000);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint8_t* p = image.pixel(x, y);
      p[0] = static_cast<uint8_t>(x < kWidth / 2 ? 230 : 30);
      p[1] = static_cast<uint8_t>(40 + y * 3);
      p[2] = static_cast<uint8_t>(200 - x * 2);
    }
  }
  return image;
}

double Psnr(const Bitmap& a, const Bitmap& b) {
  if (a.width_px != b.width_px || a.height_px != b.height_px) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.rgba.size(); ++i) {
    if (i % 4 == 3) continue;
    const double d = static_cast<double>(a.rgba[i]) - b.rgba[i];
    sum += d * d;
  }
  const double mse = sum / (a.rgba.size() / 4 * 3);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

base::StatusOr<DecodedPicture> Decode(const std::vector<uint8_t>& file, DecodePurpose purpose = DecodePurpose::kPrint,
                                      MemoryBudget* budget = nullptr, DecodeRequest request = {}) {
  request.purpose = purpose;
  return DecodePicture(file.data(), file.size(), request, budget);
}

std::string Reason(const std::vector<uint8_t>& file) {
  base::StatusOr<DecodedPicture> decoded = Decode(file);
  return decoded.ok() ? std::string("decoded") : decoded.status().message();
}

std::vector<uint8_t> Jpeg(const Bitmap& image) { return *EncodeJpeg(image, 95); }

TEST(DecodeTest, EveryFormatGivesTheSamePicture) {
  const Bitmap picture = Picture();
  const test_support::RgbaPixels pixels{picture.width_px, picture.height_px, picture.rgba.data(), picture.row_bytes()};
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    PictureFormat format;
    double min_psnr;
  };
  std::vector<Case> cases = {
      {"PNG", test_support::PngFile(pixels), PictureFormat::kPng, 99},
      {"BMP", test_support::BmpFile(pixels), PictureFormat::kBmp, 99},
      {"TIFF", testing::TiffFile(picture), PictureFormat::kTiff, 99},
      {"TIFF deflate", testing::TiffFile(picture, 1, true), PictureFormat::kTiff, 99},
      {"WebP", testing::WebpFile(picture), PictureFormat::kWebp, 99},
      {"JPEG", Jpeg(picture), PictureFormat::kJpeg, 35},
  };
  if (testing::CanWriteHeic()) cases.push_back({"HEIC", testing::HeicFile(picture), PictureFormat::kHeic, 30});
  for (const Case& c : cases) {
    base::StatusOr<DecodedPicture> decoded = Decode(c.file);
    ASSERT_TRUE(decoded.ok()) << c.name << ": " << decoded.status().ToString();
    EXPECT_EQ(decoded->info.format, c.format) << c.name;
    EXPECT_EQ(decoded->info.width_px, kWidth) << c.name;
    EXPECT_EQ(decoded->info.height_px, kHeight) << c.name;
    EXPECT_FALSE(decoded->damaged);
    EXPECT_GE(Psnr(decoded->bitmap, picture), c.min_psnr) << c.name;
    // The header alone says the same.
    base::StatusOr<PictureInfo> info = ReadPictureInfo(c.file.data(), c.file.size());
    ASSERT_TRUE(info.ok()) << c.name;
    EXPECT_EQ(info->width_px, kWidth) << c.name;
  }
}

TEST(DecodeTest, HeifFilesComeOutUprightAndTurnOnceEvenWithAnExifOrientation) {
  if (!testing::CanWriteHeic()) GTEST_SKIP() << "no HEVC encoder in this build";
  const Bitmap upright = Picture();
  // Stored turned a quarter counter-clockwise; the file's own transform (and its EXIF block) say 6.
  const std::vector<uint8_t> file = testing::HeicFile(RotateCounterClockwise(upright), 6, 6);
  base::StatusOr<DecodedPicture> decoded = Decode(file);
  ASSERT_TRUE(decoded.ok()) << decoded.status().ToString();
  EXPECT_EQ(decoded->info.orientation, 1);
  EXPECT_EQ(decoded->info.width_px, kWidth);
  EXPECT_EQ(decoded->info.height_px, kHeight);
  EXPECT_GE(Psnr(decoded->bitmap, upright), 30);
  EXPECT_FALSE(decoded->info.exif.empty());  // kept for its dates
}

TEST(DecodeTest, TiffAndWebpOrientationsAreReadForTheOneRule) {
  base::StatusOr<PictureInfo> tiff = ReadPictureInfo(testing::TiffFile(Picture(), 6).data(),
                                                     testing::TiffFile(Picture(), 6).size());
  ASSERT_TRUE(tiff.ok());
  EXPECT_EQ(tiff->orientation, 6);
  // The pixels come as stored: the caller turns them by the orientation, as for a JPEG.
  const std::vector<uint8_t> file = testing::TiffFile(Picture(), 6);
  base::StatusOr<DecodedPicture> decoded = Decode(file);
  ASSERT_TRUE(decoded.ok());
  EXPECT_GE(Psnr(decoded->bitmap, Picture()), 99);
}

TEST(DecodeTest, RefusedFormatsAreNamed) {
  EXPECT_EQ(Reason({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}), "unsupported format GIF");
  EXPECT_EQ(Reason({'P', '6', '\n', '1', ' ', '1', '\n', '2', '5', '5', '\n', 0, 0, 0}), "unsupported format PNM");
  EXPECT_EQ(Reason({'#', '?', 'R', 'A', 'D', 'I', 'A', 'N', 'C', 'E', '\n'}), "unsupported format HDR");
  EXPECT_EQ(Reason({0x53, 0x80, 0xF6, 0x34, 0, 0, 0, 0}), "unsupported format PIC");
  EXPECT_EQ(Reason({}), "unknown format");
  EXPECT_EQ(Reason(std::vector<uint8_t>(4096, 0x5A)), "unknown format");
  if (!DecoderAvailable(PictureFormat::kHeic)) {
    EXPECT_EQ(Reason({0, 0, 0, 24, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1'}),
              "unsupported format HEIC");
  }
}

TEST(DecodeTest, DamagedPicturesArePrintedNeverAndShownWithTheirDamage) {
  const Bitmap picture = Picture();
  const std::vector<uint8_t> jpeg = Jpeg(picture);
  const std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() * 2 / 3));
  EXPECT_EQ(Reason(cut), "damaged data");
  base::StatusOr<DecodedPicture> shown = Decode(cut, DecodePurpose::kShow);
  ASSERT_TRUE(shown.ok());
  EXPECT_TRUE(shown->damaged);
  EXPECT_EQ(shown->bitmap.width_px, kWidth);
  EXPECT_GE(Psnr(shown->bitmap, picture), 0);  // defined pixels (valgrind checks they are initialised)
  // Only the end marker missing: every pixel is there, so it is whole.
  const std::vector<uint8_t> no_end(jpeg.begin(), jpeg.end() - 2);
  base::StatusOr<DecodedPicture> whole = Decode(no_end);
  ASSERT_TRUE(whole.ok()) << whole.status().ToString();
  EXPECT_FALSE(whole->damaged);
  // A PNG or WebP cut in its data: the rows it holds, then mid-grey (valgrind checks that the rows the
  // decoder never wrote are not read).
  const test_support::RgbaPixels pixels{picture.width_px, picture.height_px, picture.rgba.data(), picture.row_bytes()};
  for (std::vector<uint8_t> cut_file : {test_support::PngFile(pixels), testing::WebpFile(picture)}) {
    cut_file.resize(cut_file.size() * 3 / 4);
    EXPECT_EQ(Reason(cut_file), "damaged data");
    base::StatusOr<DecodedPicture> cut_shown = Decode(cut_file, DecodePurpose::kShow);
    if (cut_shown.ok()) {
      EXPECT_TRUE(cut_shown->damaged);
      const uint8_t* last = cut_shown->bitmap.pixel(kWidth - 1, kHeight - 1);
      EXPECT_EQ(last[0], 0x80);
      EXPECT_EQ(last[3], 0xFF);
    }
  }
  // A phone photo cut short, or zeroed after the first part of its coded data: named, never a white
  // magnet. (Coded data that is wrong but whole decodes as libheif's decoder conceals it: the file
  // carries no checksum to tell.)
  if (DecoderAvailable(PictureFormat::kHeic) && testing::CanWriteHeic()) {
    const std::vector<uint8_t> heic = testing::HeicFile(picture, 1, 0);
    const std::vector<uint8_t> heic_cut(heic.begin(), heic.begin() + static_cast<long>(heic.size() * 2 / 3));
    EXPECT_EQ(Reason(heic_cut), "damaged data");
    std::vector<uint8_t> heic_zeroed = heic;
    std::fill(heic_zeroed.begin() + static_cast<long>(heic.size() / 2), heic_zeroed.end(), uint8_t{0});
    EXPECT_EQ(Reason(heic_zeroed), "damaged data");
  }
  // Nothing decodable is nothing to show either.
  const std::vector<uint8_t> head(jpeg.begin(), jpeg.begin() + 200);
  EXPECT_FALSE(Decode(head, DecodePurpose::kShow).ok());
  // A bad checksum over sound data is no damage.
  std::vector<uint8_t> bad_crc = test_support::PngFile(pixels);
  bad_crc[29] ^= 0xFF;  // IHDR's CRC
  EXPECT_EQ(Reason(bad_crc), "decoded");
}

TEST(DecodeTest, ClaimsTheDataCannotBackAreRefusedBeforeAnythingIsAllocated) {
  MemoryBudget budget(uint64_t{4} << 30);
  // A PNG whose header says 16000 x 16000 with a few bytes of data.
  const Bitmap tiny = *MakeBitmap(1, 1, 0xFF000000);
  std::vector<uint8_t> png = test_support::PngFile({1, 1, tiny.rgba.data(), 4});
  for (int i = 0; i < 4; ++i) png[16 + i] = png[20 + i] = static_cast<uint8_t>(16000 >> (24 - 8 * i));
  EXPECT_EQ(Reason(png), "damaged data");
  EXPECT_FALSE(Decode(png, DecodePurpose::kShow, &budget).ok());
  // A progressive JPEG claiming 16000 x 16000 in 2 KB.
  std::vector<uint8_t> jpeg = Jpeg(*MakeBitmap(64, 64, 0xFF808080));
  for (size_t i = 2; i + 8 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 1] = 0xC2;
      jpeg[i + 5] = jpeg[i + 7] = 16000 >> 8;
      jpeg[i + 6] = jpeg[i + 8] = 16000 & 0xFF;
      break;
    }
  }
  EXPECT_EQ(Reason(jpeg), "damaged data");
  EXPECT_FALSE(Decode(jpeg, DecodePurpose::kShow, &budget).ok());
  EXPECT_LT(budget.peak_bytes(), uint64_t{1} << 20);
}

TEST(DecodeTest, EmbeddedColourIsDescribed) {
  const Bitmap picture = Picture();
  // A profile longer than one APP2 chunk holds: its chunks join up in order.
  std::vector<uint8_t> icc(70000);
  for (size_t i = 0; i < icc.size(); ++i) icc[i] = static_cast<uint8_t>(i * 7);
  base::StatusOr<DecodedPicture> jpeg = Decode(testing::JpegFile(picture, icc));
  ASSERT_TRUE(jpeg.ok());
  EXPECT_EQ(jpeg->colour.icc_profile, icc);
  base::StatusOr<DecodedPicture> png = Decode(testing::PngFileWithColour(picture, {}, 0.45455));
  ASSERT_TRUE(png.ok());
  EXPECT_TRUE(png->colour.icc_profile.empty());
  ASSERT_TRUE(png->colour.png_gamma);
  EXPECT_NEAR(*png->colour.png_gamma, 0.45455, 1e-5);
  EXPECT_TRUE(Decode(testing::WebpFile(picture))->colour.empty());
}

TEST(DecodeTest, ReductionsAndTheBudget) {
  const Bitmap picture = Picture();
  const std::vector<uint8_t> png = testing::PngFileWithColour(picture, {});
  MemoryBudget budget(1 << 20);
  DecodeRequest exact;
  exact.exact_width_px = 16;
  exact.exact_height_px = 12;
  base::StatusOr<DecodedPicture> small = Decode(png, DecodePurpose::kPrint, &budget, exact);
  ASSERT_TRUE(small.ok());
  EXPECT_EQ(small->bitmap.width_px, 16);
  EXPECT_EQ(budget.in_use_bytes(), 16u * 12 * 4);
  // A JPEG for paper is decoded whole (its DCT scales fold fine detail into false patterns), its rows
  // reduced as they arrive to twice the minimum; one to be shown keeps twice the minimum at a DCT scale,
  // or takes the eighth scale for at most an eighth of the picture.
  const std::vector<uint8_t> jpeg = Jpeg(picture);
  const auto decoded_width = [&jpeg](DecodePurpose purpose, int min_width, int min_height) {
    DecodeRequest cover;
    cover.min_width_px = min_width;
    cover.min_height_px = min_height;
    base::StatusOr<DecodedPicture> decoded = Decode(jpeg, purpose, nullptr, cover);
    return decoded.ok() ? decoded->bitmap.width_px : -1;
  };
  EXPECT_EQ(decoded_width(DecodePurpose::kPrint, 8, 6), kWidth / 4);
  EXPECT_EQ(decoded_width(DecodePurpose::kShow, 8, 6), kWidth / 8);
  EXPECT_EQ(decoded_width(DecodePurpose::kShow, 12, 9), kWidth * 3 / 8);  // 24 x 18 kept
  EXPECT_EQ(decoded_width(DecodePurpose::kShow, 40, 30), kWidth);
  // A PNG reduced as its rows arrive keeps twice the minimum too.
  DecodeRequest rows;
  rows.min_width_px = 8;
  rows.min_height_px = 6;
  base::StatusOr<DecodedPicture> quartered = Decode(png, DecodePurpose::kPrint, nullptr, rows);
  ASSERT_TRUE(quartered.ok());
  EXPECT_EQ(quartered->bitmap.width_px, kWidth / 4);
  MemoryBudget tiny(1000);
  base::StatusOr<DecodedPicture> refused = Decode(png, DecodePurpose::kPrint, &tiny);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.status().message(), "too large");
}

}  // namespace
}  // namespace imaging
