// Pictavera.exe served over its standard streams, driven from outside as the interface drives it: request
// frames written to a pipe on its standard input, reply frames read from a pipe on its standard output.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "flutter/encodable_value.h"
#include "flutter/engine/frame.h"
#include "flutter/method_call.h"
#include "flutter/standard_method_codec.h"
#include "runner/host/host.h"
#include "runner/host/json_values.h"

namespace runner {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using nlohmann::json;

constexpr auto kReplyTimeout = std::chrono::seconds(60);
constexpr DWORD kExitTimeoutMs = 60'000;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }  // ASCII paths

std::vector<uint8_t> Request(uint32_t id, const std::string& channel, const std::string& method, EncodableValue argument) {
  const auto message = flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(
      flutter::MethodCall<EncodableValue>(method, std::make_unique<EncodableValue>(std::move(argument))));
  return flutter::engine::EncodeRequest(id, channel, message->data(), message->size());
}

// The program started with pipes for its standard input and output (ours are not inherited, so closing
// the input is an end of input it sees) and its standard error in a file; a thread collects its output.
class HostProcess {
 public:
  explicit HostProcess(const std::string& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE child_in = nullptr;
    HANDLE child_out = nullptr;
    EXPECT_TRUE(::CreatePipe(&child_in, &input_, &inherit, 0));
    EXPECT_TRUE(::CreatePipe(&output_, &child_out, &inherit, 0));
    ::SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    static int count = 0;
    error_path_ = std::wstring(folder) + L"pictavera-process-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                  std::to_wstring(++count) + L".txt";
    HANDLE error = ::CreateFileW(error_path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = child_in;
    startup.hStdOutput = child_out;
    startup.hStdError = error;
    const std::wstring program = Wide(PICTAVERA_BINARY);
    std::wstring command_line = L"\"" + program + L"\" " + Wide(arguments);
    started_ = ::CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                nullptr, nullptr, &startup, &process_);
    EXPECT_TRUE(started_) << "cannot start " << PICTAVERA_BINARY << ": error " << ::GetLastError();
    for (HANDLE handle : {child_in, child_out, error}) ::CloseHandle(handle);
    reader_ = std::thread([this] { Collect(); });
  }

  ~HostProcess() {
    CloseInput();
    if (started_ && Wait() < 0) ADD_FAILURE() << "the host was still running and was killed";
    reader_.join();
    ::CloseHandle(output_);
    if (started_) {
      ::CloseHandle(process_.hThread);
      ::CloseHandle(process_.hProcess);
    }
    ::DeleteFileW(error_path_.c_str());
  }

  void Write(const std::vector<uint8_t>& bytes) {
    DWORD wrote = 0;
    EXPECT_TRUE(::WriteFile(input_, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr));
    EXPECT_EQ(wrote, bytes.size());
  }

  void CloseInput() {
    if (input_ != nullptr) ::CloseHandle(input_);
    input_ = nullptr;
  }

  // The replies by request id once `count` have come (or what came before the output ended or the time
  // ran out); a request answered twice counts twice.
  std::multimap<uint32_t, std::vector<uint8_t>> Replies(size_t count) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, kReplyTimeout, [&] { return replies_.size() >= count || ended_; });
    return replies_;
  }

  // The exit code; -1 when it had to be killed after the time limit.
  int Wait() {
    if (exit_code_) return *exit_code_;
    if (::WaitForSingleObject(process_.hProcess, kExitTimeoutMs) == WAIT_TIMEOUT) {
      ::TerminateProcess(process_.hProcess, 99);
      ::WaitForSingleObject(process_.hProcess, INFINITE);
      exit_code_ = -1;
    } else {
      DWORD code = 0;
      ::GetExitCodeProcess(process_.hProcess, &code);
      exit_code_ = static_cast<int>(code);
    }
    return *exit_code_;
  }

  std::string Output() {
    std::lock_guard lock(mutex_);
    return output_text_;
  }

  std::string ErrorText() const {
    HANDLE file = ::CreateFileW(error_path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string text(1 << 16, '\0');
    DWORD got = 0;
    if (file != INVALID_HANDLE_VALUE) {
      ::ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &got, nullptr);
      ::CloseHandle(file);
    }
    text.resize(got);
    return text;
  }

 private:
  void Collect() {
    std::vector<uint8_t> buffer(64 * 1024);
    flutter::engine::FrameReader frames;
    std::vector<uint8_t> body;
    for (;;) {
      DWORD got = 0;
      const bool ok = ::ReadFile(output_, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0;
      std::lock_guard lock(mutex_);
      if (!ok) {
        ended_ = true;
        arrived_.notify_all();
        return;
      }
      output_text_.append(buffer.begin(), buffer.begin() + got);
      frames.Feed(buffer.data(), got);
      while (frames.Next(&body)) {
        if (auto reply = flutter::engine::ParseReply(body.data(), body.size())) {
          replies_.emplace(reply->id, std::move(reply->envelope));
        }
      }
      arrived_.notify_all();
    }
  }

  HANDLE input_ = nullptr;
  HANDLE output_ = nullptr;
  std::wstring error_path_;
  PROCESS_INFORMATION process_{};
  bool started_ = false;
  std::optional<int> exit_code_;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::multimap<uint32_t, std::vector<uint8_t>> replies_;
  std::string output_text_;
  bool ended_ = false;
};

