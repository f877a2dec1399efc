// The picture failure line, written and read.
#include "helper/picture_failure.h"

#include <charconv>

namespace mosalith {
namespace {

constexpr std::string_view kPhoto = "Mosalith: Photo ";
constexpr std::string_view kFrame = "Mosalith: Frame ";
constexpr std::string_view kSkipped = " skipped (";
constexpr std::string_view kReasonStart = "): ";

}  // namespace

std::string PictureFailureLine(PictureRole role, size_t index, const std::string& path, const std::string& reason) {
  return "Mosalith: " + PictureFailureText(role, index, path, reason);
}

std::string PictureFailureText(PictureRole role, size_t index, const std::string& path, const std::string& reason) {
  std::string line(role == PictureRole::kPhoto ? kPhoto.substr(10) : kFrame.substr(10));
  line += std::to_string(index);
  line += kSkipped;
  line += path;
  line += kReasonStart;
  line += reason;
  return line;
}

std::optional<PictureFailure> ParsePictureFailureLine(std::string_view line) {
  PictureFailure failure;
  if (line.substr(0, kPhoto.size()) == kPhoto) {
    failure.role = PictureRole::kPhoto;
  } else if (line.substr(0, kFrame.size()) == kFrame) {
    failure.role = PictureRole::kFrame;
  } else {
    return std::nullopt;
  }
  line.remove_prefix(kPhoto.size());
  const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), failure.index);
  if (error != std::errc() || end == line.data()) return std::nullopt;
  line.remove_prefix(static_cast<size_t>(end - line.data()));
  if (line.substr(0, kSkipped.size()) != kSkipped) return std::nullopt;
  line.remove_prefix(kSkipped.size());
  const size_t reason_at = line.rfind(kReasonStart);
  if (reason_at == std::string_view::npos) return std::nullopt;
  failure.path = std::string(line.substr(0, reason_at));
  failure.reason = std::string(line.substr(reason_at + kReasonStart.size()));
  while (!failure.reason.empty() && (failure.reason.back() == '\r' || failure.reason.back() == '\n')) {
    failure.reason.pop_back();
  }
  return failure;
}

}  // namespace mosalith
