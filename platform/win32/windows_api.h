// <windows.h> for the Win32 adapters, without the macros that would rename our own members. Internal to
// platform/win32/: include this instead of <windows.h>.
#pragma once

#include <windows.h>

// The ANSI/Unicode switch macros of the spooler and GDI calls share names with the ports' methods
// (Spooler::SetDefaultPrinter, PrintDevice::StartDoc): the adapters call the W functions by name.
#undef SetDefaultPrinter
#undef GetDefaultPrinter
#undef StartDoc
