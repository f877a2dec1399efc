// EncodableValue: the value that crosses a method channel, a std::variant over the standard codec's kinds.
//
// The alternatives and their order are those of the desktop client wrapper, so handler code written
// against it compiles here unchanged:
//   std::monostate (null), bool, int32_t, int64_t, double, std::string, std::vector<uint8_t>,
//   std::vector<int32_t>, std::vector<int64_t>, std::vector<double>, EncodableList, EncodableMap,
//   CustomEncodableValue, std::vector<float>.
// Read a value with std::holds_alternative / std::get / std::get_if as with any variant.
//
// Thread safety: a plain value; share it between threads only read-only.
#pragma once

#include <any>
#if __cplusplus > 201703L
#include <compare>
#endif
#include <cstdint>
#include <map>
#include <string>
#include <typeinfo>
#include <utility>
#include <variant>
#include <vector>

namespace flutter {

// A value of an application-defined type. The standard codec cannot write one (encoding fails); a
// serializer subclass that knows the type can. Custom values have no inherent order or equality, so
// they compare by address.
class CustomEncodableValue {
 public:
  explicit CustomEncodableValue(const std::any& value) : value_(value) {}
  ~CustomEncodableValue() = default;

  operator std::any&() { return value_; }
  operator const std::any&() const { return value_; }

  const std::type_info& type() const noexcept { return value_.type(); }

  friend bool operator<(const CustomEncodableValue& lhs, const CustomEncodableValue& rhs) {
    return &lhs < &rhs;
  }
  friend bool operator==(const CustomEncodableValue& lhs, const CustomEncodableValue& rhs) {
    return &lhs == &rhs;
  }

 private:
  std::any value_;
};

class EncodableValue;

using EncodableList = std::vector<EncodableValue>;
using EncodableMap = std::map<EncodableValue, EncodableValue>;

namespace internal {
using EncodableValueVariant = std::variant<std::monostate,
                                           bool,
                                           int32_t,
                                           int64_t,
                                           double,
                                           std::string,
                                           std::vector<uint8_t>,
                                           std::vector<int32_t>,
                                           std::vector<int64_t>,
                                           std::vector<double>,
                                           EncodableList,
                                           EncodableMap,
                                           CustomEncodableValue,
                                           std::vector<float>>;
}  // namespace internal

class EncodableValue : public internal::EncodableValueVariant {
 public:
  using super = internal::EncodableValueVariant;
  using super::super;
  using super::operator=;

  // The null value.
  explicit EncodableValue() = default;

  // Direct construction from any alternative. Declared here so that a stray pointer meets this
  // (explicit) constructor, whose body refuses pointer -> bool, rather than quietly becoming
  // EncodableValue(true). Not noexcept: copying a string or list may throw std::bad_alloc.
  template <class T>
  constexpr explicit EncodableValue(T&& t) : super(std::forward<T>(t)) {}

  // A string. Without this a string literal would convert to bool.
  explicit EncodableValue(const char* string) : super(std::string(string)) {}
  EncodableValue& operator=(const char* other) {
    *this = std::string(other);
    return *this;
  }

  // Implicit, so that EncodableValue(CustomEncodableValue(...)) need not be spelt out.
  EncodableValue(const CustomEncodableValue& v) : super(v) {}

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }

  // The integer held as int32 or int64, widened to int64. Throws std::bad_variant_access when the value
  // holds another kind.
  int64_t LongValue() const {
    if (std::holds_alternative<int32_t>(*this)) {
      return std::get<int32_t>(*this);
    }
    return std::get<int64_t>(*this);
  }

  // Orders first by kind (alternative index), then by value; this is what lets EncodableMap use any
  // value as a key.
  friend bool operator<(const EncodableValue& lhs, const EncodableValue& rhs) {
    return static_cast<const super&>(lhs) < static_cast<const super&>(rhs);
  }

#if __cplusplus > 201703L
  // From C++20 on, comparing containers of EncodableValue asks whether EncodableValue itself is
  // three-way comparable; without this the variant's own operator<=> would ask the same question about
  // EncodableList in a circle the compiler rejects. Defined through operator< so the order is the same.
  friend std::weak_ordering operator<=>(const EncodableValue& lhs, const EncodableValue& rhs) {
    if (lhs < rhs) return std::weak_ordering::less;
    if (rhs < lhs) return std::weak_ordering::greater;
    return std::weak_ordering::equivalent;
  }
#endif
};

}  // namespace flutter
