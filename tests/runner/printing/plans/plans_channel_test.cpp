// "planMagnetSheets" through printing_channel over the fakes: the printer's paper by name, size or the
// current one, the reply's request composing as planned, the preflight's warnings, and the refusals.
#include "runner/printing/plans/plans_channel.h"

#include <gtest/gtest.h>

#include "helper/sheet_geometry.h"
#include "runner/printing/printing_channel.h"
#include "runner/printing/sheets/sheet_arguments.h"
#include "tests/runner/recording_messenger.h"
#include "tests/runner/test_services.h"

namespace runner::printing {
namespace {

using V = EncodableValue;
using runner::testing::Answer;

const V& At(const V& map, const char* key) { return std::get<EncodableMap>(map).at(V(key)); }
double Number(const V& value) {
  return std::holds_alternative<double>(value) ? std::get<double>(value) : std::get<int32_t>(value);
}

class PlanMagnetSheetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::FakePrinter office;
    office.summary.name = "Office";
    // A4 with 4.23 mm margins, Letter, and a borderless 4x6 beside the bordered one.
    office.papers = {{9, "A4", 2100, 2970, 423, 423, 423, 423},
                     {1, "Letter", 2159, 2794, 635, 635, 635, 635},
                     {122, "4x6", 1016, 1524, 318, 318, 318, 318},
                     {300, "4x6 Borderless", 1016, 1524, 0, 0, 0, 0, true}};
    office.defaults.fields = platform::kFieldPaperSize;
    office.defaults.paper_id = 1;  // Letter is the current paper
    services_.spooler.AddPrinter(office);
    services_.spooler.SetDefault("Office");
    ::testing::internal::CaptureStderr();
    SetupPrintingChannel(&messenger_, slot_, services_.services);
  }
  void TearDown() override {
    services_.threads.JoinAll();
    ::testing::internal::GetCapturedStderr();
  }
  std::shared_ptr<const Answer> Plan(EncodableMap arguments) {
    return messenger_.Call("printing_channel", "planMagnetSheets", std::make_unique<V>(V(std::move(arguments))));
  }
  static EncodableMap Squares() {
    return {{V("magnetWidthMm"), V(50)}, {V("magnetHeightMm"), V(50.0)}, {V("imageCount"), V(7)}};
  }

  runner::testing::TestServices services_;
  runner::testing::RecordingMessenger messenger_;
  std::unique_ptr<Channel> slot_;
};

TEST_F(PlanMagnetSheetsTest, ThePaperIsTheNamedOneTheNearestListedSizeOrTheCurrentOne) {
  auto current = Plan(Squares());
  ASSERT_EQ(current->kind, Answer::Kind::kSuccess) << current->error_message;
  EXPECT_EQ(At(current->value, "printerName"), V("Office"));
  EXPECT_EQ(At(current->value, "paperName"), V("Letter"));
  EXPECT_EQ(Number(At(At(current->value, "printableAreaMm"), "left")), 6.35);

  EncodableMap by_name = Squares();
  by_name[V("paperName")] = V("4x6 Borderless");
  auto borderless = Plan(by_name);
  EXPECT_EQ(At(borderless->value, "paperName"), V("4x6 Borderless"));
  EXPECT_EQ(At(borderless->value, "sheetWidthPx"), V(1200));  // the whole paper at 300 dpi

  EncodableMap by_size = Squares();
  by_size[V("paperSize")] = V(EncodableMap{{V("width"), V(100)}, {V("height"), V(150)}});
  auto near_4x6 = Plan(by_size);
  EXPECT_EQ(At(near_4x6->value, "paperName"), V("4x6"));  // the bordered one wins a tie
  EXPECT_EQ(At(near_4x6->value, "paperListed"), V(true));
  by_size[V("paperSize")] = V(EncodableMap{{V("width"), V(300)}, {V("height"), V(400)}});
  auto unlisted = Plan(by_size);
  EXPECT_EQ(At(unlisted->value, "paperListed"), V(false));
  EXPECT_EQ(At(unlisted->value, "printsAtTrueSize"), V(false));
  // The widest margins of the printer's bordered papers.
  EXPECT_EQ(Number(At(At(unlisted->value, "printableAreaMm"), "top")), 6.35);

  EncodableMap elsewhere = Squares();
  elsewhere[V("printerName")] = V("Nowhere");
  EXPECT_EQ(Plan(elsewhere)->error_code, "PRINTER_ERROR");
  by_name[V("paperName")] = V("A0");
  EXPECT_EQ(Plan(by_name)->error_message, "Paper 'A0' not found on the default printer");
}