json Answer(const std::multimap<uint32_t, std::vector<uint8_t>>& replies, uint32_t id) {
  const auto it = replies.find(id);
  if (it == replies.end()) return json("no reply");
  const auto document = ReplyEnvelopeToJson(it->second);
  return document ? *document : json("not an envelope");
}

TEST(HostProcessWinTest, CallsAreAnsweredWhileTheInputStaysOpenFacesComeBackLaterAndEndOfInputEndsIt) {
  HostProcess host("serve --stdio");
  host.Write(Request(1, "printing_channel", "noSuchMethod", EncodableValue()));
  // The face batch is answered by its worker, later than the call after it.
  host.Write(Request(2, "face_rects_channel", "detectFacesWindows",
                     EncodableValue(EncodableMap{{EncodableValue("imagePaths"),
                                                  EncodableValue(EncodableList{EncodableValue("Z:\\no\\such\\a.jpg"),
                                                                               EncodableValue(5),
                                                                               EncodableValue("b.jpg")})}})));
  const std::vector<uint8_t> malformed = {3, 0, 0, 0, 9, 9, 9};  // a sound length, an unknown kind
  host.Write(malformed);
  host.Write(Request(3, "thumbnail_channel", "getThumbnail", EncodableValue(EncodableList{EncodableValue(1)})));

  const auto replies = host.Replies(3);
  ASSERT_EQ(replies.size(), 3u) << host.ErrorText();
  EXPECT_EQ(Answer(replies, 1), json({{"notImplemented", true}}));
  const json faces = Answer(replies, 2);
  ASSERT_TRUE(faces.contains("success") && faces["success"].is_array()) << faces.dump() << host.ErrorText();
  ASSERT_EQ(faces["success"].size(), 2u) << "one record per path; the number is skipped";
  EXPECT_EQ(faces["success"][0]["imagePath"], "Z:\\no\\such\\a.jpg");
  EXPECT_EQ(faces["success"][1]["imagePath"], "b.jpg");
  for (const json& record : faces["success"]) EXPECT_EQ(record["faces"], json::array());
  EXPECT_EQ(Answer(replies, 3), json({{"success", nullptr}})) << "a list where a map is expected";

  host.CloseInput();
  EXPECT_EQ(host.Wait(), kExitOk) << host.ErrorText();
  EXPECT_NE(host.ErrorText().find("malformed frame"), std::string::npos) << host.ErrorText();
}

TEST(HostProcessWinTest, AThousandPipelinedCallsAreEachAnsweredOnceWhileTheInputStaysOpen) {
  constexpr uint32_t kCalls = 1000;
  HostProcess host("serve --stdio");
  std::vector<uint8_t> burst;
  for (uint32_t id = 1; id <= kCalls; ++id) {
    const auto frame = Request(id, id % 2 ? "printing_channel" : "media_info_channel", "noSuchMethod", EncodableValue());
    burst.insert(burst.end(), frame.begin(), frame.end());
  }
  host.Write(burst);  // tens of KiB in one write: more than the pipe holds, read while replies are written
  const auto replies = host.Replies(kCalls);
  ASSERT_EQ(replies.size(), kCalls) << host.ErrorText();
  for (uint32_t id = 1; id <= kCalls; ++id) ASSERT_EQ(replies.count(id), 1u) << "call " << id;
  host.CloseInput();
  EXPECT_EQ(host.Wait(), kExitOk) << host.ErrorText();
}

TEST(HostProcessWinTest, AFrameCutShortByTheEndOfInputIsAFailedConnection) {
  HostProcess host("serve --stdio");
  host.Write({16, 0, 0, 0, 1, 7});
  host.CloseInput();
  EXPECT_EQ(host.Wait(), kExitConnectionFailed) << host.ErrorText();
  EXPECT_NE(host.ErrorText().find("cut short"), std::string::npos) << host.ErrorText();
}

TEST(HostProcessWinTest, OneCallPrintsItsAnswerAsJson) {
  HostProcess host("call face_rects_channel detectFacesWindows {}");
  EXPECT_EQ(host.Wait(), kExitOk) << host.ErrorText();
  host.Replies(1);  // waits for the output to end
  EXPECT_EQ(json::parse(host.Output(), nullptr, false), json({{"success", json::array()}})) << host.Output();
}

}  // namespace
}  // namespace runner
