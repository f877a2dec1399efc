// A printing channel over fakes for the printer tests: a fake system spooler with two printers, the
// built-in PDF printer over a fake machine side, fake graphics, dialogs and shell.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_graphics.h"
#include "platform/fake/fake_pdf_printer.h"
#include "platform/fake/fake_settings_store.h"
#include "platform/fake/fake_shell.h"
#include "platform/fake/fake_spooler.h"
#include "runner/printing/printers/printer_directory.h"
#include "runner/printing/printing_channel.h"
#include "runner/channels/pending_work.h"
#include "runner/thread_registry.h"
#include "runner/work_lanes.h"
#include "flutter/method_result_functions.h"
#include "flutter/standard_method_codec.h"
#include "tests/runner/recording_messenger.h"

namespace runner::printing::testing {

using runner::testing::Answer;

// A messenger whose answers may come from another thread: Wait() blocks until the call is answered
// (without asking the print threads to stop, as closing the window would).
class WaitingMessenger : public flutter::BinaryMessenger {
 public:
  struct Pending {
    std::mutex mutex;
    std::condition_variable answered;
    std::shared_ptr<Answer> answer = std::make_shared<Answer>();
    // The answer once given; an empty answer (kind kNone) after 20 s.
    std::shared_ptr<const Answer> Wait() {
      std::unique_lock lock(mutex);
      answered.wait_for(lock, std::chrono::seconds(20), [this] { return answer->replies > 0; });
      return std::make_shared<const Answer>(*answer);
    }
  };

  void Send(const std::string&, const uint8_t*, size_t, flutter::BinaryReply reply) const override {
    if (reply) reply(nullptr, 0);
  }
  void SetMessageHandler(const std::string& channel, flutter::BinaryMessageHandler handler) override {
    handlers_[channel] = std::move(handler);
  }

  std::shared_ptr<Pending> Call(const std::string& channel, const std::string& method, EncodableValue arguments) {
    const auto* codec = &flutter::StandardMethodCodec::GetInstance();
    flutter::MethodCall<EncodableValue> call(method, std::make_unique<EncodableValue>(std::move(arguments)));
    std::unique_ptr<std::vector<uint8_t>> message = codec->EncodeMethodCall(call);
    auto pending = std::make_shared<Pending>();
    handlers_.at(channel)(message->data(), message->size(), [pending, codec](const uint8_t* reply, size_t size) {
      std::lock_guard lock(pending->mutex);
      Answer& answer = *pending->answer;
      ++answer.replies;
      if (size == 0) {
        answer.kind = Answer::Kind::kNotImplemented;
      } else {
        flutter::MethodResultFunctions<EncodableValue> decoded(
            [&](const EncodableValue* value) {
              answer.kind = Answer::Kind::kSuccess;
              if (value) answer.value = *value;
            },
            [&](const std::string& code, const std::string& text, const EncodableValue*) {
              answer.kind = Answer::Kind::kError;
              answer.error_code = code;
              answer.error_message = text;
            },
            [&] { answer.kind = Answer::Kind::kNotImplemented; });
        codec->DecodeAndProcessResponseEnvelope(reply, size, &decoded);
      }
      pending->answered.notify_all();
    });
    return pending;
  }

 private:
  std::map<std::string, flutter::BinaryMessageHandler> handlers_;
};

inline platform::FakePrinter MakePrinter(const std::string& name, std::vector<platform::Paper> papers) {
  platform::FakePrinter printer;
  printer.summary = {name, name + " comment", false};
  printer.papers = std::move(papers);
  printer.defaults.fields = platform::kFieldPaperSize | platform::kFieldOrientation;
  printer.defaults.paper_id = printer.papers.empty() ? 0 : printer.papers.front().id;
  return printer;
}

class PrinterChannelTest : public ::testing::Test {
 protected:
  PrinterChannelTest() : directory_(&spooler_, &pdf_, &pdf_state_) {
    spooler_.AddPrinter(MakePrinter("Office", {{9, "A4", 2100, 2970}, {1, "Letter", 2159, 2794}}));
    spooler_.AddPrinter(MakePrinter("Photo", {{74, "4x6", 1016, 1524}, {70, "A6", 1050, 1480}, {122, "", 1270, 1778}}));
    services_.spooler = &directory_;
    services_.graphics = &graphics_;
    services_.settings_dialog = &settings_dialog_;
    services_.print_dialog = &print_dialog_;
    services_.shell = &shell_;
    services_.threads = &threads_;
    services_.lanes = &lanes_;
    services_.pending = &pending_;
    ::testing::internal::CaptureStderr();
    SetupPrintingChannel(&messenger_, slot_, services_);
    ::testing::internal::GetCapturedStderr();
  }
  ~PrinterChannelTest() override { threads_.JoinAll(); }

  // Calls `method` and waits for its answer (which may come from another thread).
  std::shared_ptr<const Answer> Call(const std::string& method, EncodableValue arguments = EncodableValue()) {
    return messenger_.Call("printing_channel", method, std::move(arguments))->Wait();
  }

  void AddPicture(const std::string& path, int width, int height,
                  platform::ImageFormat format = platform::ImageFormat::kJpeg) {
    graphics_.AddPicture(path, *imaging::MakeBitmap(width, height, 0xFF808080), 1, format);
  }

  platform::FakeSpooler spooler_;
  platform::FakePdfPrinter pdf_;
  platform::FakeSettingsStore pdf_state_;
  PrinterDirectory directory_;
  platform::FakeGraphics graphics_;
  platform::FakeSettingsDialog settings_dialog_;
  platform::FakePrintDialog print_dialog_;
  platform::FakeShell shell_;
  ThreadRegistry threads_;
  PendingWork pending_;
  WorkLanes lanes_{&threads_, nullptr, 2};
  Services services_;
  WaitingMessenger messenger_;
  std::unique_ptr<Channel> slot_;
};

inline const EncodableValue& At(const EncodableValue& map, const char* key) {
  return std::get<EncodableMap>(map).at(EncodableValue(key));
}

inline EncodableValue Map(std::initializer_list<std::pair<const char*, EncodableValue>> entries) {
  EncodableMap map;
  for (const auto& [key, value] : entries) map[EncodableValue(key)] = value;
  return EncodableValue(map);
}

inline EncodableValue Strings(std::initializer_list<const char*> items) {
  EncodableList list;
  for (const char* item : items) list.emplace_back(item);
  return EncodableValue(list);
}

}  // namespace runner::printing::testing
