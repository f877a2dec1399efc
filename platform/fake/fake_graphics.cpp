// FakeGraphics: registered pictures, a software canvas and a readable stand-in encoding.
#include "platform/fake/fake_graphics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "imaging/reduce.h"

namespace platform {
namespace {

constexpr char kMagic[] = "FAKEIMG1";  // then u32 width, u32 height, then RGBA pixels

void BlendOver(uint8_t* dst, const uint8_t* src) {
  const unsigned a = src[3];
  if (a == 255) {
    std::memcpy(dst, src, 4);
    return;
  }
  if (a == 0) return;
  const unsigned out_a = a + dst[3] * (255 - a) / 255;
  for (int c = 0; c < 3; ++c) {
    const unsigned value = (src[c] * a + dst[c] * dst[3] * (255 - a) / 255) / std::max(out_a, 1u);
    dst[c] = static_cast<uint8_t>(std::min(value, 255u));
  }
  dst[3] = static_cast<uint8_t>(out_a);
}

// Pixels whose centres lie inside [from, to).
void CoveredRange(double from, double to, int limit, int* first, int* end) {
  *first = std::clamp(static_cast<int>(std::ceil(from - 0.5)), 0, limit);
  *end = std::clamp(static_cast<int>(std::ceil(to - 0.5)), 0, limit);
}

class FakeCanvas : public Canvas {
 public:
  explicit FakeCanvas(imaging::Bitmap pixels) : pixels_(std::move(pixels)) {}

  int width_px() const override { return pixels_.width_px; }
  int height_px() const override { return pixels_.height_px; }

  void Clear(uint32_t argb) override {
    const uint8_t rgba[4] = {static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
                             static_cast<uint8_t>(argb), static_cast<uint8_t>(argb >> 24)};
    for (size_t i = 0; i < pixels_.rgba.size(); i += 4) std::memcpy(pixels_.rgba.data() + i, rgba, 4);
  }

  GraphicsStatus DrawBitmap(const imaging::Bitmap& image, const RectF& dest, Filter filter, Blend blend) override {
    return DrawBitmapPart(image, RectF{0, 0, double(image.width_px), double(image.height_px)}, dest, filter, blend);
  }

  GraphicsStatus DrawBitmapPart(const imaging::Bitmap& image, const RectF& source, const RectF& dest, Filter,
                                Blend blend) override {
    if (!Finite(source) || !Finite(dest)) return GraphicsStatus::kInvalidArgument;
    if (image.empty() || dest.width <= 0 || dest.height <= 0 || source.width <= 0 || source.height <= 0) {
      return GraphicsStatus::kOk;
    }
    int x0, x1, y0, y1;
    CoveredRange(dest.x, dest.x + dest.width, pixels_.width_px, &x0, &x1);
    CoveredRange(dest.y, dest.y + dest.height, pixels_.height_px, &y0, &y1);
    for (int y = y0; y < y1; ++y) {
      const double v = source.y + (y + 0.5 - dest.y) * source.height / dest.height;
      const int sy = std::clamp(static_cast<int>(std::floor(v)), 0, image.height_px - 1);
      for (int x = x0; x < x1; ++x) {
        const double u = source.x + (x + 0.5 - dest.x) * source.width / dest.width;
        const int sx = std::clamp(static_cast<int>(std::floor(u)), 0, image.width_px - 1);
        if (blend == Blend::kSourceCopy) {
          std::memcpy(pixels_.pixel(x, y), image.pixel(sx, sy), 4);
        } else {
          BlendOver(pixels_.pixel(x, y), image.pixel(sx, sy));
        }
      }
    }
    return GraphicsStatus::kOk;
  }

  GraphicsStatus StrokeRect(const RectF& r, double pen, uint32_t argb) override {
    if (!Finite(r) || !std::isfinite(pen)) return GraphicsStatus::kInvalidArgument;
    if (pen <= 0) return GraphicsStatus::kOk;
    const double h = pen / 2;
    // Four bands: top and bottom full width (corners included), left and right between them.
    Fill(r.x - h, r.y - h, r.x + r.width + h, r.y + h, argb);
    Fill(r.x - h, r.y + r.height - h, r.x + r.width + h, r.y + r.height + h, argb);
    Fill(r.x - h, r.y + h, r.x + h, r.y + r.height - h, argb);
    Fill(r.x + r.width - h, r.y + h, r.x + r.width + h, r.y + r.height - h, argb);
    return GraphicsStatus::kOk;
  }

  GraphicsStatus FillRect(const RectF& r, uint32_t argb) override {
    if (!Finite(r)) return GraphicsStatus::kInvalidArgument;
    Fill(r.x, r.y, r.x + r.width, r.y + r.height, argb);
    return GraphicsStatus::kOk;
  }

