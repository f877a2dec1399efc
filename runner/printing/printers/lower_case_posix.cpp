// LowerCaseUtf16 on Linux: towlower in a C.UTF-8 locale.
#include <locale.h>
#include <wctype.h>

#include "runner/printing/printers/paper_match.h"

namespace runner::printing {
namespace {

// One C.UTF-8 locale object for the process; towlower in the default "C" locale folds ASCII only.
locale_t Utf8Locale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return locale;
}

}  // namespace

std::u16string LowerCaseUtf16(std::u16string_view text) {
  std::u16string lower(text);
  const locale_t locale = Utf8Locale();
  for (char16_t& unit : lower) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;
    const wint_t folded = locale != static_cast<locale_t>(0) ? towlower_l(unit, locale) : towlower(unit);
    if (folded <= 0xFFFF && !(folded >= 0xD800 && folded <= 0xDFFF)) unit = static_cast<char16_t>(folded);
  }
  return lower;
}

}  // namespace runner::printing
