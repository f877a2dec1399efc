// Paper numbers, labels and sizes from the printing system's media names.
//
// Papers are numbered the way the Windows printing system numbers them (9 = A4, 1 = Letter, ...), so
// that stored settings and the interface's paper choices keep their meaning. The application's own rows
// differ from that numbering in three places: 4x6 in is 74, 5x7 in is 122 and 8x10 in is 123. A paper
// without a standard number gets a stable derived number above 256 (256 itself means "a size stated in
// the record"), computed from its media name, so the same paper keeps its number across runs.
// Media names are PWG self-describing names ("iso_a4_210x297mm": class, name, size) or, from older
// printer descriptions, plain names ("A4", "4x6"). A borderless variant ("_borderless", ".Borderless")
// is a paper of its own: it gets the derived number of its whole name, so that it can be chosen apart
// from its base paper, and its label says "(Borderless)".
// Pure functions, thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

inline constexpr size_t kPaperLabelMaxUtf16 = 64;

// The media name without its borderless marker ("na_index-4x6_4x6in_borderless" -> "na_index-4x6_4x6in").
std::string_view BaseMediaName(std::string_view media);

// True for a borderless variant: a name that contains "borderless".
bool IsBorderlessMedia(std::string_view media);

// The standard number of `media`'s base paper (borderless marker ignored), or 0 when it has none.
uint16_t StandardPaperId(std::string_view media);

// 257 + FNV-1a(name) mod 32000: a number in 257..32256.
uint16_t DerivedPaperId(std::string_view media);

// A borderless variant: DerivedPaperId of its whole name. Otherwise StandardPaperId, else DerivedPaperId.
uint16_t PaperIdForMedia(std::string_view media);

// The label of a paper: `display_name` when not empty, else the media name; " (Borderless)" appended
// for a borderless variant; cut to at most 64 UTF-16 units without splitting a character.
std::string PaperLabel(std::string_view display_name, std::string_view media);

// The longest prefix of the UTF-8 text `text` that fits `max_units` UTF-16 units, ending on a whole
// character (an ill-formed byte counts as one unit).
std::string TruncateToUtf16Units(std::string_view text, size_t max_units);

// Hundredths of a millimetre to tenths, rounded half away from zero.
int32_t TenthsFromHundredths(int32_t hundredths_mm);

}  // namespace platform
