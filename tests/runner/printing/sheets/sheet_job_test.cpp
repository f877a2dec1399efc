// CreateGridImagesWithHelper: with fakes, what the helper is given and what each of its outcomes leads to;
// with real processes, helpers that are missing, refuse to start, fail, are killed or flood their output,
// and the real helper program.
#include "runner/printing/sheets/sheet_job.h"

#include <errno.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "helper/grid_job.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_face_detector.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_graphics.h"
#include "platform/fake/fake_process_runner.h"
#include "tests/helper/test_images.h"
#include "tests/runner/system_adapters.h"
#include "tests/support/temp_folder.h"

namespace runner::printing {
namespace {

namespace fs = std::filesystem;

constexpr char kHelper[] = "/app/mosalith";

mosalith::GridJob SmallRequest(const std::string& folder) {
  mosalith::GridJob request;
  request.images = {folder + "/a.png", folder + "/b.png"};
  request.outputs = {folder + "/sheet_1.jpg"};
  request.frames = {"", folder + "/frame.png"};
  request.rows = 1;
  request.cols = 2;
  request.pageWidth = 200;
  request.pageHeight = 100;
  request.marginLeft = request.marginRight = request.marginTop = request.marginBottom = 0;
  mosalith::EffectRecord edited;
  edited.contrast = 0.25f;
  request.effects = {edited};
  return request;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class SheetJobWithFakesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files_.AddFile(kHelper, {});
    context_.files = &files_;
    context_.processes = &processes_;
    context_.clock = &clock_;
    context_.mosalith_path = kHelper;
    context_.process_id = 4242;
  }
  // Runs the job with standard error captured into log_.
  GridResult Run(const mosalith::GridJob& request) {
    ::testing::internal::CaptureStderr();
    GridResult result = CreateGridImagesWithHelper(request, context_);
    log_ = ::testing::internal::GetCapturedStderr();
    return result;
  }
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> left;
    for (const std::string& path : files_.Files()) {
      if (path.rfind(platform::FakeFileSystem::kDefaultTempFolder, 0) == 0) left.push_back(path);
    }
    return left;
  }

  platform::FakeFileSystem files_;
  platform::FakeProcessRunner processes_;
  platform::FakeClock clock_;
  SheetJobContext context_;
  std::string log_;
};

TEST_F(SheetJobWithFakesTest, TheHelperRunsOnItsOwnJobFileWhichIsGoneAfterwards) {
  mosalith::GridJob seen;
  std::vector<std::string> arguments;
  processes_.SetBehaviour([&](const std::string&, const std::vector<std::string>& args) {
    arguments = args;
    const std::optional<std::vector<uint8_t>> bytes = files_.Contents(args.at(0));
    EXPECT_TRUE(bytes);
    if (bytes) {
      EXPECT_TRUE(mosalith::ParseGridJob(std::string(bytes->begin(), bytes->end()), seen).ok());
    }
    clock_.Advance(std::chrono::milliseconds(120));
    return platform::ExitedWith(0, "Mosalith: 1 sheet\nOK\n");
  });
  const mosalith::GridJob request = SmallRequest("/photos");
  const GridResult result = Run(request);

  EXPECT_TRUE(result.success);
  EXPECT_EQ(result.errorMessage, "");
  EXPECT_EQ(result.totalTimeMs, 120);
  EXPECT_EQ(result.loadTimeMs, 0);
  EXPECT_EQ(result.composeTimeMs, 0);
  ASSERT_EQ(processes_.calls().size(), 1u);
  EXPECT_EQ(processes_.calls()[0].program, kHelper);
  ASSERT_EQ(arguments.size(), 1u);
  EXPECT_EQ(arguments[0].rfind(std::string(platform::FakeFileSystem::kDefaultTempFolder) + "/grid_config_4242_", 0), 0u);
  EXPECT_EQ(seen.images, request.images);
  EXPECT_EQ(seen.outputs, request.outputs);
  EXPECT_EQ(seen.frames, request.frames);
  EXPECT_FLOAT_EQ(seen.effects.at(0).contrast, 0.25f);
  EXPECT_TRUE(TempFiles().empty());
  EXPECT_TRUE(Contains(log_,
                       "DEBUG C++: CreateGridImagesWithHelper called!\n"
                       "DEBUG C++: Looking for helper at: /app/mosalith\n"
                       "DEBUG C++: First image path: /photos/a.png\n"
                       "DEBUG C++: CreateGridImagesWithHelper showCutGrid=0, widthMm=0.1, cutGridColor=darkGray\n"))
      << log_;
  EXPECT_TRUE(Contains(log_,
                       "DEBUG C++: Config file created with 2 images, 1 outputs\n"
                       "DEBUG C++: Running mosalith.exe...\n"
                       "Mosalith: 1 sheet\nOK\n"
                       "DEBUG C++: mosalith completed in 120ms\n"))
      << log_;
}

