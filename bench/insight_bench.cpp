// The insight channels' speed on 12-megapixel photos (4000 x 3000 JPEG, made here from the portrait in
// python-matplotlib-data: five faces of about 100 to 220 pixels):
//   FacesSplit       - one photo through the whole face pipeline (decode, grey, detect), detector parts
//                      on two threads, as a batch running alone does;
//   FacesOneThread   - the same with the picture analysed whole on one thread;
//   Thumbnail256     - getThumbnail's work for a 256 x 256 box (decode with reduction, resample, PNG);
//   QuickMeta        - getQuickMeta's work (header walk, EXIF, date) on a camera-like JPEG.
// Compare the thumbnail number with bench/insight_bench.sh, which times vipsthumbnail on the same file.
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "platform/cairo/cairo_graphics.h"
#include "platform/dlib/dlib_face_detector.h"
#include "platform/libexif/libexif_metadata_reader.h"
#include "runner/insight/face_batch.h"
#include "runner/insight/quick_meta.h"
#include "runner/insight/thumbnail.h"
#include "tests/platform/picture/exif_test_files.h"

namespace {

const char* const kPortrait = "/usr/share/matplotlib/mpl-data/sample_data/grace_hopper.jpg";

struct Photos {
  std::string folder;
  std::string twelve_mp;   // five faces
  std::string with_exif;   // the same with orientation and dates
};

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

const Photos& TestPhotos() {
  static const Photos photos = [] {
    Photos made;
    char pattern[] = "/tmp/pv-insight-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    made.folder = pattern;
    platform::CairoGraphics graphics;
    platform::DecodedImage portrait;
    if (graphics.Decode(kPortrait, {}, &portrait) != platform::GraphicsStatus::kOk) {
      std::fprintf(stderr, "insight_bench needs %s (python-matplotlib-data)\n", kPortrait);
      std::exit(1);
    }
    auto canvas = graphics.CreateCanvas(4000, 3000);
    canvas->Clear(0xff6080a0);
    const platform::Bitmap& p = portrait.bitmap;
    for (const auto& [x, y, scale] : std::vector<std::tuple<double, double, double>>{
             {200, 200, 1.0}, {1400, 1200, 1.0}, {2600, 2200, 1.0}, {3300, 150, 1.0}, {400, 1900, 0.45}}) {
      canvas->DrawBitmap(p, {x, y, p.width_px * scale, p.height_px * scale}, platform::Filter::kBicubic);
    }
    std::vector<uint8_t> jpeg;
    graphics.EncodeJpeg(*canvas->Snapshot(), 90, &jpeg);
    made.twelve_mp = made.folder + "/12mp.jpg";
    WriteFile(made.twelve_mp, jpeg);
    using namespace platform::testing;
    made.with_exif = made.folder + "/exif.jpg";
    WriteFile(made.with_exif, WithExif(jpeg, BuildExif({ShortEntry(kTagOrientation, 6),
                                                        AsciiEntry(kTagDateTime, "2020:01:01 00:00:00")},
                                                       {AsciiEntry(kTagDateTimeOriginal, "2024:05:06 10:20:30")})));
    std::fprintf(stderr, "12-megapixel test photo: %s\n", made.twelve_mp.c_str());
    return made;
  }();
  return photos;
}

// Parts shared by two threads as the face workers share them: this thread from the front, a helper
// from the back, each taking the next part when it is free.
double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}
// CPU time of the helper thread, added up over a benchmark's iterations.
double g_helper_cpu_ms = 0;

void TwoThreads(size_t count, const std::function<void(size_t)>& part) {
  std::mutex mutex;
  size_t front = 0, back = count;
  auto take = [&](bool from_front) -> std::optional<size_t> {
    std::lock_guard lock(mutex);
    if (front >= back) return std::nullopt;
    return from_front ? front++ : --back;
  };
  std::thread helper([&] {
    const double start = ThreadCpuMs();
    while (auto i = take(false)) part(*i);
    g_helper_cpu_ms += ThreadCpuMs() - start;
  });
  while (auto i = take(true)) part(*i);
  helper.join();
}

void Faces(benchmark::State& state, int split_min_rows) {
  const Photos& photos = TestPhotos();
  platform::CairoGraphics graphics;
  platform::DlibFaceDetector detector(split_min_rows);
  auto detection = detector.CreateDetection();
  runner::insight::FaceBatchPorts ports;
  ports.graphics = &graphics;
  ports.detection = detection.get();
  ports.run_parts = TwoThreads;
  size_t faces = 0;
  g_helper_cpu_ms = 0;
  const double main_start = ThreadCpuMs();
  for (auto _ : state) {
    runner::EncodableList records = runner::insight::RunFaceBatch({photos.twelve_mp}, ports);
    const auto& record = std::get<runner::EncodableMap>(records.at(0));
    faces = std::get<runner::EncodableList>(record.at(runner::EncodableValue("faces"))).size();
  }
  // On an idle machine a photo takes about the longer of the two threads' CPU times.
  const double iterations = static_cast<double>(state.iterations());
  state.counters["main_cpu_ms"] = (ThreadCpuMs() - main_start) / iterations;
  state.counters["helper_cpu_ms"] = g_helper_cpu_ms / iterations;
  state.counters["faces_found"] = static_cast<double>(faces);
  state.counters["photos_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
void BM_FacesSplit(benchmark::State& state) { Faces(state, platform::kSplitMinRows); }
void BM_FacesOneThread(benchmark::State& state) { Faces(state, 1 << 30); }

void BM_Thumbnail256(benchmark::State& state) {
  const Photos& photos = TestPhotos();
  platform::CairoGraphics graphics;
  size_t bytes = 0;
  for (auto _ : state) {
    auto png = runner::insight::RenderThumbnail(graphics, nullptr, photos.twelve_mp, {256, 256});
    bytes = png ? png->size() : 0;
  }
  state.counters["png_bytes"] = static_cast<double>(bytes);
}

void BM_QuickMeta(benchmark::State& state) {
  const Photos& photos = TestPhotos();
  platform::LibexifMetadataReader reader;
  int64_t millis = 0;
  for (auto _ : state) {
    auto metadata = reader.Read(photos.with_exif);
    millis = runner::insight::QuickMetaFrom(*metadata).captured_at_millis.value_or(0);
    benchmark::DoNotOptimize(millis);
  }
  state.counters["calls_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_FacesSplit)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(3);
BENCHMARK(BM_FacesOneThread)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(3);
BENCHMARK(BM_Thumbnail256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QuickMeta)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
