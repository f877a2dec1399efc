// The `printing_channel` channel: the families' method tables (printers, baking, sheets, plans) joined into one,
// and its setup on the engine's messenger.
#pragma once

#include <array>
#include <memory>

#include "runner/channels/channel.h"
#include "runner/services.h"

namespace runner::printing {

inline constexpr std::string_view kPrintingChannelName = "printing_channel";
// The interface's 19 methods, then "planMagnetSheets".
inline constexpr size_t kPrintingMethodCount = 20;

// The method table in the order of comparison, each row taken from the family that serves it
// (printers_channel.h, baking_channel.h, sheets_channel.h, plans_channel.h). Both names of a pair ("getPrintersWindows" and
// "getAvailablePrinters"; "createGridImages" and "createGridImagesFast") are bound to the same handler,
// so they give identical replies. A name no family serves answers not-implemented.
// Handlers receive what they need from `services`, which must outlive the table.
std::array<MethodEntry, kPrintingMethodCount> PrintingMethodTable(const Services& services);

// Logs "DEBUG: SetupPrintingChannel called" (one line, standard error), creates `printing_channel` on
// `messenger` with the standard method codec, installs the dispatcher over PrintingMethodTable(services)
// and stores the channel in `slot`, destroying the previous channel after the new one is installed.
// Call on the platform thread; `messenger` and `services` must outlive the channel.
void SetupPrintingChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                          const Services& services);

}  // namespace runner::printing
