// ReduceBitmap: weights per destination column and row, then one separable pass taking rows as they come
// and keeping the few destination rows still being summed.
#include "imaging/reduce.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

#include "imaging/reduce_opaque.h"

namespace imaging {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLobes = 3.0;  // the kernel's half-width in pixels of the unstretched filter

// Lanczos-3, for |x| in source pixels of the unstretched filter; 0 from 3 on.
double Lanczos3(double x) {
  x = std::fabs(x);
  if (x < 1e-9) return 1.0;
  if (x >= kLobes) return 0.0;
  return kLobes * std::sin(kPi * x) * std::sin(kPi * x / kLobes) / (kPi * kPi * x * x);
}

// The source pixels that make each destination pixel along one axis, and their weights (summing to 1).
struct Axis {
  std::vector<int> first;      // first source index of destination pixel i
  std::vector<int> count;      // how many source pixels it takes
  std::vector<size_t> offset;  // where its weights start in `weights`
  std::vector<float> weights;

  void Add(int first_index, const std::vector<double>& taps, double sum) {
    first.push_back(first_index);
    count.push_back(static_cast<int>(taps.size()));
    offset.push_back(weights.size());
    for (double w : taps) weights.push_back(static_cast<float>(w / sum));
  }
};

// Destination pixels first .. first + count - 1 of an axis of `out` pixels: a window of the whole
// resampled side, computed exactly as the whole side would be.
struct Span {
  int first = 0;
  int count = 0;
};

// The kernel over source indices start .. start + in - 1, `out` destination pixels (those of `span`),
// stretched by the reduction factor (not narrowed on enlargement); indices beyond the edges repeat the
// edge pixel.
Axis CopyAxis(int start, int size, Span span);

Axis KernelAxis(int start, int in, int out, Span span) {
  if (in == out) return CopyAxis(start, in, span);  // a side kept at its size is kept as it is
  Axis axis;
  const double scale = static_cast<double>(in) / out;
  const double stretch = std::max(scale, 1.0);
  const double radius = kLobes * stretch;
  std::vector<double> taps;
  for (int o = span.first; o < span.first + span.count; ++o) {
    const double centre = (o + 0.5) * scale - 0.5;  // in indices of the part
    const int from = static_cast<int>(std::floor(centre - radius)) + 1;
    const int to = static_cast<int>(std::ceil(centre + radius)) - 1;
    const int first = std::clamp(from, 0, in - 1);
    const int last = std::clamp(to, 0, in - 1);
    taps.assign(static_cast<size_t>(last - first + 1), 0.0);
    double sum = 0;
    for (int i = from; i <= to; ++i) {
      const double w = Lanczos3((i - centre) / stretch);
      taps[static_cast<size_t>(std::clamp(i, 0, in - 1) - first)] += w;  // edge pixels take the weight beyond
      sum += w;
    }
    axis.Add(start + first, taps, sum);
  }
  return axis;
}

// Each destination pixel takes exactly its own source pixel.
Axis CopyAxis(int start, int size, Span span) {
  Axis axis;
  for (int o = span.first; o < span.first + span.count && o < size; ++o) axis.Add(start + o, {1.0}, 1.0);
  return axis;
}

// One pixel's four channels, summed four at a time (the compilers we build with map it onto one SIMD
// register; elsewhere it is still plain, correct arithmetic).
typedef float Lanes __attribute__((vector_size(16)));

// One separable pass: rows in, finished destination rows out.
class Pass {
 public:
  Pass(Axis columns, Axis rows)
      : columns_(std::move(columns)), rows_(std::move(rows)), width_(static_cast<int>(columns_.first.size())),
        height_(static_cast<int>(rows_.first.size())), next_row_(rows_.first.front()),
        across_(static_cast<size_t>(width_)), finished_row_(static_cast<size_t>(width_) * 4) {
    // Only the source columns some destination pixel reads are converted.
    int end = 0;
    lowest_ = columns_.first.front();
    for (size_t i = 0; i < columns_.first.size(); ++i) {
      lowest_ = std::min(lowest_, columns_.first[i]);
      end = std::max(end, columns_.first[i] + columns_.count[i]);
    }
    input_.resize(static_cast<size_t>(end - lowest_));
    for (size_t i = 0; i < columns_.first.size(); ++i) {
      fixed_.Add(columns_.weights.data() + columns_.offset[i], columns_.count[i]);
    }
  }

