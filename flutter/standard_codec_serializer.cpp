// StandardCodecSerializer: the standard message format, read and written value by value.
#include "flutter/standard_codec_serializer.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace flutter {

// The format is little-endian and scalars are copied in host order.
static_assert(std::endian::native == std::endian::little, "the standard codec assumes a little-endian host");

namespace {

enum EncodedType : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLargeInt = 5,
  kFloat64 = 6,
  kString = 7,
  kUInt8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

// Declared lengths are never trusted for allocation: storage grows by at most this much ahead of the
// bytes actually read, so a hostile length costs no more memory than the message really carries.
constexpr size_t kReadChunkBytes = 64 * 1024;

// Depth of the ReadValue calls active on this thread. Per thread because the serializer is shared.
thread_local int read_depth = 0;
// The innermost decoding budget open on this thread, or null.
thread_local StandardCodecSerializer::DecodeBudget* open_budget = nullptr;

// What a map entry costs beyond its key and value: the tree node's links and the allocator's header.
constexpr size_t kMapNodeOverheadBytes = 48;

void Charge(size_t bytes) {
  if (open_budget) open_budget->Charge(bytes);
}

class DepthGuard {
 public:
  DepthGuard() {
    if (read_depth >= StandardCodecSerializer::kMaxNestingDepth) throw DecodeError("values nested too deep");
    ++read_depth;
  }
  ~DepthGuard() { --read_depth; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;
};

template <typename Scalar>
Scalar ReadScalar(ByteStreamReader* stream) {
  Scalar value;
  uint8_t bytes[sizeof(Scalar)];
  stream->ReadBytes(bytes, sizeof(Scalar));
  std::memcpy(&value, bytes, sizeof(Scalar));
  return value;
}

template <typename Scalar>
void WriteScalar(Scalar value, ByteStreamWriter* stream) {
  uint8_t bytes[sizeof(Scalar)];
  std::memcpy(bytes, &value, sizeof(Scalar));
  stream->WriteBytes(bytes, sizeof(Scalar));
}

// Reads `count` elements into `out`, growing it chunk by chunk as the bytes arrive.
template <typename Element, typename Container>
void ReadElements(size_t count, ByteStreamReader* stream, Container* out) {
  constexpr size_t kChunkElements = kReadChunkBytes / sizeof(Element);
  size_t done = 0;
  while (done < count) {
    size_t chunk = std::min(count - done, kChunkElements);
    out->resize(done + chunk);
    stream->ReadBytes(reinterpret_cast<uint8_t*>(out->data() + done), chunk * sizeof(Element));
    done += chunk;
  }
}

template <typename Element>
std::vector<Element> ReadTypedList(size_t count, ByteStreamReader* stream) {
  Charge(count * sizeof(Element));
  if constexpr (sizeof(Element) > 1) stream->ReadAlignment(sizeof(Element));
  std::vector<Element> list;
  ReadElements<Element>(count, stream, &list);
  return list;
}

}  // namespace

StandardCodecSerializer::DecodeBudget::DecodeBudget(size_t message_size)
    : remaining_(message_size > (kMaxDecodedBytes - kDecodeAllowanceBytes) / kDecodeExpansion
                     ? kMaxDecodedBytes
                     : message_size * kDecodeExpansion + kDecodeAllowanceBytes),
      outer_(open_budget) {
  open_budget = this;
}

StandardCodecSerializer::DecodeBudget::~DecodeBudget() { open_budget = outer_; }

void StandardCodecSerializer::DecodeBudget::Charge(size_t bytes) {
  if (bytes > remaining_) {
    remaining_ = 0;
    throw DecodeBudgetSpent("decoded values would take more than the decoding budget of their message");
  }
  remaining_ -= bytes;
}

size_t StandardCodecSerializer::DecodedBytes(const EncodableValue& value) {
  size_t bytes = sizeof(EncodableValue);
  if (const auto* text = std::get_if<std::string>(&value)) return bytes + text->size();
  if (const auto* list = std::get_if<std::vector<uint8_t>>(&value)) return bytes + list->size();
  if (const auto* list = std::get_if<std::vector<int32_t>>(&value)) return bytes + list->size() * 4;
  if (const auto* list = std::get_if<std::vector<int64_t>>(&value)) return bytes + list->size() * 8;
  if (const auto* list = std::get_if<std::vector<double>>(&value)) return bytes + list->size() * 8;
  if (const auto* list = std::get_if<std::vector<float>>(&value)) return bytes + list->size() * 4;
  if (const auto* list = std::get_if<EncodableList>(&value)) {
    for (const EncodableValue& element : *list) bytes += DecodedBytes(element);
  } else if (const auto* map = std::get_if<EncodableMap>(&value)) {
    for (const auto& [key, element] : *map) bytes += kMapNodeOverheadBytes + DecodedBytes(key) + DecodedBytes(element);
  }
  return bytes;
}

StandardCodecSerializer::StandardCodecSerializer() = default;
StandardCodecSerializer::~StandardCodecSerializer() = default;

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static StandardCodecSerializer instance;
  return instance;
}

