// Tests for the UTF-8 / UTF-16 conversions and checks.
#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace base {
namespace {

using namespace std::string_literals;

constexpr char16_t kFffd = 0xFFFD;

TEST(TextConversion, EmptyInGivesEmptyOut) {
  EXPECT_EQ(Utf8ToUtf16(""), u"");
  EXPECT_EQ(Utf16ToUtf8(u""), "");
  EXPECT_EQ(Utf8ToUtf16("\0abc"s), u"");
  EXPECT_EQ(Utf16ToUtf8(u"\0abc"s), "");
}

TEST(TextConversion, BmpAndAstralTextRoundTrips) {
  // "C:\Photos\Été 日本 " then U+1F600 (a surrogate pair in UTF-16) and U+10FFFF, the last code point.
  const std::string utf8 = "C:\\Photos\\\xC3\x89t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
  const std::u16string utf16 = u"C:\\Photos\\\u00C9t\u00E9 \u65E5\u672C \xD83D\xDE00\xDBFF\xDFFF";
  EXPECT_EQ(Utf8ToUtf16(utf8), utf16);
  EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
}

TEST(TextConversion, StopsAtTheFirstNul) {
  EXPECT_EQ(Utf8ToUtf16("photo.jpg\0.exe"s), u"photo.jpg");
  EXPECT_EQ(Utf16ToUtf8(u"photo.jpg\0.exe"s), "photo.jpg");
}

TEST(TextConversion, InvalidUtf8BecomesReplacementCharacters) {
  // A stray continuation byte, a byte never used in UTF-8.
  EXPECT_EQ(Utf8ToUtf16("a\x80z"), (std::u16string{u'a', kFffd, u'z'}));
  EXPECT_EQ(Utf8ToUtf16("a\xFFz"), (std::u16string{u'a', kFffd, u'z'}));
  // A sequence cut short by the end of text or by an ASCII byte: one replacement for the maximal prefix.
  EXPECT_EQ(Utf8ToUtf16("a\xE6\x97"), (std::u16string{u'a', kFffd}));
  EXPECT_EQ(Utf8ToUtf16("\xE6\x97z"), (std::u16string{kFffd, u'z'}));
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98"), (std::u16string{kFffd}));
  // Overlong "/" and overlong NUL, an encoded surrogate, a value above U+10FFFF: each byte refused.
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), (std::u16string{kFffd, kFffd}));
  EXPECT_EQ(Utf8ToUtf16("\xE0\x80\x80"), (std::u16string{kFffd, kFffd, kFffd}));
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), (std::u16string{kFffd, kFffd, kFffd}));
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), (std::u16string{kFffd, kFffd, kFffd, kFffd}));
  // The good text around a bad byte survives.
  EXPECT_EQ(Utf8ToUtf16("\xC3\xA9\xC3\xC3\xA9"), (std::u16string{u'\u00E9', kFffd, u'\u00E9'}));
}

TEST(TextConversion, LoneSurrogatesBecomeReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0xD83D}), "a" + fffd);                 // high at the end
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD83D, u'b'}), fffd + "b");                 // high, no low
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDE00, 0xD83D}), fffd + fffd);              // reversed pair
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD83D, 0xD83D, 0xDE00}), fffd + "\xF0\x9F\x98\x80");
}

TEST(TextConversion, ValidityCheckRefusesEveryIllFormedSequence) {
  EXPECT_TRUE(IsValidUtf8("plain Zo\xC3\xAB \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80"));
  EXPECT_TRUE(IsValidUtf8("\xEF\xBF\xBD"));      // a real U+FFFD is well-formed
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("ab\xE6\x97"));        // cut short
  EXPECT_FALSE(IsValidUtf8("\x80"));              // continuation without a lead
  EXPECT_TRUE(IsValidUtf16(u"a\U0001F600z"));
  EXPECT_FALSE(IsValidUtf16(std::u16string{u'a', 0xD83D}));
  EXPECT_FALSE(IsValidUtf16(std::u16string{0xDE00, u'a'}));
}

TEST(TextConversion, ANameForTheSystemIsConvertedExactlyOrNotAtAll) {
  EXPECT_EQ(SystemName("caf\xC3\xA9.jpg"), std::optional<std::u16string>(u"caf\u00E9.jpg"));
  EXPECT_EQ(SystemName(""), std::optional<std::u16string>(u""));
  EXPECT_FALSE(SystemName("photo.jpg\0.exe"s)) << "a NUL would open a shorter name";
  EXPECT_FALSE(SystemName("caf\xE9.jpg")) << "a replaced byte would open another name";
}

}  // namespace
}  // namespace base
