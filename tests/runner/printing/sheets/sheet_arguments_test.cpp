// Reading sheet requests: the order of the checks, the answer for each kind of bad value, and the forms
// that differ between the blocking and the background method.
#include "runner/printing/sheets/sheet_arguments.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace runner::printing {
namespace {

using V = EncodableValue;

EncodableMap Base() {
  return EncodableMap{
      {V("imagePaths"), V(EncodableList{V("/p/a.jpg"), V("/p/b.jpg"), V("/p/c.jpg")})},
      {V("outputPaths"), V(EncodableList{V("/o/1.jpg")})},
      {V("rows"), V(int32_t{2})},
      {V("columns"), V(int32_t{3})},
      {V("pageWidth"), V(int32_t{1854})},
      {V("pageHeight"), V(int32_t{2445})},
      {V("marginLeft"), V(int32_t{18})},
      {V("marginRight"), V(int32_t{19})},
      {V("marginTop"), V(int32_t{16})},
      {V("marginBottom"), V(int32_t{17})},
  };
}

EncodableMap With(EncodableMap map, const char* key, V value) {
  map[V(key)] = std::move(value);
  return map;
}
EncodableMap Without(EncodableMap map, const char* key) {
  map.erase(V(key));
  return map;
}

std::optional<mosalith::GridJob> Read(const EncodableMap& map, SheetMethod method, ChannelError* error) {
  const V arguments(map);
  return ReadSheetRequest(&arguments, method, error);
}

// The error a map gets from the given method (empty code when it reads).
ChannelError ErrorOf(const EncodableMap& map, SheetMethod method = SheetMethod::kBlocking) {
  ChannelError error("", "");
  const std::optional<mosalith::GridJob> request = Read(map, method, &error);
  return request ? ChannelError("", "") : error;
}

mosalith::GridJob Request(const EncodableMap& map, SheetMethod method = SheetMethod::kBlocking) {
  ChannelError error("", "");
  const std::optional<mosalith::GridJob> request = Read(map, method, &error);
  EXPECT_TRUE(request) << error.message;
  return request.value_or(mosalith::GridJob{});
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

TEST(SheetArgumentsTest, ACompleteRequestReadsWithItsDefaults) {
  const mosalith::GridJob request = Request(Base());
  EXPECT_EQ(request.images, (std::vector<std::string>{"/p/a.jpg", "/p/b.jpg", "/p/c.jpg"}));
  EXPECT_EQ(request.outputs, (std::vector<std::string>{"/o/1.jpg"}));
  EXPECT_TRUE(request.frames.empty());
  EXPECT_EQ(request.rows, 2);
  EXPECT_EQ(request.cols, 3);
  EXPECT_EQ(request.marginRight, 19);
  EXPECT_EQ(request.marginBottom, 17);
  EXPECT_EQ(request.jpegQuality, 95);
  EXPECT_FALSE(request.showCutGrid);
  EXPECT_DOUBLE_EQ(request.cutGridWidthMm, 0.1);
  EXPECT_EQ(request.cutGridColor, "darkGray");
  EXPECT_EQ(request.dpi, 450);
  EXPECT_FALSE(request.sheetDensity);  // no "dpi": the sheets state no resolution
  EXPECT_EQ(request.magnetAspectRatio, 0.0);
  EXPECT_TRUE(request.effects.empty());
}

TEST(SheetArgumentsTest, ShapeAndPresenceAreCheckedFirst) {
  ChannelError error("", "");
  EXPECT_FALSE(ReadSheetRequest(nullptr, SheetMethod::kBlocking, &error));
  EXPECT_EQ(error, ChannelError(kExpectedMapOfArguments));
  const V list(EncodableList{V("/p/a.jpg")});
  EXPECT_FALSE(ReadSheetRequest(&list, SheetMethod::kBackground, &error));
  EXPECT_EQ(error, ChannelError(kExpectedMapOfArguments));
  // A missing list wins over a wrongly typed one and over missing integers.
  EXPECT_EQ(ErrorOf(With(Without(Base(), "outputPaths"), "imagePaths", V(int32_t{1}))),
            ChannelError(kMissingRequiredParameters));
  EXPECT_EQ(ErrorOf(Without(Base(), "imagePaths"), SheetMethod::kBackground), ChannelError(kMissingRequiredParameters));
}

TEST(SheetArgumentsTest, PathListsAreNeverShiftedByABadElement) {
  EXPECT_EQ(ErrorOf(With(Base(), "imagePaths", V("/p/a.jpg"))), InvalidTypeForKey("imagePaths"));
  EXPECT_EQ(ErrorOf(With(Base(), "outputPaths", V(EncodableList{V("/o/1.jpg"), V(int32_t{2})}))),
            InvalidTypeForKey("outputPaths"));
  EXPECT_EQ(ErrorOf(With(Base(), "framePaths", V(EncodableList{V(""), V()}))), InvalidTypeForKey("framePaths"));
  EXPECT_EQ(ErrorOf(With(Base(), "framePaths", V(EncodableMap{}))), InvalidTypeForKey("framePaths"));
  const mosalith::GridJob request =
      Request(With(With(Base(), "framePaths", V(EncodableList{V(""), V("/f/x.png")})), "imagePaths",
                   V(EncodableList{V(std::string("/p/a.jpg\0/etc/passwd", 20))})));
  EXPECT_EQ(request.frames, (std::vector<std::string>{"", "/f/x.png"}));
  EXPECT_EQ(request.images, (std::vector<std::string>{"/p/a.jpg"}));  // up to the first NUL
}

TEST(SheetArgumentsTest, RequiredIntegersAreInt32Only) {
  for (const char* key : {"rows", "columns", "pageWidth", "pageHeight", "marginLeft", "marginRight", "marginTop",
                          "marginBottom"}) {
    EXPECT_EQ(ErrorOf(Without(Base(), key)), ChannelError(kMissingRequiredParameters)) << key;
    EXPECT_EQ(ErrorOf(With(Base(), key, V(2.0))), InvalidTypeForKey(key)) << key;
    EXPECT_EQ(ErrorOf(With(Base(), key, V(int64_t{2})), SheetMethod::kBackground), InvalidTypeForKey(key)) << key;
  }
  // The first failure in key order is the answer.
  EXPECT_EQ(ErrorOf(With(Without(Base(), "marginTop"), "columns", V("3"))), InvalidTypeForKey("columns"));
}

TEST(SheetArgumentsTest, OptionalKeysOfTheWrongKindAreRefusedOrDefaulted) {
  EXPECT_EQ(ErrorOf(With(Base(), "jpegQuality", V(90.0))), InvalidTypeForKey("jpegQuality"));
  EXPECT_EQ(ErrorOf(With(Base(), "cutGridWidthMm", V(int32_t{1}))), InvalidTypeForKey("cutGridWidthMm"));
  EXPECT_EQ(ErrorOf(With(Base(), "cutGridWidthMm", V(kNaN))), InvalidTypeForKey("cutGridWidthMm"));
  EXPECT_EQ(ErrorOf(With(Base(), "cutGridWidthMm", V(kInfinity))), InvalidTypeForKey("cutGridWidthMm"));
  EXPECT_EQ(ErrorOf(With(Base(), "cutGridColor", V(true))), InvalidTypeForKey("cutGridColor"));
  // Numbers of the right kind outside what they can mean are refused by name, not clamped or defaulted.
  for (int32_t quality : {0, -5, 101, 1000}) {
    EXPECT_EQ(ErrorOf(With(Base(), "jpegQuality", V(quality))), InvalidValueForKey("jpegQuality", "1 to 100"));
  }
  EXPECT_EQ(Request(With(Base(), "jpegQuality", V(int32_t{1}))).jpegQuality, 1);
  EXPECT_EQ(Request(With(Base(), "jpegQuality", V(int32_t{100}))).jpegQuality, 100);
  for (double width : {-1.0, 10.01, 1e300}) {
    EXPECT_EQ(ErrorOf(With(Base(), "cutGridWidthMm", V(width))), InvalidValueForKey("cutGridWidthMm", "0 to 10"));
  }
  EXPECT_EQ(Request(With(Base(), "cutGridColor", V("black"))).cutGridColor, "black");
  EXPECT_DOUBLE_EQ(Request(With(Base(), "cutGridWidthMm", V(0.3))).cutGridWidthMm, 0.3);

  // dpi: int32 or a truncated double from 1 to 10000; another kind is 450.
  EXPECT_EQ(Request(With(Base(), "dpi", V(300.7))).dpi, 300);
  EXPECT_EQ(Request(With(Base(), "dpi", V(int32_t{600}))).dpi, 600);
  EXPECT_EQ(Request(With(Base(), "dpi", V("300"))).dpi, 450);
  for (const EncodableValue& nonsense : {V(-2.9), V(0.4), V(kNaN), V(1e12), V(int32_t{0}), V(int32_t{-5}),
                                         V(int32_t{2147483647})}) {
    EXPECT_EQ(ErrorOf(With(Base(), "dpi", nonsense)), InvalidValueForKey("dpi", "1 to 10000"));
  }
  // Only a dpi the request names makes the sheets state their resolution.
  EXPECT_TRUE(Request(With(Base(), "dpi", V(300.7))).sheetDensity);
  EXPECT_TRUE(Request(With(Base(), "dpi", V(int32_t{600}))).sheetDensity);
  EXPECT_FALSE(Request(With(Base(), "dpi", V("300"))).sheetDensity);
}

TEST(SheetArgumentsTest, CutLinesTakeAnInt32OnlyInTheBlockingMethod) {
  EXPECT_TRUE(Request(With(Base(), "showCutGrid", V(int32_t{1}))).showCutGrid);
  EXPECT_FALSE(Request(With(Base(), "showCutGrid", V(int32_t{1})), SheetMethod::kBackground).showCutGrid);
  EXPECT_TRUE(Request(With(Base(), "showCutGrid", V(true)), SheetMethod::kBackground).showCutGrid);
  EXPECT_FALSE(Request(With(Base(), "showCutGrid", V("yes"))).showCutGrid);
  EXPECT_FALSE(Request(With(Base(), "showCutGrid", V(int32_t{0}))).showCutGrid);
}

TEST(SheetArgumentsTest, EffectsKeepTheirPositionsAndRefuseUnusableValues) {
  const EncodableList effects = {
      V(EncodableMap{{V("brightness"), V(0.7)}, {V("scale"), V(int32_t{2})}, {V("strokeColor"), V(4278190335.0)},
                     {V("strokeExternal"), V(0.4)}, {V("gamma"), V(kNaN)}}),
      V(EncodableMap{{V("contrast"), V(1e40)}, {V("strokeColor"), V(kNaN)}, {V("offsetX"), V(-12.5)},
                     {V("strokeExternal"), V(true)}}),
      V("not a map"),
      V(EncodableMap{{V("strokeColor"), V(-1.0)}, {V("temperature"), V(int32_t{-30})}, {V("wbTint"), V(int32_t{5})}}),
      V(EncodableMap{{V("strokeColor"), V(1e30)}, {V("strokeExternal"), V(int32_t{0})}}),
  };
  const mosalith::GridJob blocking = Request(With(Base(), "imageEffects", V(effects)));
  ASSERT_EQ(blocking.effects.size(), 5u);
  EXPECT_FLOAT_EQ(blocking.effects[0].brightness, 0.7f);
  EXPECT_FLOAT_EQ(blocking.effects[0].scale, 1.0f);  // an int32 is not a double here
  EXPECT_EQ(blocking.effects[0].strokeColor, 0xFF0000FFu);
  EXPECT_FALSE(blocking.effects[0].strokeExternal);
  EXPECT_FLOAT_EQ(blocking.effects[0].gamma, 1.0f);
  EXPECT_FLOAT_EQ(blocking.effects[1].contrast, 0.0f);  // beyond float's range
  EXPECT_EQ(blocking.effects[1].strokeColor, 0xFFFFFFFFu);
  EXPECT_FLOAT_EQ(blocking.effects[1].offsetX, -12.5f);
  EXPECT_TRUE(blocking.effects[1].strokeExternal);
  EXPECT_FLOAT_EQ(blocking.effects[2].brightness, 0.5f);  // a non-map element is a neutral record
  EXPECT_EQ(blocking.effects[3].strokeColor, 0xFFFFFFFFu);
  EXPECT_FLOAT_EQ(blocking.effects[3].temperature, 0.0f);
  EXPECT_EQ(blocking.effects[4].strokeColor, 0xFFFFFFFFu);  // beyond int64: neutral
  EXPECT_TRUE(blocking.effects[4].strokeExternal);          // an int32 is not a double here either

  const mosalith::GridJob background = Request(With(Base(), "imageEffects", V(effects)), SheetMethod::kBackground);
  ASSERT_EQ(background.effects.size(), 5u);
  EXPECT_FLOAT_EQ(background.effects[0].scale, 2.0f);  // numbers take an int32
  EXPECT_FLOAT_EQ(background.effects[3].temperature, -30.0f);
  EXPECT_FLOAT_EQ(background.effects[3].wbTint, 5.0f);
  EXPECT_TRUE(background.effects[4].strokeExternal);  // still double only
}

TEST(SheetArgumentsTest, EffectsAndAspectRatioFollowEachMethodsForm) {
  EXPECT_TRUE(Request(With(Base(), "imageEffects", V("x"))).effects.empty());
  EXPECT_EQ(ErrorOf(With(Base(), "imageEffects", V("x")), SheetMethod::kBackground), InvalidTypeForKey("imageEffects"));
  EXPECT_DOUBLE_EQ(Request(With(Base(), "magnetAspectRatio", V(1.5)), SheetMethod::kBackground).magnetAspectRatio, 1.5);
  EXPECT_EQ(Request(With(Base(), "magnetAspectRatio", V(1.5))).magnetAspectRatio, 0.0);  // not read here
  EXPECT_EQ(ErrorOf(With(Base(), "magnetAspectRatio", V(int32_t{1})), SheetMethod::kBackground),
            InvalidTypeForKey("magnetAspectRatio"));
  EXPECT_EQ(ErrorOf(With(Base(), "magnetAspectRatio", V(kNaN)), SheetMethod::kBackground),
            InvalidTypeForKey("magnetAspectRatio"));
  EXPECT_EQ(ErrorOf(With(Base(), "magnetAspectRatio", V(-1.0)), SheetMethod::kBackground),
            InvalidValueForKey("magnetAspectRatio", "0 to 100"));
  // A zoom of 0 or below, or one that is not a number, has no picture to show: refused with its entry.
  for (const EncodableValue& zoom : {V(0.0), V(-1.0), V(kNaN), V(kInfinity)}) {
    const EncodableList effects = {V(EncodableMap{}), V(EncodableMap{{V("scale"), zoom}})};
    EXPECT_EQ(ErrorOf(With(Base(), "imageEffects", V(effects))),
              InvalidValueForKey("imageEffects[1].scale", "a finite number above 0"));
  }
}

TEST(SheetArgumentsTest, TheSheetKeysAreReadOnEveryMethodAndNonsenseIsRefusedByName) {
  EncodableMap map = Base();
  map[V("gapPx")] = V(int32_t{24});
  map[V("bleedPx")] = V(int32_t{12});
  map[V("cutGuides")] = V("marks");
  map[V("fullLengthGuides")] = V(true);
  map[V("rotateToFit")] = V(false);
  map[V("faceAwareCrop")] = V(true);
  map[V("frameFit")] = V("cover");
  for (const SheetMethod method : {SheetMethod::kBlocking, SheetMethod::kBackground}) {
    const mosalith::GridJob request = Request(map, method);
    EXPECT_EQ(request.gapPx, 24);
    EXPECT_EQ(request.bleedPx, 12);
    EXPECT_EQ(request.cutGuides, "marks");
    EXPECT_TRUE(request.fullLengthGuides);
    EXPECT_FALSE(request.rotateToFit);
    EXPECT_TRUE(request.faceAwareCrop);
    EXPECT_EQ(request.frameFit, "cover");
  }
  const mosalith::GridJob defaults = Request(Base());
  EXPECT_EQ(defaults.cutGuides, "");
  EXPECT_TRUE(defaults.rotateToFit);
  EXPECT_EQ(defaults.frameFit, "stretch");

  EXPECT_EQ(ErrorOf(With(Base(), "gapPx", V(-1))).message, "Invalid value for key 'gapPx': expected 0 to 4000");
  EXPECT_EQ(ErrorOf(With(Base(), "bleedPx", V(int32_t{4001}))).message,
            "Invalid value for key 'bleedPx': expected 0 to 4000");
  EXPECT_EQ(ErrorOf(With(Base(), "bleedPx", V(2.0))).message, "Invalid type for key 'bleedPx'");
  EXPECT_EQ(ErrorOf(With(Base(), "cutGuides", V("dashes"))).message,
            "Invalid value for key 'cutGuides': expected lines, marks or none");
  EXPECT_EQ(ErrorOf(With(Base(), "frameFit", V("Cover")), SheetMethod::kBackground).message,
            "Invalid value for key 'frameFit': expected stretch or cover");
  EXPECT_EQ(ErrorOf(With(Base(), "rotateToFit", V(int32_t{0}))).message, "Invalid type for key 'rotateToFit'");
  EXPECT_EQ(ErrorOf(With(Base(), "faceAwareCrop", V("yes"))).code, "INVALID_ARGUMENTS");
  const V face(EncodableMap{{V("left"), V(0.25)}, {V("top"), V(0.125)}, {V("width"), V(0.5)}, {V("height"), V(0.25)}});
  const mosalith::GridJob faced =
      Request(With(Base(), "imageFaces", V(EncodableList{V(EncodableList{}), V(EncodableList{face, face})})));
  EXPECT_EQ(faced.faces, (std::vector<std::vector<mosalith::FaceArea>>{
                             {}, {{0.25, 0.125, 0.5, 0.25}, {0.25, 0.125, 0.5, 0.25}}}));
  for (const V& bad : {V(1), V(EncodableList{V(1)}), V(EncodableList{V(EncodableList{V(EncodableMap{})})})}) {
    EXPECT_EQ(ErrorOf(With(Base(), "imageFaces", bad)).message, "Invalid type for key 'imageFaces'");
  }
  // The first bad key in table order is the one named.
  EXPECT_EQ(ErrorOf(With(With(Base(), "gapPx", V(-5)), "frameFit", V(1))).message,
            "Invalid value for key 'gapPx': expected 0 to 4000");
}

}  // namespace
}  // namespace runner::printing
