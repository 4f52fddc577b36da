#include "geo/web_fetch.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

#include "geo/http_setup.h"
#include "geo/query_value.h"
#include "geo/settings.h"
#include "geo/url_host.h"
#include "platform/log.h"
#include "platform/tick.h"

namespace wy {

namespace {

constexpr uint32_t kDefaultMaxBytes = 64u * 1024u * 1024u;
constexpr long kMaxRedirects = 8;
// How often the transfer loop looks at the abort predicate and the stall
// timer while nothing happens on the connection.
constexpr int kPollIntervalMs = 50;

uint32_t SizeLimit(uint32_t requested) {
  if (requested != 0) return requested;
  const int64_t configured = GetSettingInt("download.max-bytes", kDefaultMaxBytes);
  if (configured <= 0) return kDefaultMaxBytes;
  return static_cast<uint32_t>(std::min<int64_t>(configured, UINT32_MAX));
}

// The settings, where the caller gives no time-out of its own.
THttpTimeouts TimeoutsOf(const TDownloadOptions& options) {
  THttpTimeouts timeouts = DownloadTimeoutSettings();
  if (options.ConnectTimeoutMs != 0) timeouts.ConnectMs = options.ConnectTimeoutMs;
  if (options.LowSpeedTimeoutMs != 0) timeouts.LowSpeedMs = options.LowSpeedTimeoutMs;
  if (options.TotalTimeoutMs != 0) timeouts.TotalMs = options.TotalTimeoutMs;
  return timeouts;
}

// State shared by the transfer loop and libcurl's callbacks; all of them run
// on the calling thread.
struct TTransfer {
  CURL* Easy = nullptr;
  TMyStatus Status;
  const std::function<bool()>* Abort = nullptr;
  std::string Body;
  uint32_t LastActivityTick = 0;
  bool Aborted = false;
  bool TooLarge = false;
  bool BadStatus = false;
  bool OutOfMemory = false;
  // What a callback caught, logged once the transfer is over: nothing may
  // leave a callback into libcurl, not even from the log.
  std::exception_ptr Caught;
  const char* CaughtWhere = "";

  bool AbortRequested() {
    if (Abort == nullptr || !*Abort) return false;
    try {
      if ((*Abort)()) Aborted = true;
    } catch (...) {
      Catch("the abort predicate failed; the download stops");
      Aborted = true;
    }
    return Aborted;
  }

  void Catch(const char* where) noexcept {
    if (Caught) return;
    Caught = std::current_exception();
    CaughtWhere = where;
  }

