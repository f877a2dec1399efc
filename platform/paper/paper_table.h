// The one paper table: every paper the application knows by number, with the names the printing system
// gives it and, for the papers the application offers itself, its label and size.
//
// Numbers are the Windows printing system's (9 = A4, 1 = Letter, ...; see paper_numbers.h for the three
// photo sizes that differ). A paper may have several rows (two PWG names for one number); the first
// row of a number that has a size gives the size.
// Pure data, thread-safe.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

struct PaperRow {
  uint16_t id = 0;
  std::string_view pwg_class;   // PWG class_name part ("iso_a4"), or empty
  std::string_view plain_name;  // name in older printer descriptions ("A4"), or empty
  std::string_view label;       // the application's own label ("4x6 in"), or empty
  int32_t width_tenths_mm = 0;  // portrait; 0 where the table gives no size
  int32_t height_tenths_mm = 0;
};

std::span<const PaperRow> PaperRows();

// The first row of `id` that gives a size, or null.
const PaperRow* SizedPaperRow(uint16_t id);

// The sides a paper can physically have: from 10 mm to 5 m. A size outside is refused wherever one
// arrives (a request, a settings record to store), so no later print lands on a 1 mm page.
inline constexpr int64_t kMinPaperSideTenthsMm = 100;
inline constexpr int64_t kMaxPaperSideTenthsMm = 50000;
inline constexpr bool IsPhysicalPaperSide(int64_t tenths_mm) {
  return tenths_mm >= kMinPaperSideTenthsMm && tenths_mm <= kMaxPaperSideTenthsMm;
}

}  // namespace platform
