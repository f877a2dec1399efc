// Tests for print with layout and the shell methods over fakes: pages, turns, fits, cancellation,
// failures, overlapping jobs, and every error row.
#include "runner/printing/printers/print_job.h"

#include <cerrno>

#include "imaging/colour/colour_profile.h"
#include "imaging/colour/colour_transforms.h"
#include "platform/fake/fake_file_system.h"
#include "tests/runner/printing/printers/printer_fixture.h"

namespace runner::printing::testing {
namespace {

using Kind = Answer::Kind;

int CountOf(const std::string& text, const std::string& word) {
  int count = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
  return count;
}

class PrintJobTest : public PrinterChannelTest {
 protected:
  std::shared_ptr<const Answer> Print(std::initializer_list<const char*> paths, const char* printer = nullptr,
                                      int width = 0, int height = 0) {
    EncodableMap args{{EncodableValue("imagePaths"), Strings(paths)}};
    if (printer) args[EncodableValue("printerName")] = EncodableValue(printer);
    if (width || height) {
      args[EncodableValue("paperSize")] = Map({{"width", EncodableValue(width)}, {"height", EncodableValue(height)}});
    }
    return Call("printWithLayoutWindows", EncodableValue(args));
  }
};

TEST_F(PrintJobTest, PicturesAreLaidOutUprightByTheirOrientation) {
  platform::FakeDeviceScript script;
  script.use_paper_geometry = false;
  script.geometry.printable_width_px = 4800;
  script.geometry.printable_height_px = 6600;
  spooler_.log().set_script(script);
  spooler_.SetDefault("Office");
  // Stored on its side (3000 x 2000) and tagged 6 or 5: upright it is 2000 x 3000, so no page turn; the
  // device places the stored file with its orientation.
  graphics_.AddPicture("/six.jpg", *imaging::MakeBitmap(3000, 2000, 0xFF808080), 6);
  graphics_.AddPicture("/five.jpg", *imaging::MakeBitmap(3000, 2000, 0xFF808080), 5);
  ASSERT_EQ(Print({"/six.jpg", "/five.jpg"})->kind, Kind::kSuccess);
  const auto jobs = spooler_.log().jobs();
  ASSERT_EQ(jobs.size(), 1u);
  ASSERT_EQ(jobs[0].pages.size(), 2u);
  for (int page = 0; page < 2; ++page) {
    const platform::FakeDrawnPicture& drawn = jobs[0].pages[page].at(0);
    EXPECT_EQ(drawn.orientation, page == 0 ? 6 : 5);
    EXPECT_FALSE(drawn.turn_clockwise);
    EXPECT_EQ(drawn.width_px, 3000);  // the stored size
    EXPECT_EQ(drawn.dest.x, 200);
    EXPECT_EQ(drawn.dest.width, 4400);
    EXPECT_EQ(drawn.dest.height, 6600);
  }
}

TEST_F(PrintJobTest, PicturesReachThePageConvertedOnceAndPrinterNumbersAreSaidToBeManaged) {
  platform::FakeDeviceScript script;
  script.use_paper_geometry = false;
  script.geometry.printable_width_px = 1000;
  script.geometry.printable_height_px = 1000;
  spooler_.log().set_script(script);
  spooler_.SetDefault("Office");
  constexpr uint32_t kSage = 0xFF6E9678;  // as numbers; in Adobe RGB it is (87, 151, 119) in sRGB
  imaging::ColourDescription adobe;
  adobe.icc_profile = imaging::colour::AdobeRgbProfile()->icc();
  graphics_.AddPicture("/plain.jpg", *imaging::MakeBitmap(100, 100, kSage));
  for (const char* path : {"/adobe.jpg", "/adobe.png"}) {
    graphics_.AddPicture(path, *imaging::MakeBitmap(100, 100, kSage), 1,
                         path[7] == 'j' ? platform::ImageFormat::kJpeg : platform::ImageFormat::kPng);
    graphics_.SetColour(path, adobe);
  }
  platform::FakeFileSystem files;
  files.AddFile("/p/printer.icc", imaging::colour::AdobeRgbProfile()->icc());  // an RGB display profile serves
  imaging::colour::ColourTransforms transforms;
  const uint32_t plain_in_printer =
      transforms.Between(imaging::colour::SrgbProfile(), imaging::colour::AdobeRgbProfile())->ApplyArgb(kSage);
  const auto near = [](uint32_t argb, uint32_t want) {
    for (int shift : {0, 8, 16}) {
      if (std::abs(int((argb >> shift) & 0xFF) - int((want >> shift) & 0xFF)) > 1) return false;
    }
    return true;
  };
  PrintJobRequest request;
  request.image_paths = {"/plain.jpg", "/adobe.jpg", "/adobe.png"};

  struct Case {
    const char* selection;
    std::vector<std::string> as_stored;  // per page: the JPEG placed as stored, or "" for drawn pixels
    std::vector<uint32_t> drawn;         // per page: the drawn pixels' colour (pages drawn from pixels)
    bool calibration;
  };
  const Case cases[] = {
      {"srgb", {"/plain.jpg", "", ""}, {0, 0xFF579777, 0xFF579777}, false},
      {"adobe_rgb", {"/plain.jpg", "", ""}, {0, 0xFF579777, 0xFF579777}, false},  // a page shows sRGB
      {"no_conversion", {"/plain.jpg", "/adobe.jpg", ""}, {0, 0, kSage}, false},
      {"custom:/p/printer.icc", {"", "/adobe.jpg", ""}, {plain_in_printer, 0, kSage}, true},
      {"custom:/p/missing.icc", {"/plain.jpg", "", ""}, {0, 0xFF579777, 0xFF579777}, false},
  };
  for (const Case& c : cases) {
    ::testing::internal::CaptureStderr();
    const PrintColour colour{c.selection, &files, &transforms};
    EXPECT_FALSE(PrintWithLayoutWindows(request, spooler_, graphics_, nullptr, colour)) << c.selection;
    ::testing::internal::GetCapturedStderr();
    const platform::FakeJob job = spooler_.log().jobs().back();
    ASSERT_EQ(job.pages.size(), 3u) << c.selection;
    for (size_t page = 0; page < 3; ++page) {
      const platform::FakeDrawnPicture& drawn = job.pages[page].at(0);
      EXPECT_EQ(drawn.jpeg_path, c.as_stored[page]) << c.selection << " page " << page;
      if (drawn.from_bitmap) {
        EXPECT_TRUE(near(drawn.centre_argb, c.drawn[page])) << c.selection << " page " << page << std::hex << " "
                                                            << drawn.centre_argb;
      }
    }
    const bool calibration = std::find(job.settings.options.begin(), job.settings.options.end(),
                                       std::pair<std::string, std::string>{"cm-calibration", "true"}) !=
                             job.settings.options.end();
    EXPECT_EQ(calibration, c.calibration) << c.selection;
  }
}

TEST_F(PrintJobTest, PrintsOnePageperImageTurnedFittedAndCentred) {
  platform::FakeDeviceScript script;
  script.use_paper_geometry = false;
  script.geometry.printable_width_px = 4800;
  script.geometry.printable_height_px = 6600;
  spooler_.log().set_script(script);
  spooler_.SetDefault("Office");
  AddPicture("/land.jpg", 3000, 2000);
  AddPicture("/port.png", 2000, 3000, platform::ImageFormat::kPng);
  ::testing::internal::CaptureStderr();
  auto answer = Print({"/land.jpg", "/missing.jpg", "/port.png"});
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(answer->kind, Kind::kSuccess) << log;
  EXPECT_EQ(answer->value, EncodableValue(true));
  const auto jobs = spooler_.log().jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].printer, "Office");
  EXPECT_EQ(jobs[0].document_name, "PictaVera Print");
  EXPECT_TRUE(jobs[0].ended);
  ASSERT_EQ(jobs[0].pages.size(), 2u);
  const platform::FakeDrawnPicture& land = jobs[0].pages[0].at(0);
  EXPECT_EQ(land.jpeg_path, "/land.jpg");  // placed as stored, not decoded
  EXPECT_TRUE(land.turn_clockwise);
  EXPECT_EQ(land.dest.x, 200);
  EXPECT_EQ(land.dest.width, 4400);
  EXPECT_EQ(land.dest.height, 6600);
  const platform::FakeDrawnPicture& port = jobs[0].pages[1].at(0);
  EXPECT_TRUE(port.from_bitmap);
  EXPECT_FALSE(port.turn_clockwise);
  EXPECT_EQ(port.dest.x, 200);
  for (const char* line : {"DEBUG C++: PrintWithLayoutWindows using GDI Print API with 3 images as SINGLE job\n",
                           "DEBUG C++: Default printer: Office\n", "DEBUG C++: Printing page 2/3: /missing.jpg\n",
                           "DEBUG: Failed to load image, status=10\n",
                           "DEBUG: Rotated image 90° to match DC orientation. New size: 2000x3000\n",
                           "  Scale factor: 2.2 (scaleX=2.4, scaleY=2.2)\n", "  Offset: 200x0 pixels\n",
                           "DEBUG: Page 3 sent to printer successfully\n",
                           "DEBUG: Print job completed with 2/3 pages\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << log;
  }
}

TEST_F(PrintJobTest, PicturesAreDecodedAtTheDevicePixelsTheyCoverAndAHugeJpegIsNotPlacedAsStored) {
  platform::FakeDeviceScript script;
  script.use_paper_geometry = false;
  script.geometry.printable_width_px = 2400;
  script.geometry.printable_height_px = 3600;
  spooler_.log().set_script(script);
  spooler_.SetDefault("Office");
  // A JPEG whose header claims 16000 x 16000 pixels, and an ordinary PNG twice the page's size.
  graphics_.AddClaimedPicture("/claims.jpg", 16000, 16000, *imaging::MakeBitmap(64, 64, 0xFF808080));
  AddPicture("/big.png", 4800, 7200, platform::ImageFormat::kPng);
  ::testing::internal::CaptureStderr();
  auto answer = Print({"/claims.jpg", "/big.png"});
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(answer->kind, Kind::kSuccess) << log;
  const auto jobs = spooler_.log().jobs();
  ASSERT_EQ(jobs.size(), 1u);
  ASSERT_EQ(jobs[0].pages.size(), 2u);
  const platform::FakeDrawnPicture& claimed = jobs[0].pages[0].at(0);
  EXPECT_TRUE(claimed.from_bitmap);  // decoded, never handed over as a 16000 x 16000 picture
  EXPECT_EQ(claimed.dest.width, 2400);
  EXPECT_NE(log.find("  Image size: 16000x16000 pixels\n"), std::string::npos) << log;  // the file's own size
  const std::vector<platform::DecodeOptions> decodes = graphics_.decode_options();
  ASSERT_EQ(decodes.size(), 2u);
  EXPECT_EQ(decodes[0].min_width_px, 2400);
  EXPECT_EQ(decodes[0].min_height_px, 2400);
  EXPECT_EQ(decodes[1].min_width_px, 2400);  // the page shows the PNG at 2400 x 3600
  EXPECT_EQ(decodes[1].min_height_px, 3600);
}

TEST_F(PrintJobTest, CancelledAfterTwoOfFivePagesAnswersTrueButAFailureDoesNot) {
  for (const char* path : {"/1.jpg", "/2.jpg", "/3.jpg", "/4.jpg", "/5.jpg"}) AddPicture(path, 100, 150);
  platform::FakeDeviceScript script;
  script.cancel_at_start_page = 3;
  spooler_.log().set_script(script);
  ::testing::internal::CaptureStderr();
  auto cancelled = Print({"/1.jpg", "/2.jpg", "/3.jpg", "/4.jpg", "/5.jpg"}, "Office");
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(cancelled->value, EncodableValue(true));
  // The device's own number for the refused page is the one the line gives.
  EXPECT_NE(log.find("DEBUG: StartPage failed for page 3, error=" + std::to_string(ECANCELED) +
                     " - job was likely cancelled\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("DEBUG: Print job aborted (user cancelled) after 2 successful pages"), std::string::npos);
  EXPECT_TRUE(spooler_.log().jobs().back().aborted);
  EXPECT_FALSE(spooler_.log().jobs().back().ended);

  script = {};
  script.fail_at_start_page = 3;
  spooler_.log().set_script(script);
  ::testing::internal::CaptureStderr();
  auto failed = Print({"/1.jpg", "/2.jpg", "/3.jpg"}, "Office");
  const std::string failed_log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(failed_log.find("DEBUG: StartPage failed for page 3, error=" + std::to_string(EIO) + " -"), std::string::npos);
  EXPECT_NE(failed_log.find("DEBUG: Print job aborted after 2 successful pages\n"), std::string::npos) << failed_log;
  EXPECT_EQ(failed->error_code, "PRINT_FAILED");
  EXPECT_EQ(failed->error_message, "Failed to print any pages");

  script = {};
  script.cancel_at_end_page = 1;
  spooler_.log().set_script(script);
  ::testing::internal::CaptureStderr();
  auto first_page = Print({"/1.jpg", "/2.jpg"}, "Office");
  const std::string first_page_log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(first_page_log.find("DEBUG: EndPage failed for page 1, error=" + std::to_string(ECANCELED) + " -"),
            std::string::npos)
      << first_page_log;
  EXPECT_EQ(first_page->error_message, "Failed to print any pages");

  script = {};
  script.fail_end_doc = true;
  spooler_.log().set_script(script);
  ::testing::internal::CaptureStderr();
  auto unfinished = Print({"/1.jpg"}, "Office");
  const std::string unfinished_log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(unfinished_log.find("DEBUG: EndDoc failed, error=" + std::to_string(EIO) + "\n"), std::string::npos)
      << unfinished_log;
  EXPECT_EQ(unfinished->error_message, "Failed to print any pages");
}

TEST_F(PrintJobTest, NoLoadablePageEndsAnEmptyJobAndFails) {
  graphics_.AddPicture("/corrupt.jpg", *imaging::MakeBitmap(10, 10));
  graphics_.FailDecode("/corrupt.jpg", platform::GraphicsStatus::kCorrupt);
  ::testing::internal::CaptureStderr();
  auto answer = Print({"/corrupt.jpg"}, "Office");
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer->error_message, "Failed to print any pages");
  EXPECT_NE(log.find("DEBUG: Failed to load image, status=13"), std::string::npos);
  const auto jobs = spooler_.log().jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].pages.empty());
  EXPECT_TRUE(jobs[0].ended);
}

