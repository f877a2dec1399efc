// Tests for the CUPS spooler against a private scheduler started by the tests (cups_sandbox.sh): queues
// with a capture backend, the user's settings in a home folder inside the sandbox. Skipped, with the
// reason, where cupsd cannot run.
#include "platform/cups/cups_spooler.h"

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/cairo/cairo_graphics.h"
#include "platform/fake/fake_settings_store.h"
#include "platform/paper/paper_numbers.h"
#include "runner/printing/printers/paper_setter.h"
#include "runner/printing/printers/print_job.h"
#include "runner/printing/printers/printer_directory.h"
#include "runner/printing/printers/settings_record.h"

namespace platform {
namespace {

std::string g_dir;
std::string g_skip;

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The device `opened` holds, or null when it failed.
std::unique_ptr<PrintDevice> Opened(base::StatusOr<std::unique_ptr<PrintDevice>> opened) {
  return opened.ok() ? std::move(opened).value() : nullptr;
}

int CountOf(const std::string& text, const std::string& word) {
  int count = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
  return count;
}

// The captured document of job `id`, once the backend has written it (10 s at most).
std::string CapturedJob(int id, const char* suffix = ".pdf") {
  const std::string path = g_dir + "/out/job-" + std::to_string(id) + suffix;
  for (int i = 0; i < 200; ++i) {
    struct stat st {};
    if (::stat((g_dir + "/out/job-" + std::to_string(id) + ".pdf").c_str(), &st) == 0) return ReadText(path);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return {};
}

int JobStateOf(int id) {
  for (int wait = 0; wait < 100; ++wait) {
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    int state = 0;
    for (int i = 0; i < count; ++i) {
      if (jobs[i].id == id) state = jobs[i].state;
    }
    cupsFreeJobs(count, jobs);
    if (state >= IPP_JSTATE_STOPPED) return state;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return 0;
}

class CupsSpoolerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/pictavera-cups-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
      g_skip = "no temporary folder";
      return;
    }
    g_dir = pattern;
    const std::string command = std::string(PICTAVERA_CUPS_SANDBOX) + " start " + g_dir + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    const int status = pipe ? ::pclose(pipe) : -1;
    if (status != 0 || output.find("export CUPS_SERVER=") == std::string::npos) {
      g_skip = "the private CUPS scheduler did not start: " + output;
      return;
    }
    // libcups reads these on every thread; nothing here talks to the machine's own scheduler or settings.
    ::setenv("CUPS_SERVER", (g_dir + "/cups.sock").c_str(), 1);
    ::setenv("CUPS_SERVERROOT", (g_dir + "/client").c_str(), 1);
    ::setenv("HOME", (g_dir + "/home").c_str(), 1);
    ::setenv("PICTAVERA_PDF_DIR", (g_dir + "/pdf").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (g_dir + "/config").c_str(), 1);
    ::unsetenv("LPDEST");
    ::unsetenv("PRINTER");
  }
  static void TearDownTestSuite() {
    if (g_dir.empty()) return;
    const std::string command = std::string(PICTAVERA_CUPS_SANDBOX) + " stop " + g_dir;
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "sandbox stop failed\n");
    const std::string remove = "rm -rf '" + g_dir + "'";
    if (std::system(remove.c_str()) != 0) std::fprintf(stderr, "sandbox not removed\n");
  }
  void SetUp() override {
    if (!g_skip.empty()) GTEST_SKIP() << g_skip;
  }

  // A JPEG of width x height written into the sandbox.
  std::string Jpeg(const std::string& name, int width, int height) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(graphics_.EncodeJpeg(*imaging::MakeBitmap(width, height, 0xFF3366CC), 90, &bytes), GraphicsStatus::kOk);
    const std::string path = g_dir + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  CupsSpooler spooler_;
  CairoGraphics graphics_;
};

