// Tests for the tone and colour effects, gamma, sharpening and borders, against hand-computed pixels.
//
// Expected values follow the formulas in single precision, step by step; where float rounding lands
// just below an integer (254.99998, 104.99999) the truncated value is the expected one.
#include "helper/effects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "tests/helper/test_images.h"

namespace mosalith {
namespace {

using testing::MakeImage;
using testing::PixelAt;
using testing::Pixels;
using testing::Rgba;

constexpr uint8_t kAlpha = 77;  // a translucent alpha that no effect may touch

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Rgb& c) { return out << c.r << "," << c.g << "," << c.b; }

// The colour of one pixel after ApplyEffects on a 1 x 1 picture (too small for sharpening).
Rgb Effected(Rgb in, const EffectRecord& record) {
  imaging::Bitmap image = MakeImage(1, 1, {(static_cast<Rgba>(in.r) << 24) | (static_cast<Rgba>(in.g) << 16) |
                                       (static_cast<Rgba>(in.b) << 8) | kAlpha});
  ApplyEffects(image, record);
  EXPECT_EQ(image.pixel(0, 0)[3], kAlpha);
  const uint8_t* p = image.pixel(0, 0);
  return {p[0], p[1], p[2]};
}

template <typename Setter>
EffectRecord With(Setter set) {
  EffectRecord record;
  set(record);
  return record;
}

Rgba Grey(int v) { return (static_cast<Rgba>(v) * 0x01010100u) | kAlpha; }

TEST(EffectsTest, NeutralRecordLeavesThePhotoUntouched) {
  const imaging::Bitmap photo = MakeImage(7, 5, [](int32_t x, int32_t y) { return static_cast<Rgba>(x * 0x23456789u + y); });
  imaging::Bitmap image = photo;
  ApplyEffects(image, With([](EffectRecord& e) { e.gamma = 1.0005f; }));  // within the 0.001 allowance
  ApplyBorder(image, EffectRecord{});
  EXPECT_EQ(Pixels(image), Pixels(photo));
}

TEST(EffectsTest, ExposureBrightnessAndContrast) {
  EXPECT_EQ(Effected({100, 100, 100}, With([](EffectRecord& e) { e.brightness = 0.6f; })), (Rgb{156, 156, 156}));
  // brightness 1 adds 280.5 before contrast: everything turns white.
  EXPECT_EQ(Effected({128, 0, 255}, With([](EffectRecord& e) { e.brightness = 1; })), (Rgb{255, 255, 255}));
  // exposure 1: o = 1.382 and t = -97.39; white lands on 254.99998, darker values get darker.
  EXPECT_EQ(Effected({255, 128, 0}, With([](EffectRecord& e) { e.exposure = 1; })), (Rgb{254, 79, 0}));
  // exposure 0: o = 0.724 lifts dark values towards white.
  EXPECT_EQ(Effected({255, 128, 0}, With([](EffectRecord& e) { e.exposure = 0; })), (Rgb{255, 163, 70}));
  EXPECT_EQ(Effected({200, 50, 128}, With([](EffectRecord& e) { e.contrast = 1; })), (Rgb{239, 7, 128}));
  EXPECT_EQ(Effected({200, 50, 128}, With([](EffectRecord& e) { e.contrast = -1; })), (Rgb{160, 92, 128}));
}

TEST(EffectsTest, SaturationGrayscaleTemperatureTintAndShadow) {
  const Rgb orange = {200, 100, 50};
  EXPECT_EQ(Effected(orange, With([](EffectRecord& e) { e.saturation = 0; })), (Rgb{126, 126, 126}));
  EXPECT_EQ(Effected(orange, With([](EffectRecord& e) { e.saturation = 1; })), (Rgb{255, 73, 0}));
  EXPECT_EQ(Effected(orange, With([](EffectRecord& e) { e.grayscale = 1; })), (Rgb{124, 124, 124}));
  EXPECT_EQ(Effected(orange, With([](EffectRecord& e) { e.grayscale = 0.5f; })), (Rgb{162, 112, 87}));
  EXPECT_EQ(Effected(orange, With([](EffectRecord& e) { e.temperature = 1; })), (Rgb{250, 104, 37}));
  EXPECT_EQ(Effected(orange, With([](EffectRecord& e) { e.temperature = -1; })), (Rgb{150, 95, 62}));
  EXPECT_EQ(Effected(orange, With([](EffectRecord& e) { e.wbTint = 1; })), (Rgb{230, 80, 55}));
  EXPECT_EQ(Effected({200, 100, 0}, With([](EffectRecord& e) { e.shadow = 1; })), (Rgb{224, 169, 114}));
}

TEST(EffectsTest, StepsRunInOrderOnUnclampedValues) {
  const EffectRecord all = With([](EffectRecord& e) {
    e.brightness = 0.55f;
    e.contrast = 0.3f;
    e.saturation = 0.7f;
    e.exposure = 0.6f;
    e.grayscale = 0.2f;
    e.temperature = 0.4f;
    e.wbTint = -0.3f;
    e.shadow = 0.1f;
  });
  EXPECT_EQ(Effected({180, 90, 40}, all), (Rgb{236, 113, 36}));
  EffectRecord all_with_gamma = all;
  all_with_gamma.gamma = 1.5f;
  EXPECT_EQ(Effected({180, 90, 40}, all_with_gamma), (Rgb{242, 148, 69}));
  // Without saturation and grayscale every channel is on its own: the same steps, other numbers.
  EffectRecord per_channel = all_with_gamma;
  per_channel.saturation = 0.5f;
  per_channel.grayscale = 0;
  EXPECT_EQ(Effected({180, 90, 40}, per_channel), (Rgb{236, 153, 81}));
  per_channel.gamma = 1;
  EXPECT_EQ(Effected({180, 90, 40}, per_channel), (Rgb{227, 118, 46}));
  const EffectRecord other = With([](EffectRecord& e) {
    e.brightness = 0.45f;
    e.contrast = -0.4f;
    e.saturation = 0.2f;
    e.exposure = 0.35f;
    e.temperature = -0.6f;
    e.wbTint = 0.5f;
    e.shadow = 0.3f;
  });
  EXPECT_EQ(Effected({30, 200, 250}, other), (Rgb{111, 144, 201}));
  // Gamma follows the colour pass: 100 brightened to 156, then 156 through the gamma-2 table.
  EXPECT_EQ(Effected({100, 100, 100}, With([](EffectRecord& e) {
              e.brightness = 0.6f;
              e.gamma = 2;
            })),
            (Rgb{199, 199, 199}));
}

TEST(EffectsTest, GammaTableAndItsLimits) {
  const imaging::Bitmap ramp = MakeImage(5, 1, {Grey(0), Grey(1), Grey(64), Grey(128), Grey(255)});
  auto gamma = [&](float value) {
    imaging::Bitmap image = ramp;
    ApplyEffects(image, With([&](EffectRecord& e) { e.gamma = value; }));
    return Pixels(image);
  };
  EXPECT_EQ(gamma(2), (std::vector<Rgba>{Grey(0), Grey(16), Grey(128), Grey(181), Grey(255)}));
  EXPECT_EQ(gamma(0.5f), (std::vector<Rgba>{Grey(0), Grey(0), Grey(16), Grey(64), Grey(255)}));
  EXPECT_EQ(gamma(100), gamma(10));
  EXPECT_EQ(gamma(10), (std::vector<Rgba>{Grey(0), Grey(147), Grey(222), Grey(238), Grey(255)}));
  EXPECT_EQ(gamma(0), gamma(0.01f));
}

TEST(EffectsTest, SharpeningReadsTheUnsharpenedNeighbours) {
  // Two interior pixels side by side: the second must see the first's old value (100), not its new one.
  imaging::Bitmap image = MakeImage(4, 3, {Grey(10), Grey(10), Grey(10), Grey(10),    //
                                       Grey(10), Grey(100), Grey(60), Grey(10),   //
                                       Grey(10), Grey(10), Grey(10), Grey(10)});
  ApplyEffects(image, With([](EffectRecord& e) { e.sharpness = 1; }));
  // a = 0.5: 100 + 0.5 * (400 - 10 - 10 - 10 - 60) = 255; 60 + 0.5 * (240 - 10 - 10 - 100 - 10) = 115.
  EXPECT_EQ(PixelAt(image, 1, 1), Grey(255));
  EXPECT_EQ(PixelAt(image, 2, 1), Grey(115));
  for (int32_t x = 0; x < 4; ++x) {
    EXPECT_EQ(PixelAt(image, x, 0), Grey(10));
    EXPECT_EQ(PixelAt(image, x, 2), Grey(10));
  }
  EXPECT_EQ(PixelAt(image, 0, 1), Grey(10));
  EXPECT_EQ(PixelAt(image, 3, 1), Grey(10));

  // A dark pixel among bright ones goes below 0 and clamps.
  imaging::Bitmap dip = MakeImage(3, 3, [](int32_t x, int32_t y) { return x == 1 && y == 1 ? Grey(20) : Grey(200); });
  ApplyEffects(dip, With([](EffectRecord& e) { e.sharpness = 0.4f; }));
  EXPECT_EQ(PixelAt(dip, 1, 1), Grey(0));

  // Two pixels wide: nothing is interior.
  const imaging::Bitmap thin = MakeImage(2, 5, [](int32_t x, int32_t y) { return Grey(x * 100 + y * 20); });
  imaging::Bitmap sharpened = thin;
  ApplyEffects(sharpened, With([](EffectRecord& e) { e.sharpness = 2; }));
  EXPECT_EQ(Pixels(sharpened), Pixels(thin));
}

// A 6 x 6 photo whose pixel (x, y) has R = 10x and G = 10y, translucent.
imaging::Bitmap Ruled(int32_t size) {
  return MakeImage(size, size, [](int32_t x, int32_t y) {
    return (static_cast<Rgba>(10 * x) << 24) | (static_cast<Rgba>(10 * y) << 16) | (5u << 8) | 128u;
  });
}

EffectRecord Border(float stroke, float stroke_scale, uint32_t colour, bool external) {
  return With([&](EffectRecord& e) {
    e.stroke = stroke;
    e.strokeScale = stroke_scale;
    e.strokeColor = colour;
    e.strokeExternal = external;
  });
}

TEST(EffectsTest, BorderOverThePictureIsOpaqueAndClipped) {
  const imaging::Bitmap photo = Ruled(6);
  imaging::Bitmap image = photo;
  ApplyBorder(image, Border(0.1f, 1, 0x00FF0000, false));  // 2 pixels; the colour's zero alpha is ignored
  for (int32_t y = 0; y < 6; ++y) {
    for (int32_t x = 0; x < 6; ++x) {
      const bool inner = x >= 2 && x < 4 && y >= 2 && y < 4;
      EXPECT_EQ(PixelAt(image, x, y), inner ? PixelAt(photo, x, y) : 0xFF0000FFu) << x << "," << y;
    }
  }
  imaging::Bitmap covered = photo;
  ApplyBorder(covered, Border(10, 1, 0x123456, false));  // 200 pixels on a 6-pixel photo
  for (Rgba pixel : Pixels(covered)) ASSERT_EQ(pixel, 0x123456FFu);
}

TEST(EffectsTest, BorderWidthsBelowOnePixelOrTooWideDoNothing) {
  const imaging::Bitmap photo = Ruled(10);
  for (const EffectRecord& record :
       {Border(0.04f, 1, 0xFF00FF00, false),  // 0.8 pixels
        Border(0.25f, 1, 0xFF00FF00, true),   // 5 pixels outside a 10-pixel photo: nothing left inside
        Border(std::numeric_limits<float>::infinity(), 1, 0xFF00FF00, true),
        Border(std::numeric_limits<float>::quiet_NaN(), 1, 0xFF00FF00, false), Border(0.5f, -1, 0xFF00FF00, false)}) {
    imaging::Bitmap image = photo;
    ApplyBorder(image, record);
    EXPECT_EQ(Pixels(image), Pixels(photo)) << record.stroke << " x " << record.strokeScale;
  }
}

TEST(EffectsTest, BorderOutsideShrinksThePhotoIntoTheFrame) {
  // p = 2 on 8 x 8: the inner 4 x 4 samples every second pixel exactly.
  imaging::Bitmap image = Ruled(8);
  ApplyBorder(image, Border(0.1f, 1, 0xFF0000FF, true));
  ASSERT_EQ(image.width_px, 8);
  ASSERT_EQ(image.height_px, 8);
  for (int32_t y = 0; y < 8; ++y) {
    for (int32_t x = 0; x < 8; ++x) {
      const bool inner = x >= 2 && x < 6 && y >= 2 && y < 6;
      const Rgba expected = inner ? (static_cast<Rgba>(20 * (x - 2)) << 24) | (static_cast<Rgba>(20 * (y - 2)) << 16) |
                                        (5u << 8) | 0xFFu
                                  : 0x0000FFFFu;
      EXPECT_EQ(PixelAt(image, x, y), expected) << x << "," << y;
    }
  }

  // p = 1 on 6 x 6: steps of 1.5 blend neighbours half and half.
  imaging::Bitmap blended = Ruled(6);
  ApplyBorder(blended, Border(0.1f, 0.5f, 0xFFFFFFFF, true));
  EXPECT_EQ(PixelAt(blended, 1, 1), 0x000005FFu);         // source (0, 0)
  EXPECT_EQ(PixelAt(blended, 2, 1), 0x0F0005FFu);         // sx = 1.5: R (10 + 20) / 2
  EXPECT_EQ(PixelAt(blended, 4, 4), 0x2D2D05FFu);         // sx = sy = 4.5: 45
  EXPECT_EQ(PixelAt(blended, 0, 3), 0xFFFFFFFFu);         // border
  EXPECT_EQ(PixelAt(blended, 5, 5), 0xFFFFFFFFu);
}

TEST(EffectsTest, BigPhotoKeepsItsAlphaAndSize) {
  // Every effect at once on a picture big enough for each loop; alpha and size must survive.
  imaging::Bitmap image = MakeImage(37, 23, [](int32_t x, int32_t y) { return Grey((x * 7 + y * 3) % 256); });
  const EffectRecord all = With([](EffectRecord& e) {
    e.brightness = 0.7f;
    e.contrast = 0.5f;
    e.saturation = 0.9f;
    e.temperature = 0.2f;
    e.sharpness = 0.8f;
    e.gamma = 1.8f;
  });
  ApplyEffects(image, all);
  ASSERT_EQ(image.width_px, 37);
  ASSERT_EQ(image.height_px, 23);
  for (int32_t y = 0; y < 23; ++y) {
    for (int32_t x = 0; x < 37; ++x) ASSERT_EQ(image.pixel(x, y)[3], kAlpha);
  }
}

}  // namespace
}  // namespace mosalith
