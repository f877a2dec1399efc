// Tests for the CreateProcessW runner under Wine, with a child program of the tests (win32_child.cpp).
#include "platform/win32/win_process_runner.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

constexpr char kChild[] = PICTAVERA_WIN32_CHILD;
// A folder and a program name with spaces, accents, CJK and an emoji.
constexpr wchar_t kUnicodeFolder[] = L"pv f\u00F6lder \u65E5\u672C \U0001F600";
constexpr wchar_t kUnicodeProgram[] = L"ch\u00EFld \u5B50.exe";

class WinProcessRunnerTest : public ::testing::Test {
 protected:
  WinProcessRunner runner_;
};

TEST_F(WinProcessRunnerTest, RunsAProgramAtAUnicodePathWithArgumentsKeptExactly) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
  const std::filesystem::path folder = std::filesystem::path(temp) / kUnicodeFolder;
  std::filesystem::create_directories(folder);
  const std::filesystem::path program = folder / kUnicodeProgram;
  ASSERT_TRUE(::CopyFileW(win32::Widen(kChild)->c_str(), program.c_str(), FALSE));

  const std::vector<std::string> arguments = {
      "echo", "plain", "with space", "", "quote\"inside", "trailing\\", "back\\\\slashes\\\"quoted",
      "\xC3\xBCn\xC3\xAF \xF0\x9F\x98\x80"};
  const ProcessOutcome outcome = runner_.Run(win32::Narrow(program.wstring()), arguments);
  ASSERT_TRUE(outcome.start.ok()) << outcome.start.ToString();
  EXPECT_EQ(outcome.exit_code, 0);
  std::string expected;
  for (size_t i = 1; i < arguments.size(); ++i) expected += "[" + arguments[i] + "]\r\n";
  EXPECT_EQ(outcome.output, expected);
  std::filesystem::remove_all(folder);
}

TEST_F(WinProcessRunnerTest, JoinsBothStreamsInOrderAndReportsTheExitCode) {
  const ProcessOutcome both = runner_.Run(kChild, {"both"});
  EXPECT_EQ(both.output, "out\r\nerr\r\n");
  EXPECT_EQ(both.exit_code, 0);
  EXPECT_EQ(runner_.Run(kChild, {"exit", "7"}).exit_code, 7);

  // More than the pipe holds between two drains: nothing lost, the child never blocked for good.
  const uint64_t before = runner_.output_bytes();
  const ProcessOutcome flood = runner_.Run(kChild, {"flood", "1000000"});
  EXPECT_EQ(flood.output.size(), 1000000u);
  EXPECT_EQ(runner_.output_bytes() - before, 1000000u);
}

TEST_F(WinProcessRunnerTest, AMissingProgramIsNotStarted) {
  const ProcessOutcome outcome = runner_.Run("C:/no/such/folder/program.exe", {});
  EXPECT_TRUE(outcome.start.Is(base::Status::Code::kNotFound)) << outcome.start.ToString();
  EXPECT_EQ(outcome.start.system_error(), ENOENT);
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_TRUE(runner_.Run(std::string("bad\0name", 8), {}).start.Is(base::Status::Code::kInvalidArgument));
}

TEST_F(WinProcessRunnerTest, TerminateAllEndsARunningChildAsASignalWould) {
  auto running = std::async(std::launch::async, [this] { return runner_.Run(kChild, {"sleep"}); });
  for (int i = 0; i < 200 && runner_.running() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(runner_.running(), 1u);
  runner_.TerminateAll();
  ASSERT_EQ(running.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(running.get().exit_code, 128 + 15);
  EXPECT_EQ(runner_.running(), 0u);
}

TEST_F(WinProcessRunnerTest, ProcessExistsKnowsTheLivingFromTheGone) {
  EXPECT_TRUE(runner_.ProcessExists(static_cast<int>(::GetCurrentProcessId())));
  EXPECT_FALSE(runner_.ProcessExists(0));
  EXPECT_FALSE(runner_.ProcessExists(0x7FFFFFF0));
}

TEST(CommandLineTest, QuotesOnlyWhatTheArgumentParserWouldSplitOrUnescape) {
  EXPECT_EQ(CommandLineOf(L"C:\\a b\\p.exe", {L"x", L"", L"a\\b", L"say \"hi\"", L"end\\"}),
            L"\"C:\\a b\\p.exe\" x \"\" a\\b \"say \\\"hi\\\"\" end\\");
  EXPECT_EQ(CommandLineOf(L"p", {L"dir with space\\"}), L"p \"dir with space\\\\\"");
}

}  // namespace
}  // namespace platform
