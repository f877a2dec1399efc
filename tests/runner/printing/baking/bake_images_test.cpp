// Tests for the bake orchestration: thread counts, the claim counter, worker failures, the output folder,
// the log lines and the method's replies, with a bake function the tests control.
#include "runner/printing/baking/bake_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <system_error>

#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_settings_store.h"
#include "runner/printing/baking/bake_geometry.h"
#include "runner/printing/baking/baking_channel.h"
#include "tests/support/recorded_result.h"

namespace runner::printing {
namespace {

using test_support::RecordedResult;

// A result that passes its one answer on to `target`, which the test keeps, so that a handler can own it.
class ForwardingResult : public MethodResult {
 public:
  explicit ForwardingResult(MethodResult& target) : target_(target) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override { result ? target_.Success(*result) : target_.Success(); }
  void ErrorInternal(const std::string& code, const std::string& message, const EncodableValue* details) override {
    details ? target_.Error(code, message, *details) : target_.Error(code, message);
  }
  void NotImplementedInternal() override { target_.NotImplemented(); }

 private:
  MethodResult& target_;
};

EncodableValue V(const char* text) { return EncodableValue(std::string(text)); }

std::vector<BakeRequest> Requests(int count) {
  std::vector<BakeRequest> requests(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) requests[static_cast<size_t>(i)].source_path = "/p/" + std::to_string(i) + ".jpg";
  return requests;
}

EncodableValue RequestMap(const std::string& path, bool with_height = true) {
  EncodableMap map{{V("sourcePath"), EncodableValue(path)}, {V("canvasWidth"), EncodableValue(10)}};
  if (with_height) map[V("canvasHeight")] = EncodableValue(20);
  return EncodableValue(map);
}

class BakeImagesTest : public ::testing::Test {
 protected:
  BakeImagesTest() {
    setup_.files = &files_;
    setup_.clock = &clock_;
    setup_.hardware_threads = 16;
    setup_.bake = [this](const BakeRequest& request, int32_t index, const std::string& folder,
                         const std::string& profile, int quality) {
      std::lock_guard lock(mutex_);
      baked_.push_back(index);
      seen_folder_ = folder;
      seen_profile_ = profile;
      seen_quality_ = quality;
      BakeResult result;
      result.index = index;
      result.success = true;
      result.baked_path = folder + "/" + request.source_path.substr(3);
      return result;
    };
  }

  // Runs the parallel bake with standard error captured into log_.
  std::vector<BakeResult> Bake(int count, int32_t max_threads) {
    ::testing::internal::CaptureStderr();
    std::vector<BakeResult> results;
    try {
      results = BakeImagesInParallel(Requests(count), max_threads, "srgb", 95, setup_);
    } catch (...) {
      log_ = ::testing::internal::GetCapturedStderr();
      throw;
    }
    log_ = ::testing::internal::GetCapturedStderr();
    return results;
  }

  void Handle(EncodableValue arguments, RecordedResult& result) {
    MethodCall call("bakeImagesForPrinting", std::make_unique<EncodableValue>(std::move(arguments)));
    ::testing::internal::CaptureStderr();
    MakeBakeImagesForPrintingHandler(setup_, &settings_)(call, std::make_unique<ForwardingResult>(result));
    log_ = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result.answers, 1);
  }

  size_t LogCount(const std::string& piece) const {
    size_t found = 0;
    for (size_t at = log_.find(piece); at != std::string::npos; at = log_.find(piece, at + 1)) ++found;
    return found;
  }

