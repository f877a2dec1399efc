// The print and settings dialogs: PrintDlgExW and DocumentPropertiesW(DM_IN_PROMPT), owned by a hidden
// window made for the call.
#include "platform/win32/win_dialogs.h"

#include "platform/win32/windows_api.h"
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/win32/devmode.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

// A hidden top-level window to own a modal dialog; none without a desktop.
class OwnerWindow {
 public:
  OwnerWindow() {
    window_ = ::CreateWindowExW(0, L"STATIC", L"PictaVera", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
  }
  ~OwnerWindow() {
    if (window_ != nullptr) ::DestroyWindow(window_);
  }
  OwnerWindow(const OwnerWindow&) = delete;
  OwnerWindow& operator=(const OwnerWindow&) = delete;
  HWND get() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// Global memory handed back by the common dialog, locked for reading and freed on every path.
class LockedGlobal {
 public:
  explicit LockedGlobal(HGLOBAL memory) : memory_(memory), data_(memory ? ::GlobalLock(memory) : nullptr) {}
  ~LockedGlobal() {
    if (data_ != nullptr) ::GlobalUnlock(memory_);
    if (memory_ != nullptr) ::GlobalFree(memory_);
  }
  LockedGlobal(const LockedGlobal&) = delete;
  LockedGlobal& operator=(const LockedGlobal&) = delete;
  const void* data() const { return data_; }
  size_t size() const { return memory_ ? ::GlobalSize(memory_) : 0; }

 private:
  HGLOBAL memory_;
  void* data_;
};


}  // namespace

DialogOutcome WinPrintDialog::Show(PrintDialogChoice* choice) {
  const OwnerWindow owner;
  if (owner.get() == nullptr) return DialogOutcome::kCancelled;  // no desktop
  PRINTDLGEXW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner.get();
  dialog.Flags = PD_NOPAGENUMS | PD_NOSELECTION | PD_NOCURRENTPAGE | PD_USEDEVMODECOPIESANDCOLLATE;
  dialog.nStartPage = START_PAGE_GENERAL;
  const HRESULT shown = ::PrintDlgExW(&dialog);
  const LockedGlobal names(dialog.hDevNames);
  const LockedGlobal mode(dialog.hDevMode);
  if (FAILED(shown)) return DialogOutcome::kFailed;
  if (dialog.dwResultAction == PD_RESULT_CANCEL) return DialogOutcome::kCancelled;
  choice->printer_name.clear();
  choice->record.reset();
  if (names.data() != nullptr && names.size() >= sizeof(DEVNAMES)) {
    const auto* devnames = static_cast<const DEVNAMES*>(names.data());
    const auto* text = static_cast<const wchar_t*>(names.data());
    const size_t units = names.size() / sizeof(wchar_t);
    if (devnames->wDeviceOffset < units) choice->printer_name = win32::NarrowField(text + devnames->wDeviceOffset, units - devnames->wDeviceOffset);
  }
  if (mode.data() != nullptr && mode.size() >= sizeof(DEVMODEW)) {
    const auto* devmode = static_cast<const DEVMODEW*>(mode.data());
    const size_t stated = std::min<size_t>(static_cast<size_t>(devmode->dmSize) + devmode->dmDriverExtra, mode.size());
    const auto* first = static_cast<const uint8_t*>(mode.data());
    choice->record = std::vector<uint8_t>(first, first + stated);
  }
  return DialogOutcome::kOk;
}

DialogOutcome WinSettingsDialog::Show(const std::string& printer, const std::vector<uint8_t>& input,
                                      std::vector<uint8_t>* output) {
  const OwnerWindow owner;
  if (owner.get() == nullptr) return DialogOutcome::kCancelled;  // no desktop
  const std::optional<std::wstring> name = win32::Widen(printer);
  if (!name || name->empty()) return DialogOutcome::kFailed;
  const win32::PrinterHandle handle(*name);
  if (handle.get() == nullptr) return DialogOutcome::kFailed;
  std::optional<win32::DevMode> start = win32::CurrentDevMode(handle.get(), *name);
  if (!start) return DialogOutcome::kFailed;
  win32::ApplySettings(win32::SettingsFromDevMode(win32::PublicPartOf(input)), start->get());
  win32::DevMode chosen(start->size());
  const LONG answer = ::DocumentPropertiesW(owner.get(), handle.get(), const_cast<wchar_t*>(name->c_str()), chosen.get(),
                                            start->get(), DM_IN_BUFFER | DM_IN_PROMPT | DM_OUT_BUFFER);
  if (answer == IDCANCEL) return DialogOutcome::kCancelled;
  if (answer != IDOK) return DialogOutcome::kFailed;
  // The public fields the user may have changed, over the caller's record.
  PrintSettings settings = win32::SettingsFromDevMode(*chosen.get());
  DEVMODEW result = win32::PublicPartOf(input);
  win32::ApplySettings(settings, &result);
  // Only the caller's public bytes are written: what follows them (its private part) stays its own.
  *output = input;
  std::memcpy(output->data(), &result, win32::PublicBytesOf(input));
  return DialogOutcome::kOk;
}

}  // namespace platform
