// Tests of the one escaping of log lines.
#include "base/log_line.h"

#include <gtest/gtest.h>

#include <string>

namespace base {
namespace {

using namespace std::string_literals;

TEST(EscapeLogLine, ControlsOfEveryKindAreWrittenAsEscapesAndTheRestStaysAsItIs) {
  // A name that tries to end the line, forge the next one and colour the terminal.
  EXPECT_EQ(EscapeLogLine("a.jpg\nERROR: forged\r\x1b[31mred\x7f\t"), "a.jpg\\nERROR: forged\\r\\x1b[31mred\\x7f\\t");
  EXPECT_EQ(EscapeLogLine("nul\0end"s), "nul\\x00end");
  // C1 controls (CSI as U+009B, NEL as U+0085) and the bidirectional overrides that turn a name around.
  EXPECT_EQ(EscapeLogLine("\xC2\x9B" "31m \xC2\x85 gpj.\xE2\x80\xAE" "exe"), "\\u009b31m \\u0085 gpj.\\u202eexe");
  EXPECT_EQ(EscapeLogLine("\xE2\x81\xA6x\xE2\x81\xA9 \xD8\x9C \xE2\x80\x8F"), "\\u2066x\\u2069 \\u061c \\u200f");
  // Bytes that are not UTF-8, a lone 0x9B among them (a control on an 8-bit terminal), byte by byte.
  EXPECT_EQ(EscapeLogLine("caf\xE9 \x9B" "2J \xE6\x97"), "caf\\xe9 \\x9b2J \\xe6\\x97");
  // Well-formed text, backslashes and the replacement character included, is untouched.
  const std::string plain = "C:\\Users\\Zo\xC3\xAB\\\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBD \xC2\xA0";
  EXPECT_EQ(EscapeLogLine(plain), plain);
  EXPECT_EQ(EscapeLogLine(""), "");
}

}  // namespace
}  // namespace base
