// ReduceBitmap: weights per destination column and row, an optional area pass, then the kernel pass, each
// taking rows as they come and keeping the few destination rows still being summed.
#include "imaging/reduce.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

namespace imaging {
namespace {

// Mitchell-Netravali with B = C = 1/3, for |x| in source pixels of the unstretched filter; 0 from 2 on.
double Mitchell(double x) {
  constexpr double B = 1.0 / 3.0, C = 1.0 / 3.0;
  x = std::fabs(x);
  if (x < 1.0) return ((12 - 9 * B - 6 * C) * x * x * x + (-18 + 12 * B + 6 * C) * x * x + (6 - 2 * B)) / 6.0;
  if (x < 2.0) {
    return ((-B - 6 * C) * x * x * x + (6 * B + 30 * C) * x * x + (-12 * B - 48 * C) * x + (8 * B + 24 * C)) / 6.0;
  }
  return 0.0;
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
  const double radius = 2.0 * stretch;
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
      const double w = Mitchell((i - centre) / stretch);
      taps[static_cast<size_t>(std::clamp(i, 0, in - 1) - first)] += w;  // edge pixels take the weight beyond
      sum += w;
    }
    axis.Add(start + first, taps, sum);
  }
  return axis;
}

// Area coverage: destination pixel o averages the source span [o * in / out, (o + 1) * in / out).
Axis AreaAxis(int start, int in, int out, Span span) {
  Axis axis;
  const double step = static_cast<double>(in) / out;
  std::vector<double> taps;
  for (int o = span.first; o < span.first + span.count; ++o) {
    const double from = o * step;
    const double to = o + 1 == out ? in : (o + 1) * step;
    const int first = std::clamp(static_cast<int>(std::floor(from)), 0, in - 1);
    const int last = std::clamp(static_cast<int>(std::ceil(to)) - 1, first, in - 1);
    taps.assign(static_cast<size_t>(last - first + 1), 0.0);
    for (int k = first; k <= last; ++k) {
      taps[static_cast<size_t>(k - first)] = std::max(0.0, std::min(to, k + 1.0) - std::max(from, static_cast<double>(k)));
    }
    axis.Add(start + first, taps, to - from);
  }
  return axis;
}

// Each destination pixel takes exactly its own source pixel.
Axis CopyAxis(int start, int size, Span span) {
  Axis axis;
  for (int o = span.first; o < span.first + span.count && o < size; ++o) axis.Add(start + o, {1.0}, 1.0);
  return axis;
}

// The lowest and highest source index an axis reads.
Span SourceSpan(const Axis& axis) {
  int lowest = axis.first.front(), highest = lowest;
  for (size_t i = 0; i < axis.first.size(); ++i) {
    lowest = std::min(lowest, axis.first[i]);
    highest = std::max(highest, axis.first[i] + axis.count[i] - 1);
  }
  return Span{lowest, highest - lowest + 1};
}

// An axis that reads indices shifted down by `by` (its input starts at what was index `by`).
Axis Shifted(Axis axis, int by) {
  for (int& first : axis.first) first -= by;
  return axis;
}

// The two axes of one side: the area pass's (empty when the side is not reduced more than
// kPreAverageFactor times) and the kernel's, for `span` of the `out` destination pixels of `in` part
// pixels starting at `start`. With an area pass only the intermediate pixels the kernel reads are made.
struct SideAxes {
  std::optional<Axis> area;
  Axis kernel;
  int middle = 0;  // intermediate pixels made (the area pass's output)
};

SideAxes Side(int start, int in, int out, Span span) {
  SideAxes side;
  if (in <= kPreAverageFactor * int64_t{out}) {
    side.kernel = KernelAxis(start, in, out, span);
    return side;
  }
  const int middle = kPreAverageFactor * out;
  const Axis kernel = KernelAxis(0, middle, out, span);
  const Span needed = SourceSpan(kernel);
  side.area = AreaAxis(start, in, middle, needed);
  side.kernel = Shifted(kernel, needed.first);
  side.middle = needed.count;
  return side;
}