TEST_F(PlanMagnetSheetsTest, TheReplysRequestComposesTheSheetAsPlanned) {
  EncodableMap arguments = Squares();
  arguments[V("paperName")] = V("A4");
  arguments[V("gapMm")] = V(3);
  arguments[V("bleedMm")] = V(1.5);
  arguments[V("faceAwareCrop")] = V(true);
  auto answer = Plan(arguments);
  ASSERT_EQ(answer->kind, Answer::Kind::kSuccess) << answer->error_message;
  const V& reply = answer->value;
  EXPECT_EQ(At(reply, "magnetWidthPx"), V(591));
  EXPECT_EQ(Number(At(reply, "magnetWidthMm")), 50.038);
  EXPECT_EQ(At(reply, "pixelRounding"), V("nearest"));
  EXPECT_EQ(At(reply, "gapPx"), V(35));
  EXPECT_EQ(At(reply, "bleedPx"), V(18));
  EXPECT_EQ(At(reply, "sheetsNeeded"), V(1));

  EncodableMap request = std::get<EncodableMap>(At(reply, "request"));
  EXPECT_EQ(request.at(V("cutGuides")), V("marks"));  // lines would lie over the bleed
  request[V("imagePaths")] = V(EncodableList{V("/p/a.jpg")});
  request[V("outputPaths")] = V(EncodableList{V("/o/sheet.jpg")});
  ChannelError error("", "");
  const V sheet_arguments(request);
  const std::optional<mosalith::GridJob> job = ReadSheetRequest(&sheet_arguments, SheetMethod::kBlocking, &error);
  ASSERT_TRUE(job) << error.message;
  std::string problem;
  const std::optional<mosalith::SheetGeometry> geometry = mosalith::ComputeSheetGeometry(*job, problem);
  ASSERT_TRUE(geometry) << problem;
  EXPECT_EQ(geometry->magnet_width_px, 591);
  EXPECT_EQ(geometry->magnet_height_px, 591);
  EXPECT_EQ(geometry->cell_width_px, 591);
  EXPECT_TRUE(job->faceAwareCrop);
  EXPECT_TRUE(job->sheetDensity);  // the request names its dpi: it prints at true size
  const int32_t cols = std::get<int32_t>(At(reply, "columns"));
  EXPECT_EQ(job->pageWidth - job->marginLeft - job->marginRight, cols * 591 + (cols - 1) * 35);
}

