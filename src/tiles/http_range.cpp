#include "tiles/http_range.h"

#include <curl/curl.h>

#include <memory>

#include "geo/http_setup.h"
#include "geo/settings.h"

namespace wy {

namespace {

struct TBody {
  std::string Bytes;
  uint64_t Limit = 0;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<TBody*>(user);
  const size_t n = size * count;
  if (body->Bytes.size() + n > body->Limit) return 0;  // ends the transfer
  body->Bytes.append(data, n);
  return n;
}

// One GET; `range` empty for the whole body.
bool Get(const std::string& url, const std::string& range, uint64_t limit, TBody& body,
         long& status, std::string& error) {
  InitHttpClient();
  std::unique_ptr<CURL, void (*)(CURL*)> easy(curl_easy_init(), curl_easy_cleanup);
  if (!easy) {
    error = "no HTTP client";
    return false;
  }
  THttpHandleSetup setup;
  setup.Url = url;
  setup.Timeouts = TileTimeoutSettings();
  setup.MaxBytes = limit;
  SetUpHttpHandle(easy.get(), setup);
  body.Limit = limit;
  curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &body);
  if (!range.empty()) curl_easy_setopt(easy.get(), CURLOPT_RANGE, range.c_str());
  const CURLcode code = curl_easy_perform(easy.get());
  status = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
  if (code != CURLE_OK) {
    error = url + ": " + curl_easy_strerror(code);
    return false;
  }
  return true;
}

}  // namespace

TRangeReader HttpRangeReader(const std::string& url) {
  return [url](uint64_t offset, uint64_t length, std::string& out, std::string& error) {
    out.clear();
    if (length == 0) return true;
    const uint64_t cap = static_cast<uint64_t>(GetSettingInt("download.max-bytes", 64 << 20));
    TBody body;
    long status = 0;
    const std::string range = std::to_string(offset) + "-" + std::to_string(offset + length - 1);
    if (!Get(url, range, std::max(cap, length), body, status, error)) return false;
    // The part asked for (some servers answer it with 200); a whole file of
    // exactly that size holds the same bytes.
    if ((status == 206 || status == 200) && body.Bytes.size() == length) {
      out = std::move(body.Bytes);
      return true;
    }
    if (status == 200 && body.Bytes.size() >= offset + length) {
      out = body.Bytes.substr(offset, length);
      return true;
    }
    error = url + ": HTTP " + std::to_string(status) + " with " +
            std::to_string(body.Bytes.size()) + " bytes for bytes " + range;
    return false;
  };
}

bool FetchTileBytes(const std::string& url, std::string& bytes, std::string& error) {
  bytes.clear();
  error.clear();
  TBody body;
  long status = 0;
  const uint64_t cap = static_cast<uint64_t>(GetSettingInt("download.max-bytes", 64 << 20));
  if (!Get(url, std::string(), cap, body, status, error)) return false;
  if (status == 404 || status == 204) return false;
  if (status < 200 || status > 299) {
    error = url + ": HTTP " + std::to_string(status);
    return false;
  }
  bytes = std::move(body.Bytes);
  return true;
}

}  // namespace wy
