// The area filter: separable box coverage, rows accumulated as they arrive.
#include "platform/area_filter.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>

namespace platform {
namespace {

// The source pixels each result pixel takes, with their normalised weights, along one axis.
struct Axis {
  std::vector<int> first;       // first source pixel of result pixel i
  std::vector<int> count;       // how many source pixels it takes
  std::vector<size_t> offset;   // where its weights start in `weights`
  std::vector<float> weights;
};

// Box coverage: result pixel i averages the source span [start + i * step, start + (i + 1) * step).
Axis BoxAxis(double start, double extent, int source_size, int out_size) {
  Axis axis;
  axis.first.resize(out_size);
  axis.count.resize(out_size);
  axis.offset.resize(out_size);
  const double step = extent / out_size;
  for (int i = 0; i < out_size; ++i) {
    const double from = start + i * step;
    const double to = i + 1 == out_size ? start + extent : start + (i + 1) * step;
    const int first = std::clamp(static_cast<int>(std::floor(from)), 0, source_size - 1);
    const int last = std::clamp(static_cast<int>(std::ceil(to)) - 1, first, source_size - 1);
    axis.first[i] = first;
    axis.count[i] = last - first + 1;
    axis.offset[i] = axis.weights.size();
    const double span = to - from;
    for (int k = first; k <= last; ++k) {
      const double covered = std::min(to, k + 1.0) - std::max(from, static_cast<double>(k));
      axis.weights.push_back(static_cast<float>(std::max(covered, 0.0) / span));
    }
  }
  return axis;
}

constexpr double kLobes = 3;

double Lanczos(double x) {
  x = std::fabs(x);
  if (x < 1e-9) return 1;
  if (x >= kLobes) return 0;
  const double px = std::numbers::pi * x;
  return kLobes * std::sin(px) * std::sin(px / kLobes) / (px * px);
}

// A Lanczos-3 kernel stretched by the reduction factor, over source pixels lo..hi (taps past them take
// the edge pixel, so nothing outside the part is seen).
Axis KernelAxis(double start, double extent, int lo, int hi, int out_size) {
  Axis axis;
  axis.first.resize(out_size);
  axis.count.resize(out_size);
  axis.offset.resize(out_size);
  const double scale = std::max(1.0, extent / out_size);
  const double support = kLobes * scale;
  std::vector<double> taps;
  for (int i = 0; i < out_size; ++i) {
    const double centre = start + (i + 0.5) * extent / out_size;
    const int from = static_cast<int>(std::floor(centre - support));
    const int to = static_cast<int>(std::ceil(centre + support));
    const int first = std::clamp(from, lo, hi);
    const int last = std::clamp(to, lo, hi);
    taps.assign(static_cast<size_t>(last - first + 1), 0.0);
    double sum = 0;
    for (int k = from; k <= to; ++k) {
      const double w = Lanczos((k + 0.5 - centre) / scale);
      taps[static_cast<size_t>(std::clamp(k, lo, hi) - first)] += w;
      sum += w;
    }
    axis.first[i] = first;
    axis.count[i] = last - first + 1;
    axis.offset[i] = axis.weights.size();
    for (double w : taps) axis.weights.push_back(static_cast<float>(w / sum));
  }
  return axis;
}

// One separable pass: rows in, result rows out to the next pass or into the result picture.
class Pass {
 public:
  Pass(Axis columns, Axis rows, int out_width, int out_height)
      : columns_(std::move(columns)), rows_(std::move(rows)), out_width_(out_width), out_height_(out_height),
        next_row_(rows_.first.front()), across_(static_cast<size_t>(out_width) * 4), emitted_(static_cast<size_t>(out_width) * 4) {}

  int first_row() const { return rows_.first.front(); }
  int row_count() const { return rows_.first.back() + rows_.count.back() - rows_.first.front(); }
  bool finished() const { return next_out_row_ >= out_height_; }

