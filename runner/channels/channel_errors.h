// The channel error vocabulary: every error code and message the application sends, and how to send one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runner/channels/channel.h"

namespace runner {

// A fixed row of the error table: code and message together.
struct ErrorRow {
  std::string_view code;
  std::string_view message;
};

// An error to send: a fixed row, or a row whose message is built at run time (an exception's text, a
// message ending with a path or an identifier).
struct ChannelError {
  std::string code;
  std::string message;

  ChannelError(std::string code_in, std::string message_in)
      : code(std::move(code_in)), message(std::move(message_in)) {}
  ChannelError(const ErrorRow& row) : code(row.code), message(row.message) {}  // NOLINT: implicit on purpose

  friend bool operator==(const ChannelError&, const ChannelError&) = default;
};

// Error codes.
inline constexpr std::string_view kInvalidArgumentsCode = "INVALID_ARGUMENTS";
inline constexpr std::string_view kNoRequestsCode = "NO_REQUESTS";
inline constexpr std::string_view kBakingExceptionCode = "BAKING_EXCEPTION";
inline constexpr std::string_view kResultProcessingErrorCode = "RESULT_PROCESSING_ERROR";
inline constexpr std::string_view kGridErrorCode = "GRID_ERROR";
inline constexpr std::string_view kJobNotFoundCode = "JOB_NOT_FOUND";
inline constexpr std::string_view kPrinterErrorCode = "PRINTER_ERROR";
inline constexpr std::string_view kDevmodeErrorCode = "DEVMODE_ERROR";
inline constexpr std::string_view kPrintFailedCode = "PRINT_FAILED";
inline constexpr std::string_view kNoImagesCode = "NO_IMAGES";
inline constexpr std::string_view kNoValidPathsCode = "NO_VALID_PATHS";
inline constexpr std::string_view kFileNotFoundCode = "FILE_NOT_FOUND";
inline constexpr std::string_view kShellExecuteFailedCode = "SHELL_EXECUTE_FAILED";
inline constexpr std::string_view kGetProfilesErrorCode = "GET_PROFILES_ERROR";
inline constexpr std::string_view kGetSelectedProfileErrorCode = "GET_SELECTED_PROFILE_ERROR";
inline constexpr std::string_view kSetProfileErrorCode = "SET_PROFILE_ERROR";

// Fixed rows. All are sent on `printing_channel` only; the other channels send no error envelopes.
inline constexpr ErrorRow kExpectedMapOfArguments{kInvalidArgumentsCode, "Expected map of arguments"};
inline constexpr ErrorRow kMissingRequests{kInvalidArgumentsCode, "Missing or invalid 'requests' parameter"};
inline constexpr ErrorRow kMissingRequiredParameters{kInvalidArgumentsCode, "Missing required parameters"};
inline constexpr ErrorRow kExpectedJobId{kInvalidArgumentsCode, "Expected job ID as integer"};
inline constexpr ErrorRow kPrinterNameRequired{kInvalidArgumentsCode, "Printer name is required"};
inline constexpr ErrorRow kMissingPrinterName{kInvalidArgumentsCode, "Missing printerName"};
inline constexpr ErrorRow kEmptyPrinterName{kInvalidArgumentsCode, "Empty printer name"};
inline constexpr ErrorRow kPrinterNameMustBeString{kInvalidArgumentsCode,
                                                   "printerName must be a non-empty string"};
inline constexpr ErrorRow kExpectedPrinterNameOrMap{kInvalidArgumentsCode, "Expected printer name or map"};
inline constexpr ErrorRow kMissingImagePaths{kInvalidArgumentsCode, "Missing imagePaths"};
inline constexpr ErrorRow kExpectedArrayOfStrings{kInvalidArgumentsCode, "Expected array of strings"};
inline constexpr ErrorRow kExpectedStringPath{kInvalidArgumentsCode, "Expected string path"};
inline constexpr ErrorRow kMissingRequiredArguments{kInvalidArgumentsCode, "Missing required arguments"};
inline constexpr ErrorRow kArgumentsMustBeMap{kInvalidArgumentsCode, "Arguments must be a map"};
inline constexpr ErrorRow kProfileIdMustBeString{kInvalidArgumentsCode, "profileId must be a string"};
inline constexpr ErrorRow kNoValidBakeRequests{kNoRequestsCode, "No valid bake requests found"};
inline constexpr ErrorRow kUnknownBakingException{kBakingExceptionCode,
                                                  "Unknown exception during parallel baking"};
inline constexpr ErrorRow kFailedToOpenPrinter{kPrinterErrorCode, "Failed to open printer"};
inline constexpr ErrorRow kFailedToGetDevmodeSize{kPrinterErrorCode, "Failed to get DEVMODE size"};
inline constexpr ErrorRow kFailedToGetDevmode{kPrinterErrorCode, "Failed to get DEVMODE"};
inline constexpr ErrorRow kNoPaperSizesAvailable{kPrinterErrorCode, "No paper sizes available"};
inline constexpr ErrorRow kFailedToQueryDevmodeSize{kDevmodeErrorCode, "Failed to query DEVMODE size"};
inline constexpr ErrorRow kFailedToGetCurrentDevmode{kDevmodeErrorCode, "Failed to get current DEVMODE"};
inline constexpr ErrorRow kFailedToPromptForDevmode{kDevmodeErrorCode, "Failed to prompt for DEVMODE"};
inline constexpr ErrorRow kFailedToCreatePrinterDc{kPrintFailedCode, "Failed to create printer DC"};
inline constexpr ErrorRow kFailedToStartPrintJob{kPrintFailedCode, "Failed to start print job"};
inline constexpr ErrorRow kFailedToPrintAnyPages{kPrintFailedCode, "Failed to print any pages"};
inline constexpr ErrorRow kFailedToPrintAnyImages{kPrintFailedCode, "Failed to print any images"};
inline constexpr ErrorRow kNoImagesToPrint{kNoImagesCode, "No images to print"};
inline constexpr ErrorRow kNoValidFilePaths{kNoValidPathsCode, "No valid file paths"};
inline constexpr ErrorRow kFailedToOpenWithDefaultApp{kShellExecuteFailedCode,
                                                      "Failed to open image with default application"};
inline constexpr ErrorRow kFailedToSetColorProfile{kSetProfileErrorCode, "Failed to set color profile"};

// Rows whose message is built at run time. Exception texts are passed through unchanged.
ChannelError BakingException(std::string_view exception_text);
ChannelError ResultProcessingError(std::string_view exception_text);
ChannelError GridError(std::string_view failure_message);
ChannelError JobNotFound(int32_t job_id);                    // "Job ID not found: 42"
ChannelError PrintImageFailed(std::string_view image_path);  // "Failed to print image: <path>"
ChannelError ImageFileNotFound(std::string_view image_path); // "Image file not found: <path>"
ChannelError GetProfilesError(std::string_view exception_text);
ChannelError GetSelectedProfileError(std::string_view exception_text);
ChannelError SetProfileError(std::string_view exception_text);
// A present argument of a kind its form does not accept, where the handler names no answer of its own:
// "INVALID_ARGUMENTS" with "Invalid type for key '<key>'".
ChannelError InvalidTypeForKey(std::string_view key);
// A call whose arguments hold text that is not UTF-8: "INVALID_ARGUMENTS" with "Text that is not valid
// UTF-8 in <where>" (runner/channels/channel_text.h says where).
ChannelError TextNotUtf8(std::string_view where);
// "Invalid value for key '<key>': expected <expected>" ("INVALID_ARGUMENTS"): a value of the right kind
// that the method cannot take.
ChannelError InvalidValueForKey(std::string_view key, std::string_view expected);

// Answers `result` with `error` and null details. The result must not have been answered yet.
void AnswerError(MethodResult& result, const ChannelError& error);

}  // namespace runner