  void LogCaught() {
    if (!Caught) return;
    try {
      std::rethrow_exception(Caught);
    } catch (...) {
      LogCaughtException(llWarning, "geo", CaughtWhere);
    }
  }
};

size_t OnHeaderData(char*, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<TTransfer*>(user);
  transfer->LastActivityTick = TickCount();
  return size * count;
}

size_t OnBodyData(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<TTransfer*>(user);
  const size_t bytes = size * count;
  transfer->LastActivityTick = TickCount();
  if (transfer->AbortRequested()) return 0;
  if (transfer->Body.empty()) {
    // An error page is not worth receiving.
    long status = 0;
    curl_easy_getinfo(transfer->Easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
      transfer->BadStatus = true;
      return 0;
    }
  }
  curl_off_t expected = -1;
  curl_easy_getinfo(transfer->Easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
  if (!transfer->Status.OnProgress(transfer->Body.size() + bytes,
                                   expected > 0 ? static_cast<uint64_t>(expected) : 0)) {
    transfer->TooLarge = true;
    return 0;
  }
  try {
    transfer->Body.append(data, bytes);
  } catch (...) {
    transfer->Catch("no room for the answer's body");
    transfer->OutOfMemory = true;
    return 0;
  }
  return bytes;
}

bool Fail(TDownloadResult* result, TDownloadError code, std::string error) {
  if (result != nullptr) {
    result->Code = code;
    result->Error = std::move(error);
  }
  return false;
}

TDownloadError ErrorOfCurlCode(CURLcode code) {
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return deBadUrl;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      return deConnect;
    case CURLE_OPERATION_TIMEDOUT:
      return deTimeout;
    case CURLE_FILESIZE_EXCEEDED:
      return deTooLarge;
    case CURLE_PARTIAL_FILE:
      return deTruncated;
    default:
      return deTransfer;
  }
}

// -1: not a Base64 digit.
int Base64Digit(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsBase64Space(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// Reads `count` bytes at `offset` from the start, zero-filling what the
// stream cannot supply, and puts the position back.
void PeekBytes(TStream& stream, int64_t offset, unsigned char* bytes, size_t count) {
  std::memset(bytes, 0, count);
  const int64_t saved = stream.Position();
  stream.SetPosition(offset);
  size_t got = 0;
  while (got < count) {
    const size_t n = stream.Read(bytes + got, count - got);
    if (n == 0) break;
    got += n;
  }
  stream.SetPosition(saved);
}

}  // namespace

bool TMyStatus::OnProgress(uint64_t progress, uint64_t /*progressMax*/) const {
  return FMaxsize == 0 || progress <= FMaxsize;
}

std::string EncodeUrlForRequest(const std::string& url) {
  // Bytes before `pathStart` are the scheme and the host part.
  size_t hostStart = 0, pathStart = 0;
  if (!UrlAuthorityRange(url, hostStart, pathStart)) pathStart = 0;
  std::string out;
  out.reserve(url.size() + 16);
  for (size_t i = 0; i < url.size(); ++i) {
    const auto c = static_cast<unsigned char>(url[i]);
    const bool encode = c <= 0x20 || c == 0x7F || (c >= 0x80 && i >= pathStart);
    if (encode)
      AppendPercentEncoded(out, c);
    else
      out += static_cast<char>(c);
  }
  return out;
}

bool DownloadToStream(const std::string& url, TStream* stream, uint32_t maxSize) {
  TDownloadOptions options;
  options.MaxSize = maxSize;
  return DownloadToStream(url, stream, options, nullptr);
}

bool DownloadToStream(const std::string& url, TStream* stream, const TDownloadOptions& options,
                      TDownloadResult* result) {
  if (result != nullptr) *result = TDownloadResult();
  if (stream == nullptr) return Fail(result, deNoStream, "no stream");

  // Freed on every path, the early returns included.
  struct THandles {
    CURL* Easy = nullptr;
    CURLM* Multi = nullptr;
    ~THandles() {
      if (Multi != nullptr) curl_multi_cleanup(Multi);
      if (Easy != nullptr) curl_easy_cleanup(Easy);
    }
  } handles;
  bool ok = false;
  try {
    InitHttpClient();
    const uint32_t limit = SizeLimit(options.MaxSize);
    const THttpTimeouts timeouts = TimeoutsOf(options);
    const uint32_t lowSpeedMs = timeouts.LowSpeedMs;

    CURL* easy = handles.Easy = curl_easy_init();
    CURLM* multi = handles.Multi = curl_multi_init();
    if (easy == nullptr || multi == nullptr) return Fail(result, deTransfer, "out of memory");

    TTransfer transfer;
    transfer.Easy = easy;
    transfer.Status.FMaxsize = limit;
    transfer.Abort = &options.Abort;
    char errorText[CURL_ERROR_SIZE] = {0};

    THttpHandleSetup setup;
    setup.Url = url;
    setup.UserAgent = options.UserAgent;
    setup.MaxRedirects = kMaxRedirects;
    setup.MaxBytes = limit;
    setup.Timeouts = timeouts;
    // The loop below ends a stalled transfer to the millisecond; libcurl's
    // own check, at twice the time, is a backstop should the tick stand still.
    setup.Timeouts.LowSpeedMs =
        static_cast<uint32_t>(std::min<uint64_t>(2ull * lowSpeedMs, UINT32_MAX));
    setup.AcceptEncoding = true;
    SetUpHttpHandle(easy, setup);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeaderData);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBodyData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);

    transfer.LastActivityTick = TickCount();
    curl_multi_add_handle(multi, easy);
    bool stalled = false;
    bool multiFailed = false;
    int running = 1;
    while (running != 0) {
      if (curl_multi_perform(multi, &running) != CURLM_OK) {
        multiFailed = true;
        break;
      }
      if (running == 0) break;
      if (transfer.AbortRequested()) break;
      if (lowSpeedMs != 0 && TickElapsed(TickCount(), transfer.LastActivityTick) >= lowSpeedMs) {
        stalled = true;
        break;
      }
      if (curl_multi_poll(multi, nullptr, 0, kPollIntervalMs, nullptr) != CURLM_OK) {
        multiFailed = true;
        break;
      }
    }
    CURLcode code = CURLE_OK;
    bool done = false;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
        code = message->data.result;
        done = true;
      }
    }

    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t expected = -1;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    curl_off_t received = 0;
    curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &received);
    if (result != nullptr) {
      result->HttpStatus = status;
      result->Bytes = static_cast<int64_t>(transfer.Body.size());
    }

    if (transfer.Aborted) {
      Fail(result, deAborted, "aborted");
    } else if (stalled) {
      Fail(result, deTimeout, "no data for " + std::to_string(lowSpeedMs) + " ms");
    } else if (transfer.BadStatus) {
      Fail(result, deHttpStatus, "HTTP status " + std::to_string(status));
    } else if (transfer.TooLarge) {
      Fail(result, deTooLarge, "larger than " + std::to_string(limit) + " bytes");
    } else if (transfer.OutOfMemory) {
      Fail(result, deTransfer, "out of memory");
    } else if (multiFailed || !done) {
      Fail(result, deTransfer, "transfer failed");
    } else if (code != CURLE_OK) {
      Fail(result, ErrorOfCurlCode(code),
           errorText[0] != '\0' ? std::string(errorText) : std::string(curl_easy_strerror(code)));
    } else if (status < 200 || status > 299) {
      Fail(result, deHttpStatus, "HTTP status " + std::to_string(status));
    } else if (transfer.Body.empty()) {
      Fail(result, deEmpty, "empty body");
    } else if (expected >= 0 && received != expected) {
      Fail(result, deTruncated,
           std::to_string(received) + " of " + std::to_string(expected) + " bytes");
    } else if (stream->Write(transfer.Body.data(), transfer.Body.size()) != transfer.Body.size()) {
      Fail(result, deTransfer, "the stream took fewer bytes than written");
    } else {
      ok = true;
    }
    curl_multi_remove_handle(multi, easy);
    transfer.LogCaught();
  } catch (...) {
    LogCaughtException(llWarning, "geo", "a download failed");
    Fail(result, deTransfer, "internal error");
    ok = false;
  }
  return ok;
}

