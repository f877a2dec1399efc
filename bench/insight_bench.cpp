// The insight channels' speed on 12-megapixel photos (4000 x 3000 JPEG, made here from the portrait in
// python-matplotlib-data: five faces of about 100 to 220 pixels):
//   FacesSplit       - one photo through the whole face pipeline (decode, grey, detect), detector parts
//                      on two threads, as a batch running alone does;
//   FacesOneThread   - the same with the picture analysed whole on one thread;
//   Thumbnail256     - getThumbnail's work for a 256 x 256 box (decode with reduction, resample, PNG);
//   ThumbnailCamera  - the same on a camera-like 12-megapixel JPEG (the photo with film grain, quality 92:
//                      about 4 MB, as phones write them, where the smooth composite is about 1 MB);
//   ThumbnailPng     - the same on a 2000 x 1500 PNG (the camera photo halved), decoded row by row;
//   QuickMeta        - getQuickMeta's work (header walk, EXIF, date) on a camera-like JPEG.
// bench/insight_bench.sh times vipsthumbnail on the camera JPEG and the PNG in the same run; this
// program writes them where it says on standard error ("camera photo: PATH", "png photo: PATH").
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>

#include <algorithm>
#include <cstdio>

#include <benchmark/benchmark.h>
#include <png.h>
#include <unistd.h>

#include "platform/cairo/cairo_graphics.h"
#include "platform/dlib/dlib_face_detector.h"
#include "platform/libexif/libexif_metadata_reader.h"
#include "runner/insight/face_batch.h"
#include "runner/insight/quick_meta.h"
#include "runner/insight/thumbnail.h"
#include "tests/imaging/header/exif_test_files.h"

namespace {

const char* const kPortrait = "/usr/share/matplotlib/mpl-data/sample_data/grace_hopper.jpg";

struct Photos {
  std::string folder;
  std::string twelve_mp;   // five faces
  std::string with_exif;   // the same with orientation and dates
  std::string camera;      // the same with grain, at a camera's quality
  std::string png;         // the camera photo at 2000 x 1500 as a PNG
};

// Film grain: a fixed pseudo-random offset of up to +-7 levels per sample, which gives the JPEG the
// detail (and the size) of a real photo.
void AddGrain(imaging::Bitmap& image) {
  uint32_t state = 2463534242u;
  for (size_t i = 0; i < image.rgba.size(); ++i) {
    if (i % 4 == 3) continue;
    state ^= state << 13, state ^= state >> 17, state ^= state << 5;
    image.rgba[i] = static_cast<uint8_t>(std::clamp(image.rgba[i] + static_cast<int>(state % 15) - 7, 0, 255));
  }
}

void WriteDefaultPng(const imaging::Bitmap& image, const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, image.width_px, image.height_px, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<uint8_t> row(static_cast<size_t>(image.width_px) * 3);
  for (int y = 0; y < image.height_px; ++y) {
    for (int x = 0; x < image.width_px; ++x) std::copy_n(image.pixel(x, y), 3, row.data() + x * 3);
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

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
    const imaging::Bitmap& p = portrait.bitmap;
    for (const auto& [x, y, scale] : std::vector<std::tuple<double, double, double>>{
             {200, 200, 1.0}, {1400, 1200, 1.0}, {2600, 2200, 1.0}, {3300, 150, 1.0}, {400, 1900, 0.45}}) {
      canvas->DrawBitmap(p, {x, y, p.width_px * scale, p.height_px * scale}, platform::Filter::kBicubic);
    }
    std::vector<uint8_t> jpeg;
    imaging::Bitmap composite = *canvas->Snapshot();
    graphics.EncodeJpeg(composite, 90, &jpeg);
    made.twelve_mp = made.folder + "/12mp.jpg";
    WriteFile(made.twelve_mp, jpeg);
    AddGrain(composite);
    std::vector<uint8_t> camera;
    graphics.EncodeJpeg(composite, 92, &camera);
    made.camera = made.folder + "/camera.jpg";
    WriteFile(made.camera, camera);
    // The PNG as libpng writes it by default (zlib level 6, every filter tried per row), as most
    // programs do.
    auto half = graphics.CreateCanvas(2000, 1500);
    half->DrawBitmap(composite, {0, 0, 2000, 1500}, platform::Filter::kArea, platform::Blend::kSourceCopy);
    made.png = made.folder + "/2000x1500.png";
    WriteDefaultPng(*half->Snapshot(), made.png);
    using namespace imaging::testing;
    made.with_exif = made.folder + "/exif.jpg";
    WriteFile(made.with_exif, WithExif(jpeg, BuildExif({ShortEntry(kTagOrientation, 6),
                                                        AsciiEntry(kTagDateTime, "2020:01:01 00:00:00")},
                                                       {AsciiEntry(kTagDateTimeOriginal, "2024:05:06 10:20:30")})));
    std::fprintf(stderr, "12-megapixel test photo: %s\n", made.twelve_mp.c_str());
    std::fprintf(stderr, "camera photo: %s\n", made.camera.c_str());
    std::fprintf(stderr, "png photo: %s\n", made.png.c_str());
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
  const std::unique_ptr<platform::FaceDetection> detection = detector.CreateDetection().value();
  runner::insight::FaceBatchPorts ports;
  ports.graphics = &graphics;
  ports.detection = detection.get();
  ports.run_parts = TwoThreads;
  size_t faces = 0;
  g_helper_cpu_ms = 0;
  const double main_start = ThreadCpuMs();
  for (auto _ : state) {
    faces = runner::insight::RunFaceBatch({photos.twelve_mp}, ports).at(0).faces.size();
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

void Thumbnail(benchmark::State& state, const std::string& path) {
  platform::CairoGraphics graphics;
  size_t bytes = 0;
  for (auto _ : state) {
    auto png = runner::insight::RenderThumbnail(graphics, nullptr, path, {256, 256});
    bytes = png ? png->size() : 0;
  }
  state.counters["png_bytes"] = static_cast<double>(bytes);
}
void BM_Thumbnail256(benchmark::State& state) { Thumbnail(state, TestPhotos().twelve_mp); }
void BM_ThumbnailCamera(benchmark::State& state) { Thumbnail(state, TestPhotos().camera); }
void BM_ThumbnailPng(benchmark::State& state) { Thumbnail(state, TestPhotos().png); }

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
BENCHMARK(BM_ThumbnailCamera)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThumbnailPng)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QuickMeta)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
