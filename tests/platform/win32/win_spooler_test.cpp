// Tests for the spooler adapter against Wine's spooler, which lists the queues of the private CUPS
// scheduler that CTest starts (win32_cups.sh): PV_Photo and PV_Office (a PPD with six papers, 300 dpi)
// and PV_Raw (no PPD). Skipped, saying why, when the scheduler is not there.
#include "platform/win32/win_spooler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// The device `opened` holds, or null when it failed.
std::unique_ptr<PrintDevice> Opened(base::StatusOr<std::unique_ptr<PrintDevice>> opened) {
  return opened.ok() ? std::move(opened).value() : nullptr;
}

const Paper* Find(const std::vector<Paper>& papers, const std::string& label) {
  const auto found = std::find_if(papers.begin(), papers.end(), [&](const Paper& p) { return p.label == label; });
  return found == papers.end() ? nullptr : &*found;
}

class WinSpoolerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("CUPS_SERVER") == nullptr) GTEST_SKIP() << "no private CUPS scheduler (CUPS_SERVER unset)";
    const std::vector<PrinterSummary> printers = spooler_.Printers();
    if (std::none_of(printers.begin(), printers.end(), [](const PrinterSummary& p) { return p.name == "PV_Raw"; })) {
      GTEST_SKIP() << "Wine's spooler does not list the private scheduler's queues";
    }
  }
  WinSpooler spooler_;
};

TEST_F(WinSpoolerTest, ListsTheSchedulersQueuesWithTheirDescriptions) {
  const std::vector<PrinterSummary> printers = spooler_.Printers();
  std::vector<std::string> names;
  for (const PrinterSummary& printer : printers) names.push_back(printer.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"PV_Office", "PV_Photo", "PV_Raw"}));
  const auto photo = std::find_if(printers.begin(), printers.end(), [](const PrinterSummary& p) { return p.name == "PV_Photo"; });
  EXPECT_EQ(photo->comment, "Photo capture");
  EXPECT_FALSE(photo->offline);
  EXPECT_TRUE(spooler_.HasPrinter("PV_Office"));
  EXPECT_FALSE(spooler_.HasPrinter("No Such Printer"));
  EXPECT_FALSE(spooler_.HasPrinter(""));
}

TEST_F(WinSpoolerTest, PapersComeFromThePrinterDescriptionWithTheirMargins) {
  EXPECT_EQ(spooler_.Papers("No Such Printer"), std::nullopt);
  const std::optional<std::vector<Paper>> papers = spooler_.Papers("PV_Photo");
  ASSERT_TRUE(papers);
  ASSERT_EQ(papers->size(), 6u);
  const Paper* a4 = Find(*papers, "A4");
  ASSERT_NE(a4, nullptr);
  EXPECT_EQ(a4->id, 9);
  EXPECT_EQ(a4->width_tenths_mm, 2100);
  EXPECT_EQ(a4->height_tenths_mm, 2970);
  // 12 points on every side: 4.23 mm, within a device pixel at 300 dpi.
  EXPECT_NEAR(a4->margin_left_hundredths_mm, 423, 9);
  EXPECT_NEAR(a4->margin_top_hundredths_mm, 423, 9);
  EXPECT_NEAR(a4->margin_right_hundredths_mm, 423, 9);
  EXPECT_NEAR(a4->margin_bottom_hundredths_mm, 423, 9);
  EXPECT_FALSE(a4->borderless);
  const Paper* photo = Find(*papers, "4x6 in");
  ASSERT_NE(photo, nullptr);
  EXPECT_EQ(photo->width_tenths_mm, 1016);
  EXPECT_EQ(photo->height_tenths_mm, 1524);
  const auto borderless = std::find_if(papers->begin(), papers->end(), [](const Paper& p) { return p.borderless; });
  ASSERT_NE(borderless, papers->end());
  EXPECT_NE(borderless->id, photo->id);
  EXPECT_EQ(borderless->margin_left_hundredths_mm + borderless->margin_top_hundredths_mm, 0);
}

TEST_F(WinSpoolerTest, TheDefaultPrinterFollowsSetDefaultPrinter) {
  ASSERT_TRUE(spooler_.SetDefaultPrinter("PV_Office").ok());
  EXPECT_EQ(spooler_.DefaultPrinter(), "PV_Office");
  ASSERT_TRUE(spooler_.SetDefaultPrinter("PV_Photo").ok());
  EXPECT_EQ(spooler_.DefaultPrinter(), "PV_Photo");
  EXPECT_TRUE(spooler_.SetDefaultPrinter("No Such Printer").Is(base::Status::Code::kNotFound));
  EXPECT_EQ(spooler_.DefaultPrinter(), "PV_Photo");
}