TStreamType GetStreamType(TStream* stream) {
  if (stream == nullptr) return stNone;
  unsigned char bytes[4];
  PeekBytes(*stream, 6, bytes, 4);
  if (std::memcmp(bytes, "JFIF", 4) == 0 || std::memcmp(bytes, "Exif", 4) == 0) return stJpeg;
  unsigned char start[4];
  PeekBytes(*stream, 0, start, 4);
  if (std::memcmp(start + 1, "PNG", 3) == 0) return stPng;
  // Every JPEG starts with a start-of-image marker and a further marker,
  // whatever application segment follows.
  if (start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF) return stJpeg;
  return stNone;
}

std::string StreamToText(TStream* stream) {
  if (stream == nullptr) return std::string();
  std::string text;
  const int64_t saved = stream->Position();
  stream->SetPosition(0);
  try {
    unsigned char buffer[4096];
    bool end = false;
    while (!end) {
      const size_t n = stream->Read(buffer, sizeof buffer);
      if (n == 0) break;
      for (size_t i = 0; i < n; ++i) {
        const unsigned char c = buffer[i];
        if (c == 0) {
          end = true;
          break;
        }
        if (c < 0x80) {
          text += static_cast<char>(c);
        } else {
          text += static_cast<char>(0xC0 | (c >> 6));
          text += static_cast<char>(0x80 | (c & 0x3F));
        }
      }
    }
  } catch (...) {
    LogCaughtException(llWarning, "geo", "reading a stream as text failed");
    text.clear();
  }
  stream->SetPosition(saved);
  return text;
}

bool Base64ToStream(const std::string& text, TStream* output) {
  if (output == nullptr) return false;
  std::string bytes;
  try {
    bytes.reserve(text.size() / 4 * 3 + 3);
    uint32_t accumulator = 0;
    int digits = 0;    // data digits in the current group of four
    size_t total = 0;  // data digits seen
    size_t padding = 0;
    for (const char ch : text) {
      const auto c = static_cast<unsigned char>(ch);
      if (IsBase64Space(c)) continue;
      if (c == '=') {
        ++padding;
        continue;
      }
      const int digit = Base64Digit(c);
      if (digit < 0 || padding > 0) return false;  // a foreign byte, or data after padding
      accumulator = (accumulator << 6) | static_cast<uint32_t>(digit);
      ++total;
      if (++digits == 4) {
        bytes += static_cast<char>((accumulator >> 16) & 0xFF);
        bytes += static_cast<char>((accumulator >> 8) & 0xFF);
        bytes += static_cast<char>(accumulator & 0xFF);
        accumulator = 0;
        digits = 0;
      }
    }
    if (digits == 1 || padding > 2) return false;
    if (padding > 0 && (total + padding) % 4 != 0) return false;
    if (digits == 2) {
      bytes += static_cast<char>((accumulator >> 4) & 0xFF);
    } else if (digits == 3) {
      bytes += static_cast<char>((accumulator >> 10) & 0xFF);
      bytes += static_cast<char>((accumulator >> 2) & 0xFF);
    }
    if (!bytes.empty() && output->Write(bytes.data(), bytes.size()) != bytes.size()) return false;
    output->SetPosition(0);
    return true;
  } catch (...) {
    LogCaughtException(llWarning, "geo", "Base64 decoding failed");
    return false;
  }
}

}  // namespace wy