TEST_F(SheetJobWithFakesTest, FaceAwareCropsCarryThePhotosFacesToTheHelper) {
  platform::FakeGraphics graphics;
  graphics.AddPicture("/photos/a.png", *imaging::MakeBitmap(400, 200, 0xFF808080));
  graphics.AddPicture("/photos/b.png", *imaging::MakeBitmap(300, 300, 0xFF808080));
  platform::FakeFaceDetector faces;
  faces.SetFaces(400, 200, {platform::FaceBox{100, 50, 40, 20}});
  context_.graphics = &graphics;
  context_.faces = &faces;
  mosalith::GridJob seen;
  processes_.SetBehaviour([&](const std::string&, const std::vector<std::string>& args) {
    const std::optional<std::vector<uint8_t>> bytes = files_.Contents(args.at(0));
    seen = mosalith::GridJob{};
    if (bytes) {
      EXPECT_TRUE(mosalith::ParseGridJob(std::string(bytes->begin(), bytes->end()), seen).ok());
    }
    return platform::ExitedWith(0, "OK\n");
  });
  mosalith::GridJob request = SmallRequest("/photos");
  ASSERT_TRUE(Run(request).success) << log_;
  EXPECT_TRUE(seen.faces.empty());  // not asked for: nothing is looked for
  EXPECT_EQ(faces.detections_created(), 0);

  request.faceAwareCrop = true;
  ASSERT_TRUE(Run(request).success) << log_;
  ASSERT_EQ(seen.faces.size(), 1u);  // the second photo has none
  EXPECT_EQ(seen.faces[0], (std::vector<mosalith::FaceArea>{{0.25, 0.25, 0.1, 0.1}}));
  EXPECT_TRUE(Contains(log_, "DEBUG C++: Found 1 faces in 2 photos for face-aware crops\n")) << log_;
}

TEST_F(SheetJobWithFakesTest, EveryHelperFailureFallsBackAndRemovesTheJobFile) {
  struct Case {
    platform::ProcessOutcome outcome;
    std::string line;
  };
  platform::ProcessOutcome wait_failed = platform::ExitedWith(1);
  wait_failed.wait_failed = true;
  const Case cases[] = {
      {platform::ExitedWith(1, "Mosalith: Failed to parse config\n"), "DEBUG C++: mosalith failed (exit=1), using fallback\n"},
      {platform::ExitedWith(128 + SIGSEGV), "DEBUG C++: mosalith failed (exit=139), using fallback\n"},
      {platform::NotStarted(base::Status::AccessDenied("mosalith.exe: Permission denied")), "DEBUG C++: Failed to start mosalith.exe, using fallback\n"},
      {wait_failed, "DEBUG C++: WaitForSingleObject failed\n"},
  };
  for (const Case& c : cases) {
    processes_.SetOutcome(c.outcome);
    const GridResult result = Run(SmallRequest("/photos"));
    EXPECT_TRUE(Contains(log_, c.line)) << log_;
    EXPECT_TRUE(Contains(log_, "DEBUG C++: GridComposer - 2 images, 1x2 grid, page 200x100, cell 100x100")) << log_;
    EXPECT_FALSE(result.success);  // no graphics port here: the fallback cannot draw
    EXPECT_EQ(result.errorMessage, "Failed to initialize GDI+");
    EXPECT_TRUE(TempFiles().empty()) << c.line;
  }
}

TEST_F(SheetJobWithFakesTest, AMissingHelperGoesStraightToTheFallback) {
  context_.mosalith_path = "/app/not-there";
  const GridResult result = Run(SmallRequest("/photos"));
  EXPECT_TRUE(Contains(log_, "DEBUG C++: mosalith.exe not found, using fallback\nDEBUG C++: GridComposer - ")) << log_;
  EXPECT_TRUE(processes_.calls().empty());
  EXPECT_TRUE(files_.CreatedPaths().empty());
  EXPECT_EQ(result.errorMessage, "Failed to initialize GDI+");
}