TEST_F(WinSpoolerTest, StoredSettingsAreTheNextJobsStartingPoint) {
  std::optional<PrintSettings> current = spooler_.CurrentSettings("PV_Office");
  ASSERT_TRUE(current);
  EXPECT_TRUE(current->fields & kFieldPaperSize);

  PrintSettings a6;
  a6.fields = kFieldPaperSize | kFieldOrientation;
  a6.paper_id = 70;  // A6
  a6.orientation = kOrientationLandscape;
  ASSERT_TRUE(spooler_.StoreSettings("PV_Office", a6).ok());
  current = spooler_.CurrentSettings("PV_Office");
  ASSERT_TRUE(current);
  EXPECT_EQ(current->paper_id, 70);
  EXPECT_EQ(current->orientation, kOrientationLandscape);
  const base::Status nowhere = spooler_.StoreSettings("No Such Printer", a6);
  EXPECT_TRUE(nowhere.Is(base::Status::Code::kNotFound));
  EXPECT_EQ(nowhere.system_error(), ENOENT);
}

TEST_F(WinSpoolerTest, ValidationCompletesKnownPapersAndRefusesOthers) {
  PrintSettings a4;
  a4.fields = kFieldPaperSize;
  a4.paper_id = 9;
  ASSERT_TRUE(spooler_.ValidateSettings("PV_Photo", &a4).ok());
  EXPECT_EQ(a4.paper_id, 9);
  EXPECT_EQ(a4.form_name, "A4");
  // The driver's own papers are numbered from 256 up (Wine numbers "4x6 in" 256): one of them is taken.
  const std::vector<Paper> papers = *spooler_.Papers("PV_Photo");
  PrintSettings photo;
  photo.fields = kFieldPaperSize;
  photo.paper_id = Find(papers, "4x6 in")->id;
  ASSERT_TRUE(spooler_.ValidateSettings("PV_Photo", &photo).ok());
  EXPECT_EQ(photo.form_name, "4x6 in");
  PrintSettings unknown;
  unknown.fields = kFieldPaperSize;
  unknown.paper_id = 30000;
  EXPECT_TRUE(spooler_.ValidateSettings("PV_Photo", &unknown).Is(base::Status::Code::kUnsupported));
  EXPECT_TRUE(spooler_.ValidateSettings("No Such Printer", &a4).Is(base::Status::Code::kNotFound));
}

TEST_F(WinSpoolerTest, ADeviceHasThePapersGeometryAtThePrintersResolution) {
  PrintSettings settings;
  settings.fields = kFieldPaperSize | kFieldOrientation;
  settings.paper_id = 9;
  settings.orientation = kOrientationPortrait;
  base::StatusOr<std::unique_ptr<PrintDevice>> opened = spooler_.OpenDevice("PV_Photo", settings);
  ASSERT_TRUE(opened.ok()) << opened.status().ToString();
  const std::unique_ptr<PrintDevice> device = std::move(opened).value();
  const DeviceGeometry geometry = device->Geometry();
  EXPECT_EQ(geometry.dpi_x, 300);
  EXPECT_EQ(geometry.dpi_y, 300);
  // A4 at 300 dpi, 12 points (50 pixels) unprintable on each side.
  EXPECT_NEAR(geometry.physical_width_px, 2480, 1);
  EXPECT_NEAR(geometry.physical_height_px, 3508, 1);
  EXPECT_NEAR(geometry.offset_x_px, 50, 1);
  EXPECT_NEAR(geometry.printable_width_px, 2480 - 100, 2);
  EXPECT_EQ(geometry.paper_name, "A4");
  // A job without an ended page prints nothing and still ends cleanly.
  const base::StatusOr<int> job = device->StartDoc("PictaVera Print");
  ASSERT_TRUE(job.ok()) << job.status().ToString();
  EXPECT_GT(*job, 0);
  EXPECT_TRUE(device->EndDoc().ok());

  const base::StatusOr<std::unique_ptr<PrintDevice>> nowhere = spooler_.OpenDevice("No Such Printer", settings);
  EXPECT_FALSE(nowhere.ok());
  EXPECT_NE(nowhere.status().system_error(), 0);
}

TEST_F(WinSpoolerTest, CancellingActiveJobsFailsTheirNextPageAsCancelled) {
  const std::unique_ptr<PrintDevice> device = Opened(spooler_.OpenDevice("PV_Raw", PrintSettings{}));
  ASSERT_NE(device, nullptr);
  const std::unique_ptr<PrintDevice> other = Opened(spooler_.OpenDevice("PV_Raw", PrintSettings{}));
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(device->StartDoc("PictaVera Print").ok());
  ASSERT_TRUE(device->StartPage().ok());
  ASSERT_TRUE(device->EndPage().ok());
  spooler_.CancelActiveJobs();
  const base::Status cancelled = device->StartPage();
  EXPECT_TRUE(cancelled.Is(base::Status::Code::kCancelled)) << cancelled.ToString();
  EXPECT_EQ(cancelled.system_error(), ERROR_PRINT_CANCELLED);
  // A job started afterwards is not touched by the earlier cancel.
  ASSERT_TRUE(other->StartDoc("PictaVera Print").ok());
  EXPECT_TRUE(other->StartPage().ok());
  other->AbortDoc();
}

}  // namespace
}  // namespace platform
