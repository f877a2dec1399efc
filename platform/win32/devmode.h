// An open printer, and the system's settings record (DEVMODEW with the driver's private bytes after it) and the conversions
// between its public fields and PrintSettings. Internal to platform/win32/.
#pragma once

#include "platform/win32/windows_api.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/spooler.h"

namespace platform::win32 {

// An open printer (OpenPrinterW); closed on every path.
class PrinterHandle {
 public:
  explicit PrinterHandle(const std::wstring& name, ACCESS_MASK access = PRINTER_ACCESS_USE) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    if (!::OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &handle_, &defaults)) handle_ = nullptr;
  }
  ~PrinterHandle() {
    if (handle_ != nullptr) ::ClosePrinter(handle_);
  }
  PrinterHandle(const PrinterHandle&) = delete;
  PrinterHandle& operator=(const PrinterHandle&) = delete;
  HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HANDLE handle_ = nullptr;
};

// A settings record in memory owned by the adapter: dmSize + dmDriverExtra bytes, suitably aligned.
class DevMode {
 public:
  DevMode() = default;
  explicit DevMode(size_t bytes) : storage_((bytes + sizeof(uint64_t) - 1) / sizeof(uint64_t) + 1, 0), bytes_(bytes) {}

  DEVMODEW* get() { return bytes_ >= sizeof(DEVMODEW) ? reinterpret_cast<DEVMODEW*>(storage_.data()) : nullptr; }
  const DEVMODEW* get() const { return bytes_ >= sizeof(DEVMODEW) ? reinterpret_cast<const DEVMODEW*>(storage_.data()) : nullptr; }
  size_t size() const { return bytes_; }
  // The record as bytes: its stated public and private parts (at most what is held).
  std::vector<uint8_t> Bytes() const;

 private:
  std::vector<uint64_t> storage_;
  size_t bytes_ = 0;
};

// The public values a record states (the fields PrintSettings knows; other flags dropped). No options:
// the driver keeps its own in the record's private part.
PrintSettings SettingsFromDevMode(const DEVMODEW& mode);

// Writes the values `settings` states into `mode` and sets their flags; values it does not state are left
// as the record has them. A standard paper number clears a stated length and width that `settings` does
// not state itself (the driver would otherwise print on the old size).
void ApplySettings(const PrintSettings& settings, DEVMODEW* mode);

// How many bytes of a record given as bytes (from the interface: trusted for nothing) are its public part:
// as far as both the bytes and its stated size (dmSize) reach, at most sizeof(DEVMODEW).
size_t PublicBytesOf(std::span<const uint8_t> record);

// The public part of such a record; the rest zero, and a field outside its public bytes counts as not
// stated (its flag cleared).
DEVMODEW PublicPartOf(std::span<const uint8_t> record);

// The printer's current record for the user (the driver's defaults with the user's stored ones over
// them); nothing when the printer cannot be opened or the driver does not answer. `printer` is a handle
// from OpenPrinterW.
std::optional<DevMode> CurrentDevMode(HANDLE printer, const std::wstring& name);

// `base` with `settings` applied, merged and checked by the driver (DocumentPropertiesW with the record
// in and out); nothing when the driver refuses it.
std::optional<DevMode> MergedDevMode(HANDLE printer, const std::wstring& name, const DevMode& base,
                                     const PrintSettings& settings);

}  // namespace platform::win32