TEST_F(SheetJobWithFakesTest, AJobFileThatCannotBeWrittenFailsWithoutFallback) {
  mosalith::GridJob hostile = SmallRequest("/photos");
  hostile.outputs.push_back("/o/x.jpg\n[images]");
  GridResult result = Run(hostile);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.errorMessage, "Failed to create config file");
  EXPECT_FALSE(Contains(log_, "GridComposer"));

  files_.FailWritesWith(platform::FakeFileSystem::DiskFull());
  result = Run(SmallRequest("/photos"));
  EXPECT_EQ(result.errorMessage, "Failed to create config file");
  files_.FailWritesWith(base::Status::Ok());
  files_.RefuseTempFolder(base::Status::AccessDenied("/fake-tmp/PictaVera_Temp: not this user's own folder"));
  result = Run(SmallRequest("/photos"));
  EXPECT_EQ(result.errorMessage, "Failed to create config file");
  EXPECT_TRUE(processes_.calls().empty());
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(SheetJobWithFakesTest, RequestsThatWouldLoseAFileAreRefusedBeforeAnythingIsWritten) {
  files_.AddFile("/photos/a.png", {'a'});
  files_.AddFile("/photos/frame.png", {'f'});
  files_.AddLink("/out/link.jpg", "/photos/a.png");
  struct Case {
    std::vector<std::string> outputs;
    int32_t page_width;
    std::string message;
  };
  const Case cases[] = {
      {{"/out/s1.jpg", "/photos/a.png"}, 200, "Output path is one of the input files: /photos/a.png"},
      {{"/out/link.jpg"}, 200, "Output path is one of the input files: /out/link.jpg"},
      {{"/photos/frame.png"}, 200, "Output path is one of the input files: /photos/frame.png"},
      {{"/out/s1.jpg", ""}, 200, "Empty output path at index 1"},
      {{"/out/s1.jpg"}, 32767, "Invalid page size 32767x32767"},
  };
  for (const Case& c : cases) {
    mosalith::GridJob request = SmallRequest("/photos");
    request.outputs = c.outputs;
    request.pageWidth = request.pageHeight = c.page_width;
    const GridResult result = Run(request);
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.errorMessage, c.message);
    EXPECT_TRUE(Contains(log_, "DEBUG C++: Sheet job refused: " + c.message + "\n")) << log_;
  }
  EXPECT_TRUE(processes_.calls().empty());
  EXPECT_TRUE(files_.CreatedPaths().empty());
  EXPECT_EQ(files_.Contents("/photos/a.png"), std::vector<uint8_t>({'a'}));
  EXPECT_EQ(files_.KindAt("/out/link.jpg"), platform::PathKind::kLink);
}

TEST_F(SheetJobWithFakesTest, AfterAFailedHelperOnlyTheSheetsItDidNotWriteAreComposed) {
  platform::FakeGraphics graphics;
  for (const char* photo : {"/photos/a.png", "/photos/b.png", "/photos/c.png"}) {
    graphics.AddPicture(photo, *imaging::MakeBitmap(10, 10, 0xFFFF0000), 1, platform::ImageFormat::kPng);
  }
  context_.graphics = &graphics;
  files_.AddFolder("/out");
  files_.AddFile("/out/s2.jpg", {'o', 'l', 'd'});  // an older sheet the helper did not replace
  mosalith::GridJob request = SmallRequest("/photos");
  request.images = {"/photos/a.png", "/photos/b.png", "/photos/c.png"};
  request.frames.clear();
  request.cols = 1;
  request.pageWidth = 100;
  request.outputs = {"/out/s1.jpg", "/out/s2.jpg", "/out/s3.jpg"};
  processes_.SetBehaviour([&](const std::string&, const std::vector<std::string>&) {
    EXPECT_TRUE(files_.WriteFile("/out/s1.jpg", {'h', '1'}).ok());
    EXPECT_TRUE(files_.WriteFile("/out/s3.jpg", {'h', '3'}).ok());
    return platform::ExitedWith(2, "Mosalith: Failed to write page 2: /out/s2.jpg\n");
  });
  const GridResult result = Run(request);
  EXPECT_TRUE(result.success) << result.errorMessage;
  EXPECT_EQ(files_.Contents("/out/s1.jpg"), std::vector<uint8_t>({'h', '1'}));
  EXPECT_EQ(files_.Contents("/out/s3.jpg"), std::vector<uint8_t>({'h', '3'}));
  ASSERT_TRUE(files_.Contents("/out/s2.jpg"));
  EXPECT_TRUE(platform::FakeGraphics::ReadEncoded(*files_.Contents("/out/s2.jpg")));
  EXPECT_EQ(graphics.decode_options().size(), 1u);  // only the photo of sheet 2 was loaded
  EXPECT_TRUE(Contains(log_, "DEBUG C++: mosalith wrote 2 of 3 sheets; composing the other 1\n")) << log_;
}