  // Adds the next input row; `emit(y, rgba)` receives each finished result row.
  template <typename Emit>
  void AddRow(const uint8_t* rgba, const Emit& emit) {
    const int row = next_row_++;
    // Across: each result pixel sums its source pixels, colours weighted by alpha.
    for (int i = 0; i < out_width_; ++i) {
      const uint8_t* pixel = rgba + static_cast<size_t>(columns_.first[i]) * 4;
      const float* weight = columns_.weights.data() + columns_.offset[i];
      float r = 0, g = 0, b = 0, a = 0;
      for (int k = 0; k < columns_.count[i]; ++k, pixel += 4) {
        const float w = weight[k] * pixel[3];
        r += w * pixel[0];
        g += w * pixel[1];
        b += w * pixel[2];
        a += w;
      }
      float* acc = across_.data() + static_cast<size_t>(i) * 4;
      acc[0] = r, acc[1] = g, acc[2] = b, acc[3] = a;
    }
    // Down: the row goes into every result row that takes it.
    for (int j = next_out_row_; j < out_height_ && rows_.first[j] <= row; ++j) {
      const int k = row - rows_.first[j];
      if (k >= rows_.count[j]) continue;
      const size_t slot = static_cast<size_t>(j - next_out_row_);
      if (pending_.size() <= slot) pending_.resize(slot + 1);
      std::vector<float>& acc = pending_[slot];
      if (acc.empty()) acc.assign(across_.size(), 0.0f);
      const float w = rows_.weights[rows_.offset[j] + static_cast<size_t>(k)];
      for (size_t c = 0; c < acc.size(); ++c) acc[c] += w * across_[c];
    }
    // Result rows whose last input row this was are complete.
    while (next_out_row_ < out_height_ && rows_.first[next_out_row_] + rows_.count[next_out_row_] - 1 <= row) {
      const std::vector<float>* acc = pending_.empty() || pending_.front().empty() ? nullptr : &pending_.front();
      for (int i = 0; i < out_width_; ++i) {
        uint8_t* out = emitted_.data() + static_cast<size_t>(i) * 4;
        const float* p = acc ? acc->data() + static_cast<size_t>(i) * 4 : nullptr;
        // Kernel lobes can overshoot either way: results are clamped to the levels there are.
        const float a = p ? std::min(p[3], 255.0f) : 0.0f;
        if (a < 0.5f) {
          out[0] = out[1] = out[2] = out[3] = 0;
          continue;
        }
        for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(std::clamp(p[c] / p[3] + 0.5f, 0.0f, 255.0f));
        out[3] = static_cast<uint8_t>(a + 0.5f);
      }
      emit(next_out_row_, emitted_.data());
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
  int out_width_;
  int out_height_;
  int next_row_;
  int next_out_row_ = 0;
  std::vector<float> across_;               // the input row reduced across: 4 floats a result pixel
  std::vector<std::vector<float>> pending_;  // result rows next_out_row_, next_out_row_ + 1, ...
  std::vector<uint8_t> emitted_;             // a finished result row
};

}  // namespace

// Reductions by more than twice along a side first average areas down to twice the result (every source
// pixel read once, cheaply); the last factor of at most two is a Lanczos-3 step, whose cut-off removes
// what the averaging folds back near its own limit. An area average alone leaves moire on fine
// patterns (a zone plate reduced 4x keeps rings of about +-20 levels); the two steps leave none.
struct AreaReducer::State {
  std::unique_ptr<Pass> area;    // null when no side is reduced more than twice
  std::unique_ptr<Pass> kernel;
  int rows_in = 0;
  Bitmap out;
};

bool AreaReductionApplies(const SourcePart& part, int width_px, int height_px, int out_width_px, int out_height_px) {
  if (width_px <= 0 || height_px <= 0 || out_width_px <= 0 || out_height_px <= 0) return false;
  if (!(part.width > 0 && part.height > 0 && part.x >= 0 && part.y >= 0)) return false;  // NaN fails too
  if (part.x + part.width > width_px || part.y + part.height > height_px) return false;
  return out_width_px <= part.width && out_height_px <= part.height;
}

AreaReducer::AreaReducer(std::unique_ptr<State> state) : state_(std::move(state)) {}
AreaReducer::~AreaReducer() = default;

std::unique_ptr<AreaReducer> AreaReducer::Create(const SourcePart& part, int source_width_px, int source_height_px,
                                                 int out_width_px, int out_height_px) {
  if (!AreaReductionApplies(part, source_width_px, source_height_px, out_width_px, out_height_px)) return nullptr;
  try {
    auto state = std::make_unique<State>();
    const int lo_x = static_cast<int>(std::floor(part.x));
    const int hi_x = std::max(lo_x, static_cast<int>(std::ceil(part.x + part.width)) - 1);
    const int lo_y = static_cast<int>(std::floor(part.y));
    const int hi_y = std::max(lo_y, static_cast<int>(std::ceil(part.y + part.height)) - 1);
    if (part.width > 2.0 * out_width_px || part.height > 2.0 * out_height_px) {
      // Averaged down to twice the result along a side reduced more than twice; about its own extent
      // along the other.
      const int middle_width = part.width > 2.0 * out_width_px
                                   ? 2 * out_width_px
                                   : std::max(out_width_px, static_cast<int>(std::lround(part.width)));
      const int middle_height = part.height > 2.0 * out_height_px
                                    ? 2 * out_height_px
                                    : std::max(out_height_px, static_cast<int>(std::lround(part.height)));
      state->area = std::make_unique<Pass>(BoxAxis(part.x, part.width, source_width_px, middle_width),
                                           BoxAxis(part.y, part.height, source_height_px, middle_height),
                                           middle_width, middle_height);
      state->kernel = std::make_unique<Pass>(KernelAxis(0, middle_width, 0, middle_width - 1, out_width_px),
                                             KernelAxis(0, middle_height, 0, middle_height - 1, out_height_px),
                                             out_width_px, out_height_px);
    } else {
      state->kernel = std::make_unique<Pass>(KernelAxis(part.x, part.width, lo_x, hi_x, out_width_px),
                                             KernelAxis(part.y, part.height, lo_y, hi_y, out_height_px),
                                             out_width_px, out_height_px);
    }
    std::optional<Bitmap> out = MakeBitmap(out_width_px, out_height_px);
    if (!out) return nullptr;
    state->out = std::move(*out);
    return std::unique_ptr<AreaReducer>(new AreaReducer(std::move(state)));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int AreaReducer::first_row() const { return (state_->area ? state_->area : state_->kernel)->first_row(); }
int AreaReducer::row_count() const { return (state_->area ? state_->area : state_->kernel)->row_count(); }

void AreaReducer::AddRow(const uint8_t* rgba) {
  State& s = *state_;
  if (s.rows_in >= row_count()) return;
  ++s.rows_in;
  Bitmap& out = s.out;
  const auto store = [&out](int y, const uint8_t* row) {
    std::copy_n(row, static_cast<size_t>(out.width_px) * 4, out.pixel(0, y));
  };
  if (!s.area) {
    s.kernel->AddRow(rgba, store);
    return;
  }
  Pass& kernel = *s.kernel;
  s.area->AddRow(rgba, [&kernel, &store](int, const uint8_t* row) { kernel.AddRow(row, store); });
}

std::optional<Bitmap> AreaReducer::Finish() {
  if (!state_->kernel->finished()) return std::nullopt;
  return std::move(state_->out);
}

std::optional<Bitmap> ReduceByArea(const Bitmap& image, const SourcePart& part, int out_width_px, int out_height_px) {
  if (image.rgba.size() != static_cast<size_t>(image.width_px) * static_cast<size_t>(image.height_px) * 4) {
    return std::nullopt;
  }
  std::unique_ptr<AreaReducer> reducer =
      AreaReducer::Create(part, image.width_px, image.height_px, out_width_px, out_height_px);
  if (!reducer) return std::nullopt;
  for (int y = 0; y < reducer->row_count(); ++y) reducer->AddRow(image.pixel(0, reducer->first_row() + y));
  return reducer->Finish();
}

std::optional<Bitmap> ReduceByArea(const Bitmap& image, int out_width_px, int out_height_px) {
  return ReduceByArea(image, SourcePart{0, 0, static_cast<double>(image.width_px), static_cast<double>(image.height_px)},
                      out_width_px, out_height_px);
}

}  // namespace platform
