// Tests for the render: placement, decode sizes, orientation, stroke bands, frames and refusals, on the
// fake graphics (exact nearest-neighbour pixels) and, for the stroke bands, on the real canvas.
#include "runner/printing/baking/render_image.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_graphics.h"
#include "tests/runner/system_adapters.h"

namespace runner::printing {
namespace {

using imaging::Bitmap;

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kGreen = 0xFF00FF00;

uint32_t Argb(const Bitmap& image, int x, int y) {
  const uint8_t* p = image.pixel(x, y);
  return uint32_t{p[3]} << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
}

// Left half `left`, right half `right`.
Bitmap Halves(int width, int height, uint32_t left, uint32_t right) {
  Bitmap image = *imaging::MakeBitmap(width, height, left);
  const Bitmap right_half = *imaging::MakeBitmap(1, 1, right);
  for (int y = 0; y < height; ++y) {
    for (int x = width / 2; x < width; ++x) std::copy_n(right_half.pixel(0, 0), 4, image.pixel(x, y));
  }
  return image;
}

BakeRequest Request(int width, int height, const std::string& path = "/p.jpg") {
  BakeRequest request;
  request.source_path = path;
  request.canvas_width_px = width;
  request.canvas_height_px = height;
  return request;
}

class RenderTest : public ::testing::Test {
 protected:
  Bitmap Render(const BakeRequest& request) {
    ::testing::internal::CaptureStderr();
    std::unique_ptr<platform::Canvas> canvas = RenderImageWithEffects(graphics_, request);
    log_ = ::testing::internal::GetCapturedStderr();
    if (!canvas) return {};
    EXPECT_EQ(canvas->width_px(), request.canvas_width_px);
    EXPECT_EQ(canvas->height_px(), request.canvas_height_px);
    return *canvas->Snapshot();
  }
  bool Logged(const std::string& line) const { return log_.find(line + "\n") != std::string::npos; }