TEST_F(SheetJobWithFakesTest, AnExceptionFromTheRunStillRemovesTheJobFile) {
  processes_.SetBehaviour([](const std::string&, const std::vector<std::string>&) -> platform::ProcessOutcome {
    throw std::runtime_error("pipe trouble");
  });
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(CreateGridImagesWithHelper(SmallRequest("/photos"), context_), std::runtime_error);
  ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(TempFiles().empty());
}

// Real helper stand-ins (shell scripts: Linux only) and the real helper program, in a private temporary
// folder, on the system's adapters.
class SheetJobWithProcessesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "photos");
    files_ = runner::testing::SystemFileSystem(test_support::Utf8(root_ / "jobs"));
    context_.files = files_.get();
    context_.processes = processes_.get();
    context_.graphics = graphics_.get();
    context_.clock = &clock_;
    context_.process_id = runner::testing::SystemProcessId();
  }
#ifndef _WIN32
  // A shell script standing in for the helper at the helper's path.
  std::string Helper(const std::string& body, bool executable = true) {
    const std::string path = test_support::Utf8(root_ / "mosalith");
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
    return path;
  }
#endif
  GridResult Run(const mosalith::GridJob& request) {
    ::testing::internal::CaptureStderr();
    GridResult result = CreateGridImagesWithHelper(request, context_);
    log_ = ::testing::internal::GetCapturedStderr();
    return result;
  }
  size_t JobFilesLeft() const {
    if (!fs::exists(root_ / "jobs")) return 0;
    return static_cast<size_t>(std::distance(fs::directory_iterator(root_ / "jobs"), fs::directory_iterator()));
  }

  test_support::TempFolder temp_{"sheet_job_test"};
  const fs::path root_ = temp_.path();
  std::unique_ptr<platform::FileSystem> files_;
  std::unique_ptr<platform::ProcessRunner> processes_ = runner::testing::SystemProcessRunner();
  std::unique_ptr<platform::Graphics> graphics_ = runner::testing::SystemGraphics();
  platform::FakeClock clock_;
  SheetJobContext context_;
  std::string log_;
};

// Two red photos and a transparent frame, as PNG files in `folder`.
void WritePhotos(const std::string& folder) {
  const auto red = mosalith::testing::MakeImage(60, 40, [](int32_t, int32_t) { return 0xFF0000FFu; });
  const auto frame = mosalith::testing::MakeImage(10, 10, [](int32_t, int32_t) { return 0x00000000u; });
  test_support::WriteBytes(folder + "/a.png", mosalith::testing::PngFile(red));
  test_support::WriteBytes(folder + "/b.png", mosalith::testing::PngFile(red));
  test_support::WriteBytes(folder + "/frame.png", mosalith::testing::PngFile(frame));
}

#ifndef _WIN32
TEST_F(SheetJobWithProcessesTest, HelpersThatFailInAnyWayFallBackAndLeaveNoJobFile) {
  struct Case {
    std::string body;
    bool executable;
    std::string line;
  };
  const Case cases[] = {
      {"exit 0", false, "DEBUG C++: Failed to start mosalith.exe, using fallback\n"},
      {"echo 'Mosalith: Failed to parse config' >&2; exit 1", true,
       "Mosalith: Failed to parse config\nDEBUG C++: mosalith failed (exit=1), using fallback\n"},
      {"kill -KILL $$", true, "DEBUG C++: mosalith failed (exit=137), using fallback\n"},
      {"kill -SEGV $$", true, "DEBUG C++: mosalith failed (exit=139), using fallback\n"},
  };
  const std::string photos = test_support::Utf8(root_ / "photos");
  WritePhotos(photos);
  for (const Case& c : cases) {
    context_.mosalith_path = Helper(c.body, c.executable);
    fs::remove(photos + "/sheet_1.jpg");
    const GridResult result = Run(SmallRequest(photos));
    EXPECT_TRUE(Contains(log_, c.line)) << log_;
    EXPECT_TRUE(Contains(log_, "DEBUG C++: GridComposer - ")) << log_;
    EXPECT_TRUE(result.success) << result.errorMessage;  // the in-process composer made the sheet
    EXPECT_GT(fs::file_size(photos + "/sheet_1.jpg"), 100u);
    EXPECT_EQ(JobFilesLeft(), 0u) << c.body;
  }
  context_.mosalith_path = test_support::Utf8(root_ / "absent");
  Run(SmallRequest(test_support::Utf8(root_ / "photos")));
  EXPECT_TRUE(Contains(log_, "DEBUG C++: mosalith.exe not found, using fallback\n"));
}