TEST_F(PrintJobTest, SetsTheNamedPrintersPaperAndPrintsThereEvenIfTheDefaultStays) {
  AddPicture("/a.jpg", 100, 150);
  spooler_.SetDefault("Office");
  spooler_.RefuseDefaultChanges(true);
  ::testing::internal::CaptureStderr();
  auto answer = Print({"/a.jpg"}, "Photo", 105, 148);
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer->value, EncodableValue(true));
  const auto jobs = spooler_.log().jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].printer, "Photo");
  EXPECT_EQ(jobs[0].settings.paper_id, 70);
  EXPECT_EQ(spooler_.DefaultPrinter(), "Office");
}

TEST_F(PrintJobTest, UnknownPrinterOrRefusedJobAnswerTheirRows) {
  AddPicture("/a.jpg", 100, 150);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Print({"/a.jpg"}, "Nowhere")->error_message, "Failed to create printer DC");
  spooler_.FailDevicesWith(EACCES);
  EXPECT_EQ(Print({"/a.jpg"}, "Office")->error_message, "Failed to create printer DC");
  spooler_.FailDevicesWith(0);
  platform::FakeDeviceScript script;
  script.refuse_start_doc = true;
  spooler_.log().set_script(script);
  EXPECT_EQ(Print({"/a.jpg"}, "Office")->error_message, "Failed to start print job");
  const std::string log = ::testing::internal::GetCapturedStderr();
  // Each line names the number the spooler or device gave for the last refusal.
  EXPECT_EQ(CountOf(log, "DEBUG: Failed to create printer DC, error=" + std::to_string(ENOENT) + "\n"), 1) << log;
  EXPECT_EQ(CountOf(log, "DEBUG: Failed to create printer DC, error=" + std::to_string(EACCES) + "\n"), 1) << log;
  EXPECT_EQ(CountOf(log, "DEBUG: StartDoc failed, error=" + std::to_string(EIO) + "\n"), 1) << log;
}

