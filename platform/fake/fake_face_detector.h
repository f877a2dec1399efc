// FakeFaceDetector: a FaceDetector that "finds" the faces a test arranged for a picture size, and records
// what it was shown.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <utility>

#include "platform/face_detector.h"

namespace platform {

// Thread safety: every method may be called from any thread.
class FakeFaceDetector : public FaceDetector {
 public:
  // Pictures of width_px x height_px hold `faces`; pictures of any other size hold none.
  void SetFaces(int width_px, int height_px, std::vector<FaceBox> faces) {
    std::lock_guard lock(state_->mutex);
    state_->faces[{width_px, height_px}] = std::move(faces);
  }
  void FailCreation(bool fail) {
    std::lock_guard lock(state_->mutex);
    state_->fail_creation = fail;
  }
  void FailDetection(bool fail) {
    std::lock_guard lock(state_->mutex);
    state_->fail_detection = fail;
  }
  // While held, every Detect waits until Release (or until the hold is lifted).
  void Hold() {
    std::lock_guard lock(state_->mutex);
    state_->held = true;
  }
  void Release() {
    {
      std::lock_guard lock(state_->mutex);
      state_->held = false;
    }
    state_->changed.notify_all();
  }
  // Sizes of the pictures shown to Detect, in order.
  std::vector<std::pair<int, int>> seen_sizes() const {
    std::lock_guard lock(state_->mutex);
    return state_->seen;
  }
  // The first grey pixel value of each picture shown.
  std::vector<uint8_t> seen_first_pixels() const {
    std::lock_guard lock(state_->mutex);
    return state_->first_pixels;
  }
  int detections_created() const {
    std::lock_guard lock(state_->mutex);
    return state_->created;
  }
  int max_concurrent_detections() const {
    std::lock_guard lock(state_->mutex);
    return state_->max_running;
  }
  int running_detections() const {
    std::lock_guard lock(state_->mutex);
    return state_->running;
  }

  bool IsSupported() const override { return true; }

  base::StatusOr<std::unique_ptr<FaceDetection>> CreateDetection() const override {
    std::lock_guard lock(state_->mutex);
    if (state_->fail_creation) return base::Status::Failed("detector creation refused by the test");
    ++state_->created;
    return std::unique_ptr<FaceDetection>(std::make_unique<Detection>(state_));
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::pair<int, int>, std::vector<FaceBox>> faces;
    std::vector<std::pair<int, int>> seen;
    std::vector<uint8_t> first_pixels;
    bool fail_creation = false;
    bool fail_detection = false;
    bool held = false;
    int created = 0;
    int running = 0;
    int max_running = 0;
  };

  class Detection : public FaceDetection {
   public:
    explicit Detection(std::shared_ptr<State> state) : state_(std::move(state)) {}
    base::StatusOr<std::vector<FaceBox>> Detect(const GrayImage& image, const PartRunner& run_parts) override {
      std::unique_lock lock(state_->mutex);
      state_->seen.emplace_back(image.width_px, image.height_px);
      state_->first_pixels.push_back(image.pixels.empty() ? 0 : image.pixels[0]);
      ++state_->running;
      state_->max_running = std::max(state_->max_running, state_->running);
      state_->changed.wait(lock, [this] { return !state_->held; });
      --state_->running;
      if (state_->fail_detection) return base::Status::Failed("detection refused by the test");
      auto found = state_->faces.find({image.width_px, image.height_px});
      std::vector<FaceBox> faces = found == state_->faces.end() ? std::vector<FaceBox>{} : found->second;
      lock.unlock();
      // Two parts, as a real detector splitting its work would ask for; each must run exactly once.
      int runs[2] = {0, 0};
      run_parts(2, [&runs](size_t part) { ++runs[part]; });
      if (runs[0] != 1 || runs[1] != 1) return base::Status::Failed("parts were not run exactly once");
      return faces;
    }

   private:
    std::shared_ptr<State> state_;
  };

  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace platform
