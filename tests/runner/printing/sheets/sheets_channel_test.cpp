// The four sheet methods through printing_channel: blocking answers, background numbering, polling before
// and after the end, delivery once, bad job numbers, and jobs running at once on their own job files.
#include "runner/printing/sheets/sheets_channel.h"

#include <condition_variable>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "helper/grid_job.h"
#include "runner/printing/printing_channel.h"
#include "tests/runner/recording_messenger.h"
#include "tests/runner/test_services.h"
#include "tests/support/waiting.h"

namespace runner::printing {
namespace {

using V = EncodableValue;
using runner::testing::Answer;

constexpr char kHelper[] = "/app/mosalith";

EncodableMap Arguments(const std::string& output) {
  return EncodableMap{
      {V("imagePaths"), V(EncodableList{V("/p/a.jpg")})},
      {V("outputPaths"), V(EncodableList{V(output)})},
      {V("rows"), V(int32_t{1})},
      {V("columns"), V(int32_t{1})},
      {V("pageWidth"), V(int32_t{100})},
      {V("pageHeight"), V(int32_t{100})},
      {V("marginLeft"), V(int32_t{0})},
      {V("marginRight"), V(int32_t{0})},
      {V("marginTop"), V(int32_t{0})},
      {V("marginBottom"), V(int32_t{0})},
  };
}

using test_support::Gate;  // the fake helper waits at it until the test opens it

class SheetMethodsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services_.files.AddFile(kHelper, {});
    services_.services.mosalith_path = kHelper;
    services_.services.process_id = 77;
    ::testing::internal::CaptureStderr();
    SetupPrintingChannel(&messenger_, slot_, services_.services);
  }
  void TearDown() override {
    gate_.Open();  // a failed assertion must not leave a job waiting for ever
    services_.threads.JoinAll();
    ::testing::internal::GetCapturedStderr();
  }