TEST_F(SheetJobWithProcessesTest, AHelperFloodingItsOutputIsRelayedWhole) {
  // 20 MB of log lines on both streams; the job file still exists while the helper runs.
  context_.mosalith_path = Helper(
      "test -f \"$1\" || exit 9\n"
      "i=0; while [ $i -lt 4 ]; do head -c 2500000 /dev/zero | tr '\\0' Z | fold -w 99; "
      "head -c 2500000 /dev/zero | tr '\\0' Q | fold -w 99 >&2; i=$((i+1)); done; echo END");
  const GridResult result = Run(SmallRequest(test_support::Utf8(root_ / "photos")));
  EXPECT_TRUE(result.success) << log_.substr(log_.size() - std::min<size_t>(log_.size(), 300));
  EXPECT_EQ(std::count(log_.begin(), log_.end(), 'Z'), 10'000'000);
  EXPECT_EQ(std::count(log_.begin(), log_.end(), 'Q'), 10'000'000);
  EXPECT_TRUE(Contains(log_, "END\nDEBUG C++: mosalith completed in "));
  EXPECT_EQ(JobFilesLeft(), 0u);
}
#endif

TEST_F(SheetJobWithProcessesTest, SheetsTheRealHelperWroteBeforeFailingAreKept) {
  const std::string photos = test_support::Utf8(root_ / "photos");
  WritePhotos(photos);
  context_.mosalith_path = MOSALITH_PATH;
  mosalith::GridJob request = SmallRequest(photos);
  request.cols = 1;
  request.frames.clear();
  mosalith::EffectRecord grey;
  grey.grayscale = 1.0f;  // an effect only the helper draws
  request.effects = {grey, grey};
  const std::string missing = test_support::Utf8(root_ / "no-such-folder" / "s2.jpg");
  request.outputs = {photos + "/s1.jpg", missing, photos + "/s3.jpg"};
  const GridResult result = Run(request);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.errorMessage, "Failed to save grid image: " + missing);
  EXPECT_TRUE(Contains(log_, "DEBUG C++: mosalith failed (exit=2), using fallback\n"
                             "DEBUG C++: mosalith wrote 2 of 3 sheets; composing the other 1\n")) << log_;
  platform::DecodedImage sheet;
  ASSERT_EQ(graphics_->Decode(photos + "/s1.jpg", {}, &sheet), platform::GraphicsStatus::kOk);
  const uint8_t* middle = sheet.bitmap.pixel(sheet.bitmap.width_px / 2, sheet.bitmap.height_px / 2);
  EXPECT_LT(std::abs(middle[0] - middle[1]), 10) << "the helper's grey photo, not the composer's red one";
  EXPECT_TRUE(fs::is_regular_file(photos + "/s3.jpg"));
  EXPECT_EQ(JobFilesLeft(), 0u);
}

TEST_F(SheetJobWithProcessesTest, TheRealHelperWritesTheSheet) {
  const std::string photos = test_support::Utf8(root_ / "photos");
  WritePhotos(photos);
  context_.mosalith_path = MOSALITH_PATH;
  const GridResult result = Run(SmallRequest(photos));
  EXPECT_TRUE(result.success) << log_;
  EXPECT_TRUE(fs::is_regular_file(photos + "/sheet_1.jpg")) << log_;
  EXPECT_GT(fs::file_size(photos + "/sheet_1.jpg"), 100u);
  EXPECT_EQ(JobFilesLeft(), 0u);
}

}  // namespace
}  // namespace runner::printing
