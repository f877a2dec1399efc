// Tests for the printer and paper methods over fakes: listings, defaults, capabilities, the settings
// dialogs and setting the default printer and paper.
#include "runner/printing/printers/printers_channel.h"

#include <cerrno>

#include "platform/paper/paper_numbers.h"
#include "runner/printing/printers/paper_setter.h"
#include "runner/printing/printers/settings_record.h"
#include "tests/runner/printing/printers/printer_fixture.h"

namespace runner::printing::testing {
namespace {

using Kind = Answer::Kind;

TEST_F(PrinterChannelTest, ListsTheSystemPrintersThenTheBuiltInOneUnderBothNames) {
  spooler_.SetDefault("Photo");
  platform::FakePrinter offline = MakePrinter("Remote", {});
  offline.summary.offline = true;
  spooler_.AddPrinter(offline);
  auto listed = Call("getPrintersWindows");
  ASSERT_EQ(listed->kind, Kind::kSuccess);
  const auto& list = std::get<EncodableList>(listed->value);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(At(list[0], "name"), EncodableValue("Office"));
  EXPECT_EQ(At(list[0], "displayName"), EncodableValue("Office"));
  EXPECT_EQ(At(list[0], "description"), EncodableValue("Office comment"));
  EXPECT_EQ(At(list[0], "isDefault"), EncodableValue(false));
  EXPECT_EQ(At(list[1], "isDefault"), EncodableValue(true));
  EXPECT_EQ(At(list[2], "isOnline"), EncodableValue(false));
  EXPECT_EQ(At(list[3], "name"), EncodableValue("PictaVera PDF"));
  EXPECT_EQ(At(list[3], "isOnline"), EncodableValue(true));
  EXPECT_EQ(At(list[3], "description"), EncodableValue("Pictavera built-in PDF printer"));
  EXPECT_EQ(At(list[3], "supportedPaperSizes"), Strings({"A4", "Letter", "4x6"}));
  EXPECT_EQ(Call("getAvailablePrinters")->value, listed->value);
}

TEST_F(PrinterChannelTest, DefaultIsTheSystemOneElseTheBuiltInPrinter) {
  auto answer = Call("getDefaultPrinterWindows");
  EXPECT_EQ(At(answer->value, "name"), EncodableValue("PictaVera PDF"));
  EXPECT_EQ(At(answer->value, "description"), EncodableValue("Default system printer"));
  spooler_.SetDefault("Office");
  answer = Call("getDefaultPrinterWindows");
  EXPECT_EQ(At(answer->value, "name"), EncodableValue("Office"));
  EXPECT_EQ(At(answer->value, "isDefault"), EncodableValue(true));

  // Choosing the built-in printer is kept in its own state; the system default is not touched.
  auto set = Call("setDefaultPrinterAndPaper", Map({{"printerName", EncodableValue("PictaVera PDF")}}));
  EXPECT_EQ(At(set->value, "printerSet"), EncodableValue(true));
  EXPECT_EQ(spooler_.DefaultPrinter(), "Office");
  EXPECT_EQ(spooler_.default_changes(), 0);
  EXPECT_EQ(At(Call("getDefaultPrinterWindows")->value, "name"), EncodableValue("PictaVera PDF"));
  // Making a system printer the default again clears that choice.
  set = Call("setDefaultPrinterAndPaper", Map({{"printerName", EncodableValue("Photo")}}));
  EXPECT_EQ(At(set->value, "printerSet"), EncodableValue(true));
  EXPECT_EQ(At(Call("getDefaultPrinterWindows")->value, "name"), EncodableValue("Photo"));
}

TEST(PrinterMethodsWithoutPrinters, EmptyListAndNullDefault) {
  platform::FakeSpooler empty;
  Services services;
  services.spooler = &empty;
  runner::testing::RecordingMessenger messenger;
  std::unique_ptr<Channel> slot;
  ::testing::internal::CaptureStderr();
  SetupPrintingChannel(&messenger, slot, services);
  ::testing::internal::GetCapturedStderr();
  auto list = messenger.Call("printing_channel", "getPrintersWindows");
  EXPECT_EQ(list->value, EncodableValue(EncodableList{}));
  auto none = messenger.Call("printing_channel", "getDefaultPrinterWindows");
  EXPECT_EQ(none->kind, Kind::kSuccess);
  EXPECT_TRUE(none->value.IsNull());
}

TEST_F(PrinterChannelTest, CapabilitiesListPapersInMillimetresAndAnswerEveryErrorRow) {
  auto answer = Call("getPrinterCapabilitiesWindows", Map({{"printerName", EncodableValue("Photo")}}));
  ASSERT_EQ(answer->kind, Kind::kSuccess);
  const auto& papers = std::get<EncodableList>(At(answer->value, "supportedPaperSizes"));
  ASSERT_EQ(papers.size(), 3u);
  EXPECT_EQ(At(papers[0], "id"), EncodableValue("4x6"));
  EXPECT_EQ(At(papers[0], "width"), EncodableValue(101));
  EXPECT_EQ(At(papers[0], "height"), EncodableValue(152));
  EXPECT_EQ(At(papers[0], "isDefault"), EncodableValue(false));
  EXPECT_EQ(At(papers[2], "name"), EncodableValue("DMPAPER_122"));
  EXPECT_EQ(At(papers[0], "marginLeft"), EncodableValue(0.0));

  // Margins in millimetres, as doubles, for each paper upright.
  platform::FakePrinter margins = MakePrinter("Margins", {{9, "A4", 2100, 2970, 423, 500, 318, 1270}});
  spooler_.AddPrinter(margins);
  auto a4 = Call("getPrinterCapabilitiesWindows", Map({{"printerName", EncodableValue("Margins")}}));
  const EncodableValue& a4_entry = std::get<EncodableList>(At(a4->value, "supportedPaperSizes")).at(0);
  EXPECT_EQ(At(a4_entry, "marginLeft"), EncodableValue(4.23));
  EXPECT_EQ(At(a4_entry, "marginTop"), EncodableValue(5.0));
  EXPECT_EQ(At(a4_entry, "marginRight"), EncodableValue(3.18));
  EXPECT_EQ(At(a4_entry, "marginBottom"), EncodableValue(12.7));

  auto builtin = Call("getPrinterCapabilitiesWindows", Map({{"printerName", EncodableValue("PictaVera PDF")}}));
  EXPECT_EQ(std::get<EncodableList>(At(builtin->value, "supportedPaperSizes")).size(), 10u);

  platform::FakePrinter raw = MakePrinter("Raw", {});
  spooler_.AddPrinter(raw);
  platform::FakePrinter mute = MakePrinter("Mute", {{9, "A4", 2100, 2970}});
  mute.settings_readable = false;
  spooler_.AddPrinter(mute);
  platform::FakePrinter odd = MakePrinter("Odd", {{9, "Zero", 0, 2970}, {10, "Tiny", 9, 9}});
  spooler_.AddPrinter(odd);
  struct Case {
    EncodableValue arguments;
    std::string code;
    std::string message;
  } cases[] = {
      {EncodableValue(), "INVALID_ARGUMENTS", "Printer name is required"},
      {Map({{"printerName", EncodableValue("")}}), "INVALID_ARGUMENTS", "Printer name is required"},
      {Map({{"printerName", EncodableValue(3)}}), "INVALID_ARGUMENTS", "Printer name is required"},
      {Map({{"printerName", EncodableValue("Nowhere")}}), "PRINTER_ERROR", "Failed to open printer"},
      {Map({{"printerName", EncodableValue("Mute")}}), "PRINTER_ERROR", "Failed to get DEVMODE"},
      {Map({{"printerName", EncodableValue("Raw")}}), "PRINTER_ERROR", "No paper sizes available"},
  };
  for (const Case& c : cases) {
    auto error = Call("getPrinterCapabilitiesWindows", c.arguments);
    EXPECT_EQ(error->kind, Kind::kError) << c.message;
    EXPECT_EQ(error->error_code, c.code);
    EXPECT_EQ(error->error_message, c.message);
    EXPECT_TRUE(error->value.IsNull());
  }
  auto skipped = Call("getPrinterCapabilitiesWindows", Map({{"printerName", EncodableValue("Odd")}}));
  EXPECT_EQ(At(skipped->value, "supportedPaperSizes"), EncodableValue(EncodableList{}));
}

TEST_F(PrinterChannelTest, PickPaperSizeCancelledAnswersNullAndStoresNothing) {
  settings_dialog_.outcome = platform::DialogOutcome::kCancelled;
  auto answer = Call("pickPaperSizeWindows", EncodableValue("Photo"));
  EXPECT_EQ(answer->kind, Kind::kSuccess);
  EXPECT_TRUE(answer->value.IsNull());
  EXPECT_EQ(spooler_.store_count(), 0);
  settings_dialog_.outcome = platform::DialogOutcome::kFailed;
  answer = Call("pickPaperSizeWindows", EncodableValue("Photo"));
  EXPECT_EQ(answer->error_code, "DEVMODE_ERROR");
  EXPECT_EQ(answer->error_message, "Failed to prompt for DEVMODE");
}

TEST_F(PrinterChannelTest, PickPaperSizeUsesOnlyWholeRecordsFromTheInterface) {
  // OK without changes: the current settings, stored, nothing changed.
  auto first = Call("pickPaperSizeWindows", Map({{"printerName", EncodableValue("Photo")}}));
  ASSERT_EQ(first->kind, Kind::kSuccess);
  EXPECT_EQ(At(first->value, "debugInfo"),
            EncodableValue("inputBytes=0 dmSize=1244 mergeSource=system_default dialogRet=1 bytesChanged=0 "
                           "setPrinterRet=1 setPrinterErr=0"));
  EXPECT_EQ(At(first->value, "id"), EncodableValue("DMPAPER_74"));
  EXPECT_EQ(At(first->value, "width"), EncodableValue(102));
  EXPECT_EQ(spooler_.store_count(), 1);
  std::vector<uint8_t> record = std::get<std::vector<uint8_t>>(At(first->value, "devmodeBytes"));
  ASSERT_EQ(record.size(), kRecordLength);

  // The dialog edits the paper to A6; the reply describes it and the edit is stored.
  settings_dialog_.edit = [](std::vector<uint8_t>& bytes) {
    platform::PrintSettings settings = DecodeSettingsRecord(bytes);
    settings.paper_id = 70;
    settings.fields |= platform::kFieldFormName;
    settings.form_name = "A6";
    bytes = EncodeSettingsRecord("Photo", settings);
  };
  std::vector<uint8_t> longer = record;
  longer.resize(record.size() + 100, 0xAB);
  auto edited = Call("pickPaperSizeWindows", Map({{"printerName", EncodableValue("Photo")},
                                                  {"devmodeBytes", EncodableValue(longer)}}));
  EXPECT_EQ(At(edited->value, "id"), EncodableValue("A6"));
  EXPECT_EQ(std::get<std::vector<uint8_t>>(At(edited->value, "devmodeBytes")).size(), kRecordLength);
  const std::string info = std::get<std::string>(At(edited->value, "debugInfo"));
  EXPECT_NE(info.find("inputBytes=1344 dmSize=1244 mergeSource=dart_bytes_memcpy"), std::string::npos) << info;
  EXPECT_EQ(spooler_.Stored("Photo")->paper_id, 70);

  // One byte short, or a record of another layout: the printer's current record is used instead.
  settings_dialog_.edit = nullptr;
  std::vector<uint8_t> shorter(record.begin(), record.end() - 1);
  auto short_answer = Call("pickPaperSizeWindows", Map({{"printerName", EncodableValue("Photo")},
                                                        {"devmodeBytes", EncodableValue(shorter)}}));
  EXPECT_NE(std::get<std::string>(At(short_answer->value, "debugInfo")).find("inputBytes=1243 dmSize=1244 mergeSource=system_default"),
            std::string::npos);
  std::vector<uint8_t> foreign = record;
  foreign[71] = 3;  // a private part of 768 bytes: another layout
  auto foreign_answer = Call("pickPaperSizeWindows", Map({{"printerName", EncodableValue("Photo")},
                                                          {"devmodeBytes", EncodableValue(foreign)}}));
  EXPECT_NE(std::get<std::string>(At(foreign_answer->value, "debugInfo")).find("mergeSource=system_default"),
            std::string::npos);
  EXPECT_EQ(settings_dialog_.last_input, EncodeSettingsRecord("Photo", *spooler_.Stored("Photo")));
}

TEST_F(PrinterChannelTest, PickPaperSizeReportsAFailedStoreOnlyInItsDebugInfo) {
  spooler_.FailStoresWith(13);
  auto answer = Call("pickPaperSizeWindows", EncodableValue("Office"));
  ASSERT_EQ(answer->kind, Kind::kSuccess);
  EXPECT_NE(std::get<std::string>(At(answer->value, "debugInfo")).find("setPrinterRet=0 setPrinterErr=13"),
            std::string::npos);
}

TEST_F(PrinterChannelTest, PickPaperSizeArgumentErrors) {
  struct Case {
    EncodableValue arguments;
    std::string code;
    std::string message;
  } cases[] = {
      {EncodableValue(), "INVALID_ARGUMENTS", "Expected printer name or map"},
      {Strings({"Photo"}), "INVALID_ARGUMENTS", "Expected printer name or map"},
      {EncodableValue(""), "INVALID_ARGUMENTS", "Empty printer name"},
      {EncodableValue(std::string("\0Photo", 6)), "INVALID_ARGUMENTS", "Empty printer name"},
      {Map({}), "INVALID_ARGUMENTS", "Missing printerName"},
      {Map({{"printerName", EncodableValue("")}}), "INVALID_ARGUMENTS", "printerName must be a non-empty string"},
      {Map({{"printerName", EncodableValue(true)}}), "INVALID_ARGUMENTS", "printerName must be a non-empty string"},
      {EncodableValue("Nowhere"), "PRINTER_ERROR", "Failed to open printer"},
  };
  for (const Case& c : cases) {
    auto error = Call("pickPaperSizeWindows", c.arguments);
    EXPECT_EQ(error->error_code, c.code) << c.message;
    EXPECT_EQ(error->error_message, c.message);
  }
  EXPECT_EQ(settings_dialog_.shown, 0);
}

TEST_F(PrinterChannelTest, PickPrinterAndPaperAnswersTheChoiceOrNull) {
  EXPECT_TRUE(Call("pickPrinterAndPaperWindows")->value.IsNull());
  print_dialog_.outcome = platform::DialogOutcome::kOk;
  print_dialog_.choice.printer_name = "Office";
  auto no_record = Call("pickPrinterAndPaperWindows");
  EXPECT_EQ(std::get<EncodableMap>(no_record->value).size(), 2u);
  EXPECT_EQ(At(no_record->value, "printerDisplayName"), EncodableValue("Office"));
  platform::PrintSettings letter;
  letter.fields = platform::kFieldPaperSize;
  letter.paper_id = 1;
  print_dialog_.choice.record = EncodeSettingsRecord("Office", letter);
  auto with_record = Call("pickPrinterAndPaperWindows");
  EXPECT_EQ(At(with_record->value, "devmodeBytes"), EncodableValue(*print_dialog_.choice.record));
  EXPECT_EQ(spooler_.Stored("Office")->paper_id, 1);
  print_dialog_.choice.printer_name = "";
  EXPECT_TRUE(Call("pickPrinterAndPaperWindows")->value.IsNull());
}

TEST_F(PrinterChannelTest, SetDefaultPrinterAndPaperByNameOrSize) {
  auto by_name = Call("setDefaultPrinterAndPaper",
                      Map({{"printerName", EncodableValue("Photo")}, {"paperName", EncodableValue("a6")},
                           {"paperSize", Map({{"width", EncodableValue(102)}, {"height", EncodableValue(152)}})}}));
  EXPECT_EQ(At(by_name->value, "printerSet"), EncodableValue(true));
  EXPECT_EQ(At(by_name->value, "paperSet"), EncodableValue(true));
  EXPECT_EQ(spooler_.Stored("Photo")->paper_id, 70);
  EXPECT_EQ(spooler_.Stored("Photo")->paper_width_tenths_mm, 1050);

  auto by_size = Call("setDefaultPrinterAndPaper",
                      Map({{"printerName", EncodableValue("Photo")},
                           {"paperSize", Map({{"width", EncodableValue(152.9)}, {"height", EncodableValue(102)}})}}));
  EXPECT_EQ(At(by_size->value, "paperSet"), EncodableValue(true));
  EXPECT_EQ(spooler_.Stored("Photo")->paper_id, 74);
  EXPECT_EQ(spooler_.Stored("Photo")->orientation, platform::kOrientationLandscape);

  const int stores = spooler_.store_count();
  auto zero = Call("setDefaultPrinterAndPaper",
                   Map({{"printerName", EncodableValue("")},
                        {"paperSize", Map({{"width", EncodableValue(0)}, {"height", EncodableValue(150)}})}}));
  EXPECT_EQ(At(zero->value, "printerSet"), EncodableValue(false));
  EXPECT_EQ(At(zero->value, "paperSet"), EncodableValue(false));
  EXPECT_EQ(spooler_.store_count(), stores);

  // The default cannot change, the paper is still set on the named printer.
  spooler_.RefuseDefaultChanges(true);
  auto refused = Call("setDefaultPrinterAndPaper",
                      Map({{"printerName", EncodableValue("Office")}, {"paperName", EncodableValue("Letter")}}));
  EXPECT_EQ(At(refused->value, "printerSet"), EncodableValue(false));
  EXPECT_EQ(At(refused->value, "paperSet"), EncodableValue(true));

  // A failed store is not a paper set.
  spooler_.FailStoresWith(13);
  auto unstored = Call("setDefaultPrinterAndPaper",
                       Map({{"printerName", EncodableValue("Office")}, {"paperName", EncodableValue("A4")}}));
  EXPECT_EQ(At(unstored->value, "paperSet"), EncodableValue(false));

  EXPECT_EQ(Call("setDefaultPrinterAndPaper", Strings({}))->error_message, "Expected map of arguments");
  EXPECT_EQ(Call("setDefaultPrinterAndPaper", Map({{"printerName", EncodableValue(1)}}))->error_message,
            "Missing printerName");
}

TEST_F(PrinterChannelTest, BuiltInPrinterKeepsItsPaperInItsOwnState) {
  auto set = Call("setDefaultPrinterAndPaper",
                  Map({{"printerName", EncodableValue("PictaVera PDF")},
                       {"paperSize", Map({{"width", EncodableValue(100)}, {"height", EncodableValue(150)}})}}));
  EXPECT_EQ(At(set->value, "paperSet"), EncodableValue(true));
  PrinterDirectory reopened(&spooler_, &pdf_, &pdf_state_);
  const platform::PrintSettings settings = *reopened.CurrentSettings("PictaVera PDF");
  EXPECT_EQ(settings.paper_id, platform::PaperIdForMedia("om_small-photo_100x150mm"));
  EXPECT_EQ(settings.form_name, "10x15 cm");
  EXPECT_EQ(reopened.DefaultPrinter(), "PictaVera PDF");
  // A paper no print can be made on is refused and never stored: not by size, not as a settings record.
  const int stores = spooler_.store_count();
  for (const auto& [width, height] : {std::pair{1, 1}, std::pair{9, 100}, std::pair{100, 5001}}) {
    auto tiny = Call("setDefaultPrinterAndPaper",
                     Map({{"printerName", EncodableValue("PictaVera PDF")},
                          {"paperSize", Map({{"width", EncodableValue(width)}, {"height", EncodableValue(height)}})}}));
    EXPECT_EQ(tiny->error_message, "Invalid value for key 'paperSize': expected sides from 10 to 5000 mm");
  }
  EXPECT_FALSE(SetPrinterPaperSize(reopened, "PictaVera PDF", 1, 1));
  platform::PrintSettings one_mm = settings;
  one_mm.paper_id = platform::kPaperUser;
  one_mm.paper_width_tenths_mm = one_mm.paper_length_tenths_mm = 10;
  one_mm.fields |= platform::kFieldPaperLength | platform::kFieldPaperWidth;
  EXPECT_EQ(reopened.StoreSettings("PictaVera PDF", one_mm).system_error(), EINVAL);
  EXPECT_EQ(PrinterDirectory(&spooler_, &pdf_, &pdf_state_).CurrentSettings("PictaVera PDF")->form_name, "10x15 cm");
  EXPECT_EQ(spooler_.store_count(), stores);
  // A store that fails leaves the flag and paper as they were.
  pdf_state_.FailWrites(base::Status::IoError("BuiltInPrinter: disk full"));
  EXPECT_FALSE(reopened.SetDefaultPrinter("Office").ok());
  EXPECT_EQ(reopened.DefaultPrinter(), "PictaVera PDF");
}

}  // namespace
}  // namespace runner::printing::testing
