// GtkPrintDialog and GtkSettingsDialog: GTK 3's print dialog (GtkPrintUnixDialog, the printer, its
// paper, orientation and copies) and page-setup dialog (GtkPageSetupUnixDialog, one printer's paper and
// orientation), over the CUPS queues GTK lists itself; GTK's "Print to File" printer stands for the
// application's built-in PDF printer.
//
// GTK starts on the platform thread at the first dialog, with the process's locale left alone; when it
// cannot (no display), every dialog answers kCancelled, as where there is no screen. One dialog is open
// at a time (a second answers kCancelled). While one is open its loop keeps the platform thread's other
// work served (PlatformQueue), and the dialog closes as cancelled when the thread begins to stop.
// The records are the application's (SettingsRecordCodec): a dialog states the paper (the spooler's
// own paper when GTK's is one of the printer's, else a size of its own), the orientation and, for the
// print dialog, the copies, over the record it starts from; a choice that changes nothing gives back
// the record as it came. Dialogs have no owner window (the host has none) and are kept above others.
// Thread safety: Show on the platform thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/platform_queue.h"
#include "platform/print_dialog.h"
#include "platform/settings_dialog.h"
#include "platform/spooler.h"

namespace platform {

// How the application's settings records read and are written.
struct SettingsRecordCodec {
  std::function<PrintSettings(std::span<const uint8_t>)> decode;
  std::function<std::vector<uint8_t>(const std::string& printer, const PrintSettings&)> encode;
};

struct GtkDialogSetup {
  Spooler* spooler = nullptr;       // printers, their papers, their current settings
  PlatformQueue* queue = nullptr;   // the platform thread's other work
  SettingsRecordCodec codec;
  std::string built_in_printer;     // the name GTK's "Print to File" answers as
  std::string built_in_folder;      // where the built-in printer keeps its PDFs (shown, not used)
  std::function<void(const std::string&)> log;  // one line, prefix included
};

class GtkDialogSession;

class GtkPrintDialog : public PrintDialog {
 public:
  explicit GtkPrintDialog(std::shared_ptr<GtkDialogSession> session) : session_(std::move(session)) {}
  DialogOutcome Show(PrintDialogChoice* choice) override;

 private:
  std::shared_ptr<GtkDialogSession> session_;
};

class GtkSettingsDialog : public SettingsDialog {
 public:
  explicit GtkSettingsDialog(std::shared_ptr<GtkDialogSession> session) : session_(std::move(session)) {}
  DialogOutcome Show(const std::string& printer, const std::vector<uint8_t>& input,
                     std::vector<uint8_t>* output) override;

 private:
  std::shared_ptr<GtkDialogSession> session_;
};

// The session both dialogs share: GTK's start, the one open dialog.
std::shared_ptr<GtkDialogSession> MakeGtkDialogSession(GtkDialogSetup setup);

}  // namespace platform
