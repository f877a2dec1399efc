// EscapeLogLine: controls, bidirectional controls and ill-formed bytes written as escapes.
#include "base/log_line.h"

#include "base/utf8.h"

namespace base {
namespace {

constexpr char kHex[] = "0123456789abcdef";

bool IsBidiControl(char32_t c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void AppendByteEscape(std::string& out, unsigned char byte) {
  out.append("\\x");
  out.push_back(kHex[byte >> 4]);
  out.push_back(kHex[byte & 0xF]);
}

void AppendCodePointEscape(std::string& out, char32_t c) {
  out.append("\\u");
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(c >> shift) & 0xF]);
}

}  // namespace

std::string EscapeLogLine(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  size_t pos = 0;
  while (pos < line.size()) {
    const auto byte = static_cast<unsigned char>(line[pos]);
    if (byte >= 0x20 && byte < 0x7F) {  // the common case, taken as it is
      out.push_back(line[pos++]);
      continue;
    }
    if (byte < 0x80) {
      ++pos;
      if (byte == '\n') {
        out.append("\\n");
      } else if (byte == '\r') {
        out.append("\\r");
      } else if (byte == '\t') {
        out.append("\\t");
      } else {
        AppendByteEscape(out, byte);
      }
      continue;
    }
    const size_t start = pos;
    const std::optional<char32_t> c = DecodeUtf8(line, &pos);
    if (!c) {
      for (size_t i = start; i < pos; ++i) AppendByteEscape(out, static_cast<unsigned char>(line[i]));
    } else if (*c <= 0x9F || IsBidiControl(*c)) {
      AppendCodePointEscape(out, *c);
    } else {
      out.append(line.substr(start, pos - start));
    }
  }
  return out;
}

}  // namespace base
