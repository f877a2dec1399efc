// Tests for the error vocabulary: exact texts and the error answer.
#include "runner/channel_errors.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "tests/support/recorded_result.h"

namespace runner {
namespace {

TEST(ChannelErrors, FixedRowsHaveTheirExactTexts) {
  EXPECT_EQ(ChannelError(kExpectedMapOfArguments), ChannelError("INVALID_ARGUMENTS", "Expected map of arguments"));
  EXPECT_EQ(ChannelError(kMissingRequests),
            ChannelError("INVALID_ARGUMENTS", "Missing or invalid 'requests' parameter"));
  EXPECT_EQ(ChannelError(kPrinterNameMustBeString),
            ChannelError("INVALID_ARGUMENTS", "printerName must be a non-empty string"));
  EXPECT_EQ(ChannelError(kNoValidBakeRequests), ChannelError("NO_REQUESTS", "No valid bake requests found"));
  EXPECT_EQ(ChannelError(kUnknownBakingException),
            ChannelError("BAKING_EXCEPTION", "Unknown exception during parallel baking"));
  EXPECT_EQ(ChannelError(kFailedToGetDevmodeSize), ChannelError("PRINTER_ERROR", "Failed to get DEVMODE size"));
  EXPECT_EQ(ChannelError(kFailedToPromptForDevmode), ChannelError("DEVMODE_ERROR", "Failed to prompt for DEVMODE"));
  EXPECT_EQ(ChannelError(kFailedToCreatePrinterDc), ChannelError("PRINT_FAILED", "Failed to create printer DC"));
  EXPECT_EQ(ChannelError(kNoValidFilePaths), ChannelError("NO_VALID_PATHS", "No valid file paths"));
  EXPECT_EQ(ChannelError(kFailedToOpenWithDefaultApp),
            ChannelError("SHELL_EXECUTE_FAILED", "Failed to open image with default application"));
  EXPECT_EQ(ChannelError(kFailedToSetColorProfile), ChannelError("SET_PROFILE_ERROR", "Failed to set color profile"));
}

TEST(ChannelErrors, BuiltRowsAppendTheirValueOrPassTheTextThrough) {
  EXPECT_EQ(JobNotFound(42), ChannelError("JOB_NOT_FOUND", "Job ID not found: 42"));
  EXPECT_EQ(JobNotFound(-7), ChannelError("JOB_NOT_FOUND", "Job ID not found: -7"));
  EXPECT_EQ(JobNotFound(std::numeric_limits<int32_t>::min()),
            ChannelError("JOB_NOT_FOUND", "Job ID not found: -2147483648"));
  EXPECT_EQ(PrintImageFailed("/p/\xC3\xA9.jpg"), ChannelError("PRINT_FAILED", "Failed to print image: /p/\xC3\xA9.jpg"));
  EXPECT_EQ(ImageFileNotFound("C:\\a b.png"), ChannelError("FILE_NOT_FOUND", "Image file not found: C:\\a b.png"));
  EXPECT_EQ(BakingException("bad_alloc"), ChannelError("BAKING_EXCEPTION", "bad_alloc"));
  EXPECT_EQ(ResultProcessingError("x"), ChannelError("RESULT_PROCESSING_ERROR", "x"));
  EXPECT_EQ(GridError("Helper failed"), ChannelError("GRID_ERROR", "Helper failed"));
  EXPECT_EQ(GetProfilesError("e1"), ChannelError("GET_PROFILES_ERROR", "e1"));
  EXPECT_EQ(GetSelectedProfileError("e2"), ChannelError("GET_SELECTED_PROFILE_ERROR", "e2"));
  EXPECT_EQ(SetProfileError("e3"), ChannelError("SET_PROFILE_ERROR", "e3"));
  EXPECT_EQ(InvalidTypeForKey("rows"), ChannelError("INVALID_ARGUMENTS", "Invalid type for key 'rows'"));
}

TEST(ChannelErrors, AnswerSendsCodeAndMessageWithNullDetailsOnce) {
  test_support::RecordedResult result;
  AnswerError(result, ImageFileNotFound("/x.jpg"));
  EXPECT_EQ(result.answers, 1);
  EXPECT_EQ(result.code, "FILE_NOT_FOUND");
  EXPECT_EQ(result.message, "Image file not found: /x.jpg");
  EXPECT_TRUE(result.details_null);
}

}  // namespace
}  // namespace runner