TEST_F(PrintJobTest, ArgumentErrors) {
  struct Case {
    EncodableValue arguments;
    std::string code;
    std::string message;
  } cases[] = {
      {Strings({"/a.jpg"}), "INVALID_ARGUMENTS", "Expected map of arguments"},
      {Map({}), "INVALID_ARGUMENTS", "Missing imagePaths"},
      {Map({{"imagePaths", EncodableValue("/a.jpg")}}), "INVALID_ARGUMENTS", "Missing imagePaths"},
      {Map({{"imagePaths", EncodableValue(EncodableList{})}}), "NO_IMAGES", "No images to print"},
      {Map({{"imagePaths", EncodableValue(EncodableList{EncodableValue(1), EncodableValue(2.5)})}}), "NO_VALID_PATHS",
       "No valid file paths"},
  };
  for (const Case& c : cases) {
    auto error = Call("printWithLayoutWindows", c.arguments);
    EXPECT_EQ(error->replies, 1);
    EXPECT_EQ(error->error_code, c.code) << c.message;
    EXPECT_EQ(error->error_message, c.message);
  }
}

TEST_F(PrintJobTest, OverlappingJobsEachPrintOnTheirOwnPrinterAndPaper) {
  AddPicture("/a.jpg", 100, 150);
  ::testing::internal::CaptureStderr();
  std::vector<std::shared_ptr<WaitingMessenger::Pending>> answers;
  for (int i = 0; i < 10; ++i) {
    EncodableMap office{{EncodableValue("imagePaths"), Strings({"/a.jpg"})},
                        {EncodableValue("printerName"), EncodableValue("Office")},
                        {EncodableValue("paperSize"), Map({{"width", EncodableValue(216)}, {"height", EncodableValue(279)}})}};
    EncodableMap photo{{EncodableValue("imagePaths"), Strings({"/a.jpg", "/a.jpg"})},
                       {EncodableValue("printerName"), EncodableValue("Photo")},
                       {EncodableValue("paperSize"), Map({{"width", EncodableValue(105)}, {"height", EncodableValue(148)}})}};
    answers.push_back(messenger_.Call("printing_channel", "printWithLayoutWindows", EncodableValue(office)));
    answers.push_back(messenger_.Call("printing_channel", "printWithLayoutWindows", EncodableValue(photo)));
  }
  for (const auto& answer : answers) EXPECT_EQ(answer->Wait()->value, EncodableValue(true));
  ::testing::internal::GetCapturedStderr();
  const auto jobs = spooler_.log().jobs();
  ASSERT_EQ(jobs.size(), 20u);
  for (const platform::FakeJob& job : jobs) {
    if (job.printer == "Office") {
      EXPECT_EQ(job.settings.paper_id, 1);
      EXPECT_EQ(job.pages.size(), 1u);
    } else {
      EXPECT_EQ(job.printer, "Photo");
      EXPECT_EQ(job.settings.paper_id, 70);
      EXPECT_EQ(job.pages.size(), 2u);
    }
  }
}

