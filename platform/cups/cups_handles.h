// Owners of libcups handles and the one way the CUPS adapter opens a printer (its destination, a
// connection, its description). Internal to platform/cups/: included only by the adapter's own files,
// which is why it may name libcups types.
// Thread safety: the functions may be called from any thread; each holder belongs to one thread at a time.
#pragma once

#include <cups/cups.h>

#include <memory>
#include <mutex>
#include <string>

#include "platform/cups/cups_options.h"

namespace platform::cups {

struct DestFree {
  void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
struct InfoFree {
  void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};
struct HttpClose {
  void operator()(http_t* http) const { httpClose(http); }
};
using DestHandle = std::unique_ptr<cups_dest_t, DestFree>;
using InfoHandle = std::unique_ptr<cups_dinfo_t, InfoFree>;
using HttpHandle = std::unique_ptr<http_t, HttpClose>;

// Every destination with the user's options, as cupsGetDests2 gives them.
struct DestList {
  int count = 0;
  cups_dest_t* dests = nullptr;
  DestList() = default;
  ~DestList() {
    if (dests) cupsFreeDests(count, dests);
  }
  DestList(const DestList&) = delete;
  DestList& operator=(const DestList&) = delete;
};

// The lock over the user's lpoptions (see cups_spooler.h): every read of the default or of the user's
// options and every read-modify-write of them holds it.
std::mutex& OptionsLock();

// A new connection to the scheduler the environment names; null when it cannot be reached.
http_t* Connect();

// A destination by name with the user's options (lpoptions) applied; null when unknown or unreachable.
cups_dest_t* NamedDest(const std::string& name);

// The destination's options, in order.
CupsOptions OptionsOf(const cups_dest_t* dest);

// One option of the destination; null when it has none of that name.
const char* Option(const cups_dest_t* dest, const char* name);

// A printer opened for a question or a job: its destination, the connection the questions go over and
// its description. OpenPrinter stops at the first step that fails, leaving that handle and the later
// ones null.
struct PrinterHandles {
  DestHandle dest;
  HttpHandle connection;  // null on the shared connection (CUPS_HTTP_DEFAULT)
  InfoHandle info;
  http_t* http() const { return connection ? connection.get() : CUPS_HTTP_DEFAULT; }
};

// Which connection a printer's questions go over: the calling thread's default one, or one of its own
// (a job keeps it to upload its document).
enum class ConnectionKind { kShared, kOwn };

PrinterHandles OpenPrinter(const std::string& name, ConnectionKind kind);

}  // namespace platform::cups