TEST_F(CupsSpoolerTest, ListsQueuesWithTheirDescriptionsAndPapers) {
  const std::vector<PrinterSummary> printers = spooler_.Printers();
  ASSERT_EQ(printers.size(), 2u);
  EXPECT_EQ(printers[0].name, "PV_Office");
  EXPECT_EQ(printers[0].comment, "Office capture");
  EXPECT_FALSE(printers[0].offline);
  EXPECT_TRUE(spooler_.HasPrinter("pv_photo"));  // names are case-insensitive in CUPS
  EXPECT_FALSE(spooler_.HasPrinter("PictaVera PDF"));

  const std::optional<std::vector<Paper>> papers = spooler_.Papers("PV_Photo");
  ASSERT_TRUE(papers);
  ASSERT_EQ(papers->size(), 6u);
  std::vector<uint16_t> ids;
  for (const Paper& paper : *papers) ids.push_back(paper.id);
  const uint16_t borderless = (*papers)[1].id;
  EXPECT_EQ(ids, (std::vector<uint16_t>{74, borderless, 70, 122, 9, 1}));
  EXPECT_GT(borderless, 256);  // a number of its own, so that it can be chosen
  EXPECT_EQ((*papers)[1].label, "4x6 (Borderless)");
  EXPECT_TRUE((*papers)[1].borderless);
  EXPECT_EQ((*papers)[1].margin_left_hundredths_mm + (*papers)[1].margin_bottom_hundredths_mm, 0);
  // The printer description's 12 pt margins on A4, 9 pt on 4x6.
  EXPECT_EQ((*papers)[4].margin_left_hundredths_mm, 423);
  EXPECT_EQ((*papers)[4].margin_top_hundredths_mm, 423);
  EXPECT_EQ((*papers)[0].margin_right_hundredths_mm, 318);
  EXPECT_FALSE((*papers)[0].borderless);
  // A4 in points rounds to 209.9 x 297.04 mm; the known size is exact.
  EXPECT_EQ((*papers)[4].width_tenths_mm, 2100);
  EXPECT_EQ((*papers)[4].height_tenths_mm, 2970);
  EXPECT_EQ((*papers)[5].width_tenths_mm, 2159);
  EXPECT_FALSE(spooler_.Papers("Nowhere"));
}

TEST_F(CupsSpoolerTest, AnUnknownPrinterIsRefusedByEveryQuestionAndByAJob) {
  PrintSettings settings = *spooler_.CurrentSettings("PV_Photo");
  EXPECT_FALSE(spooler_.CurrentSettings("Nowhere"));
  EXPECT_FALSE(spooler_.CurrentSettings(""));
  EXPECT_TRUE(spooler_.ValidateSettings("Nowhere", &settings).Is(base::Status::Code::kNotFound));
  PrintSettings no_paper = settings;
  no_paper.fields &= ~kFieldPaperSize;
  // The printer first, then the paper.
  EXPECT_TRUE(spooler_.ValidateSettings("Nowhere", &no_paper).Is(base::Status::Code::kNotFound));
  const base::Status stored = spooler_.StoreSettings("Nowhere", settings);
  EXPECT_TRUE(stored.Is(base::Status::Code::kNotFound));
  EXPECT_EQ(stored.system_error(), ENOENT);
  const base::StatusOr<std::unique_ptr<PrintDevice>> device = spooler_.OpenDevice("Nowhere", settings);
  EXPECT_TRUE(device.status().Is(base::Status::Code::kNotFound));
  EXPECT_EQ(device.status().system_error(), ENOENT);
  EXPECT_TRUE(spooler_.SetDefaultPrinter("Nowhere").Is(base::Status::Code::kNotFound));
}

