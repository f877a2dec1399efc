// Papers between GTK's dialogs and the spooler: GTK names and labels papers its own way, so only size,
// kind and label decide.
#include "platform/gtk/dialog_papers.h"

#include <gtest/gtest.h>

namespace platform::gtk {
namespace {

Paper SpoolerPaper(uint16_t id, std::string label, int32_t width, int32_t height, bool borderless = false) {
  Paper paper;
  paper.id = id;
  paper.label = std::move(label);
  paper.width_tenths_mm = width;
  paper.height_tenths_mm = height;
  paper.borderless = borderless;
  return paper;
}

const std::vector<Paper> kPhotoPrinter = {
    SpoolerPaper(9, "A4", 2100, 2970), SpoolerPaper(74, "4x6 in", 1016, 1524),
    SpoolerPaper(4711, "4x6 in (Borderless)", 1016, 1524, true), SpoolerPaper(70, "A6", 1050, 1480)};

TEST(DialogPapersTest, GtkPapersAreFoundBySizeAndKindWhateverTheyAreCalled) {
  // GTK renames the printer's plain 4x6 after its own table and writes a multiplication sign.
  EXPECT_EQ(FindSpoolerPaper(kPhotoPrinter, {"na_index-4x6", "Index 4\u00d76 (postcard)", 101.6, 152.4}), 1u);
  EXPECT_EQ(FindSpoolerPaper(kPhotoPrinter, {"4x6.Borderless", "4\u00d76 in Borderless", 101.6, 152.4}), 2u);
  EXPECT_EQ(FindSpoolerPaper(kPhotoPrinter, {"iso_a4", "A4", 210.2, 296.9}), 0u);
  // More than a millimetre off is another paper; a borderless paper the printer does not list is none.
  EXPECT_FALSE(FindSpoolerPaper(kPhotoPrinter, {"custom", "Almost A6", 105, 146.5}));
  EXPECT_FALSE(FindSpoolerPaper({kPhotoPrinter[0]}, {"iso_a4.Borderless", "A4 Borderless", 210, 297}));
  // Back: the dialog's paper of the same size and kind, the one with the same label first.
  const std::vector<DialogPaper> listed = {{"a", "Other", 210, 297}, {"b", "a4", 210, 297}, {"c", "A4 borderless", 210, 297}};
  EXPECT_EQ(FindDialogPaper(listed, kPhotoPrinter[0]), 1u);
}

TEST(DialogPapersTest, TheRecordsPaperIsItsNumberElseItsSize) {
  PrintSettings settings;
  settings.fields = kFieldPaperSize;
  settings.paper_id = 4711;
  EXPECT_EQ(StatedPaper(settings, kPhotoPrinter)->label, "4x6 in (Borderless)");
  settings.fields = kFieldPaperWidth | kFieldPaperLength;
  settings.paper_width_tenths_mm = 1052;
  settings.paper_length_tenths_mm = 1478;
  EXPECT_EQ(StatedPaper(settings, kPhotoPrinter)->id, 70);  // the bordered paper of that size
  settings.paper_width_tenths_mm = 900;
  settings.form_name = "Magnet";
  const std::optional<Paper> own = StatedPaper(settings, kPhotoPrinter);
  ASSERT_TRUE(own);
  EXPECT_EQ(own->id, kPaperUser);
  EXPECT_EQ(own->label, "Magnet");
  settings.fields = 0;
  EXPECT_FALSE(StatedPaper(settings, kPhotoPrinter));
}

TEST(DialogPapersTest, AChosenPaperIsStatedWhole) {
  PrintSettings settings;
  SetChosenPaper(&settings, kPhotoPrinter[2], {});
  EXPECT_EQ(settings.fields, kFieldPaperSize | kFieldPaperWidth | kFieldPaperLength | kFieldFormName);
  EXPECT_EQ(settings.paper_id, 4711);
  EXPECT_EQ(settings.form_name, "4x6 in (Borderless)");
  // A size of the user's own: its label, its size, cut to what the record can hold.
  SetChosenPaper(&settings, std::nullopt, {"custom_1", "My magnet sheet", 90.04, 5000});
  EXPECT_EQ(settings.paper_id, kPaperUser);
  EXPECT_EQ(settings.form_name, "My magnet sheet");
  EXPECT_EQ(settings.paper_width_tenths_mm, 900);
  EXPECT_EQ(settings.paper_length_tenths_mm, 32767);
}

}  // namespace
}  // namespace platform::gtk