TEST_F(PlanMagnetSheetsTest, ThePreflightNamesUnreadableSmallAndFaceCutPhotos) {
  services_.graphics.AddPicture("/p/big.jpg", *imaging::MakeBitmap(1800, 1200, 0xFF808080));
  services_.graphics.AddPicture("/p/small.jpg", *imaging::MakeBitmap(300, 300, 0xFF808080));
  // A portrait whose face sits near its top: a centred square crop keeps rows 300..1199 of 1500.
  services_.graphics.AddPicture("/p/portrait.jpg", *imaging::MakeBitmap(900, 1500, 0xFF808080));
  services_.face_detector.SetFaces(900, 1500, {platform::FaceBox{350, 120, 200, 200}});
  services_.graphics.FailPath("/p/damaged.jpg", platform::GraphicsStatus::kCorrupt);
  EncodableMap arguments = Squares();
  arguments[V("paperName")] = V("A4");
  arguments.erase(V("imageCount"));
  arguments[V("imagePaths")] =
      V(EncodableList{V("/p/big.jpg"), V("/p/small.jpg"), V("/p/portrait.jpg"), V("/p/missing.jpg"), V("/p/damaged.jpg")});
  // The first photo zoomed in four times on a square viewport: a quarter of its resolution is left.
  arguments[V("imageEffects")] = V(EncodableList{V(EncodableMap{
      {V("scale"), V(4.0)}, {V("viewportWidth"), V(300.0)}, {V("viewportHeight"), V(300.0)}})});
  for (const bool face_aware : {false, true}) {
    arguments[V("faceAwareCrop")] = V(face_aware);
    auto answer = Plan(arguments);
    ASSERT_EQ(answer->kind, Answer::Kind::kSuccess) << answer->error_message;
    EXPECT_EQ(At(answer->value, "imageCount"), V(5));
    const EncodableList& photos = std::get<EncodableList>(At(answer->value, "preflight"));
    ASSERT_EQ(photos.size(), 5u);
    // 1800 x 1200 covering 591 pixels: 1200 / (591 / 300 in) = 609 ppi, a quarter of it zoomed.
    EXPECT_NEAR(Number(At(photos[0], "effectivePpi")), 1200 / (591 / 300.0) / 4, 0.1);
    EXPECT_EQ(At(photos[0], "warnings"), V(EncodableList{V("lowResolution")}));
    EXPECT_NEAR(Number(At(photos[1], "effectivePpi")), 152.3, 0.1);
    EXPECT_EQ(At(photos[1], "warnings"), V(EncodableList{V("lowResolution")}));
    EXPECT_EQ(At(photos[2], "faces"), V(1));
    EXPECT_EQ(At(photos[2], "facesChecked"), V(true));
    EXPECT_EQ(At(photos[2], "warnings"), face_aware ? V(EncodableList{}) : V(EncodableList{V("faceCut")}));
    EXPECT_EQ(At(photos[3], "warnings"), V(EncodableList{V("unreadable")}));
    EXPECT_EQ(At(photos[3], "reason"), V("file not found"));
    EXPECT_EQ(At(photos[4], "reason"), V("damaged data"));  // the image core's own words
    EXPECT_EQ(At(answer->value, "preflightWarnings"), V(face_aware ? 4 : 5));
  }
  // The faces found come back as the request's "imageFaces": given, they are used without a search.
  const int searches = services_.face_detector.detections_created();
  arguments[V("faceAwareCrop")] = V(false);
  arguments[V("imageFaces")] = V(EncodableList{V(EncodableList{}), V(EncodableList{}), V(EncodableList{})});
  auto given = Plan(arguments);
  const EncodableList& photos = std::get<EncodableList>(At(given->value, "preflight"));
  EXPECT_EQ(At(photos[2], "warnings"), V(EncodableList{}));  // no face said to be there
  EXPECT_EQ(services_.face_detector.detections_created(), searches);
}

TEST_F(PlanMagnetSheetsTest, NonsenseIsRefusedByNameAndAMagnetTooLargeSaysWhatFits) {
  auto with = [](const char* key, V value) {
    EncodableMap arguments = Squares();
    arguments[V(key)] = std::move(value);
    return arguments;
  };
  EXPECT_EQ(Plan(with("magnetWidthMm", V("wide")))->error_message, "Invalid type for key 'magnetWidthMm'");
  EXPECT_EQ(Plan(with("gapMm", V(-1)))->error_message, "Invalid value for key 'gapMm': expected 0 to 1000");
  EXPECT_EQ(Plan(with("dpi", V(0)))->error_message, "Invalid value for key 'dpi': expected 1 to 10000");
  EXPECT_EQ(Plan(with("cutGuides", V("dots")))->error_message,
            "Invalid value for key 'cutGuides': expected lines, marks or none");
  EXPECT_EQ(Plan(with("imageCount", V(-2)))->error_code, "INVALID_ARGUMENTS");
  EncodableMap no_count = Squares();
  no_count.erase(V("imageCount"));
  EXPECT_EQ(Plan(no_count)->error_message, "Missing required parameters");
  auto too_large = Plan(with("magnetWidthMm", V(270)));  // longer than Letter's printable area either way
  EXPECT_EQ(too_large->error_code, "MAGNET_TOO_LARGE");
  EXPECT_EQ(too_large->error_message,
            "Magnet 270.0x50.0 mm does not fit the printable area 203.2x266.7 mm of Letter on Office");
  EXPECT_EQ(messenger_.Call("printing_channel", "planMagnetSheets", std::make_unique<V>(V(1)))->error_message,
            "Expected map of arguments");
}

}  // namespace
}  // namespace runner::printing
