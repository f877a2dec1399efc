// The settings record: a printer's settings as the bytes the interface keeps and hands back.
//
// Layout (little-endian), kept byte for byte as the Windows printing system's record so that stored
// bytes keep their meaning: a 220-byte public part, then a driver-private tail of fixed length.
//   0   device name, 32 UTF-16 units (at most 31 + NUL)   64  record version (0x0401)   68  public size (220)
//   70  private size (1024)      72  field flags (u32)     76  orientation             78  paper number
//   80  paper length (0.1 mm)    82  paper width (0.1 mm)  86  copies                  90  print quality
//   92  colour                   96  y resolution          102 form name, 32 UTF-16 units
// Tail at 220: "PVCU", u16 version 1, u16 text length (at most 1016), then the printer's own options as
// UTF-8 text (name=value separated by spaces; values with spaces, quotes or backslashes are quoted),
// zero padded to the end.
//
// Reading trusts nothing in the bytes: a field is read only when it lies inside both the buffer and the
// record's stated public size (otherwise it counts as absent and its flag as unset), and the tail only
// when the sizes, the magic, the version and the text length are all as written above.
// Pure functions, thread-safe.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/spooler.h"

namespace runner::printing {

inline constexpr size_t kRecordPublicSize = 220;
inline constexpr size_t kRecordPrivateSize = 1024;
inline constexpr size_t kRecordLength = kRecordPublicSize + kRecordPrivateSize;
inline constexpr uint16_t kRecordSpecVersion = 0x0401;
inline constexpr size_t kRecordOptionsMaxBytes = kRecordPrivateSize - 8;
// The end of the last public field the application reads (the form name).
inline constexpr size_t kRecordReadFieldsEnd = 166;

// The record of `settings` for the printer `printer_name`, kRecordLength bytes. Options that do not fit
// the tail are left out, last first.
std::vector<uint8_t> EncodeSettingsRecord(std::string_view printer_name, const platform::PrintSettings& settings);

// The settings a record states, read as the file comment says. Never fails: unreadable parts are absent.
platform::PrintSettings DecodeSettingsRecord(std::span<const uint8_t> record);

// True when `record` is a whole record of this layout: at least kRecordLength bytes, stated sizes 220
// and 1024, and a well-formed tail.
bool IsWholeSettingsRecord(std::span<const uint8_t> record);

// The device name stored in the record (UTF-8); empty when unreadable.
std::string RecordDeviceName(std::span<const uint8_t> record);

// The paper a record describes, for the interface: id and name (the same text), size in millimetres.
struct PaperSummary {
  std::string id;
  std::string name;
  int32_t width_mm = 0;
  int32_t height_mm = 0;
};
PaperSummary SummarisePaper(std::span<const uint8_t> record);

// Options as tail text, and back. Parsing stops at the first NUL; malformed quoting ends the text. An
// option whose name or value holds a control character (below 0x20, or 0x7F) is refused both ways: it is
// left out of the text, and dropped when the text is read.
std::string FormatOptions(const std::vector<std::pair<std::string, std::string>>& options);
std::vector<std::pair<std::string, std::string>> ParseOptions(std::string_view text);

// Millimetres (rounded) of the papers the paper table gives a size for, used where a record names a
// paper but not its size. False for other numbers.
bool KnownPaperSizeMm(uint16_t paper_id, int32_t* width_mm, int32_t* height_mm);

}  // namespace runner::printing