TEST_F(PrintJobTest, ClosingTheWindowStopsAJobBetweenPagesAndItFails) {
  AddPicture("/a.jpg", 100, 150);
  ::testing::internal::CaptureStderr();
  std::vector<std::string> paths(200, "/a.jpg");
  EncodableList list;
  for (const std::string& path : paths) list.emplace_back(path);
  auto pending = messenger_.Call("printing_channel", "printWithLayoutWindows",
                                 Map({{"imagePaths", EncodableValue(list)}, {"printerName", EncodableValue("Office")}}));
  threads_.JoinAll();
  const std::string log = ::testing::internal::GetCapturedStderr();
  auto answer = pending->Wait();
  EXPECT_EQ(answer->replies, 1);
  const auto jobs = spooler_.log().jobs();
  // The job never started (the close came while it waited its turn), finished before the close, or was
  // cancelled and answered as failed.
  if (jobs.empty()) {
    EXPECT_EQ(answer->error_message, "Failed to print any pages");
  } else if (jobs[0].aborted) {
    EXPECT_EQ(answer->error_message, "Failed to print any pages");
    EXPECT_NE(log.find("the application is closing"), std::string::npos);
  } else {
    EXPECT_EQ(jobs[0].pages.size(), 200u);
  }
}

TEST_F(PrintJobTest, ABuiltInJobGetsAPageOfItsPaper) {
  AddPicture("/a.jpg", 100, 150);
  ::testing::internal::CaptureStderr();
  auto answer = Print({"/a.jpg"}, "PictaVera PDF", 150, 100);
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer->value, EncodableValue(true));
  // 10x15 cm asked for as landscape: the page is the paper as it lies in the printer, and the portrait
  // picture already matches it (the job turns pictures itself, never the page).
  EXPECT_EQ(pdf_.last_page().width_tenths_mm, 1000);
  EXPECT_EQ(pdf_.last_page().height_tenths_mm, 1500);
  ASSERT_EQ(pdf_.log().jobs().size(), 1u);
  EXPECT_EQ(pdf_.log().jobs()[0].pages.size(), 1u);
  EXPECT_FALSE(pdf_.log().jobs()[0].pages[0][0].turn_clockwise);
}