// One separable pass: rows in, finished destination rows out.
class Pass {
 public:
  Pass(Axis columns, Axis rows)
      : columns_(std::move(columns)), rows_(std::move(rows)), width_(static_cast<int>(columns_.first.size())),
        height_(static_cast<int>(rows_.first.size())), next_row_(rows_.first.front()),
        across_(static_cast<size_t>(width_) * 4), finished_row_(static_cast<size_t>(width_) * 4) {}

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
    // Across: each destination pixel sums its source pixels, colours weighted by alpha.
    for (int i = 0; i < width_; ++i) {
      const uint8_t* pixel = rgba + static_cast<size_t>(columns_.first[i]) * 4;
      const float* weight = columns_.weights.data() + columns_.offset[i];
      float r = 0, g = 0, b = 0, a = 0;
      for (int k = 0; k < columns_.count[i]; ++k, pixel += 4) {
        const float wa = weight[k] * pixel[3];
        r += wa * pixel[0];
        g += wa * pixel[1];
        b += wa * pixel[2];
        a += wa;
      }
      float* out = across_.data() + static_cast<size_t>(i) * 4;
      out[0] = r, out[1] = g, out[2] = b, out[3] = a;
    }
    // Down: the row goes into every destination row that takes it (rows start in order).
    for (int j = next_out_row_; j < height_ && rows_.first[j] <= row; ++j) {
      const int k = row - rows_.first[j];
      if (k >= rows_.count[j]) continue;
      const size_t slot = static_cast<size_t>(j - next_out_row_);
      if (pending_.size() <= slot) pending_.resize(slot + 1);
      std::vector<float>& sums = pending_[slot];
      if (sums.empty()) sums.assign(across_.size(), 0.0f);
      const float w = rows_.weights[rows_.offset[j] + static_cast<size_t>(k)];
      for (size_t c = 0; c < sums.size(); ++c) sums[c] += w * across_[c];
    }
    // Destination rows whose last source row this was are complete.
    while (next_out_row_ < height_ && rows_.first[next_out_row_] + rows_.count[next_out_row_] - 1 <= row) {
      const float* sums = pending_.empty() || pending_.front().empty() ? nullptr : pending_.front().data();
      for (int i = 0; i < width_; ++i) {
        uint8_t* out = finished_row_.data() + static_cast<size_t>(i) * 4;
        const float* s = sums ? sums + static_cast<size_t>(i) * 4 : nullptr;
        if (s == nullptr || s[3] < 0.5f) {
          out[0] = out[1] = out[2] = out[3] = 0;
          continue;
        }
        // The kernel's lobes can overshoot at hard edges: results are clamped to the levels there are.
        for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(std::clamp(s[c] / s[3] + 0.5f, 0.0f, 255.0f));
        out[3] = static_cast<uint8_t>(std::min(s[3], 255.0f) + 0.5f);
      }
      emit(finished_row_.data());
      if (!pending_.empty()) {
        std::vector<float> done = std::move(pending_.front());
        pending_.erase(pending_.begin());
        done.clear();  // keeps its capacity for a later row
        pending_.push_back(std::move(done));
      }
      ++next_out_row_;
    }
  }

 private:
  Axis columns_;
  Axis rows_;
  int width_;
  int height_;
  int next_row_;
  int next_out_row_ = 0;
  std::vector<float> across_;                // the input row filtered across: 4 floats a destination pixel
  std::vector<std::vector<float>> pending_;  // destination rows next_out_row_, next_out_row_ + 1, ...
  std::vector<uint8_t> finished_row_;
};

}  // namespace

struct RowReducer::State {
  std::unique_ptr<Pass> area;  // null when no side is reduced more than kPreAverageFactor times
  std::unique_ptr<Pass> kernel;
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
      window.x > scaled_width_px - window.width || window.y > scaled_height_px - window.height ||
      int64_t{scaled_width_px} * kPreAverageFactor > INT32_MAX || int64_t{scaled_height_px} * kPreAverageFactor > INT32_MAX) {
    return nullptr;
  }
  try {
    auto state = std::make_unique<State>();
    SideAxes across = Side(part.x, part.width, scaled_width_px, Span{window.x, window.width});
    SideAxes down = Side(part.y, part.height, scaled_height_px, Span{window.y, window.height});
    if (across.area || down.area) {
      // A side without an area pass is copied through it as it is.
      const Span copy_across = SourceSpan(across.kernel), copy_down = SourceSpan(down.kernel);
      Axis area_across = across.area ? std::move(*across.area) : CopyAxis(0, part.x + part.width, copy_across);
      Axis area_down = down.area ? std::move(*down.area) : CopyAxis(0, part.y + part.height, copy_down);
      Axis kernel_across = across.area ? std::move(across.kernel) : Shifted(std::move(across.kernel), copy_across.first);
      Axis kernel_down = down.area ? std::move(down.kernel) : Shifted(std::move(down.kernel), copy_down.first);
      state->area = std::make_unique<Pass>(std::move(area_across), std::move(area_down));
      state->kernel = std::make_unique<Pass>(std::move(kernel_across), std::move(kernel_down));
    } else {
      state->kernel = std::make_unique<Pass>(std::move(across.kernel), std::move(down.kernel));
    }
    std::optional<Bitmap> out = MakeBitmap(window.width, window.height, 0x00000000, budget);
    if (!out) return nullptr;
    state->out = std::move(*out);
    return std::unique_ptr<RowReducer>(new RowReducer(std::move(state)));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int RowReducer::first_row() const { return (state_->area ? *state_->area : *state_->kernel).first_row(); }
int RowReducer::row_count() const { return (state_->area ? *state_->area : *state_->kernel).row_count(); }

void RowReducer::AddRow(const uint8_t* rgba) {
  State& s = *state_;
  if (s.failed || s.rows_in >= row_count()) return;
  ++s.rows_in;
  const auto store = [&s](const uint8_t* row) {
    std::copy_n(row, static_cast<size_t>(s.out.width_px) * 4, s.out.pixel(0, s.next_out_row++));
  };
  try {
    if (!s.area) {
      s.kernel->AddRow(rgba, store);
      return;
    }
    Pass& kernel = *s.kernel;
    s.area->AddRow(rgba, [&kernel, &store](const uint8_t* row) { kernel.AddRow(row, store); });
  } catch (const std::bad_alloc&) {
    s.failed = true;  // a decoder may call from C frames: nothing is thrown back at it
  }
}

std::optional<Bitmap> RowReducer::Finish() {
  if (state_->failed || !state_->kernel->finished()) return std::nullopt;
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
