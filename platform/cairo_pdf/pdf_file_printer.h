// PdfFilePrinter: the built-in PDF printer's machine side: one PDF per job in the output folder. (Its
// state is a settings store of its own, chosen by the composition root.)
//
// Output folder: $PICTAVERA_PDF_DIR when set, else "PictaVera Prints" in the user's documents folder
// ($XDG_DOCUMENTS_DIR, else the desktop's user-dirs setting, else ~/Documents: DocumentsFolder of
// platform/posix/file_primitives.h), created when missing.
// A job's file is written by the FileSystem's one rule (a temporary name in that folder) and published
// as "PictaVera Print <date>-<n>.pdf" (never over an existing file: "-1", "-2" ... are added to a taken
// name) when it ends with pages; removed when it is aborted or ends without pages.
// Thread safety: every method may be called from any thread at once; devices are independent.
#pragma once

#include <atomic>
#include <string>

#include "platform/file_system.h"
#include "platform/pdf_printer.h"

namespace platform {

class PdfFilePrinter : public PdfPrinter {
 public:
  // `files` writes every file of the printer and must outlive it and its devices.
  explicit PdfFilePrinter(FileSystem& files) : files_(files) {}

  base::StatusOr<std::unique_ptr<PrintDevice>> OpenDevice(const PdfPage& page) override;

  // The output folder as the environment names it (not created).
  static std::string OutputFolder();

 private:
  FileSystem& files_;
  std::atomic<unsigned> counter_{0};  // jobs of this process
};

}  // namespace platform