TEST_F(PrintJobTest, ShellOpensExistingFilesInOrderAndStopsAtTheFirstFailure) {
  shell_.AddFile("/a.jpg");
  shell_.AddFile("/b.jpg");
  EXPECT_EQ(Call("printImagesWindows", EncodableValue(EncodableList{}))->value, EncodableValue(true));
  EXPECT_EQ(Call("printImagesWindows", Strings({"/a.jpg", "/b.jpg"}))->value, EncodableValue(true));
  auto not_string = Call("printImagesWindows", EncodableValue(EncodableList{EncodableValue("/a.jpg"), EncodableValue(1)}));
  EXPECT_EQ(not_string->error_message, "Expected string path");
  EXPECT_EQ(shell_.opened(), (std::vector<std::string>{"/a.jpg", "/b.jpg", "/a.jpg"}));
  EXPECT_EQ(Call("printImagesWindows", Strings({"/missing.jpg"}))->error_message, "Image file not found: /missing.jpg");
  // What is not a regular file with data (a folder, a FIFO, a socket, /proc) is never handed to the opener.
  EXPECT_EQ(Call("printImagesWindows", Strings({"/a.jpg", "/folder"}))->error_message, "Image file not found: /folder");
  EXPECT_EQ(shell_.opened().size(), 4u);
  EXPECT_EQ(Call("printImagesWindows", Map({}))->error_message, "Expected array of strings");
  shell_.Refuse("/a.jpg", base::Status::Unsupported("no application"));
  shell_.AddFile("/b.jpg");
  shell_.Refuse("/b.jpg", base::Status::NotFound("no opener"));
  ::testing::internal::CaptureStderr();
  auto refused = Call("printImagesWindows", Strings({"/a.jpg"}));
  Call("printImagesWindows", Strings({"/b.jpg"}));
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("DEBUG: ShellExecute open failed for file, error=31\n"), std::string::npos) << log;
  EXPECT_NE(log.find("DEBUG: ShellExecute open failed for file, error=2\n"), std::string::npos) << log;
  EXPECT_EQ(refused->error_code, "SHELL_EXECUTE_FAILED");
  EXPECT_EQ(refused->error_message, "Failed to open image with default application");
}