TEST_F(CupsSpoolerTest, DefaultPrinterAndSettingsLiveInTheUsersOwnOptions) {
  ASSERT_TRUE(spooler_.SetDefaultPrinter("pv_photo").ok());
  EXPECT_EQ(spooler_.DefaultPrinter(), "PV_Photo");
  EXPECT_FALSE(spooler_.SetDefaultPrinter("Nowhere").ok());
  EXPECT_EQ(spooler_.DefaultPrinter(), "PV_Photo");

  // A landscape request stores the paper only: the orientation would reach every other program's jobs.
  EXPECT_TRUE(runner::printing::SetPrinterPaperSize(spooler_, "PV_Photo", 148, 105));
  std::optional<PrintSettings> settings = spooler_.CurrentSettings("PV_Photo");
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->paper_id, 70);
  EXPECT_EQ(settings->orientation, kOrientationPortrait);
  const std::string lpoptions = ReadText(g_dir + "/home/.cups/lpoptions");
  EXPECT_NE(lpoptions.find("Default PV_Photo"), std::string::npos) << lpoptions;
  EXPECT_NE(lpoptions.find("media=iso_a6_105x148mm"), std::string::npos) << lpoptions;
  EXPECT_EQ(lpoptions.find("orientation-requested"), std::string::npos) << lpoptions;
  EXPECT_EQ(lpoptions.find("copies"), std::string::npos) << lpoptions;

  // The record round trip: current settings -> record -> settings -> record, byte for byte.
  const std::vector<uint8_t> record = runner::printing::EncodeSettingsRecord("PV_Photo", *settings);
  EXPECT_EQ(runner::printing::EncodeSettingsRecord("PV_Photo", runner::printing::DecodeSettingsRecord(record)), record);
  EXPECT_EQ(runner::printing::SummarisePaper(record).id, "A6");

  // By name, then a size the printer has no paper for (it takes no sizes of its own).
  EXPECT_TRUE(runner::printing::SetPrinterPaperSize(spooler_, "PV_Photo", std::string("5x7")));
  EXPECT_EQ(spooler_.CurrentSettings("PV_Photo")->paper_id, 122);
  EXPECT_FALSE(runner::printing::SetPrinterPaperSize(spooler_, "PV_Photo", 300, 300));
  EXPECT_EQ(spooler_.CurrentSettings("PV_Photo")->paper_id, 122);
  EXPECT_NE(ReadText(g_dir + "/home/.cups/lpoptions").find("Default PV_Photo"), std::string::npos);
}

TEST_F(CupsSpoolerTest, ADefaultThatTheEnvironmentOverridesIsNotReportedAsSet) {
  ::setenv("LPDEST", "PV_Office", 1);
  EXPECT_FALSE(spooler_.SetDefaultPrinter("PV_Photo").ok());
  EXPECT_EQ(spooler_.DefaultPrinter(), "PV_Office");
  ::unsetenv("LPDEST");
  EXPECT_EQ(spooler_.DefaultPrinter(), "PV_Photo");
}

TEST_F(CupsSpoolerTest, ConcurrentPaperChangesNeverLoseTheDefaultOrCorruptTheOptions) {
  ASSERT_TRUE(spooler_.SetDefaultPrinter("PV_Office").ok());
  std::atomic<int> failures{0};
  auto worker = [&](const char* printer, int w1, int h1, int w2, int h2) {
    for (int i = 0; i < 40; ++i) {
      const bool first = i % 2 == 0;
      if (!runner::printing::SetPrinterPaperSize(spooler_, printer, first ? w1 : w2, first ? h1 : h2)) ++failures;
    }
  };
  ::testing::internal::CaptureStderr();
  std::thread photo(worker, "PV_Photo", 105, 148, 127, 178);
  std::thread office(worker, "PV_Office", 210, 297, 216, 279);
  photo.join();
  office.join();
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(failures.load(), 0);
  const std::string lpoptions = ReadText(g_dir + "/home/.cups/lpoptions");
  EXPECT_NE(lpoptions.find("Default PV_Office"), std::string::npos) << lpoptions;
  EXPECT_EQ(spooler_.DefaultPrinter(), "PV_Office");
  // The last writer of each printer wins.
  EXPECT_EQ(spooler_.CurrentSettings("PV_Photo")->paper_id, 122);
  EXPECT_EQ(spooler_.CurrentSettings("PV_Office")->paper_id, 1);
}

