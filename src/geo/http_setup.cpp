#include "geo/http_setup.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "geo/settings.h"
#include "geo/web_fetch.h"

namespace wy {

namespace {

// "timeout.connect" and the two named ones.
THttpTimeouts TimeoutSettings(const char* lowSpeed, uint32_t lowSpeedMs, const char* total,
                              uint32_t totalMs) {
  THttpTimeouts timeouts;
  timeouts.ConnectMs = GetTimeoutMs("connect", 10000);
  timeouts.LowSpeedMs = GetTimeoutMs(lowSpeed, lowSpeedMs);
  timeouts.TotalMs = GetTimeoutMs(total, totalMs);
  return timeouts;
}

}  // namespace

void InitHttpClient() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string HttpNoProxyList() {
  std::string list = "127.0.0.1,localhost,::1";
  const char* fromEnvironment = std::getenv("no_proxy");
  if (fromEnvironment == nullptr || fromEnvironment[0] == '\0')
    fromEnvironment = std::getenv("NO_PROXY");
  if (fromEnvironment != nullptr && fromEnvironment[0] != '\0') {
    if (std::strcmp(fromEnvironment, "*") == 0) return "*";
    list += ',';
    list += fromEnvironment;
  }
  return list;
}

THttpTimeouts DownloadTimeoutSettings() {
  return TimeoutSettings("low-speed", 30000, "total", 300000);
}

THttpTimeouts TileTimeoutSettings() {
  return TimeoutSettings("tile-low-speed", 10000, "tile-total", 120000);
}

void SetUpHttpHandle(CURL* easy, const THttpHandleSetup& setup) {
  // libcurl copies every text option, so the temporaries below may go.
  const std::string userAgent = setup.UserAgent.empty() ? GetUserAgent() : setup.UserAgent;
  curl_easy_setopt(easy, CURLOPT_URL, EncodeUrlForRequest(setup.Url).c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, setup.MaxRedirects);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_NOPROXY, HttpNoProxyList().c_str());
  curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent.c_str());
  if (setup.AcceptEncoding) curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");  // every decoder
  if (setup.MaxBytes != 0)
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(std::min<uint64_t>(setup.MaxBytes, INT64_MAX)));
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(setup.Timeouts.ConnectMs));
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(setup.Timeouts.TotalMs));
  if (setup.Timeouts.LowSpeedMs != 0) {
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>((uint64_t{setup.Timeouts.LowSpeedMs} + 999) / 1000));
  }
#if LIBCURL_VERSION_NUM >= 0x075700
  // Without it, aborting a transfer during its name lookup joins the lookup
  // thread, which waits for the name server. (Older libcurl has no way out:
  // there an abort waits for the lookup.)
  curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
#endif
}

}  // namespace wy