EncodableValue StandardCodecSerializer::ReadValue(ByteStreamReader* stream) const {
  DepthGuard depth;
  Charge(sizeof(EncodableValue));
  uint8_t type = stream->ReadByte();
  return ReadValueOfType(type, stream);
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type, ByteStreamReader* stream) const {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(ReadScalar<int32_t>(stream));
    case kInt64:
      return EncodableValue(ReadScalar<int64_t>(stream));
    case kFloat64:
      stream->ReadAlignment(8);
      return EncodableValue(ReadScalar<double>(stream));
    case kString: {
      size_t size = ReadSize(stream);
      Charge(size);
      std::string text;
      ReadElements<char>(size, stream, &text);
      return EncodableValue(std::move(text));
    }
    case kUInt8List:
      return EncodableValue(ReadTypedList<uint8_t>(ReadSize(stream), stream));
    case kInt32List:
      return EncodableValue(ReadTypedList<int32_t>(ReadSize(stream), stream));
    case kInt64List:
      return EncodableValue(ReadTypedList<int64_t>(ReadSize(stream), stream));
    case kFloat64List:
      return EncodableValue(ReadTypedList<double>(ReadSize(stream), stream));
    case kFloat32List:
      return EncodableValue(ReadTypedList<float>(ReadSize(stream), stream));
    case kList: {
      size_t count = ReadSize(stream);
      EncodableList list;  // no reserve: every element needs at least one byte that must really be there
      for (size_t i = 0; i < count; ++i) list.push_back(ReadValue(stream));
      return EncodableValue(std::move(list));
    }
    case kMap: {
      size_t count = ReadSize(stream);
      EncodableMap map;
      for (size_t i = 0; i < count; ++i) {
        Charge(kMapNodeOverheadBytes);
        EncodableValue key = ReadValue(stream);
        EncodableValue value = ReadValue(stream);
        map.emplace(std::move(key), std::move(value));  // a repeated key keeps its first value
      }
      return EncodableValue(std::move(map));
    }
    case kLargeInt:
      throw DecodeError("large integers are not supported");
    default:
      throw DecodeError("unknown type byte " + std::to_string(type));
  }
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  uint8_t byte = stream->ReadByte();
  if (byte < 254) return byte;
  if (byte == 254) return ReadScalar<uint16_t>(stream);
  return ReadScalar<uint32_t>(stream);
}

void StandardCodecSerializer::WriteSize(size_t size, ByteStreamWriter* stream) const {
  if (size < 254) {
    stream->WriteByte(static_cast<uint8_t>(size));
  } else if (size <= std::numeric_limits<uint16_t>::max()) {
    stream->WriteByte(254);
    WriteScalar(static_cast<uint16_t>(size), stream);
  } else if (size <= std::numeric_limits<uint32_t>::max()) {
    stream->WriteByte(255);
    WriteScalar(static_cast<uint32_t>(size), stream);
  } else {
    throw EncodeError("size beyond 2^32 - 1 cannot be encoded");
  }
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const {
  // A throw may leave a half-written message in the stream; the codecs then discard the whole buffer.
  if (std::holds_alternative<CustomEncodableValue>(value)) {
    throw EncodeError("Unhandled custom type in StandardCodecSerializer::WriteValue. "
                      "Custom types require codec extensions.");
  }
  auto write_list = [&](uint8_t type, const auto& list) {
    using Element = typename std::decay_t<decltype(list)>::value_type;
    stream->WriteByte(type);
    WriteSize(list.size(), stream);
    if constexpr (sizeof(Element) > 1) stream->WriteAlignment(sizeof(Element));
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(list.data()), list.size() * sizeof(Element));
  };
  switch (value.index()) {
    case 0:
      stream->WriteByte(kNull);
      break;
    case 1:
      stream->WriteByte(std::get<bool>(value) ? kTrue : kFalse);
      break;
    case 2:
      stream->WriteByte(kInt32);
      WriteScalar(std::get<int32_t>(value), stream);
      break;
    case 3:
      stream->WriteByte(kInt64);
      WriteScalar(std::get<int64_t>(value), stream);
      break;
    case 4:
      stream->WriteByte(kFloat64);
      stream->WriteAlignment(8);
      WriteScalar(std::get<double>(value), stream);
      break;
    case 5: {
      const std::string& text = std::get<std::string>(value);
      stream->WriteByte(kString);
      WriteSize(text.size(), stream);
      stream->WriteBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
      break;
    }
    case 6:
      write_list(kUInt8List, std::get<std::vector<uint8_t>>(value));
      break;
    case 7:
      write_list(kInt32List, std::get<std::vector<int32_t>>(value));
      break;
    case 8:
      write_list(kInt64List, std::get<std::vector<int64_t>>(value));
      break;
    case 9:
      write_list(kFloat64List, std::get<std::vector<double>>(value));
      break;
    case 10: {
      const EncodableList& list = std::get<EncodableList>(value);
      stream->WriteByte(kList);
      WriteSize(list.size(), stream);
      for (const EncodableValue& item : list) WriteValue(item, stream);
      break;
    }
    case 11: {
      const EncodableMap& map = std::get<EncodableMap>(value);
      stream->WriteByte(kMap);
      WriteSize(map.size(), stream);
      for (const auto& [key, item] : map) {
        WriteValue(key, stream);
        WriteValue(item, stream);
      }
      break;
    }
    case 13:
      write_list(kFloat32List, std::get<std::vector<float>>(value));
      break;
    default:
      throw EncodeError("value of unknown kind");
  }
}

}  // namespace flutter
