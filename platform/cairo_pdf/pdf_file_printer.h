// PdfFilePrinter: the built-in PDF printer's machine side. One PDF per job in the output folder, the
// printer's state in the user's configuration folder.
//
// Output folder: $PICTAVERA_PDF_DIR when set, else "PictaVera Prints" in the user's documents folder
// ($XDG_DOCUMENTS_DIR, else the desktop's user-dirs setting, else ~/Documents), created when missing.
// A job writes "PictaVera Print <date>-<n>.pdf.<pid>.part" (never replacing a file; <pid> is this
// process, so a file left by a process that was killed can be told apart and removed later), renamed to
// "PictaVera Print <date>-<n>.pdf" (never over an existing file) when it ends with pages; removed when
// it is aborted or ends without pages.
// State: ${XDG_CONFIG_HOME:-~/.config}/PictaVera/BuiltInPrinter, replaced atomically.
// Thread safety: every method may be called from any thread at once; devices are independent.
#pragma once

#include <atomic>
#include <string>

#include "platform/pdf_printer.h"

namespace platform {

class PdfFilePrinter : public PdfPrinter {
 public:
  std::unique_ptr<PrintDevice> OpenDevice(const PdfPage& page, int* error) override;
  std::optional<std::string> LoadState() override;
  int SaveState(const std::string& text) override;

  // The output folder as the environment names it (not created).
  static std::string OutputFolder();

 private:
  std::atomic<unsigned> counter_{0};        // jobs of this process
  std::atomic<unsigned> state_counter_{0};  // temporary names of the state file
};

}  // namespace platform
