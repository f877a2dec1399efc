// LowerCaseUtf16 on Windows: the system's own case mapping, which folds every script (the C runtime's
// towlower folds only the current code page's letters).
#include <string>

#include <windows.h>

#include "runner/printing/printers/paper_match.h"

namespace runner::printing {

std::u16string LowerCaseUtf16(std::u16string_view text) {
  std::wstring lower(text.begin(), text.end());
  // Unpaired surrogates stay as they are; the length never changes.
  if (!lower.empty()) ::CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  return std::u16string(lower.begin(), lower.end());
}

}  // namespace runner::printing