TEST_F(CupsSpoolerTest, TheBuiltInPrinterAsDefaultLeavesTheUsersOptionsAlone) {
  ASSERT_TRUE(spooler_.SetDefaultPrinter("PV_Office").ok());
  const std::string before = ReadText(g_dir + "/home/.cups/lpoptions");
  class NoFiles : public PdfPrinter {
   public:
    base::StatusOr<std::unique_ptr<PrintDevice>> OpenDevice(const PdfPage&) override {
      return base::Status::IoError("no files").WithSystemError(EIO);
    }
  } pdf;
  FakeSettingsStore pdf_state;
  runner::printing::PrinterDirectory with_pdf(&spooler_, &pdf, &pdf_state);
  EXPECT_TRUE(with_pdf.SetDefaultPrinter("PictaVera PDF").ok());
  EXPECT_EQ(with_pdf.DefaultPrinter(), "PictaVera PDF");
  EXPECT_EQ(ReadText(g_dir + "/home/.cups/lpoptions"), before);
  EXPECT_EQ(spooler_.DefaultPrinter(), "PV_Office");
}

TEST_F(CupsSpoolerTest, PrintsOnePdfPagePerImageWithThePaperAndExactScaling) {
  const std::string land = Jpeg("land.jpg", 300, 200);
  const std::string port = Jpeg("port.jpg", 200, 300);
  runner::printing::PrintJobRequest request;
  request.image_paths = {land, g_dir + "/missing.jpg", port};
  request.printer_name = "PV_Office";
  request.paper_width_mm = 210;
  request.paper_height_mm = 297;
  ::testing::internal::CaptureStderr();
  const auto failure = runner::printing::PrintWithLayoutWindows(request, spooler_, graphics_, nullptr);
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_FALSE(failure) << static_cast<int>(*failure) << log;
  cups_job_t* jobs = nullptr;
  const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, "PV_Office", 0, CUPS_WHICHJOBS_ALL);
  ASSERT_GT(count, 0);
  int id = 0;
  for (int i = 0; i < count; ++i) id = std::max(id, jobs[i].id);
  cupsFreeJobs(count, jobs);
  const std::string pdf = CapturedJob(id);
  EXPECT_EQ(CountOf(pdf, "/Type /Page\n") + CountOf(pdf, "/Type /Page "), 2) << pdf.size();
  EXPECT_NE(pdf.find("/DCTDecode"), std::string::npos);  // the JPEGs as stored
  const std::string options = CapturedJob(id, ".options");
  EXPECT_EQ(options.substr(0, options.find('\n')), "PV_Office");
  EXPECT_NE(options.find("media=iso_a4_210x297mm"), std::string::npos) << options;
  EXPECT_NE(options.find("print-scaling=none"), std::string::npos) << options;
  EXPECT_NE(options.find("document-name-supplied=PictaVera\\ Print"), std::string::npos) << options;
}

// A spooler whose devices cancel their job from a second connection after `cancel_after` pages.
class CancellingSpooler : public CupsSpooler {
 public:
  explicit CancellingSpooler(int cancel_after) : cancel_after_(cancel_after) {}
  int job_id = 0;

