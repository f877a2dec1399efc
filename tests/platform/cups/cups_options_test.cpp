// Tests for the conversions between CUPS options and public printer settings.
#include "platform/cups/cups_options.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

const std::vector<CupsMedia> kList = {
    {"na_index-4x6_4x6in", {74, "4x6", 1016, 1524}},
    {"na_index-4x6_4x6in_borderless", {4711, "4x6 (Borderless)", 1016, 1524, 0, 0, 0, 0, true}},
    {"iso_a6_105x148mm", {70, "A6", 1050, 1480}},
    {"roll_max_610x100000mm", {300, "Roll", 6100, 1000000}},
};

TEST(CupsOptions, DestinationOptionsBecomeSettings) {
  const CupsOptions options = {{"printer-info", "Photo"},         {"printer-state-reasons", "none"},
                               {"media", "iso_a6_105x148mm"},     {"orientation-requested", "5"},
                               {"print-color-mode", "monochrome"}, {"printer-resolution", "600x300dpi"},
                               {"copies", "2"},                   {"InputSlot", "Rear"},
                               {"marker-levels", "10"},           {"device-uri", "capture:/x"}};
  const PrintSettings settings = SettingsFromOptions(options, "iso_a6_105x148mm", kList);
  EXPECT_EQ(settings.paper_id, 70);
  EXPECT_EQ(settings.form_name, "A6");
  EXPECT_EQ(settings.paper_width_tenths_mm, 1050);
  EXPECT_EQ(settings.orientation, kOrientationLandscape);
  EXPECT_EQ(settings.color, kColorMonochrome);
  EXPECT_EQ(settings.print_quality_dpi, 600);
  EXPECT_EQ(settings.y_resolution_dpi, 300);
  EXPECT_EQ(settings.copies, 2);
  EXPECT_EQ(settings.options.size(), 6u);  // the printer's own state is not a user setting
  for (const auto& [name, value] : settings.options) EXPECT_TRUE(IsUserOption(name)) << name;

  // A roll longer than the record's fields keeps its number but not its size; an unknown media, none.
  const PrintSettings roll = SettingsFromOptions({}, "roll_max_610x100000mm", kList);
  EXPECT_EQ(roll.paper_id, 300);
  EXPECT_EQ(roll.fields & kFieldPaperLength, 0u);
  EXPECT_EQ(SettingsFromOptions({{"copies", "-3"}}, "unknown", kList).fields & kFieldPaperSize, 0u);
  EXPECT_EQ(SettingsFromOptions({{"copies", "-3"}}, "unknown", kList).copies, 1);
}

TEST(CupsOptions, PublicFieldsWinOverStoredOptions) {
  PrintSettings settings;
  settings.fields = kFieldPaperSize | kFieldOrientation | kFieldColor;
  settings.paper_id = 74;
  settings.orientation = kOrientationPortrait;
  settings.color = kColorColor;
  settings.options = {{"media", "iso_a6_105x148mm"}, {"orientation-requested", "4"}, {"printer-state", "3"}};
  const std::string media = MediaForSettings(settings, kList);
  EXPECT_EQ(media, "na_index-4x6_4x6in");
  const CupsOptions stored = StoredOptions(settings, media);
  EXPECT_EQ(stored, (CupsOptions{{"media", "na_index-4x6_4x6in"}, {"print-color-mode", "color"}}));
  settings.paper_id = 4711;
  EXPECT_EQ(MediaForSettings(settings, kList), "na_index-4x6_4x6in_borderless");

  settings.paper_id = kPaperUser;
  settings.paper_width_tenths_mm = 1000;
  settings.paper_length_tenths_mm = 1505;
  EXPECT_EQ(MediaForSettings(settings, kList), "custom_100x150.5mm_100x150.5mm");
  settings.paper_id = 9;
  EXPECT_EQ(MediaForSettings(settings, kList), "");
}

