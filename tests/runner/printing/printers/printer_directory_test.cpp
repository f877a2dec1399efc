// Tests for the printer directory's view of a system printer's settings: what every program's stored
// settings say about copies, orientation, colour and layout stays out, Pictavera's own colour and quality
// choice is kept apart and read back.
#include "runner/printing/printers/printer_directory.h"

#include <cerrno>
#include <gtest/gtest.h>

#include "platform/fake/fake_settings_store.h"
#include "platform/fake/fake_spooler.h"

namespace runner::printing {
namespace {

using platform::PrintSettings;

class PrinterDirectoryTest : public ::testing::Test {
 protected:
  PrinterDirectoryTest() {
    platform::FakePrinter printer;
    printer.summary = {"Büro", "", false};
    printer.papers = {{9, "A4", 2100, 2970}};
    // What the user and the printer's administrator stored for every program.
    PrintSettings& stored = printer.defaults;
    stored.fields = platform::kFieldPaperSize | platform::kFieldOrientation | platform::kFieldCopies |
                    platform::kFieldColor | platform::kFieldPrintQuality;
    stored.paper_id = 9;
    stored.orientation = platform::kOrientationLandscape;
    stored.copies = 3;
    stored.color = platform::kColorMonochrome;
    stored.print_quality_dpi = 600;
    stored.options = {{"number-up", "2"}, {"print-color-mode", "monochrome"}, {"InputSlot", "Tray2"},
                      {"ColorModel", "Gray"}, {"orientation-requested", "4"}};
    spooler_.AddPrinter(printer);
  }

  platform::FakeSpooler spooler_;
  platform::FakeSettingsStore choices_;
};

TEST_F(PrinterDirectoryTest, EveryProgramsStoredCopiesOrientationColourAndLayoutStayOut) {
  PrinterDirectory directory(&spooler_, nullptr, nullptr, &choices_);
  const PrintSettings settings = *directory.CurrentSettings("Büro");
  EXPECT_EQ(settings.copies, 1);
  EXPECT_EQ(settings.orientation, platform::kOrientationPortrait);
  EXPECT_EQ(settings.fields & platform::kFieldColor, 0u);
  EXPECT_EQ(settings.paper_id, 9);            // the stored paper stays
  EXPECT_EQ(settings.print_quality_dpi, 600);  // and so do quality and tray
  EXPECT_EQ(settings.options, (std::vector<std::pair<std::string, std::string>>{{"InputSlot", "Tray2"}}));
}

TEST_F(PrinterDirectoryTest, PictaverasOwnColourAndQualityAreKeptApartAndReadBack) {
  PrinterDirectory directory(&spooler_, nullptr, nullptr, &choices_);
  PrintSettings chosen = *directory.CurrentSettings("Büro");
  chosen.fields |= platform::kFieldColor | platform::kFieldPrintQuality | platform::kFieldYResolution;
  chosen.color = platform::kColorColor;
  chosen.print_quality_dpi = 1200;
  chosen.y_resolution_dpi = 600;
  ASSERT_TRUE(directory.StoreSettings("Büro", chosen).ok());
  // Another program then stores grey for every program: Pictavera's choice holds, in a new run too.
  PrintSettings grey = *spooler_.CurrentSettings("Büro");
  grey.color = platform::kColorMonochrome;
  ASSERT_TRUE(spooler_.StoreSettings("Büro", grey).ok());
  PrinterDirectory next_run(&spooler_, nullptr, nullptr, &choices_);
  const PrintSettings settings = *next_run.CurrentSettings("Büro");
  EXPECT_EQ(settings.color, platform::kColorColor);
  EXPECT_EQ(settings.print_quality_dpi, 1200);
  EXPECT_EQ(settings.y_resolution_dpi, 600);

  // A choice that cannot be kept is a failed store; a damaged one is ignored.
  choices_.FailWrites(base::Status::IoError("Choices: disk full"));
  EXPECT_EQ(directory.StoreSettings("Büro", chosen).system_error(), EIO);
  choices_.FailWrites(base::Status::Ok());
  for (const auto& [name, value] : choices_.values()) choices_.Put(name, "fields=oops color=");
  EXPECT_EQ(next_run.CurrentSettings("Büro")->fields & platform::kFieldColor, 0u);
}

}  // namespace
}  // namespace runner::printing