TEST_F(PrintJobTest, ShellPrintingMakesOneJobPerFileWithItsCopies) {
  AddPicture("/dir/a.jpg", 100, 150);
  AddPicture("/dir/b.jpg", 150, 100);
  spooler_.SetDefault("Office");
  ::testing::internal::CaptureStderr();
  auto copies = Call("printToPrinterWindows", Map({{"imagePaths", Strings({"/dir/a.jpg", "/dir/b.jpg"})},
                                                   {"printerName", EncodableValue("Photo")},
                                                   {"copies", EncodableValue(3)}}));
  EXPECT_EQ(copies->value, EncodableValue(true));
  auto jobs = spooler_.log().jobs();
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].printer, "Photo");
  EXPECT_EQ(jobs[0].document_name, "a.jpg");
  EXPECT_EQ(jobs[0].settings.copies, 3);
  EXPECT_TRUE(jobs[0].settings.fields & platform::kFieldCopies);
  EXPECT_EQ(jobs[0].pages.size(), 1u);
  EXPECT_EQ(jobs[1].document_name, "b.jpg");
  EXPECT_EQ(jobs[1].settings.copies, 3);
  EXPECT_EQ(spooler_.DefaultPrinter(), "Office");

  EXPECT_EQ(Call("printToPrinterWindows", Map({{"imagePaths", Strings({"/dir/a.jpg"})},
                                               {"printerName", EncodableValue("Photo")},
                                               {"copies", EncodableValue(0)}}))->value,
            EncodableValue(true));
  EXPECT_EQ(Call("printToPrinterWindows", Map({{"imagePaths", Strings({"/dir/a.jpg"})},
                                               {"printerName", EncodableValue("Unknown")},
                                               {"copies", EncodableValue(2.0)}}))->value,
            EncodableValue(true));
  jobs = spooler_.log().jobs();
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_EQ(jobs[2].printer, "Office");  // an unknown name prints on the default printer
  EXPECT_EQ(jobs[2].settings.copies, 1);

  auto clamped = Call("printToPrinterWindows", Map({{"imagePaths", Strings({"/dir/a.jpg"})},
                                                    {"printerName", EncodableValue("Photo")},
                                                    {"copies", EncodableValue(1000000000)}}));
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(clamped->value, EncodableValue(true));
  ASSERT_EQ(spooler_.log().jobs().size(), 4u);
  EXPECT_EQ(spooler_.log().jobs()[3].settings.copies, 100);
  EXPECT_NE(log.find("DEBUG: copies 1000000000 clamped to 100"), std::string::npos);

  ::testing::internal::CaptureStderr();
  auto missing = Call("printToPrinterWindows", Map({{"imagePaths", Strings({"/dir/a.jpg", "/gone.jpg"})},
                                                    {"printerName", EncodableValue("Photo")}}));
  EXPECT_EQ(missing->error_message, "Failed to print image: /gone.jpg");
  EXPECT_EQ(Call("printToPrinterWindows", Map({{"imagePaths", Strings({"/dir/a.jpg"})}}))->error_message,
            "Missing required arguments");

  auto tolerant = Call("printImagesToPrinter", Map({{"imagePaths", Strings({"/gone.jpg", "/dir/b.jpg"})}}));
  EXPECT_EQ(tolerant->kind, Kind::kSuccess);
  EXPECT_TRUE(tolerant->value.IsNull());
  auto none = Call("printImagesToPrinter", Map({{"imagePaths", EncodableValue(EncodableList{EncodableValue(1)})}}));
  EXPECT_EQ(none->error_message, "Failed to print any images");
  EXPECT_EQ(Call("printImagesToPrinter", Map({{"imagePaths", EncodableValue(EncodableList{})}}))->error_message,
            "No images to print");
  const std::string tolerant_log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(tolerant_log.find("DEBUG: ShellExecute print failed for file, error=31"), std::string::npos);
}