  platform::FakeGraphics graphics_;
  std::string log_;
};

TEST_F(RenderTest, PhotoCoversTheCanvasCentredAndShifted) {
  graphics_.AddPicture("/p.jpg", Halves(40, 30, kRed, kBlue));
  BakeRequest request = Request(20, 30);
  Bitmap canvas = Render(request);
  ASSERT_FALSE(canvas.empty());
  // Drawn 40 x 30 at x = -10: the middle of the photo is the middle of the canvas.
  EXPECT_EQ(Argb(canvas, 9, 15), kRed);
  EXPECT_EQ(Argb(canvas, 10, 15), kBlue);
  EXPECT_TRUE(Logged("DEBUG RenderImage INPUT: Canvas=20x30 Scale=1 Offset=(0,0) Rotate=0"));
  EXPECT_TRUE(Logged("DEBUG: Required image size=30x45"));
  EXPECT_TRUE(Logged("DEBUG RenderImage: Canvas=20x30 Image=40x30 Scale=1 Rotate=0"));
  EXPECT_TRUE(Logged("DEBUG Position: x=-10 y=0 scaledSize=40x30"));

  request.offset_x_px = 5.0;
  request.image_scale = 0.5;  // drawn 20 x 15, centred then 5 to the right: x = 5, y = 7.5 -> 8
  canvas = Render(request);
  EXPECT_TRUE(Logged("DEBUG Position: x=5 y=8 scaledSize=20x15"));
  EXPECT_EQ(Argb(canvas, 4, 15), kWhite);
  EXPECT_EQ(Argb(canvas, 5, 15), kRed);
  EXPECT_EQ(Argb(canvas, 15, 7), kWhite);
  EXPECT_EQ(Argb(canvas, 15, 8), kBlue);
}

TEST_F(RenderTest, NegativeZoomDrawsThePhotoHalfTurned) {
  graphics_.AddPicture("/p.jpg", Halves(40, 30, kRed, kBlue));
  BakeRequest request = Request(20, 30);
  request.image_scale = -1.0;
  const Bitmap canvas = Render(request);
  EXPECT_TRUE(Logged("DEBUG Position: x=30 y=30 scaledSize=-40x-30"));
  EXPECT_EQ(Argb(canvas, 9, 15), kBlue);
  EXPECT_EQ(Argb(canvas, 10, 15), kRed);
}

TEST_F(RenderTest, RotationTurnsThePhotoClockwiseBeforeItIsPlaced) {
  graphics_.AddPicture("/p.jpg", Halves(40, 30, kRed, kBlue));  // turned: red on top, blue below
  BakeRequest request = Request(30, 40);
  request.rotate_for_output = true;
  const Bitmap canvas = Render(request);
  EXPECT_TRUE(Logged("DEBUG Position: x=0 y=0 scaledSize=30x40"));
  EXPECT_EQ(Argb(canvas, 15, 19), kRed);
  EXPECT_EQ(Argb(canvas, 15, 20), kBlue);
}

TEST_F(RenderTest, LargePhotosAreReducedToTheComputedSize) {
  graphics_.AddPicture("/p.jpg", Halves(400, 300, kRed, kBlue));
  Render(Request(100, 150));  // wanted 150 x 225: 300 x 225 is not below three quarters
  EXPECT_EQ(graphics_.decode_options().back().min_width_px, 0);
  EXPECT_TRUE(Logged("DEBUG RenderImage: Canvas=100x150 Image=400x300 Scale=1 Rotate=0"));

  Render(Request(50, 75));  // wanted 75 x 112: 149 x 112
  EXPECT_EQ(graphics_.decode_options().back().min_width_px, 149);
  EXPECT_TRUE(Logged("DEBUG: Scaled decode 400x300 -> 149x112"));
  EXPECT_TRUE(Logged("DEBUG RenderImage: Canvas=50x75 Image=149x112 Scale=1 Rotate=0"));
}

TEST_F(RenderTest, EveryOrientationIsUprightOnBothDecodePaths) {
  // Stored 400 x 300 with its left half red; orientation 6 shows it turned clockwise: red on top.
  graphics_.AddPicture("/p.jpg", Halves(400, 300, kRed, kBlue), 6);
  for (const BakeRequest& request : {Request(300, 400), Request(30, 40)}) {  // full size, then reduced
    const Bitmap canvas = Render(request);
    ASSERT_FALSE(canvas.empty());
    const int w = request.canvas_width_px, h = request.canvas_height_px;
    EXPECT_EQ(Argb(canvas, w / 2, h / 4), kRed) << w;
    EXPECT_EQ(Argb(canvas, w / 2, 3 * h / 4), kBlue) << w;
  }
  EXPECT_TRUE(Logged("DEBUG RenderImage: Canvas=30x40 Image=45x60 Scale=1 Rotate=0"));
  // Mirrored orientations are honoured too: 2 swaps the halves, 5 (transpose) puts the left half on top.
  graphics_.AddPicture("/m.jpg", Halves(40, 30, kRed, kBlue), 2);
  const Bitmap mirrored = Render(Request(40, 30, "/m.jpg"));
  EXPECT_EQ(Argb(mirrored, 5, 15), kBlue);
  EXPECT_EQ(Argb(mirrored, 35, 15), kRed);
  graphics_.AddPicture("/t.jpg", Halves(40, 30, kRed, kBlue), 5);
  const Bitmap transposed = Render(Request(30, 40, "/t.jpg"));
  EXPECT_EQ(Argb(transposed, 15, 5), kRed);
  EXPECT_EQ(Argb(transposed, 15, 35), kBlue);
}

TEST_F(RenderTest, StrokeBandsInsideAndOutside) {
  graphics_.AddPicture("/p.jpg", *imaging::MakeBitmap(100, 100, kBlue));
  BakeRequest request = Request(100, 100);
  request.effects.stroke = 0.5f;
  request.effects.stroke_color = kRed;
  Bitmap canvas = Render(request);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(Argb(canvas, x, 50), kRed) << x;
  EXPECT_EQ(Argb(canvas, 10, 50), kBlue);
  EXPECT_EQ(Argb(canvas, 89, 50), kBlue);
  EXPECT_EQ(Argb(canvas, 90, 50), kRed);
  EXPECT_EQ(Argb(canvas, 50, 9), kRed);
  EXPECT_EQ(Argb(canvas, 50, 10), kBlue);

  request.effects.stroke_external = true;
  canvas = Render(request);
  EXPECT_EQ(Argb(canvas, 4, 50), kRed);
  EXPECT_EQ(Argb(canvas, 5, 50), kBlue);
  EXPECT_EQ(Argb(canvas, 93, 50), kBlue);
  EXPECT_EQ(Argb(canvas, 94, 50), kRed);

  for (float stroke : {0.0f, -1.0f}) {
    request.effects.stroke = stroke;
    canvas = Render(request);
    EXPECT_EQ(Argb(canvas, 0, 50), kBlue) << stroke;
  }
  request.effects.stroke = 1e30f;  // a pen wider than the canvas covers it
  canvas = Render(request);
  EXPECT_EQ(Argb(canvas, 50, 50), kRed);
}

TEST_F(RenderTest, ZeroScaleDrawsNoPhotoButStillTheStrokeAndFrame) {
  graphics_.AddPicture("/p.jpg", *imaging::MakeBitmap(100, 100, kBlue));
  Bitmap frame = *imaging::MakeBitmap(10, 10, 0x00000000);
  std::copy_n(imaging::MakeBitmap(1, 1, kGreen)->pixel(0, 0), 4, frame.pixel(5, 0));
  graphics_.AddPicture("/frame.png", frame, 1, platform::ImageFormat::kPng);
  BakeRequest request = Request(100, 100);
  request.image_scale = 0.0;
  request.effects.stroke = 0.25f;
  request.effects.stroke_color = kRed;
  request.frame_path = "/frame.png";
  const Bitmap canvas = Render(request);
  EXPECT_EQ(Argb(canvas, 50, 50), kWhite);
  EXPECT_EQ(Argb(canvas, 2, 50), kRed);
  EXPECT_EQ(Argb(canvas, 55, 5), kGreen);  // frame pixel (5, 0) stretched ten times
  EXPECT_EQ(Argb(canvas, 45, 2), kRed);    // transparent frame pixels leave the stroke

  request.frame_path = "/missing.png";
  const Bitmap without = Render(request);
  EXPECT_EQ(Argb(without, 55, 5), kWhite);
  EXPECT_EQ(log_.find("ERROR"), std::string::npos);
}

TEST_F(RenderTest, HostileCanvasesAndUnreadablePhotosFailCleanly) {
  graphics_.AddPicture("/p.jpg", *imaging::MakeBitmap(10, 10, kBlue));
  for (const auto& [w, h] : std::vector<std::pair<int, int>>{{0, 10}, {-1, 10}, {40000, 10}, {30000, 30000}}) {
    EXPECT_TRUE(Render(Request(w, h)).empty()) << w << "x" << h;
    EXPECT_TRUE(Logged("ERROR: Failed to create canvas"));
  }
  EXPECT_TRUE(graphics_.decode_options().empty());  // refused before anything was decoded

  graphics_.FailPath("/bad.jpg", platform::GraphicsStatus::kCorrupt);
  EXPECT_TRUE(Render(Request(10, 10, "/bad.jpg")).empty());
  EXPECT_TRUE(Logged("ERROR: Failed to load image, status=13\nERROR: Failed to load image"));
  EXPECT_TRUE(Render(Request(10, 10, "/none.jpg")).empty());
  EXPECT_TRUE(Logged("ERROR: Failed to load image, status=10"));

  BakeRequest huge = Request(10, 10);
  huge.image_scale = 1e12;
  EXPECT_TRUE(Render(huge).empty());
}

TEST(RenderOnRealCanvas, StrokeBandsHaveExactIntegerEdges) {
  // The real canvas is antialiased: pen edges on whole pixels must still be exact.
  const std::unique_ptr<platform::Graphics> graphics = runner::testing::SystemGraphics();
  std::unique_ptr<platform::Canvas> canvas = graphics->CreateCanvas(100, 80);
  ASSERT_TRUE(canvas);
  canvas->Clear(kBlue);
  const float pen = StrokePenWidth(0.5f, 1.0f, 100, 80);
  const CanvasRect inside = StrokeOutline(100, 80, pen, false);
  ASSERT_EQ(canvas->StrokeRect({inside.x, inside.y, inside.width, inside.height}, pen, kRed),
            platform::GraphicsStatus::kOk);
  Bitmap pixels = *canvas->Snapshot();
  for (int x = 0; x < 10; ++x) EXPECT_EQ(Argb(pixels, x, 40), kRed) << x;
  EXPECT_EQ(Argb(pixels, 10, 40), kBlue);
  EXPECT_EQ(Argb(pixels, 90, 40), kRed);
  EXPECT_EQ(Argb(pixels, 89, 40), kBlue);
  EXPECT_EQ(Argb(pixels, 50, 9), kRed);
  EXPECT_EQ(Argb(pixels, 50, 10), kBlue);

  canvas->Clear(kBlue);
  const CanvasRect outside = StrokeOutline(100, 80, pen, true);
  canvas->StrokeRect({outside.x, outside.y, outside.width, outside.height}, pen, kRed);
  pixels = *canvas->Snapshot();
  EXPECT_EQ(Argb(pixels, 4, 40), kRed);   // 5 pixels on the left
  EXPECT_EQ(Argb(pixels, 5, 40), kBlue);
  EXPECT_EQ(Argb(pixels, 94, 40), kRed);  // 6 on the right
  EXPECT_EQ(Argb(pixels, 93, 40), kBlue);
}

}  // namespace
}  // namespace runner::printing
