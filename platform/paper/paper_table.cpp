// The paper table's rows.
#include "platform/paper/paper_table.h"

#include <array>

namespace platform {
namespace {

// A PWG name matches a row when it equals pwg_class or continues it with '_' and its size part
// ("iso_a4" matches "iso_a4_210x297mm", not "iso_a4-extra_235.5x322.3mm"): more specific names first.
constexpr std::array<PaperRow, 41> kRows = {{
    {1, "na_letter", "Letter", "Letter", 2159, 2794},
    {3, "na_ledger_11x17in", "Ledger", "", 0, 0},
    {5, "na_legal", "Legal", "Legal", 2159, 3556},
    {6, "na_invoice", "", "", 0, 0},
    {7, "na_executive", "Executive", "", 0, 0},
    {8, "iso_a3", "A3", "A3", 2970, 4200},
    {9, "iso_a4", "A4", "A4", 2100, 2970},
    {11, "iso_a5", "A5", "A5", 1480, 2100},
    {12, "jis_b4", "", "", 0, 0},
    {13, "jis_b5", "", "", 0, 0},
    {14, "na_foolscap", "", "", 0, 0},
    {16, "na_10x14", "", "", 0, 0},
    {19, "na_number-9", "", "", 0, 0},
    {20, "na_number-10", "", "", 1048, 2413},
    {21, "na_number-11", "", "", 0, 0},
    {22, "na_number-12", "", "", 0, 0},
    {23, "na_number-14", "", "", 0, 0},
    {27, "iso_dl", "", "", 0, 0},
    {28, "iso_c5", "", "", 0, 0},
    {29, "iso_c3", "", "", 0, 0},
    {30, "iso_c4", "", "", 0, 0},
    {31, "iso_c6", "", "", 0, 0},
    {32, "iso_c6c5", "", "", 0, 0},
    {36, "om_italian", "", "", 0, 0},
    {37, "na_monarch", "", "", 0, 0},
    {38, "na_personal", "", "", 0, 0},
    {42, "iso_b4", "", "", 0, 0},
    {43, "jpn_hagaki", "", "", 0, 0},
    {44, "na_9x11", "", "", 0, 0},
    {45, "na_10x11", "", "", 0, 0},
    {66, "iso_a2", "", "", 0, 0},
    {70, "iso_a6", "A6", "A6", 1050, 1480},
    {71, "jpn_kaku2", "", "", 0, 0},
    {73, "jpn_chou3", "", "", 0, 0},
    {88, "jis_b6", "", "", 0, 0},
    {93, "prc_16k", "", "", 0, 0},
    {94, "prc_32k", "", "", 0, 0},
    {74, "na_index-4x6", "4x6", "4x6 in", 1016, 1524},
    {122, "na_5x7", "5x7", "5x7 in", 1270, 1778},
    {123, "na_govt-letter_8x10in", "8x10", "8x10 in", 2032, 2540},
    {123, "na_govt-letter", "", "", 0, 0},
}};

}  // namespace

std::span<const PaperRow> PaperRows() { return kRows; }

const PaperRow* SizedPaperRow(uint16_t id) {
  for (const PaperRow& row : kRows) {
    if (row.id == id && row.width_tenths_mm > 0) return &row;
  }
  return nullptr;
}

}  // namespace platform