  std::optional<imaging::Bitmap> Snapshot() const override { return pixels_; }

 private:
  void Fill(double left, double top, double right, double bottom, uint32_t argb) {
    const uint8_t rgba[4] = {static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
                             static_cast<uint8_t>(argb), static_cast<uint8_t>(argb >> 24)};
    int x0, x1, y0, y1;
    CoveredRange(left, right, pixels_.width_px, &x0, &x1);
    CoveredRange(top, bottom, pixels_.height_px, &y0, &y1);
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) BlendOver(pixels_.pixel(x, y), rgba);
    }
  }

  imaging::Bitmap pixels_;
};

void PutU32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::vector<uint8_t> Encode(const imaging::Bitmap& image) {
  std::vector<uint8_t> out(kMagic, kMagic + 8);
  PutU32(&out, static_cast<uint32_t>(image.width_px));
  PutU32(&out, static_cast<uint32_t>(image.height_px));
  out.insert(out.end(), image.rgba.begin(), image.rgba.end());
  return out;
}

// Nearest-neighbour reduction to `width` x `height`.
imaging::Bitmap Reduce(const imaging::Bitmap& image, int width, int height) {
  imaging::Bitmap out;
  out.width_px = width;
  out.height_px = height;
  out.rgba.resize(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int sx = static_cast<int>(static_cast<int64_t>(x) * image.width_px / width);
      const int sy = static_cast<int>(static_cast<int64_t>(y) * image.height_px / height);
      std::memcpy(out.pixel(x, y), image.pixel(sx, sy), 4);
    }
  }
  return out;
}

}  // namespace

void FakeGraphics::AddPicture(const std::string& path, imaging::Bitmap stored, int orientation, ImageFormat format) {
  std::lock_guard lock(mutex_);
  ImageInfo info;
  info.format = format;
  info.width_px = stored.width_px;
  info.height_px = stored.height_px;
  info.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
  pictures_[path] = Picture{std::move(stored), info, {}};
}

void FakeGraphics::AddClaimedPicture(const std::string& path, int width_px, int height_px, imaging::Bitmap decoded) {
  std::lock_guard lock(mutex_);
  ImageInfo info;
  info.format = ImageFormat::kJpeg;
  info.width_px = width_px;
  info.height_px = height_px;
  pictures_[path] = Picture{std::move(decoded), info, {}, true};
}

void FakeGraphics::FailPath(const std::string& path, GraphicsStatus status) {
  std::lock_guard lock(mutex_);
  path_failures_[path] = status;
}

void FakeGraphics::FailDecode(const std::string& path, GraphicsStatus status) {
  std::lock_guard lock(mutex_);
  decode_failures_[path] = status;
}

void FakeGraphics::FailCanvas(GraphicsStatus status) {
  std::lock_guard lock(mutex_);
  canvas_failure_ = status;
}

void FakeGraphics::FailEncode(GraphicsStatus status) {
  std::lock_guard lock(mutex_);
  encode_failure_ = status;
}

std::vector<int> FakeGraphics::jpeg_qualities() const {
  std::lock_guard lock(mutex_);
  return jpeg_qualities_;
}

std::vector<int> FakeGraphics::jpeg_densities() const {
  std::lock_guard lock(mutex_);
  return jpeg_densities_;
}

void FakeGraphics::SetResolution(const std::string& path, const imaging::PictureResolution& resolution) {
  std::lock_guard lock(mutex_);
  auto it = pictures_.find(path);
  if (it != pictures_.end()) it->second.info.resolution = resolution;
}

void FakeGraphics::SetColour(const std::string& path, imaging::ColourDescription colour) {
  std::lock_guard lock(mutex_);
  auto it = pictures_.find(path);
  if (it != pictures_.end()) it->second.colour = std::move(colour);
}

std::vector<DecodeOptions> FakeGraphics::decode_options() const {
  std::lock_guard lock(mutex_);
  return decode_options_;
}

std::optional<imaging::Bitmap> FakeGraphics::ReadEncoded(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 16 || std::memcmp(bytes.data(), kMagic, 8) != 0) return std::nullopt;
  auto u32 = [&](size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
  };
  imaging::Bitmap image;
  image.width_px = static_cast<int>(u32(8));
  image.height_px = static_cast<int>(u32(12));
  if (!imaging::SizeWithinLimits(image.width_px, image.height_px) ||
      bytes.size() - 16 != static_cast<size_t>(image.width_px) * image.height_px * 4) {
    return std::nullopt;
  }
  image.rgba.assign(bytes.begin() + 16, bytes.end());
  return image;
}