  base::StatusOr<std::unique_ptr<PrintDevice>> OpenDevice(const std::string& name,
                                                          const PrintSettings& settings) override {
    class Device : public PrintDevice {
     public:
      Device(std::unique_ptr<PrintDevice> inner, CancellingSpooler* owner, std::string printer)
          : inner_(std::move(inner)), owner_(owner), printer_(std::move(printer)) {}
      DeviceGeometry Geometry() const override { return inner_->Geometry(); }
      base::StatusOr<int> StartDoc(const std::string& title) override {
        base::StatusOr<int> job = inner_->StartDoc(title);
        if (job.ok()) owner_->job_id = *job;
        return job;
      }
      base::Status StartPage() override { return inner_->StartPage(); }
      DrawResult DrawPicture(const PagePicture& picture, const RectF& dest) override {
        return inner_->DrawPicture(picture, dest);
      }
      base::Status EndPage() override {
        base::Status status = inner_->EndPage();
        if (++pages_ == owner_->cancel_after_) {
          http_t* other = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1,
                                       30000, nullptr);
          cupsCancelJob2(other, printer_.c_str(), owner_->job_id, 0);
          httpClose(other);
        }
        return status;
      }
      base::Status EndDoc() override { return inner_->EndDoc(); }
      void AbortDoc() override { inner_->AbortDoc(); }

     private:
      std::unique_ptr<PrintDevice> inner_;
      CancellingSpooler* owner_;
      std::string printer_;
      int pages_ = 0;
    };
    base::StatusOr<std::unique_ptr<PrintDevice>> inner = CupsSpooler::OpenDevice(name, settings);
    if (!inner.ok()) return inner;
    return std::unique_ptr<PrintDevice>(std::make_unique<Device>(std::move(inner).value(), this, name));
  }

 private:
  int cancel_after_;
};

TEST_F(CupsSpoolerTest, AJobCancelledAfterTwoOfFivePagesAnswersTrue) {
  const std::string image = Jpeg("page.jpg", 200, 300);
  CancellingSpooler cancelling(2);
  runner::printing::PrintJobRequest request;
  request.image_paths.assign(5, image);
  request.printer_name = "PV_Office";
  ::testing::internal::CaptureStderr();
  const auto failure = runner::printing::PrintWithLayoutWindows(request, cancelling, graphics_, nullptr);
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_FALSE(failure) << log;
  EXPECT_NE(log.find("DEBUG: StartPage failed for page 3"), std::string::npos) << log;
  EXPECT_NE(log.find("DEBUG: Print job aborted (user cancelled) after 2 successful pages"), std::string::npos);
  EXPECT_EQ(JobStateOf(cancelling.job_id), IPP_JSTATE_CANCELED);
}

TEST_F(CupsSpoolerTest, NoLoadablePageMakesNoJobAndAnUnfinishedDeviceCancelsItsJob) {
  runner::printing::PrintJobRequest request;
  request.image_paths = {g_dir + "/missing.jpg"};
  request.printer_name = "PV_Office";
  CancellingSpooler watching(0);
  ::testing::internal::CaptureStderr();
  const auto failure = runner::printing::PrintWithLayoutWindows(request, watching, graphics_, nullptr);
  ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(failure);
  EXPECT_EQ(*failure, runner::printing::PrintFailure::kNoPagePrinted);
  EXPECT_EQ(JobStateOf(watching.job_id), IPP_JSTATE_CANCELED);
  struct stat st {};
  EXPECT_NE(::stat((g_dir + "/out/job-" + std::to_string(watching.job_id) + ".pdf").c_str(), &st), 0);

  // A device dropped in the middle of its job (the window closing) cancels it: never left held.
  std::unique_ptr<PrintDevice> device = Opened(spooler_.OpenDevice("PV_Photo", *spooler_.CurrentSettings("PV_Photo")));
  ASSERT_TRUE(device);
  const int job = device->StartDoc("PictaVera Print").value();
  ASSERT_GT(job, 0);
  ASSERT_TRUE(device->StartPage().ok());
  ASSERT_TRUE(device->EndPage().ok());
  device.reset();
  EXPECT_EQ(JobStateOf(job), IPP_JSTATE_CANCELED);
}

