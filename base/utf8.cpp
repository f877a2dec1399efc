// UTF-8 and UTF-16: decoding, checking, converting.
#include "base/utf8.h"

namespace base {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf16(std::u16string& out, char32_t code_point) {
  if (code_point < 0x10000) {
    out.push_back(static_cast<char16_t>(code_point));
  } else {
    code_point -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
  }
}

}  // namespace

std::optional<char32_t> DecodeUtf8(std::string_view text, size_t* pos) {
  const auto lead = static_cast<unsigned char>(text[(*pos)++]);
  if (lead < 0x80) return lead;

  int trailing = 0;
  char32_t code_point = 0;
  // The allowed range of the first continuation byte excludes overlong forms, encoded surrogates and
  // values above U+10FFFF (the well-formed byte sequences table of the Unicode standard).
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trailing = 1;
    code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trailing = 2;
    code_point = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trailing = 3;
    code_point = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return std::nullopt;  // a continuation byte without a lead, or a byte never used in UTF-8
  }

  for (int i = 0; i < trailing; ++i) {
    if (*pos >= text.size()) return std::nullopt;
    const auto byte = static_cast<unsigned char>(text[*pos]);
    if (i == 0 ? (byte < low || byte > high) : !IsContinuation(byte)) return std::nullopt;
    code_point = (code_point << 6) | (byte & 0x3F);
    ++*pos;
  }
  return code_point;
}

void AppendUtf8(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

bool IsValidUtf8(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    if (!DecodeUtf8(text, &pos)) return false;
  }
  return true;
}

bool IsValidUtf16(std::u16string_view text) {
  for (size_t pos = 0; pos < text.size(); ++pos) {
    if (IsHighSurrogate(text[pos]) && pos + 1 < text.size() && IsLowSurrogate(text[pos + 1])) {
      ++pos;
    } else if (IsHighSurrogate(text[pos]) || IsLowSurrogate(text[pos])) {
      return false;
    }
  }
  return true;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  utf8 = utf8.substr(0, utf8.find('\0'));
  std::u16string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) AppendUtf16(out, DecodeUtf8(utf8, &pos).value_or(kReplacementCharacter));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  utf16 = utf16.substr(0, utf16.find(u'\0'));
  std::string out;
  out.reserve(utf16.size() * 3);
  for (size_t pos = 0; pos < utf16.size(); ++pos) {
    const char16_t unit = utf16[pos];
    if (IsHighSurrogate(unit) && pos + 1 < utf16.size() && IsLowSurrogate(utf16[pos + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (utf16[pos + 1] - 0xDC00));
      ++pos;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(out, kReplacementCharacter);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::optional<std::u16string> SystemName(std::string_view utf8) {
  if (utf8.find('\0') != std::string_view::npos || !IsValidUtf8(utf8)) return std::nullopt;
  return Utf8ToUtf16(utf8);
}

}  // namespace base