  platform::FakeFileSystem files_;
  platform::FakeClock clock_;
  platform::FakeSettingsStore settings_;
  ParallelBakeSetup setup_;
  std::mutex mutex_;
  std::vector<int32_t> baked_;
  std::string seen_folder_;
  std::string seen_profile_;
  int seen_quality_ = 0;
  std::string log_;
};

TEST(BakeThreadCount, FollowsTheHardwareAndTheCap) {
  EXPECT_EQ(BakeThreadCount(0, 0), 1);
  EXPECT_EQ(BakeThreadCount(0, 1), 1);
  EXPECT_EQ(BakeThreadCount(0, 2), 1);
  EXPECT_EQ(BakeThreadCount(0, 3), 2);
  EXPECT_EQ(BakeThreadCount(0, 16), 8);
  EXPECT_EQ(BakeThreadCount(-3, 16), 8);
  EXPECT_EQ(BakeThreadCount(20, 2), 8);
  EXPECT_EQ(BakeThreadCount(3, 16), 3);
  EXPECT_EQ(ClampJpegQuality(0), 1);
  EXPECT_EQ(ClampJpegQuality(-5), 1);
  EXPECT_EQ(ClampJpegQuality(1), 1);
  EXPECT_EQ(ClampJpegQuality(2), 2);
  EXPECT_EQ(ClampJpegQuality(150), 100);
}

TEST_F(BakeImagesTest, FiftyRequestsOnEightWorkersEachLandAtTheirOwnIndex) {
  // The folder is named when the bake starts.
  const std::string expected_folder = std::string(platform::FakeFileSystem::kDefaultTempFolder) + "/" +
                                      BakeFolderName(ToLocalTime(clock_.WallNow()));
  const auto results = Bake(50, 8);
  ASSERT_EQ(results.size(), 50u);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(results[static_cast<size_t>(i)].index, i);
    EXPECT_EQ(results[static_cast<size_t>(i)].baked_path, seen_folder_ + "/" + std::to_string(i) + ".jpg");
  }
  std::vector<int32_t> sorted = baked_;
  std::sort(sorted.begin(), sorted.end());
  ASSERT_EQ(sorted.size(), 50u);  // every image baked exactly once
  for (int i = 0; i < 50; ++i) EXPECT_EQ(sorted[static_cast<size_t>(i)], i);

  EXPECT_EQ(seen_folder_, expected_folder);
  EXPECT_EQ(LogCount("INFO: Using color profile: srgb\n"), 1u);
  EXPECT_EQ(LogCount("INFO: Starting parallel baking with 8 threads for 50 images\n"), 1u);
  EXPECT_EQ(LogCount("INFO: Output directory: " + seen_folder_ + "\n"), 1u);
  EXPECT_EQ(LogCount("INFO: Waiting for 8 threads to complete...\n"), 1u);
  EXPECT_EQ(LogCount(" completed image "), 50u);
  EXPECT_EQ(LogCount(" exiting normally\n"), 8u);
  EXPECT_EQ(LogCount("INFO: Joining thread 7 (ID: "), 1u);
  EXPECT_EQ(LogCount("INFO: Thread 7 joined successfully\n"), 1u);
  EXPECT_EQ(LogCount("INFO: All threads joined\n"), 1u);
  EXPECT_EQ(LogCount("INFO: Parallel baking completed: 50 succeeded, 0 failed\n"), 1u);
  EXPECT_EQ(clock_.slept(), std::chrono::milliseconds(0));  // woken by the workers' progress, never by a timer
}

TEST_F(BakeImagesTest, ABakeStoppingForTheClosingClaimsNoFurtherImage) {
  std::atomic<int> baked{0};
  std::atomic<bool> stopping{false};
  const BakeFunction good = setup_.bake;
  setup_.stopping = [&stopping] { return stopping.load(); };
  setup_.bake = [&](const BakeRequest& request, int32_t index, const std::string& folder, const std::string& profile,
                    int quality) {
    if (++baked == 3) stopping = true;
    return good(request, index, folder, profile, quality);
  };
  const auto results = Bake(40, 1);
  ASSERT_EQ(results.size(), 40u);
  EXPECT_EQ(baked.load(), 3);
  EXPECT_TRUE(results[2].success);
  EXPECT_FALSE(results[3].success);
  EXPECT_EQ(results[39].index, -1);  // never claimed: its initial result
}

TEST_F(BakeImagesTest, MoreThreadsThanImagesStartsOneWorkerPerImage) {
  int starts = 0;
  setup_.start_worker = [&starts](std::function<void()> work) {
    ++starts;
    return std::thread(std::move(work));
  };
  Bake(3, 20);
  EXPECT_EQ(starts, 3);
  EXPECT_EQ(LogCount("with 8 threads for 3 images"), 1u);
  EXPECT_EQ(LogCount("INFO: Waiting for 3 threads to complete...\n"), 1u);
}

