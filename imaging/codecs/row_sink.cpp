// The row sink: rows kept whole or reduced as they arrive; the working memory hold.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/codecs/codec.h"

namespace imaging::codecs {

base::Status HoldWorkingMemory(MemoryBudget* budget, uint64_t bytes, std::optional<MemoryHold>* hold) {
  if (budget != nullptr && !budget->CanEverTake(bytes)) return TooLarge();
  *hold = MemoryHold::Take(budget, bytes);
  return *hold ? base::Status::Ok() : NoMemory();
}

RowSink::RowSink(const DecodeRequest& request, const PictureInfo& info, MemoryBudget* budget)
    : request_(request), info_(info), budget_(budget) {}

RowSink::~RowSink() = default;

base::Status RowSink::Begin(int width_px, int height_px) {
  if (begun_) return base::Status::Failed("rows begun twice");
  if (!SizeWithinLimits(width_px, height_px)) return TooLarge();
  width_ = width_px;
  height_ = height_px;
  // The exact size of the request when it is no larger than the picture; else, for rows at the stored
  // size, the largest whole factor that covers the minimum; else the rows as they come.
  int target_width = width_px, target_height = height_px;
  const bool exact = request_.exact_width_px > 0 && request_.exact_height_px > 0 &&
                     request_.exact_width_px <= info_.width_px && request_.exact_height_px <= info_.height_px;
  if (exact) {
    target_width = std::min(request_.exact_width_px, width_px);
    target_height = std::min(request_.exact_height_px, height_px);
  } else if (width_px == info_.width_px && height_px == info_.height_px) {
    DecodeSize(PictureFormat::kPng, width_px, height_px, request_.min_width_px, request_.min_height_px, &target_width,
               &target_height);
  }
  if (exact && (target_width != request_.exact_width_px || target_height != request_.exact_height_px)) {
    // The decoder made its rows smaller than the exact size (it cannot happen with the scales it picks):
    // the reduction then enlarges them.
    target_width = request_.exact_width_px;
    target_height = request_.exact_height_px;
  }
  begun_ = true;
  const uint64_t result_bytes = uint64_t{4} * static_cast<uint64_t>(target_width) * static_cast<uint64_t>(target_height);
  if (budget_ != nullptr && !budget_->CanEverTake(result_bytes)) return TooLarge();
  if (target_width == width_px && target_height == height_px) {
    std::optional<Bitmap> whole = MakeBitmap(width_px, height_px, kMissingPixel, budget_);
    if (!whole) return NoMemory();
    whole_ = std::move(*whole);
    return base::Status::Ok();
  }
  reducer_ = RowReducer::Create(PixelRect{0, 0, width_px, height_px}, width_px, height_px, target_width,
                                target_height, budget_);
  return reducer_ ? base::Status::Ok() : NoMemory();
}

void RowSink::Row(const uint8_t* rgba) {
  if (!begun_ || rows_ >= height_) return;
  if (reducer_) {
    reducer_->AddRow(rgba);
  } else {
    std::memcpy(whole_.pixel(0, rows_), rgba, static_cast<size_t>(width_) * 4);
  }
  ++rows_;
}

base::StatusOr<Bitmap> RowSink::Finish() {
  if (!begun_) return Damaged();
  if (!reducer_) return std::move(whole_);  // made filled with kMissingPixel: rows not given keep it
  if (rows_ < height_) {
    std::vector<uint8_t> grey;
    try {
      grey.resize(static_cast<size_t>(width_) * 4);
    } catch (const std::bad_alloc&) {
      return NoMemory();
    }
    for (size_t i = 0; i < grey.size(); i += 4) {
      grey[i] = grey[i + 1] = grey[i + 2] = 0x80;
      grey[i + 3] = 0xFF;
    }
    while (rows_ < height_) Row(grey.data());
  }
  std::optional<Bitmap> reduced = reducer_->Finish();
  if (!reduced) return NoMemory();
  return std::move(*reduced);
}

}  // namespace imaging::codecs
