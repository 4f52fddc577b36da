#pragma once
// The libcurl handle set-up shared by every transfer of the program: the
// whole-body download (web_fetch.h) and the tile workers. The time-outs
// come from the settings registry; everything else that both kinds of
// transfer agree on (protocols, redirects, proxy rules, User-Agent, size cap,
// a prompt end of an aborted name lookup) is set here in one place.
//
// Thread-safe.

#include <curl/curl.h>

#include <cstdint>
#include <string>

namespace wy {

// Initialises libcurl once per process (thread-safe); every code path that
// makes its own transfers calls it first.
void InitHttpClient();

// The no-proxy list every transfer uses: loopback addresses never go through
// a proxy, and the user's own no_proxy (or NO_PROXY) list still applies.
std::string HttpNoProxyList();

// Time-outs of one transfer in milliseconds; 0 turns one off.
struct THttpTimeouts {
  uint32_t ConnectMs = 0;   // name lookup and connection
  uint32_t LowSpeedMs = 0;  // no byte received for this long ends the transfer
  uint32_t TotalMs = 0;     // the whole transfer
};

// The whole-body download's: "timeout.connect", "timeout.low-speed",
// "timeout.total".
THttpTimeouts DownloadTimeoutSettings();
// The tile workers': "timeout.connect", "timeout.tile-low-speed",
// "timeout.tile-total". A stalled tile holds one of the few connections a
// tile host allows, so its limits are shorter.
THttpTimeouts TileTimeoutSettings();

struct THttpHandleSetup {
  std::string Url;        // sent as EncodeUrlForRequest makes it
  std::string UserAgent;  // empty: the "user-agent" setting
  long MaxRedirects = 5;
  uint64_t MaxBytes = 0;  // refuse a body announced larger; 0: no cap
  // libcurl's own checks. Its no-progress check counts whole seconds: the
  // stall time is rounded up to the next second (at least one).
  THttpTimeouts Timeouts;
  bool AcceptEncoding = false;  // ask for compressed answers and decode them
};

// Sets the options of `setup` on `easy`, a fresh or reset handle; the
// transfer's own callbacks are the caller's. A transfer aborted (by a
// callback, or by removing it from its multi handle) while its name lookup
// still runs ends at once: the lookup thread is left to finish on its own
// instead of being waited for, which on a machine without a working name
// server takes seconds.
void SetUpHttpHandle(CURL* easy, const THttpHandleSetup& setup);

}  // namespace wy