TEST_F(BakeImagesTest, ThrowingBakesFailTheirImageOnlyWithOrWithoutText) {
  const BakeFunction good = setup_.bake;
  setup_.bake = [good](const BakeRequest& request, int32_t index, const std::string& folder,
                       const std::string& profile, int quality) -> BakeResult {
    if (index == 2) throw std::runtime_error("x");
    if (index == 3) throw 42;
    if (index == 4) {
      BakeResult failed;
      failed.index = index;
      failed.error = "Failed to render image with effects";
      return failed;
    }
    return good(request, index, folder, profile, quality);
  };
  const auto results = Bake(6, 4);
  EXPECT_EQ(results[2].error, "Thread exception: x");
  EXPECT_EQ(results[3].error, "Thread unknown exception");
  EXPECT_FALSE(results[2].success || results[3].success || results[4].success);
  EXPECT_EQ(results[3].index, 3);
  EXPECT_TRUE(results[0].success && results[1].success && results[5].success);
  EXPECT_EQ(LogCount(" exception in BakeSingleImage for image 2: x\n"), 1u);
  EXPECT_EQ(LogCount(" unknown exception in BakeSingleImage for image 3\n"), 1u);
  EXPECT_EQ(LogCount(" failed image 4: Failed to render image with effects\n"), 1u);
  EXPECT_EQ(LogCount(" finished processing image "), 6u);
  EXPECT_EQ(LogCount("INFO: Parallel baking completed: 3 succeeded, 3 failed\n"), 1u);
}

TEST_F(BakeImagesTest, OutputFolderThatCannotBeMadeFailsEveryImageWithoutWorkers) {
  files_.RefuseTempFolder(
      base::Status::AccessDenied("/fake-tmp/PictaVera_Temp: a link, not a folder").WithSystemError(ELOOP));
  const auto results = Bake(3, 2);
  ASSERT_EQ(results.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(results[static_cast<size_t>(i)].error, "Failed to create output directory");
    EXPECT_EQ(results[static_cast<size_t>(i)].index, i);
  }
  EXPECT_TRUE(baked_.empty());
  EXPECT_EQ(LogCount("ERROR: Failed to create output directory, error=" + std::to_string(ELOOP) + "\n"), 1u);
  EXPECT_EQ(LogCount("DEBUG C++: Output directory refused: access denied: /fake-tmp/PictaVera_Temp: a link, "
                     "not a folder\n"), 1u);
  EXPECT_EQ(LogCount("INFO: Output directory"), 0u);

  files_.RefuseTempFolder(base::Status::Ok());
  const std::string folder =
      std::string(platform::FakeFileSystem::kDefaultTempFolder) + "/" + BakeFolderName(ToLocalTime(clock_.WallNow()));
  files_.AddFile(folder, {1});  // a file in the folder's place
  EXPECT_EQ(Bake(1, 1)[0].error, "Failed to create output directory");
  EXPECT_EQ(LogCount("ERROR: Failed to create output directory, error=" + std::to_string(ENOTDIR) + "\n"), 1u);
  ASSERT_TRUE(files_.RemoveFile(folder).ok());
  files_.AddFolder("/elsewhere");
  files_.AddLink(folder, "/elsewhere");  // a link to a folder is not followed either
  EXPECT_EQ(Bake(1, 1)[0].error, "Failed to create output directory");
  EXPECT_EQ(LogCount(folder + ": a link, not a folder\n"), 1u);
  ASSERT_TRUE(files_.RemoveFile(folder).ok());
  files_.AddFolder(folder);
  EXPECT_TRUE(Bake(1, 1)[0].success);  // an existing folder of that name is shared
}

TEST_F(BakeImagesTest, WorkerThatCannotStartLetsTheStartedOnesFinishThenThrows) {
  int starts = 0;
  setup_.start_worker = [&starts](std::function<void()> work) {
    if (++starts > 2) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(work));
  };
  EXPECT_THROW(Bake(20, 8), std::runtime_error);
  EXPECT_EQ(baked_.size(), 20u);  // the two started workers baked everything
  EXPECT_EQ(LogCount("INFO: Waiting for 2 threads to complete...\n"), 1u);
  EXPECT_EQ(LogCount("INFO: Thread 1 joined successfully\n"), 1u);

  starts = 2;  // no worker at all
  baked_.clear();
  EXPECT_THROW(Bake(5, 8), std::runtime_error);
  EXPECT_TRUE(baked_.empty());
}