TEST(CupsOptions, StoringNeverWritesOrientationCopiesOrLayoutAndJobsSetTheirOwnLayout) {
  PrintSettings settings;
  settings.fields = kFieldOrientation | kFieldCopies | kFieldColor;
  settings.orientation = kOrientationLandscape;
  settings.copies = 3;
  settings.color = kColorMonochrome;
  // What a user may have stored with lpoptions for the queue, next to their quality and tray choices.
  settings.options = {{"number-up", "2"},      {"fit-to-page", "true"},     {"mirror", "true"},
                      {"scaling", "50"},       {"natural-scaling", "80"},   {"ppi", "100"},
                      {"position", "top"},     {"page-border", "double"},   {"number-up-layout", "btlr"},
                      {"page-ranges", "2-3"},  {"landscape", "true"},       {"orientation-requested", "4"},
                      {"print-quality", "5"},  {"InputSlot", "Rear"},       {"sides", "two-sided-long-edge"},
                      {"page-set", "odd"},     {"print-scaling", "fill"},   {"fitplot", "true"}};
  EXPECT_EQ(StoredOptions(settings, "iso_a6_105x148mm"),
            (CupsOptions{{"print-quality", "5"},
                         {"InputSlot", "Rear"},
                         {"media", "iso_a6_105x148mm"},
                         {"print-color-mode", "monochrome"}}));
  EXPECT_EQ(JobOptions(settings, "iso_a6_105x148mm"),
            (CupsOptions{{"print-quality", "5"},
                         {"InputSlot", "Rear"},
                         {"media", "iso_a6_105x148mm"},
                         {"print-color-mode", "monochrome"},
                         {"copies", "3"},
                         {"number-up", "1"},
                         {"print-scaling", "none"},
                         {"fit-to-page", "false"},
                         {"mirror", "false"},
                         {"page-set", "all"},
                         {"sides", "one-sided"},
                         {"orientation-requested", "3"}}));
}

TEST(CupsOptions, TheSavedDefaultIsTheLastDefaultLineOfTheSettingsFile) {
  EXPECT_FALSE(SavedDefaultPrinter(""));
  EXPECT_FALSE(SavedDefaultPrinter("Dest Office media=iso_a4_210x297mm\nDefaulted x\nDefault\n"));
  const auto saved = SavedDefaultPrinter("Default Photo\nDest Office\ndefault  Office/draft sides=one-sided\r\n");
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->name, "Office");
  EXPECT_EQ(saved->instance, "draft");
  EXPECT_EQ(SavedDefaultPrinter("DEFAULT\tPhoto")->name, "Photo");
}

TEST(CupsOptions, StoppedRefusingAndOfflineQueuesCannotPrintNow) {
  EXPECT_FALSE(ReadQueueState({{"printer-state", "3"}, {"printer-state-reasons", "none"}}).offline);
  EXPECT_EQ(ReadQueueState({{"printer-state", "4"}, {"printer-is-accepting-jobs", "true"}}).text, "");
  const QueueState stopped = ReadQueueState(
      {{"printer-state", "5"}, {"printer-state-reasons", "paused"}, {"printer-state-message", "Out of ink"}});
  EXPECT_TRUE(stopped.offline);
  EXPECT_EQ(stopped.text, "stopped (paused), \"Out of ink\"");
  const QueueState refusing = ReadQueueState({{"printer-state", "3"}, {"printer-is-accepting-jobs", "false"}});
  EXPECT_TRUE(refusing.offline);
  EXPECT_EQ(refusing.text, "not accepting jobs");
  const QueueState unreachable = ReadQueueState({{"printer-state-reasons", "offline-report,media-empty-warning"}});
  EXPECT_TRUE(unreachable.offline);
  EXPECT_EQ(unreachable.text, "offline (offline-report,media-empty-warning)");
  // A message alone (a ready queue's last words) is not a reason to stop.
  EXPECT_FALSE(ReadQueueState({{"printer-state-message", "Ready to print."}}).offline);
}

TEST(CupsOptions, JobsGoAsPdfElseJpegElsePwgRasterAtAboutThreeHundredDpi) {
  EXPECT_EQ(ChooseDocumentFormat({"image/jpeg", "application/pdf", "image/pwg-raster"}), PageFormat::kPdf);
  EXPECT_EQ(ChooseDocumentFormat({"application/octet-stream", "image/pwg-raster", "image/jpeg"}), PageFormat::kJpeg);
  EXPECT_EQ(ChooseDocumentFormat({"application/octet-stream", "image/pwg-raster"}), PageFormat::kPwgRaster);
  EXPECT_EQ(ChooseDocumentFormat({}), PageFormat::kPdf);  // a queue that says nothing: its scheduler converts
  EXPECT_EQ(ChooseDocumentFormat({"image/urf"}), PageFormat::kPdf);
  EXPECT_EQ(ChooseRasterDpi({}), 300);
  EXPECT_EQ(ChooseRasterDpi({600, 300}), 300);
  EXPECT_EQ(ChooseRasterDpi({1200, 360, 600}), 360);
  EXPECT_EQ(ChooseRasterDpi({150, 200}), 200);
}

}  // namespace
}  // namespace platform
