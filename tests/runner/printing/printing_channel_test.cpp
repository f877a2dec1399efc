// Tests for the printing channel's setup and its method table dispatch.
#include "runner/printing/printing_channel.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/runner/recording_messenger.h"
#include "tests/runner/test_services.h"

namespace runner::printing {
namespace {

using runner::testing::RecordingMessenger;
using runner::testing::TestServices;

const std::vector<std::string> kMethodNames = {
    "printImagesWindows",    "getPrintersWindows",       "getDefaultPrinterWindows",
    "printToPrinterWindows", "pickPaperSizeWindows",     "pickPrinterAndPaperWindows",
    "getPrinterCapabilitiesWindows", "getAvailablePrinters", "printImagesToPrinter",
    "bakeImagesForPrinting", "getColorProfiles",         "getSelectedColorProfile",
    "setSelectedColorProfile", "createGridImages",       "createGridImagesFast",
    "createGridImagesFastAsync", "checkGridJobStatus",   "printWithLayoutWindows",
    "setDefaultPrinterAndPaper", "planMagnetSheets"};

TEST(PrintingMethodTable, HoldsTheNineteenNamesInOrderAndThePlanAfterThem) {
  TestServices services;
  const auto table = PrintingMethodTable(services.services);
  ASSERT_EQ(table.size(), kMethodNames.size());
  for (size_t i = 0; i < table.size(); ++i) EXPECT_EQ(table[i].name, kMethodNames[i]) << i;
}

TEST(PrintingMethodTable, FindMatchesWholeNamesOnly) {
  TestServices services;
  const auto table = PrintingMethodTable(services.services);
  EXPECT_EQ(FindMethod(table, "createGridImagesFast"), &table[14]);
  EXPECT_EQ(FindMethod(table, "createGridImages"), &table[13]);
  EXPECT_EQ(FindMethod(table, "createGridImagesFastAsyncX"), nullptr);
  EXPECT_EQ(FindMethod(table, "creategridimages"), nullptr);
  EXPECT_EQ(FindMethod(table, ""), nullptr);
  EXPECT_EQ(FindMethod(table, std::string("getColorProfiles\0", 17)), nullptr);
}

class PrintingChannelTest : public ::testing::Test {
 protected:
  void SetUp() override { SetupPrintingChannel(&messenger_, slot_, services_.services); }

  runner::testing::TestServices services_;
  RecordingMessenger messenger_;
  std::unique_ptr<Channel> slot_;
};

TEST_F(PrintingChannelTest, SetupLogsOneLineAndRegistersTheChannel) {
  std::unique_ptr<Channel> slot;
  RecordingMessenger messenger;
  ::testing::internal::CaptureStderr();
  SetupPrintingChannel(&messenger, slot, services_.services);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "DEBUG: SetupPrintingChannel called\n");
  EXPECT_NE(slot, nullptr);
  EXPECT_TRUE(messenger.HasHandler("printing_channel"));
  EXPECT_EQ(messenger.handler_count(), 1u);
}

TEST_F(PrintingChannelTest, EveryKnownNameReachesItsHandlerAndIsAnsweredOnce) {
  // An empty argument map is refused or served by each method's own handler: none is left unimplemented.
  ::testing::internal::CaptureStderr();
  for (const std::string& name : kMethodNames) {
    auto answer = messenger_.Call("printing_channel", name, std::make_unique<EncodableValue>(EncodableMap{}));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->replies, 1) << name;
    EXPECT_NE(answer->kind, runner::testing::Answer::Kind::kNotImplemented) << name;
  }
  ::testing::internal::GetCapturedStderr();
}

TEST_F(PrintingChannelTest, NearMissesAnswerNotImplementedSilentlyAndLaterCallsStillWork) {
  for (const std::string name : {"getPrinters", "GetPrintersWindows", "getprinterswindows",
                                 "getPrintersWindowsX", "", "unknownMethod"}) {
    ::testing::internal::CaptureStderr();
    auto answer = messenger_.Call("printing_channel", name);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << name;
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->not_implemented()) << name;
  }
  auto later = messenger_.Call("printing_channel", "getColorProfiles");
  ASSERT_TRUE(later);
  EXPECT_EQ(later->replies, 1);
}

TEST_F(PrintingChannelTest, SecondSetupLeavesOneWorkingChannel) {
  Channel* first = slot_.get();
  ::testing::internal::CaptureStderr();
  SetupPrintingChannel(&messenger_, slot_, services_.services);
  ::testing::internal::GetCapturedStderr();
  EXPECT_NE(slot_.get(), first);
  EXPECT_EQ(messenger_.handler_count(), 1u);
  auto answer = messenger_.Call("printing_channel", "getAvailablePrinters");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->replies, 1);
  EXPECT_EQ(answer->kind, runner::testing::Answer::Kind::kSuccess);
}

TEST(DispatchMethodCall, RoutesToTheHandlerAndSharedHandlersAnswerAlike) {
  // A table like the channel's, with one handler bound to two names (as the printer and grid pairs are).
  std::vector<std::string> seen;
  MethodHandler shared = [&seen](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    seen.push_back(call.method_name());
    result->Success(EncodableValue(int32_t{7}));
  };
  const std::vector<MethodEntry> table = {{"getPrintersWindows", shared}, {"getAvailablePrinters", shared},
                                          {"noHandlerYet", MethodHandler()}};
  RecordingMessenger messenger;
  std::unique_ptr<Channel> slot;
  InstallChannel(&messenger, "test_channel", table, slot);

  auto a = messenger.Call("test_channel", "getPrintersWindows");
  auto b = messenger.Call("test_channel", "getAvailablePrinters");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->kind, runner::testing::Answer::Kind::kSuccess);
  EXPECT_EQ(a->value, EncodableValue(int32_t{7}));
  EXPECT_EQ(a->value, b->value);
  EXPECT_EQ(seen, (std::vector<std::string>{"getPrintersWindows", "getAvailablePrinters"}));
  EXPECT_TRUE(messenger.Call("test_channel", "noHandlerYet")->not_implemented());
  EXPECT_TRUE(messenger.Call("test_channel", "getAvailablePrinter")->not_implemented());
  EXPECT_EQ(seen.size(), 2u);
}

TEST(DispatchMethodCall, AHandlerMayKeepTheResultAndAnswerLater) {
  std::unique_ptr<MethodResult> kept;
  const std::vector<MethodEntry> table = {
      {"later", [&kept](const MethodCall&, std::unique_ptr<MethodResult> result) { kept = std::move(result); }}};
  RecordingMessenger messenger;
  std::unique_ptr<Channel> slot;
  InstallChannel(&messenger, "test_channel", table, slot);
  auto answer = messenger.CallWithoutWaiting("test_channel", "later");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->replies, 0);
  ASSERT_NE(kept, nullptr);
  kept->Success(EncodableValue("done"));
  kept.reset();
  EXPECT_EQ(answer->replies, 1);
  EXPECT_EQ(answer->value, EncodableValue("done"));
}

}  // namespace
}  // namespace runner::printing