TEST_F(CupsSpoolerTest, TheClosingCancelsJobsStillBeingSentAndLeavesFinishedOnesAlone) {
  std::unique_ptr<PrintDevice> finished =
      Opened(spooler_.OpenDevice("PV_Office", *spooler_.CurrentSettings("PV_Office")));
  ASSERT_TRUE(finished);
  const base::StatusOr<int> done = finished->StartDoc("PictaVera Print");
  ASSERT_TRUE(done.ok()) << done.status().ToString();
  ASSERT_GT(*done, 0);
  ASSERT_TRUE(finished->StartPage().ok());
  ASSERT_TRUE(finished->EndPage().ok());
  ASSERT_TRUE(finished->EndDoc().ok());
  std::unique_ptr<PrintDevice> sending = Opened(spooler_.OpenDevice("PV_Photo", *spooler_.CurrentSettings("PV_Photo")));
  ASSERT_TRUE(sending);
  const int job = sending->StartDoc("PictaVera Print").value();
  ASSERT_GT(job, 0);
  ASSERT_TRUE(sending->StartPage().ok());
  ASSERT_TRUE(sending->EndPage().ok());
  spooler_.CancelActiveJobs();
  EXPECT_EQ(JobStateOf(job), IPP_JSTATE_CANCELED);
  // The job's next page sees it, as a cancel with the job's state as the number.
  const base::Status next = sending->StartPage();
  EXPECT_TRUE(next.Is(base::Status::Code::kCancelled)) << next.ToString();
  EXPECT_EQ(next.system_error(), IPP_JSTATE_CANCELED);
  EXPECT_NE(JobStateOf(*done), IPP_JSTATE_CANCELED);
  sending.reset();
}

TEST_F(CupsSpoolerTest, OverlappingJobsPrintOnTheirOwnQueueAndPaper) {
  const std::string image = Jpeg("overlap.jpg", 200, 300);
  runner::printing::PrinterDirectory printers(&spooler_, nullptr, nullptr);
  std::vector<std::optional<runner::printing::PrintFailure>> results(8);
  std::vector<std::thread> threads;
  ::testing::internal::CaptureStderr();
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      runner::printing::PrintJobRequest request;
      request.image_paths = {image};
      request.printer_name = i % 2 ? "PV_Photo" : "PV_Office";
      request.paper_width_mm = i % 2 ? 105 : 216;
      request.paper_height_mm = i % 2 ? 148 : 279;
      results[i] = runner::printing::PrintWithLayoutWindows(request, printers, graphics_, nullptr);
    });
  }
  for (std::thread& thread : threads) thread.join();
  ::testing::internal::GetCapturedStderr();
  for (const auto& result : results) EXPECT_FALSE(result);
  cups_job_t* jobs = nullptr;
  const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
  std::vector<int> ids;
  for (int i = 0; i < count; ++i) ids.push_back(jobs[i].id);
  cupsFreeJobs(count, jobs);
  std::sort(ids.begin(), ids.end());
  ASSERT_GE(ids.size(), 8u);
  int photo = 0;
  int office = 0;
  for (size_t i = ids.size() - 8; i < ids.size(); ++i) {
    CapturedJob(ids[i]);
    const std::string options = CapturedJob(ids[i], ".options");
    const std::string queue = options.substr(0, options.find('\n'));
    if (queue == "PV_Photo") {
      ++photo;
      EXPECT_NE(options.find("media=iso_a6_105x148mm"), std::string::npos) << options;
    } else {
      ++office;
      EXPECT_EQ(queue, "PV_Office");
      EXPECT_NE(options.find("media=na_letter_8.5x11in"), std::string::npos) << options;
    }
  }
  EXPECT_EQ(photo, 4);
  EXPECT_EQ(office, 4);
}

// Adds `options` to the user's stored options for `printer`, as lpoptions(1) -p PRINTER -o ... would.
void StoreUserOptions(const char* printer, const std::vector<std::pair<const char*, const char*>>& options) {
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  cups_dest_t* dest = cupsGetDest(printer, nullptr, count, dests);
  ASSERT_NE(dest, nullptr);
  for (const auto& [name, value] : options) dest->num_options = cupsAddOption(name, value, dest->num_options, &dest->options);
  ASSERT_EQ(cupsSetDests2(CUPS_HTTP_DEFAULT, count, dests), 0);
  cupsFreeDests(count, dests);
}

// The newest job of `printer`, 0 when it has none.
int NewestJob(const char* printer) {
  cups_job_t* jobs = nullptr;
  const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, printer, 0, CUPS_WHICHJOBS_ALL);
  int id = 0;
  for (int i = 0; i < count; ++i) id = std::max(id, jobs[i].id);
  cupsFreeJobs(count, jobs);
  return id;
}

