// The settings record decoder on hostile bytes (the interface hands records back as it likes): reading a
// record, its device name, its paper and its options never crashes, and whatever a record is read as,
// writing that and reading it again gives the same record.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "runner/printing/printers/settings_record.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "settings_record_fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace runner::printing;
  const std::span<const uint8_t> record(data, size);
  const platform::PrintSettings settings = DecodeSettingsRecord(record);
  (void)IsWholeSettingsRecord(record);
  (void)SummarisePaper(record);
  const std::string name = RecordDeviceName(record);

  // What was read, written: a whole record, and one that reads back as itself.
  const std::vector<uint8_t> written = EncodeSettingsRecord(name, settings);
  if (written.size() != kRecordLength || !IsWholeSettingsRecord(written)) Fail("a written record is not whole");
  if (EncodeSettingsRecord(RecordDeviceName(written), DecodeSettingsRecord(written)) != written) {
    Fail("a written record does not read back as itself");
  }

  // The options text: what it is read as is written and read again unchanged.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto options = ParseOptions(text);
  if (ParseOptions(FormatOptions(options)) != options) Fail("options do not survive being written");
  return 0;
}