  int first_row() const { return rows_.first.front(); }
  int row_count() const {
    int last = 0;
    for (size_t j = 0; j < rows_.first.size(); ++j) last = std::max(last, rows_.first[j] + rows_.count[j] - 1);
    return last - first_row() + 1;
  }
  bool finished() const { return next_out_row_ >= height_; }

  // Adds the next input row; `emit(rgba)` receives each finished destination row, in order.
  template <typename Emit>
  void AddRow(const uint8_t* rgba, const Emit& emit) {
    const int row = next_row_++;
    // Rows no destination row takes are not filtered across.
    if (next_out_row_ < height_ && rows_.first[next_out_row_] <= row) FilterAcross(rgba);
    // Down: the row goes into every destination row that takes it (rows start in order).
    for (int j = next_out_row_; j < height_ && rows_.first[j] <= row; ++j) {
      const int k = row - rows_.first[j];
      if (k >= rows_.count[j]) continue;
      const size_t slot = static_cast<size_t>(j - next_out_row_);
      if (pending_.size() <= slot) pending_.resize(slot + 1);
      std::vector<Lanes>& sums = pending_[slot];
      if (sums.empty()) sums.assign(across_.size(), Lanes{0, 0, 0, 0});
      const float w = rows_.weights[rows_.offset[j] + static_cast<size_t>(k)];
      const Lanes* from = across_.data();
      Lanes* to = sums.data();
      for (size_t i = 0, n = sums.size(); i < n; ++i) to[i] += w * from[i];
    }
    // Destination rows whose last source row this was are complete.
    while (next_out_row_ < height_ && rows_.first[next_out_row_] + rows_.count[next_out_row_] - 1 <= row) {
      const Lanes* sums = pending_.empty() || pending_.front().empty() ? nullptr : pending_.front().data();
      for (int i = 0; i < width_; ++i) {
        uint8_t* out = finished_row_.data() + static_cast<size_t>(i) * 4;
        if (sums == nullptr || sums[i][3] < 0.5f) {
          out[0] = out[1] = out[2] = out[3] = 0;
          continue;
        }
        const Lanes s = sums[i];
        // The kernel's lobes can overshoot at hard edges: results are clamped to the levels there are.
        const float alpha = std::min(s[3], 255.0f);
        const float unweight = 1.0f / s[3];
        for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(std::clamp(s[c] * unweight + 0.5f, 0.0f, 255.0f));
        out[3] = static_cast<uint8_t>(alpha + 0.5f);
      }
      emit(finished_row_.data());
      if (!pending_.empty()) {
        std::vector<Lanes> done = std::move(pending_.front());
        pending_.erase(pending_.begin());
        done.clear();  // keeps its capacity for a later row
        pending_.push_back(std::move(done));
      }
      ++next_out_row_;
    }
  }

 private:
  // Across: each destination pixel sums its source pixels, colours weighted by alpha (premultiplied
  // once per source pixel, so that transparent pixels lend no colour to their neighbours).
  void FilterAcross(const uint8_t* rgba) {
    if (RowOpaque(rgba + static_cast<size_t>(lowest_) * 4, input_.size())) {
      FilterOpaqueRow(rgba, columns_.first.data(), columns_.count.data(), fixed_, width_,
                      reinterpret_cast<float*>(across_.data()));
      return;
    }
    Lanes* in = input_.data();
    rgba += static_cast<size_t>(lowest_) * 4;
    for (size_t x = 0, n = input_.size(); x < n; ++x, rgba += 4) {
      const float a = rgba[3];
      in[x] = Lanes{rgba[0] * a, rgba[1] * a, rgba[2] * a, a};
    }
    for (int i = 0; i < width_; ++i) {
      const Lanes* pixel = in + (columns_.first[i] - lowest_);
      const float* weight = columns_.weights.data() + columns_.offset[i];
      Lanes sum{0, 0, 0, 0};
      for (int k = 0, n = columns_.count[i]; k < n; ++k) sum += weight[k] * pixel[k];
      across_[static_cast<size_t>(i)] = sum;
    }
  }

  Axis columns_;
  FixedTaps fixed_;  // columns_'s weights for opaque rows
  Axis rows_;
  int width_;
  int height_;
  int next_row_;
  int next_out_row_ = 0;
  int lowest_ = 0;  // the first source column read
  std::vector<Lanes> input_;                 // the input row, premultiplied
  std::vector<Lanes> across_;                // the input row filtered across, a destination pixel each
  std::vector<std::vector<Lanes>> pending_;  // destination rows next_out_row_, next_out_row_ + 1, ...
  std::vector<uint8_t> finished_row_;
};

}  // namespace

