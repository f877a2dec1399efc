// The reduction's quality measured from outside: a zone plate to feed the programs, the ghost rings
// left in what they made of it, and the PSNR of a magnet or preview against a Lanczos-3 reduction of
// the photo's full-size decode (computed here in double precision, independent of the image core's
// reduction; only the decoders are shared).
//
//   reduction_quality zoneplate OUT.jpg WIDTH HEIGHT
//       a grey zone plate whose local frequency rises from 0 at the centre to 0.45 cycles per pixel
//       at the inscribed circle, as a quality-100 JPEG
//   reduction_quality rings RESULT X Y W H SOURCE_W SOURCE_H
//       the magnet or preview at X,Y (W x H) of RESULT shows the whole zone plate SOURCE_W x SOURCE_H
//       cover-scaled and centre-cropped; prints the peak-to-peak levels where the plate's frequency along
//       x or y is above 0.75 cycles per result pixel (1.5 x its Nyquist limit: nothing of it may
//       survive) and below 0.4 cycles per source pixel (what the source holds, clear of its rim)
//   reduction_quality psnr RESULT X Y W H PHOTO
//       the same region against PHOTO decoded at full size, turned upright (and a quarter turn more
//       when its shape differs from the region's), Lanczos-3 reduced to its cover size and centre-cropped
//   reduction_quality lanczos PHOTO OUT.png W H
//       that reference written out (to check the measurements on it)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/decode.h"
#include "imaging/encode.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

std::optional<imaging::DecodedPicture> Decode(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  imaging::DecodeRequest request;
  request.purpose = imaging::DecodePurpose::kShow;
  base::StatusOr<imaging::DecodedPicture> picture = imaging::DecodePicture(bytes.data(), bytes.size(), request, nullptr);
  if (!picture.ok()) {
    std::fprintf(stderr, "cannot decode %s: %s\n", path.c_str(), picture.status().message().c_str());
    return std::nullopt;
  }
  return std::move(*picture);
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

double Lanczos3(double x) {
  x = std::fabs(x);
  if (x < 1e-12) return 1.0;
  if (x >= 3.0) return 0.0;
  return 3.0 * std::sin(kPi * x) * std::sin(kPi * x / 3.0) / (kPi * kPi * x * x);
}

// One axis of a Lanczos-3 resampling from `in` to `out` samples (stretched by the reduction factor,
// edges repeated), applied to `count` lines of `stride`-spaced samples.
std::vector<double> ResampleAxis(const std::vector<double>& src, int in, int out, int lines, bool along_rows) {
  std::vector<double> dst(static_cast<size_t>(out) * lines * 4);
  const double scale = static_cast<double>(in) / out;
  const double stretch = std::max(scale, 1.0);
  for (int o = 0; o < out; ++o) {
    const double centre = (o + 0.5) * scale - 0.5;
    const int from = static_cast<int>(std::floor(centre - 3 * stretch)) + 1;
    const int to = static_cast<int>(std::ceil(centre + 3 * stretch)) - 1;
    std::vector<std::pair<int, double>> taps;
    double sum = 0;
    for (int i = from; i <= to; ++i) {
      const double w = Lanczos3((i - centre) / stretch);
      taps.emplace_back(std::clamp(i, 0, in - 1), w);
      sum += w;
    }
    for (int line = 0; line < lines; ++line) {
      for (int c = 0; c < 4; ++c) {
        double v = 0;
        for (const auto& [i, w] : taps) {
          const size_t at = along_rows ? (static_cast<size_t>(line) * in + i) * 4 : (static_cast<size_t>(i) * lines + line) * 4;
          v += w * src[at + c];
        }
        const size_t to_at = along_rows ? (static_cast<size_t>(line) * out + o) * 4 : (static_cast<size_t>(o) * lines + line) * 4;
        dst[to_at + c] = v / sum;
      }
    }
  }
  return dst;
}

// `image` Lanczos-3 resampled to width x height, then its centre window w x h (colours weighted by alpha
// are not needed: photos are opaque).
imaging::Bitmap Lanczos(const imaging::Bitmap& image, int width, int height, int w, int h) {
  std::vector<double> src(image.rgba.begin(), image.rgba.end());
  std::vector<double> across = ResampleAxis(src, image.width_px, width, image.height_px, true);
  std::vector<double> both = ResampleAxis(across, image.height_px, height, width, false);
  imaging::Bitmap out = *imaging::MakeBitmap(w, h, 0, nullptr);
  const int left = (width - w) / 2, top = (height - h) / 2;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < 4; ++c) {
        const double v = both[(static_cast<size_t>(top + y) * width + left + x) * 4 + c];
        out.pixel(x, y)[c] = static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
      }
    }
  }
  return out;
}

// The photo upright, turned once more to the region's shape as the sheet composers turn it.
imaging::Bitmap UprightFor(imaging::DecodedPicture picture, int w, int h) {
  imaging::Bitmap up = imaging::ApplyOrientation(std::move(picture.bitmap), picture.info.orientation,
                                                 imaging::OrientationSet::kAll);
  const bool turn = (h < w && up.width_px < up.height_px) || (w < h && up.height_px < up.width_px);
  return turn ? imaging::RotateClockwise(up) : up;
}