TEST_F(CupsSpoolerTest, JobsCarryOnlyPictaverasLayoutWhateverTheUserStoredForTheQueue) {
  StoreUserOptions("PV_Office", {{"number-up", "2"}, {"fit-to-page", "true"}, {"mirror", "true"},
                                 {"scaling", "50"}, {"page-ranges", "2"}, {"print-quality", "5"}});
  const std::string image = Jpeg("layout.jpg", 200, 300);
  runner::printing::PrintJobRequest request;
  request.image_paths = {image};
  request.printer_name = "PV_Office";
  request.make_default = false;
  ::testing::internal::CaptureStderr();
  const auto failure = runner::printing::PrintWithLayoutWindows(request, spooler_, graphics_, nullptr);
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_FALSE(failure) << log;
  const int id = NewestJob("PV_Office");
  CapturedJob(id);
  const std::string options = " " + CapturedJob(id, ".options");
  // Booleans arrive in the scheduler's own spelling: "nofit-to-page", "nomirror".
  for (const char* wanted : {" number-up=1", " nofit-to-page", " nomirror", " print-scaling=none",
                             " page-set=all", " print-quality=5", "copies=1\n"}) {
    EXPECT_NE(options.find(wanted), std::string::npos) << wanted << options;
  }
  for (const char* unwanted : {"number-up=2", "fit-to-page=true", "mirror=true", "scaling=50", "page-ranges"}) {
    EXPECT_EQ(options.find(unwanted), std::string::npos) << unwanted << options;
  }
  // The user's own options stay theirs.
  const std::string lpoptions = ReadText(g_dir + "/home/.cups/lpoptions");
  EXPECT_NE(lpoptions.find("number-up=2"), std::string::npos) << lpoptions;
}

TEST_F(CupsSpoolerTest, TheBorderlessPaperIsChosenByNameAndPrintsEdgeToEdge) {
  ::testing::internal::CaptureStderr();
  // By size the bordered paper wins.
  ASSERT_TRUE(runner::printing::SetPrinterPaperSize(spooler_, "PV_Photo", 102, 152));
  const std::vector<Paper> papers = *spooler_.Papers("PV_Photo");
  EXPECT_EQ(spooler_.CurrentSettings("PV_Photo")->paper_id, 74);
  // By name, the borderless variant.
  ASSERT_TRUE(runner::printing::SetPrinterPaperSize(spooler_, "PV_Photo", std::string("4x6 (Borderless)")));
  ::testing::internal::GetCapturedStderr();
  const std::string lpoptions = ReadText(g_dir + "/home/.cups/lpoptions");
  const size_t media = lpoptions.find("media=", lpoptions.find(" PV_Photo"));
  ASSERT_NE(media, std::string::npos) << lpoptions;
  const std::string keyword = lpoptions.substr(media + 6, lpoptions.find_first_of(" \n", media) - media - 6);
  EXPECT_TRUE(IsBorderlessMedia(keyword)) << lpoptions;
  EXPECT_EQ(spooler_.CurrentSettings("PV_Photo")->paper_id, papers[1].id);

  std::unique_ptr<PrintDevice> device = Opened(spooler_.OpenDevice("PV_Photo", *spooler_.CurrentSettings("PV_Photo")));
  ASSERT_TRUE(device);
  const DeviceGeometry geometry = device->Geometry();
  EXPECT_EQ(geometry.offset_x_px, 0);
  EXPECT_EQ(geometry.printable_width_px, geometry.physical_width_px);
  EXPECT_EQ(geometry.paper_name, keyword);
}