namespace {

// The reason the real adapters give with each status.
GraphicsStatus Fail(GraphicsStatus status, std::string* reason) {
  if (reason == nullptr) return status;
  switch (status) {
    case GraphicsStatus::kNotFound: *reason = "file not found"; break;
    case GraphicsStatus::kAccessDenied: *reason = "access denied"; break;
    case GraphicsStatus::kUnsupported: *reason = "unsupported format"; break;
    case GraphicsStatus::kCorrupt: *reason = "damaged data"; break;
    case GraphicsStatus::kInvalidArgument: *reason = "too large"; break;
    case GraphicsStatus::kOutOfMemory: *reason = "out of memory"; break;
    default: *reason = "read error"; break;
  }
  return status;
}

}  // namespace

GraphicsStatus FakeGraphics::ReadInfo(const std::string& path, ImageInfo* info, std::string* reason) const {
  std::lock_guard lock(mutex_);
  if (auto failure = path_failures_.find(path); failure != path_failures_.end()) return Fail(failure->second, reason);
  auto it = pictures_.find(path);
  if (it == pictures_.end()) return Fail(GraphicsStatus::kNotFound, reason);
  *info = it->second.info;
  return GraphicsStatus::kOk;
}

GraphicsStatus FakeGraphics::Decode(const std::string& path, const DecodeOptions& options, DecodedImage* out,
                                    std::string* reason) const {
  std::lock_guard lock(mutex_);
  decode_options_.push_back(options);
  if (auto failure = path_failures_.find(path); failure != path_failures_.end()) return Fail(failure->second, reason);
  if (auto failure = decode_failures_.find(path); failure != decode_failures_.end()) return Fail(failure->second, reason);
  auto it = pictures_.find(path);
  if (it == pictures_.end()) return Fail(GraphicsStatus::kNotFound, reason);
  const Picture& picture = it->second;
  DecodedImage decoded{picture.stored, picture.info, picture.colour, false};
  if (options.exact_width_px > 0 && options.exact_height_px > 0 && options.exact_width_px <= picture.stored.width_px &&
      options.exact_height_px <= picture.stored.height_px) {
    // The real reduction: it is plain code, so the fake shares it.
    std::optional<imaging::Bitmap> exact = imaging::ReduceBitmap(picture.stored, options.exact_width_px, options.exact_height_px);
    if (!exact) return GraphicsStatus::kOutOfMemory;
    decoded.bitmap = std::move(*exact);
  } else if (!picture.claimed && picture.info.format == ImageFormat::kJpeg && options.min_width_px > 0 &&
             options.min_height_px > 0) {
    // The real decoder's M/8 scales, rounded up as it rounds them.
    for (int m = 1; m < 8; ++m) {
      const int w = (picture.stored.width_px * m + 7) / 8, h = (picture.stored.height_px * m + 7) / 8;
      if (w >= options.min_width_px && h >= options.min_height_px) {
        decoded.bitmap = Reduce(picture.stored, w, h);
        break;
      }
    }
  }
  *out = std::move(decoded);
  return GraphicsStatus::kOk;
}

std::unique_ptr<Canvas> FakeGraphics::CreateCanvas(int width_px, int height_px, GraphicsStatus* status) const {
  GraphicsStatus why;
  {
    std::lock_guard lock(mutex_);
    why = canvas_failure_;
  }
  std::optional<imaging::Bitmap> pixels;
  if (why == GraphicsStatus::kOk) {
    pixels = imaging::MakeBitmap(width_px, height_px);
    if (!pixels) why = imaging::SizeWithinLimits(width_px, height_px) ? GraphicsStatus::kOutOfMemory : GraphicsStatus::kInvalidArgument;
  }
  if (status) *status = why;
  if (why != GraphicsStatus::kOk) return nullptr;
  return std::make_unique<FakeCanvas>(std::move(*pixels));
}

GraphicsStatus FakeGraphics::EncodeJpeg(const imaging::Bitmap& image, int quality, std::vector<uint8_t>* out,
                                        int density_dpi) const {
  {
    std::lock_guard lock(mutex_);
    jpeg_qualities_.push_back(quality);
    jpeg_densities_.push_back(density_dpi);
    if (encode_failure_ != GraphicsStatus::kOk) return encode_failure_;
  }
  if (quality < 1 || quality > 100 || !imaging::SizeWithinLimits(image.width_px, image.height_px)) {
    return GraphicsStatus::kInvalidArgument;
  }
  *out = Encode(image);
  return GraphicsStatus::kOk;
}

GraphicsStatus FakeGraphics::EncodePng(const imaging::Bitmap& image, std::vector<uint8_t>* out) const {
  {
    std::lock_guard lock(mutex_);
    if (encode_failure_ != GraphicsStatus::kOk) return encode_failure_;
  }
  if (!imaging::SizeWithinLimits(image.width_px, image.height_px)) return GraphicsStatus::kInvalidArgument;
  *out = Encode(image);
  return GraphicsStatus::kOk;
}

}  // namespace platform
