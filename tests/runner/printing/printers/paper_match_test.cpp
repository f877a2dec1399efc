// Tests for paper matching by size and by name.
#include "runner/printing/printers/paper_match.h"

#include <gtest/gtest.h>

#include <limits>

namespace runner::printing {
namespace {

using platform::Paper;

struct Lines {
  std::vector<std::string> lines;
  LogSink sink() {
    return [this](std::string_view line) { lines.emplace_back(line); };
  }
};

const std::vector<Paper> kPhotoPapers = {
    {9, "A4", 2100, 2970}, {70, "A6", 1050, 1480}, {74, "4x6", 1016, 1524}, {300, "100x148", 1000, 1480}};

TEST(FindPaperIdBySize, FindsExactAndTurnedPapersAndLogsTheMatch) {
  Lines log;
  EXPECT_EQ(FindPaperIdBySize(kPhotoPapers, 105, 148, log.sink()), 70);
  EXPECT_EQ(log.lines.front(), "DEBUG: Looking for paper 105x148mm in 4 papers");
  EXPECT_EQ(log.lines.back(), "DEBUG: Found match: ID=70 'A6' 105x148mm (diff=0)");
  EXPECT_EQ(FindPaperIdBySize(kPhotoPapers, 148, 105, log.sink()), 70);
}

TEST(FindPaperIdBySize, TheCloserLaterPaperWinsAndTiesKeepTheFirst) {
  Lines log;
  // A6 is at distance 7, the later 4x6 at 3 and the last 100x148 at 2: each improvement is logged.
  EXPECT_EQ(FindPaperIdBySize(kPhotoPapers, 100, 150, log.sink()), 300);
  EXPECT_EQ(log.lines.size(), 4u);
  EXPECT_EQ(log.lines[2], "DEBUG: Found match: ID=74 '4x6' 101x152mm (diff=3)");
  const std::vector<Paper> ties = {{1, "one", 1000, 1500}, {2, "two", 1020, 1500}, {3, "three", 980, 1500}};
  EXPECT_EQ(FindPaperIdBySize(ties, 99, 150, log.sink()), 1);
  EXPECT_EQ(FindPaperIdBySize({{1, "far", 1110, 1500}}, 100, 150, log.sink()), 0);
  EXPECT_EQ(log.lines.back(), "DEBUG: No matching paper found!");
  EXPECT_EQ(FindPaperIdBySize({{1, "edge", 1100, 1500}}, 100, 150, log.sink()), 1);
}

TEST(FindPaperIdBySize, ABorderedPaperWinsOverItsBorderlessVariantWhereverItIsListed) {
  Lines log;
  const Paper borderless{5000, "4x6 (Borderless)", 1016, 1524, 0, 0, 0, 0, true};
  const Paper bordered{74, "4x6", 1016, 1524, 318, 318, 318, 318, false};
  EXPECT_EQ(FindPaperIdBySize({borderless, bordered}, 102, 152, log.sink()), 74);
  EXPECT_EQ(FindPaperIdBySize({bordered, borderless}, 102, 152, log.sink()), 74);
  // Alone, or closer, the borderless paper is still found.
  EXPECT_EQ(FindPaperIdBySize({borderless}, 102, 152, log.sink()), 5000);
  EXPECT_EQ(FindPaperIdBySize({{74, "4x6", 1056, 1524}, borderless}, 102, 152, log.sink()), 5000);
  // The printer's current choice wins a tie either way round: a borderless paper chosen by name stays.
  EXPECT_EQ(FindPaperIdBySize({bordered, borderless}, 101, 152, log.sink(), 5000), 5000);
  EXPECT_EQ(FindPaperIdBySize({borderless, bordered}, 101, 152, log.sink(), 5000), 5000);
  EXPECT_EQ(FindPaperIdBySize({borderless, bordered}, 101, 152, log.sink(), 74), 74);
  // ... but never a paper further away.
  EXPECT_EQ(FindPaperIdBySize({{74, "4x6", 1056, 1524}, borderless}, 102, 152, log.sink(), 74), 5000);
}

TEST(FindPaperIdBySize, TruncatesTenthsAndNeverWrapsOnHugeRequests) {
  Lines log;
  EXPECT_EQ(FindPaperIdBySize({{1, "Letter", 2159, 2794}}, 215, 279, log.sink()), 1);
  EXPECT_EQ(log.lines.back(), "DEBUG: Found match: ID=1 'Letter' 215x279mm (diff=0)");
  const int64_t huge = std::numeric_limits<int32_t>::max();
  EXPECT_EQ(FindPaperIdBySize(kPhotoPapers, huge, huge, log.sink()), 0);
  EXPECT_EQ(FindPaperIdBySize(kPhotoPapers, -huge, 148, log.sink()), 0);
  EXPECT_EQ(FindPaperIdBySize({}, 100, 150, log.sink()), 0);
  EXPECT_EQ(log.lines.back(), "DEBUG: No papers found for printer");
}

TEST(FindPaperByName, ExactMatchesWinOverEarlierPartialOnes) {
  const std::vector<Paper> papers = {{1, "A4 Extra", 2355, 3223}, {9, "A4", 2100, 2970}, {5, "Letter", 2159, 2794}};
  PaperNameMatch match = FindPaperByName(papers, "A4");
  EXPECT_EQ(match.kind, NameMatch::kExact);
  EXPECT_EQ(match.index, 1u);
  match = FindPaperByName(papers, "a4");
  EXPECT_EQ(match.kind, NameMatch::kPartial);
  EXPECT_EQ(match.index, 0u);
  match = FindPaperByName(papers, "Letter Plus");
  EXPECT_EQ(match.kind, NameMatch::kPartial);
  EXPECT_EQ(match.index, 2u);
  EXPECT_EQ(FindPaperByName(papers, "Tabloid").kind, NameMatch::kNone);
}

TEST(FindPaperByName, EmptyNamesAndNonAsciiCase) {
  const std::vector<Paper> papers = {{1, "Carte é", 1000, 1500}, {2, "", 1000, 1500}};
  EXPECT_EQ(FindPaperByName(papers, "carte É").kind, NameMatch::kPartial);
  PaperNameMatch empty = FindPaperByName(papers, "");
  EXPECT_EQ(empty.kind, NameMatch::kExact);
  EXPECT_EQ(empty.index, 1u);
  empty = FindPaperByName({{1, "First", 1, 1}}, "");
  EXPECT_EQ(empty.kind, NameMatch::kPartial);
  EXPECT_EQ(empty.index, 0u);
  EXPECT_EQ(LowerCaseUtf16(u"ÉA\xD83D\xDE00"), u"éa\xD83D\xDE00");
}

}  // namespace
}  // namespace runner::printing