  std::shared_ptr<const Answer> Call(const std::string& method, V arguments) {
    return messenger_.Call("printing_channel", method, std::make_unique<V>(std::move(arguments)));
  }
  // Polls until the job reports completed (at most ten seconds); the completing answer.
  std::shared_ptr<const Answer> PollUntilCompleted(int32_t job_id) {
    for (int attempt = 0; attempt < 10000; ++attempt) {
      auto answer = Call("checkGridJobStatus", V(job_id));
      if (answer->kind != Answer::Kind::kSuccess) return answer;
      const auto& map = std::get<EncodableMap>(answer->value);
      if (std::get<bool>(map.at(V("completed")))) return answer;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ADD_FAILURE() << "job " << job_id << " never completed";
    return nullptr;
  }
  // The outputs of the job file the fake helper was given.
  std::vector<std::string> OutputsOf(const std::string& job_file) {
    const std::optional<std::vector<uint8_t>> bytes = services_.files.Contents(job_file);
    mosalith::GridJob job;
    if (!bytes || !mosalith::ParseGridJob(std::string(bytes->begin(), bytes->end()), job).ok()) return {};
    return job.outputs;
  }

  Gate gate_;
  runner::testing::TestServices services_;
  runner::testing::RecordingMessenger messenger_;
  std::unique_ptr<Channel> slot_;
};

TEST_F(SheetMethodsTest, BlockingMethodsAnswerTrueOrTheJobsFailure) {
  for (const char* method : {"createGridImages", "createGridImagesFast"}) {
    auto answer = Call(method, V(Arguments("/o/1.jpg")));
    EXPECT_EQ(answer->kind, Answer::Kind::kSuccess) << method;
    EXPECT_EQ(answer->value, V(true));
    EXPECT_EQ(answer->replies, 1);
  }
  EncodableMap hostile = Arguments("/o/1.jpg\n[images]");
  auto refused = Call("createGridImages", V(hostile));
  EXPECT_EQ(refused->error_code, "GRID_ERROR");
  EXPECT_EQ(refused->error_message, "Failed to create config file");
  EXPECT_TRUE(refused->value.IsNull());

  auto not_a_map = Call("createGridImagesFast", V(EncodableList{}));
  EXPECT_EQ(not_a_map->error_message, "Expected map of arguments");
  EncodableMap missing = Arguments("/o/1.jpg");
  missing.erase(V("outputPaths"));
  EXPECT_EQ(Call("createGridImages", V(missing))->error_message, "Missing required parameters");
}

TEST_F(SheetMethodsTest, PagesBeyondTheBudgetAndEmptyOutputsAreAnsweredAtOnceByEveryMethod) {
  EncodableMap huge = Arguments("/o/1.jpg");
  huge[V("pageWidth")] = V(int32_t{32767});
  huge[V("pageHeight")] = V(int32_t{32767});
  for (const char* method : {"createGridImages", "createGridImagesFast", "createGridImagesFastAsync"}) {
    auto answer = Call(method, V(huge));
    EXPECT_EQ(answer->error_code, "GRID_ERROR") << method;
    EXPECT_EQ(answer->error_message, "Invalid page size 32767x32767") << method;
    EXPECT_EQ(Call(method, V(Arguments("")))->error_message, "Empty output path at index 0") << method;
  }
  EXPECT_TRUE(services_.processes.calls().empty());  // no helper, no job file
  EXPECT_EQ(services_.files.Files(), std::vector<std::string>{kHelper});
}

TEST_F(SheetMethodsTest, AnExceptionInTheBlockingJobIsAnsweredOnce) {
  services_.processes.SetBehaviour([](const std::string&, const std::vector<std::string>&) -> platform::ProcessOutcome {
    throw std::runtime_error("no more descriptors");
  });
  auto answer = Call("createGridImages", V(Arguments("/o/1.jpg")));
  EXPECT_EQ(answer->replies, 1);
  EXPECT_EQ(answer->error_code, "GRID_ERROR");
  EXPECT_EQ(answer->error_message, "no more descriptors");
}

TEST_F(SheetMethodsTest, BackgroundJobsAreNumberedPolledAndDeliveredOnce) {
  Gate& gate = gate_;
  services_.processes.SetBehaviour([&](const std::string&, const std::vector<std::string>&) {
    gate.Wait();
    platform::ProcessOutcome outcome = platform::ExitedWith(0);
    // The helper names each photo it could not use; the poll hands them on beside the job's own keys.
    outcome.output = "Mosalith: Photo 1 skipped (/p/b.gif): unsupported format GIF\n"
                     "Mosalith: Frame 0 skipped (/p/f.png): file not found\n"
                     "Mosalith: Photo 0 skipped (/p/a (1).jpg): damaged data\nOK\n";
    return outcome;
  });
  // Argument errors are answered before a number is taken.
  EXPECT_EQ(Call("createGridImagesFastAsync", V(EncodableMap{}))->error_message, "Missing required parameters");
  auto first = Call("createGridImagesFastAsync", V(Arguments("/o/1.jpg")));
  ASSERT_EQ(first->kind, Answer::Kind::kSuccess);
  EXPECT_EQ(first->value, V(int32_t{1}));

  auto running = Call("checkGridJobStatus", V(int32_t{1}));
  ASSERT_EQ(running->kind, Answer::Kind::kSuccess);
  EXPECT_EQ(running->value, V(EncodableMap{{V("completed"), V(false)}}));
  EXPECT_EQ(services_.grid_jobs.size(), 1u);

  gate.Open();
  auto done = PollUntilCompleted(1);
  ASSERT_TRUE(done);
  const auto& map = std::get<EncodableMap>(done->value);
  EXPECT_EQ(map.size(), 5u);
  EXPECT_EQ(map.at(V("success")), V(true));
  EXPECT_EQ(map.at(V("failedImages")),
            V(EncodableList{V(EncodableMap{{V("index"), V(int32_t{0})}, {V("reason"), V("damaged data")}}),
                            V(EncodableMap{{V("index"), V(int32_t{1})}, {V("reason"), V("unsupported format GIF")}})}));
  EXPECT_EQ(map.at(V("errorMessage")), V(std::string()));
  EXPECT_TRUE(std::holds_alternative<int32_t>(map.at(V("totalTimeMs"))));

  auto again = Call("checkGridJobStatus", V(int32_t{1}));
  EXPECT_EQ(again->error_code, "JOB_NOT_FOUND");
  EXPECT_EQ(again->error_message, "Job ID not found: 1");
  EXPECT_EQ(Call("createGridImagesFastAsync", V(Arguments("/o/2.jpg")))->value, V(int32_t{2}));
}

TEST_F(SheetMethodsTest, PollsWithAnythingButAnInt32AreRefused) {
  for (V id : {V("1"), V(int64_t{1}), V(1.0), V(EncodableMap{})}) {
    auto answer = Call("checkGridJobStatus", id);
    EXPECT_EQ(answer->error_code, "INVALID_ARGUMENTS");
    EXPECT_EQ(answer->error_message, "Expected job ID as integer");
  }
  EXPECT_EQ(messenger_.Call("printing_channel", "checkGridJobStatus")->error_message, "Expected job ID as integer");
  EXPECT_EQ(Call("checkGridJobStatus", V(int32_t{-7}))->error_message, "Job ID not found: -7");
}

TEST_F(SheetMethodsTest, AJobThatThrowsCompletesWithTheExceptionsText) {
  services_.processes.SetBehaviour([](const std::string&, const std::vector<std::string>&) -> platform::ProcessOutcome {
    throw std::runtime_error("helper pipe lost");
  });
  auto started = Call("createGridImagesFastAsync", V(Arguments("/o/1.jpg")));
  ASSERT_EQ(started->kind, Answer::Kind::kSuccess);
  auto done = PollUntilCompleted(std::get<int32_t>(started->value));
  ASSERT_TRUE(done);
  const auto& map = std::get<EncodableMap>(done->value);
  EXPECT_EQ(map.at(V("success")), V(false));
  EXPECT_EQ(map.at(V("errorMessage")), V(std::string("helper pipe lost")));
}

TEST_F(SheetMethodsTest, BlockingAndBackgroundJobsAtOnceEachRunTheirOwnJobFile) {
  Gate& background_may_finish = gate_;
  std::mutex mutex;
  std::vector<std::pair<std::string, std::vector<std::string>>> seen;  // job file, outputs read there
  services_.processes.SetBehaviour([&](const std::string&, const std::vector<std::string>& args) {
    const std::vector<std::string> outputs = OutputsOf(args.at(0));
    {
      std::lock_guard lock(mutex);
      seen.emplace_back(args.at(0), outputs);
    }
    if (outputs == std::vector<std::string>{"/o/background.jpg"}) background_may_finish.Wait();
    return platform::ExitedWith(0);
  });
  auto started = Call("createGridImagesFastAsync", V(Arguments("/o/background.jpg")));
  ASSERT_EQ(started->kind, Answer::Kind::kSuccess);
  // Wait until the background job is inside its helper run, then run a blocking job beside it.
  for (int i = 0; i < 10000; ++i) {
    std::lock_guard lock(mutex);
    if (!seen.empty()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(Call("createGridImages", V(Arguments("/o/blocking.jpg")))->value, V(true));
  background_may_finish.Open();
  auto done = PollUntilCompleted(std::get<int32_t>(started->value));
  ASSERT_TRUE(done);
  EXPECT_EQ(std::get<EncodableMap>(done->value).at(V("success")), V(true));

  ASSERT_EQ(seen.size(), 2u);
  EXPECT_NE(seen[0].first, seen[1].first);
  EXPECT_EQ(seen[0].second, std::vector<std::string>{"/o/background.jpg"});
  EXPECT_EQ(seen[1].second, std::vector<std::string>{"/o/blocking.jpg"});
  EXPECT_EQ(services_.files.Files(), std::vector<std::string>{kHelper});  // both job files removed
}

TEST_F(SheetMethodsTest, TheJobFileCarriesTheStoredColourProfileNeverTheRequests) {
  std::vector<std::string> seen;  // the colorProfile of each job file the helper was given
  services_.processes.SetBehaviour([&](const std::string&, const std::vector<std::string>& args) {
    const std::optional<std::vector<uint8_t>> bytes = services_.files.Contents(args.at(0));
    mosalith::GridJob job;
    if (bytes) mosalith::ParseGridJob(std::string(bytes->begin(), bytes->end()), job);
    seen.push_back(job.colorProfile);
    return platform::ExitedWith(0);
  });
  EncodableMap arguments = Arguments("/o/1.jpg");
  arguments[V("colorProfile")] = V("no_conversion");  // not a sheet argument: ignored
  EXPECT_EQ(Call("createGridImages", V(arguments))->value, V(true));
  for (const char* selection : {"adobe_rgb", "custom:/p/Printer.icc", "abc", "no_conversion"}) {
    Call("setSelectedColorProfile", V(EncodableMap{{V("profileId"), V(selection)}}));
    EXPECT_EQ(Call("createGridImagesFast", V(arguments))->value, V(true));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"srgb", "adobe_rgb", "custom:/p/Printer.icc", "srgb", "no_conversion"}));
}

TEST_F(SheetMethodsTest, EightBackgroundJobsRunTwoAtATimeAndEveryOneCompletes) {
  std::atomic<int> inside{0};
  std::atomic<int> most_inside{0};
  Gate& two_inside = gate_;
  services_.processes.SetBehaviour([&](const std::string&, const std::vector<std::string>&) {
    const int now = ++inside;
    int most = most_inside.load();
    while (now > most && !most_inside.compare_exchange_weak(most, now)) {
    }
    if (now == 2) two_inside.Open();
    two_inside.Wait();  // the first two wait for each other: two run together
    --inside;
    return platform::ExitedWith(0);
  });
  std::set<int32_t> ids;
  for (int i = 0; i < 8; ++i) {
    auto started = Call("createGridImagesFastAsync", V(Arguments("/o/" + std::to_string(i) + ".jpg")));
    ASSERT_EQ(started->kind, Answer::Kind::kSuccess);
    ids.insert(std::get<int32_t>(started->value));
  }
  EXPECT_EQ(ids, (std::set<int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  for (int32_t id : ids) {
    auto done = PollUntilCompleted(id);
    ASSERT_TRUE(done);
    EXPECT_EQ(std::get<EncodableMap>(done->value).at(V("success")), V(true));
  }
  std::set<std::string> job_files;
  for (const auto& call : services_.processes.calls()) job_files.insert(call.arguments.at(0));
  EXPECT_EQ(job_files.size(), 8u);
  EXPECT_EQ(services_.grid_jobs.size(), 0u);
  EXPECT_EQ(most_inside.load(), 2);
}

TEST_F(SheetMethodsTest, ABlockingJobWaitsItsTurnBehindTwoRunningJobsWithoutHoldingUpTheCaller) {
  std::atomic<int> runs{0};
  services_.processes.SetBehaviour([&](const std::string&, const std::vector<std::string>&) {
    ++runs;
    gate_.Wait();
    return platform::ExitedWith(0);
  });
  auto first = Call("createGridImagesFastAsync", V(Arguments("/o/1.jpg")));
  auto second = Call("createGridImagesFastAsync", V(Arguments("/o/2.jpg")));
  // The blocking method's handler returns at once; its answer comes when its turn has come and gone.
  auto blocking = messenger_.CallWithoutWaiting("printing_channel", "createGridImages",
                                                std::make_unique<V>(V(Arguments("/o/3.jpg"))));
  {
    std::lock_guard lock(blocking->mutex);
    EXPECT_EQ(blocking->replies, 0);
  }
  for (int i = 0; i < 1000 && runs < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(runs.load(), 2);  // the third waits for a free turn
  EXPECT_EQ(Call("checkGridJobStatus", V(std::get<int32_t>(first->value)))->value,
            V(EncodableMap{{V("completed"), V(false)}}));
  gate_.Open();
  ASSERT_TRUE(PollUntilCompleted(std::get<int32_t>(second->value)));
  for (int i = 0; i < 5000; ++i) {
    {
      std::lock_guard lock(blocking->mutex);
      if (blocking->replies > 0) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::lock_guard lock(blocking->mutex);
  EXPECT_EQ(blocking->replies, 1);
  EXPECT_EQ(blocking->value, V(true));
  EXPECT_EQ(runs.load(), 3);
}

TEST_F(SheetMethodsTest, NumbersContinueAcrossASecondChannelSetup) {
  EXPECT_EQ(Call("createGridImagesFastAsync", V(Arguments("/o/1.jpg")))->value, V(int32_t{1}));
  SetupPrintingChannel(&messenger_, slot_, services_.services);
  EXPECT_EQ(Call("createGridImagesFastAsync", V(Arguments("/o/2.jpg")))->value, V(int32_t{2}));
}


TEST_F(SheetMethodsTest, AFailedHelperFollowedByASuccessfulFallbackReportsSuccess) {
  services_.processes.SetOutcome(platform::ExitedWith(1, "Mosalith: Failed to parse config\n"));
  services_.graphics.AddPicture("/p/a.jpg", *imaging::MakeBitmap(40, 40, 0xFFFF0000));
  services_.files.AddFolder("/o");
  EXPECT_EQ(Call("createGridImages", V(Arguments("/o/blocking.jpg")))->value, V(true));
  auto started = Call("createGridImagesFastAsync", V(Arguments("/o/background.jpg")));
  auto done = PollUntilCompleted(std::get<int32_t>(started->value));
  ASSERT_TRUE(done);
  EXPECT_EQ(std::get<EncodableMap>(done->value).at(V("success")), V(true));
  EXPECT_TRUE(services_.files.Exists("/o/blocking.jpg"));
  EXPECT_TRUE(services_.files.Exists("/o/background.jpg"));
  // Without the output folder the fallback cannot save: the failure reaches the interface.
  auto failed = Call("createGridImages", V(Arguments("/nowhere/x.jpg")));
  EXPECT_EQ(failed->error_code, "GRID_ERROR");
  EXPECT_EQ(failed->error_message, "Failed to save grid image: /nowhere/x.jpg");
}

}  // namespace
}  // namespace runner::printing