TEST_F(CupsSpoolerTest, StoringAPaperUnderLpdestOrPrinterKeepsTheUsersDefaultLine) {
  ASSERT_TRUE(spooler_.SetDefaultPrinter("PV_Office").ok());
  ::testing::internal::CaptureStderr();
  for (const char* variable : {"LPDEST", "PRINTER"}) {
    ::setenv(variable, "PV_Photo", 1);
    EXPECT_TRUE(runner::printing::SetPrinterPaperSize(spooler_, "PV_Photo", 105, 148));
    EXPECT_TRUE(runner::printing::SetPrinterPaperSize(spooler_, "PV_Office", 216, 279));
    ::unsetenv(variable);
    const std::string lpoptions = ReadText(g_dir + "/home/.cups/lpoptions");
    EXPECT_NE(lpoptions.find("Default PV_Office"), std::string::npos) << variable << "\n" << lpoptions;
    EXPECT_EQ(spooler_.DefaultPrinter(), "PV_Office") << variable;
  }
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(spooler_.CurrentSettings("PV_Photo")->paper_id, 70);
}

TEST_F(CupsSpoolerTest, CopiesAreOneJobAndAPaperTheQueueLacksPrintsOnACustomSizeWhereItTakesThem) {
  const std::string image = Jpeg("copies.jpg", 200, 300);
  runner::printing::PrintJobRequest request;
  request.image_paths = {image};
  request.printer_name = "PV_Office";
  request.make_default = false;
  request.copies = 3;
  const int before = NewestJob("PV_Office");
  ::testing::internal::CaptureStderr();
  ASSERT_FALSE(runner::printing::PrintWithLayoutWindows(request, spooler_, graphics_, nullptr));
  ::testing::internal::GetCapturedStderr();
  const int id = NewestJob("PV_Office");
  EXPECT_EQ(id, before + 1);
  CapturedJob(id);
  EXPECT_NE(CapturedJob(id, ".options").find("\ncopies=3\n"), std::string::npos) << CapturedJob(id, ".options");

  // A queue whose printer description takes sizes of its own choosing.
  const std::string ppd = g_dir + "/ppd/pv-custom.ppd";
  std::string text = ReadText(g_dir + "/ppd/pv-test.ppd");
  text += "*VariablePaperSize: True\n*MaxMediaWidth: \"864\"\n*MaxMediaHeight: \"1296\"\n*HWMargins: 9 9 9 9\n"
          "*CustomPageSize True: \"pop pop pop <</PageSize[5 -2 roll]/ImagingBBox null>>setpagedevice\"\n"
          "*ParamCustomPageSize Width: 1 points 36 864\n*ParamCustomPageSize Height: 2 points 36 1296\n"
          "*ParamCustomPageSize WidthOffset: 3 points 0 0\n*ParamCustomPageSize HeightOffset: 4 points 0 0\n"
          "*ParamCustomPageSize Orientation: 5 int 0 3\n";
  std::ofstream(ppd) << text;
  const std::string add = "lpadmin -p PV_Custom -E -v capture:" + g_dir + "/out -P " + ppd + " 2>&1";
  ASSERT_EQ(std::system(add.c_str()), 0);
  request.printer_name = "PV_Custom";
  request.make_default = true;
  request.copies = 0;
  request.paper_width_mm = 120;
  request.paper_height_mm = 170;
  ::testing::internal::CaptureStderr();
  const auto failure = runner::printing::PrintWithLayoutWindows(request, spooler_, graphics_, nullptr);
  const std::string log = ::testing::internal::GetCapturedStderr();
  const int custom = NewestJob("PV_Custom");
  const std::string pdf = CapturedJob(custom);
  const std::string options = CapturedJob(custom, ".options");
  ASSERT_EQ(std::system("lpadmin -x PV_Custom"), 0);
  ASSERT_FALSE(failure) << log;
  EXPECT_NE(options.find("media=custom_120x170mm_120x170mm"), std::string::npos) << options << log;
  EXPECT_NE(pdf.find("/MediaBox [ 0 0 340.15"), std::string::npos);  // 120 mm in points
  EXPECT_NE(log.find("DEBUG: Paper: custom_120x170mm_120x170mm (120x170 mm)"), std::string::npos) << log;
}

}  // namespace
}  // namespace platform