TEST_F(BakeImagesTest, ReplyCountsAcceptedRequestsOnly) {
  settings_.Put("ColorProfile", "adobe_rgb");
  EncodableList requests{RequestMap("/p/a.jpg"), RequestMap("/p/b.jpg", false), RequestMap("/p/c.jpg"),
                         EncodableValue(7), RequestMap("/p/d.jpg"), RequestMap("/p/e.jpg")};
  RecordedResult result;
  Handle(EncodableValue(EncodableMap{{V("requests"), EncodableValue(requests)}}), result);
  ASSERT_TRUE(result.success) << result.message;
  const auto& list = std::get<EncodableList>(result.map().at(V("results")));
  ASSERT_EQ(list.size(), 4u);
  for (int i = 0; i < 4; ++i) {
    const auto& entry = std::get<EncodableMap>(list[static_cast<size_t>(i)]);
    EXPECT_EQ(entry.at(V("index")), EncodableValue(i));
    EXPECT_EQ(entry.count(V("error")), 0u);
  }
  EXPECT_EQ(std::get<EncodableMap>(list[2]).at(V("bakedPath")), EncodableValue(seen_folder_ + "/d.jpg"));
  EXPECT_EQ(result.map().at(V("successCount")), EncodableValue(4));
  EXPECT_EQ(result.map().at(V("failureCount")), EncodableValue(0));
  EXPECT_EQ(seen_profile_, "adobe_rgb");
  EXPECT_EQ(seen_quality_, 95);
  EXPECT_EQ(LogCount("INFO: Starting parallel baking with 8 threads for 4 images\n"), 1u);  // 16 - 1, capped
}

TEST_F(BakeImagesTest, QualityIsClampedOnItsWayToTheBake) {
  const std::vector<std::pair<EncodableValue, int>> cases = {
      {EncodableValue(0), 1}, {EncodableValue(-5), 1}, {EncodableValue(150), 100},
      {EncodableValue(90.0), 95}, {EncodableValue(int64_t{50}), 95}, {EncodableValue(1), 1}, {EncodableValue(100), 100}};
  for (const auto& [quality, expected] : cases) {
    RecordedResult result;
    Handle(EncodableValue(EncodableMap{{V("requests"), EncodableValue(EncodableList{RequestMap("/p/a.jpg")})},
                                       {V("jpegQuality"), quality}}),
           result);
    EXPECT_EQ(seen_quality_, expected);
  }
}

TEST_F(BakeImagesTest, ArgumentFailuresAnswerTheirRows) {
  RecordedResult not_map;
  Handle(EncodableValue(EncodableList{}), not_map);
  EXPECT_EQ(not_map.code, "INVALID_ARGUMENTS");
  EXPECT_EQ(not_map.message, "Expected map of arguments");

  RecordedResult requests_map;
  Handle(EncodableValue(EncodableMap{{V("requests"), EncodableValue(EncodableMap{})}}), requests_map);
  EXPECT_EQ(requests_map.message, "Missing or invalid 'requests' parameter");

  RecordedResult no_maps;
  Handle(EncodableValue(EncodableMap{{V("requests"), EncodableValue(EncodableList{V("a"), EncodableValue(1)})}}),
         no_maps);
  EXPECT_EQ(no_maps.code, "NO_REQUESTS");
  EXPECT_EQ(no_maps.message, "No valid bake requests found");
  EXPECT_TRUE(baked_.empty());
}

TEST_F(BakeImagesTest, WorkerStartFailureAnswersBakingException) {
  setup_.start_worker = [](std::function<void()>) -> std::thread {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again), "no threads");
  };
  RecordedResult result;
  Handle(EncodableValue(EncodableMap{{V("requests"), EncodableValue(EncodableList{RequestMap("/p/a.jpg")})}}), result);
  EXPECT_EQ(result.code, "BAKING_EXCEPTION");
  EXPECT_EQ(result.message.rfind("no threads", 0), 0u) << result.message;
}

}  // namespace
}  // namespace runner::printing
