// The channel error vocabulary: rows built at run time and the error answer.
#include "runner/channels/channel_errors.h"

namespace runner {
namespace {

ChannelError Row(std::string_view code, std::string_view prefix, std::string_view tail) {
  std::string message;
  message.reserve(prefix.size() + tail.size());
  message.append(prefix).append(tail);
  return ChannelError(std::string(code), std::move(message));
}

}  // namespace

ChannelError BakingException(std::string_view exception_text) {
  return Row(kBakingExceptionCode, "", exception_text);
}

ChannelError ResultProcessingError(std::string_view exception_text) {
  return Row(kResultProcessingErrorCode, "", exception_text);
}

ChannelError GridError(std::string_view failure_message) { return Row(kGridErrorCode, "", failure_message); }

ChannelError JobNotFound(int32_t job_id) {
  return Row(kJobNotFoundCode, "Job ID not found: ", std::to_string(job_id));
}

ChannelError PrintImageFailed(std::string_view image_path) {
  return Row(kPrintFailedCode, "Failed to print image: ", image_path);
}

ChannelError ImageFileNotFound(std::string_view image_path) {
  return Row(kFileNotFoundCode, "Image file not found: ", image_path);
}

ChannelError GetProfilesError(std::string_view exception_text) {
  return Row(kGetProfilesErrorCode, "", exception_text);
}

ChannelError GetSelectedProfileError(std::string_view exception_text) {
  return Row(kGetSelectedProfileErrorCode, "", exception_text);
}

ChannelError SetProfileError(std::string_view exception_text) {
  return Row(kSetProfileErrorCode, "", exception_text);
}

ChannelError TextNotUtf8(std::string_view where) {
  return ChannelError(std::string(kInvalidArgumentsCode), "Text that is not valid UTF-8 in " + std::string(where));
}

ChannelError InvalidTypeForKey(std::string_view key) {
  std::string message = "Invalid type for key '";
  message.append(key).append("'");
  return ChannelError(std::string(kInvalidArgumentsCode), std::move(message));
}

ChannelError InvalidValueForKey(std::string_view key, std::string_view expected) {
  std::string message = "Invalid value for key '";
  message.append(key).append("': expected ").append(expected);
  return ChannelError(std::string(kInvalidArgumentsCode), std::move(message));
}

void AnswerError(MethodResult& result, const ChannelError& error) {
  result.Error(error.code, error.message);  // null details
}

}  // namespace runner
