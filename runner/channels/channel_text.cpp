// Text on the channels: finding and mending text that is not UTF-8.
#include "runner/channels/channel_text.h"

#include <utility>
#include <vector>

#include "base/utf8.h"

namespace runner {
namespace {

std::string Readable(const std::string& text) { return base::Utf16ToUtf8(base::Utf8ToUtf16(text)); }

}  // namespace

// Recursion is bounded by the codec's own nesting limit.
bool AllTextIsUtf8(const EncodableValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return base::IsValidUtf8(*text);
  if (const auto* list = std::get_if<EncodableList>(&value)) {
    for (const EncodableValue& element : *list) {
      if (!AllTextIsUtf8(element)) return false;
    }
  } else if (const auto* map = std::get_if<EncodableMap>(&value)) {
    for (const auto& [key, element] : *map) {
      if (!AllTextIsUtf8(key) || !AllTextIsUtf8(element)) return false;
    }
  }
  return true;
}

std::optional<std::string> FindTextThatIsNotUtf8(const EncodableValue* arguments) {
  if (arguments == nullptr) return std::nullopt;
  if (const auto* map = std::get_if<EncodableMap>(arguments)) {
    for (const auto& [key, element] : *map) {
      if (AllTextIsUtf8(key) && AllTextIsUtf8(element)) continue;
      const auto* name = std::get_if<std::string>(&key);
      return name != nullptr ? "key '" + Readable(*name) + "'" : std::string("a key");
    }
    return std::nullopt;
  }
  if (const auto* list = std::get_if<EncodableList>(arguments)) {
    for (size_t i = 0; i < list->size(); ++i) {
      if (!AllTextIsUtf8((*list)[i])) return "element " + std::to_string(i);
    }
    return std::nullopt;
  }
  if (!AllTextIsUtf8(*arguments)) return std::string("the argument");
  return std::nullopt;
}

bool MakeTextUtf8(std::string& text) {
  if (base::IsValidUtf8(text)) return false;
  // Converted in pieces between NULs, which the conversion would stop at.
  std::string mended;
  size_t start = 0;
  for (;;) {
    const size_t nul = text.find('\0', start);
    mended += Readable(text.substr(start, nul - start));
    if (nul == std::string::npos) break;
    mended.push_back('\0');
    start = nul + 1;
  }
  text = std::move(mended);
  return true;
}

bool MakeTextUtf8(EncodableValue& value) {
  if (auto* text = std::get_if<std::string>(&value)) return MakeTextUtf8(*text);
  bool changed = false;
  if (auto* list = std::get_if<EncodableList>(&value)) {
    for (EncodableValue& element : *list) changed |= MakeTextUtf8(element);
  } else if (auto* map = std::get_if<EncodableMap>(&value)) {
    if (AllTextIsUtf8(value)) return false;
    // Keys are const inside a map: the map is built again.
    EncodableMap mended;
    for (auto& [key, element] : *map) {
      EncodableValue new_key = key;
      MakeTextUtf8(new_key);
      EncodableValue new_element = std::move(element);
      MakeTextUtf8(new_element);
      mended.insert_or_assign(std::move(new_key), std::move(new_element));
    }
    *map = std::move(mended);
    changed = true;
  }
  return changed;
}

}  // namespace runner
