// Tests for the runner's log lines: whole lines, and the rate limit for lines caused by input.
#include "runner/log.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace runner {
namespace {

TEST(LogTest, LinesFromManyThreadsNeverInterleaveInsideALine) {
  ::testing::internal::CaptureStderr();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      const std::string line = "DEBUG: " + std::string(300, static_cast<char>('a' + t));
      for (int i = 0; i < 200; ++i) LogLine(line);
    });
  }
  for (auto& thread : threads) thread.join();
  std::istringstream lines(::testing::internal::GetCapturedStderr());
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ASSERT_EQ(line.size(), 307u);
    EXPECT_EQ(line.find_first_not_of(line[7], 7), std::string::npos) << line;
    ++count;
  }
  EXPECT_EQ(count, 800);
}

TEST(LogTest, ControlCharactersFromACallerCannotForgeALineOrSteerATerminal) {
  ::testing::internal::CaptureStderr();
  LogLine("DEBUG C++: Printing page 1/1: /p/x\nFATAL: injected line.jpg");
  LogLine(std::string("FD: Opening path: /p/\t\x1b[31mred\r\x7f\0end", 36));
  LogLine("INFO: Using color profile: \xc3\xa9t\xc3\xa9 \\server\\share");  // UTF-8 and backslashes stay
  const std::string log = ::testing::internal::GetCapturedStderr();
  ::testing::internal::CaptureStdout();
  OutputLine("INFO: profile a\nb");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "INFO: profile a\\nb\n");
  EXPECT_EQ(log,
            "DEBUG C++: Printing page 1/1: /p/x\\nFATAL: injected line.jpg\n"
            "FD: Opening path: /p/\\t\\x1b[31mred\\r\\x7f\\x00end\n"
            "INFO: Using color profile: \xc3\xa9t\xc3\xa9 \\server\\share\n");
}

TEST(LogTest, AFloodOfInputLinesIsCutToTheBurstAndTheDropIsReported) {
  ::testing::internal::CaptureStderr();
  for (int i = 0; i < 1000; ++i) LogLineRateLimited("ERROR: malformed frame");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  LogLineRateLimited("ERROR: malformed frame");
  const std::string log = ::testing::internal::GetCapturedStderr();
  size_t lines = 0;
  for (size_t at = log.find("ERROR: malformed frame\n"); at != std::string::npos;
       at = log.find("ERROR: malformed frame\n", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, static_cast<size_t>(kRateLimitBurst) + 1);
  EXPECT_NE(log.find("INFO: " + std::to_string(1000 - kRateLimitBurst) + " similar lines were dropped"),
            std::string::npos)
      << log;
}

TEST(LogTest, TheLinesOfOneCallAreCappedAcrossItsThreadsWithOneSummary) {
  ::testing::internal::CaptureStderr();
  {
    CallLogScope scope(std::make_shared<CallLogBudget>("printImagesToPrinter", 3));
    LogLine("DEBUG: one");
    // A worker the call starts draws on the same budget.
    std::thread([budget = CurrentCallLogBudget()] {
      CallLogScope worker(budget);
      for (int i = 0; i < 5; ++i) LogLine("DEBUG: worker");
    }).join();
    LogRelayedLines("Mosalith: a\nMosalith: b\n");
  }
  LogLine("DEBUG: after the call");  // outside any call: not counted
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(log, "DEBUG: one\nDEBUG: worker\nDEBUG: worker\n"
                 "INFO: 4 more log lines about printImagesToPrinter were left out\nDEBUG: after the call\n");
}

}  // namespace
}  // namespace runner
