// Tests for the built-in PDF printer's state lines: settings kept exactly, the previous version's hex
// record still read and then replaced, unreadable lines leaving the defaults, and the directory reading
// its store once and writing only changes.
#include "runner/printing/printers/built_in_state.h"

#include <cerrno>
#include <gtest/gtest.h>

#include "platform/fake/fake_pdf_printer.h"
#include "platform/fake/fake_settings_store.h"
#include "runner/printing/printers/printer_directory.h"
#include "runner/printing/printers/settings_record.h"

namespace runner::printing {
namespace {

using platform::PrintSettings;

PrintSettings OddSettings() {
  PrintSettings settings;
  settings.fields = platform::kFieldOrientation | platform::kFieldPaperSize | platform::kFieldCopies |
                    platform::kFieldColor | platform::kFieldFormName;
  settings.orientation = platform::kOrientationLandscape;
  settings.paper_id = 40000;
  settings.copies = -3;
  settings.color = 2;
  settings.form_name = "Tray \\ 2\nsecond line\r";
  settings.options = {{"media", "na_index-4x6_4x6in"}, {"note", "a \"q\" \\ b"}};
  return settings;
}

std::map<std::string, std::string> Stored(const BuiltInState& state) {
  std::map<std::string, std::string> values;
  for (const auto& [name, value] : BuiltInStateChanges(state)) {
    if (value) values[name] = *value;
  }
  return values;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  for (const uint8_t byte : bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

TEST(BuiltInState, KeepsEverySettingAsAFewLines) {
  const BuiltInState state{true, OddSettings()};
  const std::map<std::string, std::string> values = Stored(state);
  EXPECT_EQ(values.at("default"), "1");
  EXPECT_EQ(values.at("paper"), "40000");
  EXPECT_EQ(values.at("formName"), "Tray \\\\ 2\\nsecond line\\r");
  EXPECT_EQ(values.count("paperWidth"), 0u);  // its flag is not set
  EXPECT_EQ(values.count("record"), 0u);
  EXPECT_EQ(ReadBuiltInState(values), state);

  EXPECT_EQ(ReadBuiltInState({}), BuiltInState());
  EXPECT_EQ(ReadBuiltInState(Stored(BuiltInState{false, PrintSettings{}})), (BuiltInState{false, PrintSettings{}}));
}

TEST(BuiltInState, ThePreviousHexRecordIsReadAndRemovedAtTheNextWrite) {
  PrintSettings settings = OddSettings();
  settings.form_name = "10x15 cm";
  const std::vector<uint8_t> record = EncodeSettingsRecord("PictaVera PDF", settings);
  ASSERT_EQ(record.size(), 1244u);
  const BuiltInState old = ReadBuiltInState({{"default", "1"}, {"record", Hex(record)}});
  EXPECT_TRUE(old.is_default);
  ASSERT_TRUE(old.settings);
  EXPECT_EQ(*old.settings, DecodeSettingsRecord(record));

  bool removes_record = false;
  for (const auto& [name, value] : BuiltInStateChanges(old)) removes_record |= name == "record" && !value;
  EXPECT_TRUE(removes_record);
  // Lines of this version win over a record left beside them.
  std::map<std::string, std::string> both = Stored(BuiltInState{false, PrintSettings{}});
  both["record"] = Hex(record);
  EXPECT_EQ(ReadBuiltInState(both).settings, PrintSettings{});
}

TEST(BuiltInState, UnreadableSettingsLeaveTheDefaults) {
  const std::map<std::string, std::string> good = Stored(BuiltInState{true, OddSettings()});
  const std::vector<std::pair<std::string, std::string>> damage = {
      {"fields", "x"},          {"fields", "-1"},       {"paper", "65536"},       {"copies", "40000"},
      {"orientation", "1 "},    {"formName", "bad\\q"}, {"formName", "ends\\"},   {"record", "zz"}};
  for (const auto& [name, value] : damage) {
    std::map<std::string, std::string> values = good;
    values[name] = value;
    const BuiltInState state = ReadBuiltInState(values);
    EXPECT_TRUE(state.is_default) << name;
    if (name != "record") {
      EXPECT_FALSE(state.settings) << name << "=" << value;
    }
  }
  std::map<std::string, std::string> missing = good;
  missing.erase("copies");
  EXPECT_FALSE(ReadBuiltInState(missing).settings);
  EXPECT_FALSE(ReadBuiltInState({{"default", "1"}, {"record", "00ff"}}).settings);  // not a whole record
}

TEST(BuiltInState, TheDirectoryReadsOnceAndWritesOnlyChanges) {
  platform::FakePdfPrinter pdf;
  platform::FakeSettingsStore store;
  store.Put("default", "1");
  PrinterDirectory directory(nullptr, &pdf, &store);
  // A job's calls: default, settings, paper stored, settings again.
  EXPECT_EQ(directory.DefaultPrinter(), "PictaVera PDF");
  EXPECT_TRUE(directory.SetDefaultPrinter("PictaVera PDF").ok());
  PrintSettings settings = *directory.CurrentSettings("PictaVera PDF");
  settings.paper_id = 74;
  ASSERT_TRUE(directory.ValidateSettings("PictaVera PDF", &settings).ok());
  EXPECT_TRUE(directory.StoreSettings("PictaVera PDF", settings).ok());
  EXPECT_TRUE(directory.StoreSettings("PictaVera PDF", settings).ok());
  EXPECT_EQ(directory.CurrentSettings("PictaVera PDF"), settings);
  EXPECT_EQ(store.reads(), 1);
  EXPECT_EQ(store.writes(), 1);
  EXPECT_EQ(store.Held("paper"), "74");
  EXPECT_EQ(store.Held("formName"), "4x6 in");

  // A failed write leaves the state as it was, and says why.
  store.FailWrites(base::Status::IoError("BuiltInPrinter: disk full"));
  settings.copies = 2;
  const base::Status full = directory.StoreSettings("PictaVera PDF", settings);
  EXPECT_TRUE(full.Is(base::Status::Code::kIoError));
  EXPECT_EQ(full.system_error(), EIO);
  EXPECT_EQ(directory.CurrentSettings("PictaVera PDF")->copies, 1);
  // The numbers the printer's callers have always seen: a store that cannot be made, a value refused.
  store.FailWrites(base::Status::Unavailable("BuiltInPrinter: Permission denied"));
  EXPECT_EQ(directory.StoreSettings("PictaVera PDF", settings).system_error(), EACCES);
  store.FailWrites(base::Status::InvalidArgument("formName: a value with a line break or NUL"));
  EXPECT_EQ(directory.StoreSettings("PictaVera PDF", settings).system_error(), EINVAL);
  store.FailWrites(base::Status::Ok());
  EXPECT_TRUE(directory.StoreSettings("PictaVera PDF", settings).ok());
  EXPECT_EQ(store.Held("copies"), "2");
}

}  // namespace
}  // namespace runner::printing