imaging::Bitmap Reference(const std::string& photo, int w, int h) {
  std::optional<imaging::DecodedPicture> picture = Decode(photo);
  if (!picture) std::exit(1);
  const imaging::Bitmap up = UprightFor(std::move(*picture), w, h);
  const double s = std::max(static_cast<double>(h) / up.height_px, static_cast<double>(w) / up.width_px);
  const int cover_w = std::max(static_cast<int>(s * up.width_px), w);
  const int cover_h = std::max(static_cast<int>(s * up.height_px), h);
  return Lanczos(up, cover_w, cover_h, w, h);
}

int ZonePlate(const std::string& out, int width, int height) {
  imaging::Bitmap plate = *imaging::MakeBitmap(width, height, 0xFF000000, nullptr);
  // Phase pi * k * r^2: local frequency k * r cycles per pixel, 0.45 at the inscribed circle.
  const double radius = std::min(width, height) / 2.0;
  const double k = 0.45 / radius;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double dx = x + 0.5 - width / 2.0, dy = y + 0.5 - height / 2.0;
      const double r2 = dx * dx + dy * dy;
      const double v = r2 > radius * radius ? 128 : 128 + 127 * std::cos(kPi * k * r2);
      uint8_t* p = plate.pixel(x, y);
      p[0] = p[1] = p[2] = static_cast<uint8_t>(std::lround(v));
    }
  }
  base::StatusOr<std::vector<uint8_t>> jpeg = imaging::EncodeJpeg(plate, 100);
  return jpeg.ok() && WriteFile(out, *jpeg) ? 0 : 1;
}

int Rings(const imaging::Bitmap& result, int x0, int y0, int w, int h, int source_w, int source_h) {
  if ((h < w && source_w < source_h) || (w < h && source_h < source_w)) std::swap(source_w, source_h);  // turned
  const double s = std::max(static_cast<double>(h) / source_h, static_cast<double>(w) / source_w);
  const double k = 0.45 / (std::min(source_w, source_h) / 2.0);
  int low = 255, high = 0;
  long counted = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double dx = x + 0.5 - w / 2.0, dy = y + 0.5 - h / 2.0;
      // The plate's local frequency along each axis, in cycles per result pixel (a separable filter
      // is judged along its axes), and its frequency in the source (kept clear of the plate's rim).
      const double f_result = k * std::max(std::fabs(dx), std::fabs(dy)) / (s * s);
      const double f_source = k * std::sqrt(dx * dx + dy * dy) / s;
      if (f_result < 0.75 || f_source > 0.4) continue;
      const uint8_t* p = result.pixel(x0 + x, y0 + y);
      const int luma = (p[0] * 299 + p[1] * 587 + p[2] * 114 + 500) / 1000;
      low = std::min(low, luma);
      high = std::max(high, luma);
      ++counted;
    }
  }
  std::printf("ghost rings: %d levels peak to peak over %ld pixels\n", counted ? high - low : -1, counted);
  return counted ? 0 : 1;
}

int Psnr(const imaging::Bitmap& result, int x0, int y0, int w, int h, const std::string& photo) {
  const imaging::Bitmap reference = Reference(photo, w, h);
  double sum = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < 3; ++c) {
        const double d = static_cast<double>(result.pixel(x0 + x, y0 + y)[c]) - reference.pixel(x, y)[c];
        sum += d * d;
      }
    }
  }
  const double mse = sum / (3.0 * w * h);
  std::printf("psnr: %.2f dB\n", mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto number = [&args](size_t i) { return std::atoi(args.at(i).c_str()); };
  if (args.size() == 4 && args[0] == "zoneplate") return ZonePlate(args[1], number(2), number(3));
  if (args.size() == 5 && args[0] == "lanczos") {
    base::StatusOr<std::vector<uint8_t>> png = imaging::EncodePng(Reference(args[1], number(3), number(4)));
    return png.ok() && WriteFile(args[2], *png) ? 0 : 1;
  }
  if (args.size() >= 7 && (args[0] == "rings" || args[0] == "psnr")) {
    std::optional<imaging::DecodedPicture> result = Decode(args[1]);
    if (!result) return 1;
    const int x = number(2), y = number(3), w = number(4), h = number(5);
    if (x < 0 || y < 0 || w < 1 || h < 1 || x + w > result->bitmap.width_px || y + h > result->bitmap.height_px) {
      std::fprintf(stderr, "region outside the picture\n");
      return 1;
    }
    if (args[0] == "rings" && args.size() == 8) return Rings(result->bitmap, x, y, w, h, number(6), number(7));
    if (args[0] == "psnr" && args.size() == 7) return Psnr(result->bitmap, x, y, w, h, args[6]);
  }
  std::fprintf(stderr, "usage: see the head of bench/reduction_quality.cpp\n");
  return 2;
}