// An A4 queue with 12 pt margins at 600 dpi: 201.6 x 288.6 mm printable.
platform::FakeDeviceScript A4WithMargins() {
  platform::FakeDeviceScript script;
  script.use_paper_geometry = false;
  script.geometry = {600, 600, 4762, 6818, 201, 288, 4960, 7015, 100, 100, "iso_a4_210x297mm"};
  return script;
}

TEST_F(PrintJobTest, APictureStatingItsResolutionPrintsAtTrueSizeOthersAreFitted) {
  spooler_.log().set_script(A4WithMargins());
  AddPicture("/sheet.jpg", 1854, 2445);
  graphics_.SetResolution("/sheet.jpg", {300, 300});
  AddPicture("/plain.jpg", 1854, 2445);
  AddPicture("/full.png", 2480, 3508, platform::ImageFormat::kPng);
  graphics_.SetResolution("/full.png", {300, 300});
  AddPicture("/speck.jpg", 300, 200);
  graphics_.SetResolution("/speck.jpg", {65535, 65535});  // 0.1 mm wide at its stated size
  ::testing::internal::CaptureStderr();
  auto answer = Print({"/sheet.jpg", "/plain.jpg", "/full.png", "/speck.jpg"}, "Office");
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(answer->value, EncodableValue(true)) << log;
  const auto pages = spooler_.log().jobs().at(0).pages;
  ASSERT_EQ(pages.size(), 4u);
  // 157.0 x 207.0 mm: 3708 x 4890 device pixels, centred; not the 91.5 % a fit would give.
  EXPECT_DOUBLE_EQ(pages[0][0].dest.width, 3708);
  EXPECT_DOUBLE_EQ(pages[0][0].dest.height, 4890);
  EXPECT_DOUBLE_EQ(pages[0][0].dest.x, (4762 - 3708) / 2.0);
  EXPECT_DOUBLE_EQ(pages[0][0].dest.y, (6818 - 4890) / 2.0);
  EXPECT_EQ(pages[1][0].dest.width, 4762);  // no resolution: fitted
  EXPECT_EQ(pages[2][0].dest.width, 4762);  // a full A4 sheet does not fit inside the margins: fitted
  EXPECT_EQ(pages[3][0].dest.height, 6818);  // an unbelievable resolution: fitted (turned)
  for (const char* line : {"  Image DPI: 300x300\n", "  Physical size: 156.972x207.01 mm\n", "DEBUG DRAWING (true size):\n",
                           "  Scale factor: 2x2 (image 300x300 dpi on printer 600x600 dpi)\n",
                           "  Dest size: 3708x4890 pixels\n", "  Image DPI: 96x96\n",
                           "DEBUG: Image states no resolution; fitted to the page\n",
                           "DEBUG: Image at its true size (209.973x297.011 mm) does not fit the printable area "
                           "(201.591x288.629 mm); fitted to the page\n",
                           "DEBUG: Paper: iso_a4_210x297mm (210x297 mm)\n",
                           "DEBUG: Image resolution 65535x65535 dpi is finer than any printer's; fitted to the page\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << log;
  }
  EXPECT_EQ(CountOf(log, "DEBUG DRAWING (fit to page):"), 3);
}

TEST_F(PrintJobTest, AJpegTheDeviceCannotCarryAsStoredIsDrawnFromPixelsNoLargerThanNeeded) {
  platform::FakeDeviceScript script;
  script.use_paper_geometry = false;
  script.geometry = {300, 300, 1200, 1600, 101, 135, 1200, 1600, 0, 0, "small"};
  script.jpegs_need_pixels = true;
  spooler_.log().set_script(script);
  AddPicture("/cmyk.jpg", 4000, 3000);
  ::testing::internal::CaptureStderr();
  auto answer = Print({"/cmyk.jpg"}, "Office");
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(answer->value, EncodableValue(true)) << log;
  const platform::FakeDrawnPicture drawn = spooler_.log().jobs().at(0).pages.at(0).at(0);
  EXPECT_TRUE(drawn.from_bitmap);
  EXPECT_TRUE(drawn.turn_clockwise);
  EXPECT_EQ(drawn.dest.width, 1200);
  // Turned and fitted onto 1200 x 1600 device pixels, so decoded at the smallest eighth covering
  // 1600 x 1200 as stored: 4/8.
  EXPECT_EQ(drawn.width_px, 2000);
  EXPECT_EQ(drawn.height_px, 1500);
  EXPECT_EQ(graphics_.decode_options().back().min_width_px, 1600);
  EXPECT_EQ(graphics_.decode_options().back().min_height_px, 1200);
  EXPECT_NE(log.find("DEBUG: The JPEG cannot be placed as stored; drawing its decoded pixels\n"), std::string::npos);
  EXPECT_NE(log.find("DEBUG: StretchBlt result: SUCCESS\n"), std::string::npos);
}

TEST_F(PrintJobTest, APaperThePrinterCannotTakeIsLoggedWithThePaperPrintedOn) {
  platform::FakePrinter fixed = MakePrinter("Fixed", {{74, "4x6", 1016, 1524}});
  fixed.takes_custom_sizes = false;
  spooler_.AddPrinter(fixed);
  AddPicture("/a.jpg", 100, 150);
  ::testing::internal::CaptureStderr();
  auto answer = Print({"/a.jpg"}, "Fixed", 300, 300);
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer->value, EncodableValue(true));
  EXPECT_NE(log.find("DEBUG: Paper 300x300mm could not be set on Fixed; printing on its current paper instead: "
                     "4x6 (102x152 mm)\n"),
            std::string::npos)
      << log;
}

}  // namespace
}  // namespace runner::printing::testing