struct RowReducer::State {
  std::unique_ptr<Pass> pass;
  int rows_in = 0;
  int next_out_row = 0;
  bool failed = false;  // memory ran out while rows were added
  Bitmap out;
};

RowReducer::RowReducer(std::unique_ptr<State> state) : state_(std::move(state)) {}
RowReducer::~RowReducer() = default;

std::unique_ptr<RowReducer> RowReducer::Create(const PixelRect& part, int source_width_px, int source_height_px,
                                               int width_px, int height_px, MemoryBudget* budget) {
  return CreateScaledPart(part, source_width_px, source_height_px, width_px, height_px,
                      PixelRect{0, 0, width_px, height_px}, budget);
}

std::unique_ptr<RowReducer> RowReducer::CreateScaledPart(const PixelRect& part, int source_width_px, int source_height_px,
                                                     int scaled_width_px, int scaled_height_px, const PixelRect& window,
                                                     MemoryBudget* budget) {
  if (part.width < 1 || part.height < 1 || part.x < 0 || part.y < 0 || part.x > source_width_px - part.width ||
      part.y > source_height_px - part.height || scaled_width_px < 1 || scaled_height_px < 1 ||
      !SizeWithinLimits(window.width, window.height) || window.x < 0 || window.y < 0 ||
      window.x > scaled_width_px - window.width || window.y > scaled_height_px - window.height) {
    return nullptr;
  }
  try {
    auto state = std::make_unique<State>();
    state->pass = std::make_unique<Pass>(KernelAxis(part.x, part.width, scaled_width_px, Span{window.x, window.width}),
                                         KernelAxis(part.y, part.height, scaled_height_px, Span{window.y, window.height}));
    std::optional<Bitmap> out = MakeBitmap(window.width, window.height, 0x00000000, budget);
    if (!out) return nullptr;
    state->out = std::move(*out);
    return std::unique_ptr<RowReducer>(new RowReducer(std::move(state)));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int RowReducer::first_row() const { return state_->pass->first_row(); }
int RowReducer::row_count() const { return state_->pass->row_count(); }

void RowReducer::AddRow(const uint8_t* rgba) {
  State& s = *state_;
  if (s.failed || s.rows_in >= row_count()) return;
  ++s.rows_in;
  try {
    s.pass->AddRow(rgba, [&s](const uint8_t* row) {
      std::copy_n(row, static_cast<size_t>(s.out.width_px) * 4, s.out.pixel(0, s.next_out_row++));
    });
  } catch (const std::bad_alloc&) {
    s.failed = true;  // a decoder may call from C frames: nothing is thrown back at it
  }
}

std::optional<Bitmap> RowReducer::Finish() {
  if (state_->failed || !state_->pass->finished()) return std::nullopt;
  return std::move(state_->out);
}

std::optional<Bitmap> ReduceBitmap(const Bitmap& image, const PixelRect& part, int width_px, int height_px) {
  if (image.empty() || image.rgba.size() != static_cast<size_t>(image.width_px) * image.height_px * 4) {
    return std::nullopt;
  }
  std::unique_ptr<RowReducer> reducer = RowReducer::Create(part, image.width_px, image.height_px, width_px, height_px,
                                                           image.rgba.get_allocator().budget());
  if (!reducer) return std::nullopt;
  for (int y = 0; y < reducer->row_count(); ++y) reducer->AddRow(image.pixel(0, reducer->first_row() + y));
  return reducer->Finish();
}

std::optional<Bitmap> ReduceBitmapWindow(const Bitmap& image, int scaled_width_px, int scaled_height_px,
                                         const PixelRect& window) {
  if (image.empty() || image.rgba.size() != static_cast<size_t>(image.width_px) * image.height_px * 4) {
    return std::nullopt;
  }
  std::unique_ptr<RowReducer> reducer =
      RowReducer::CreateScaledPart(PixelRect{0, 0, image.width_px, image.height_px}, image.width_px, image.height_px,
                               scaled_width_px, scaled_height_px, window, image.budget());
  if (!reducer) return std::nullopt;
  for (int y = 0; y < reducer->row_count(); ++y) reducer->AddRow(image.pixel(0, reducer->first_row() + y));
  return reducer->Finish();
}

std::optional<Bitmap> ReduceBitmap(const Bitmap& image, int width_px, int height_px) {
  return ReduceBitmap(image, PixelRect{0, 0, image.width_px, image.height_px}, width_px, height_px);
}

}  // namespace imaging
