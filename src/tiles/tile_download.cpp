#include "tiles/tile_download.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <utility>
#include <vector>

#include "geo/http_setup.h"
#include "geo/settings.h"
#include "geo/url_host.h"
#include "platform/log.h"
#include "platform/tick.h"
#include "platform/wall_clock.h"

namespace wy {

namespace {

constexpr long kMaxRedirects = 5;
// Idle handles kept per host:port.
constexpr size_t kMaxIdleHandlesPerHost = 8;
// How often a worker waiting for a connection slot looks at its cancel flag.
constexpr auto kSlotPoll = std::chrono::milliseconds(50);

// Idle easy handles by host:port. A handle is used by one thread at a time;
// libcurl keeps its connection open between transfers.
class THandlePool {
 public:
  ~THandlePool() {
    std::lock_guard<std::mutex> lock(FMutex);
    for (auto& entry : FIdle)
      for (CURL* easy : entry.second) curl_easy_cleanup(easy);
  }

  CURL* Take(const std::string& hostPort) {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      auto it = FIdle.find(hostPort);
      if (it != FIdle.end() && !it->second.empty()) {
        CURL* easy = it->second.back();
        it->second.pop_back();
        return easy;
      }
    }
    return curl_easy_init();
  }

  void Give(const std::string& hostPort, CURL* easy) {
    if (easy == nullptr) return;
    curl_easy_reset(easy);  // options go, the connection cache stays
    {
      std::lock_guard<std::mutex> lock(FMutex);
      auto& idle = FIdle[hostPort];
      if (idle.size() < kMaxIdleHandlesPerHost) {
        idle.push_back(easy);
        return;
      }
    }
    curl_easy_cleanup(easy);
  }

 private:
  std::mutex FMutex;
  std::map<std::string, std::vector<CURL*>> FIdle;
};

THandlePool& HandlePool() {
  static THandlePool pool;
  return pool;
}

// Counts the transfers running per host:port.
class THostLimiter {
 public:
  // Waits for a slot; false when `cancel` became true first.
  bool Acquire(const std::string& hostPort, int limit, const std::atomic<bool>& cancel) {
    std::unique_lock<std::mutex> lock(FMutex);
    while (limit > 0 && FActive[hostPort] >= limit) {
      if (cancel.load()) return false;
      FReleased.wait_for(lock, kSlotPoll);
    }
    if (cancel.load()) return false;
    ++FActive[hostPort];
    return true;
  }

  void Release(const std::string& hostPort) {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      auto it = FActive.find(hostPort);
      if (it != FActive.end() && --it->second <= 0) FActive.erase(it);
    }
    FReleased.notify_all();
  }

 private:
  std::mutex FMutex;
  std::condition_variable FReleased;
  std::map<std::string, int> FActive;
};

THostLimiter& HostLimiter() {
  static THostLimiter limiter;
  return limiter;
}

// Hosts paused after a 429 (or a 503 with Retry-After): the tick their
// pause started at and its length.
class THostPauses {
 public:
  uint32_t Remaining(const std::string& hostPort) {
    std::lock_guard<std::mutex> lock(FMutex);
    auto it = FPauses.find(hostPort);
    if (it == FPauses.end()) return 0;
    const uint32_t elapsed = TickElapsed(TickCount(), it->second.Start);
    if (elapsed >= it->second.LengthMs) {
      FPauses.erase(it);
      return 0;
    }
    return it->second.LengthMs - elapsed;
  }

  void Pause(const std::string& hostPort, uint32_t ms) {
    if (hostPort.empty() || ms == 0) return;
    std::lock_guard<std::mutex> lock(FMutex);
    const uint32_t now = TickCount();
    auto it = FPauses.find(hostPort);
    if (it != FPauses.end()) {
      const uint32_t elapsed = TickElapsed(now, it->second.Start);
      if (elapsed < it->second.LengthMs && it->second.LengthMs - elapsed >= ms) return;
    }
    FPauses[hostPort] = TPause{now, ms};
  }

  void Reset() {
    std::lock_guard<std::mutex> lock(FMutex);
    FPauses.clear();
  }

 private:
  struct TPause {
    uint32_t Start = 0;
    uint32_t LengthMs = 0;
  };
  std::mutex FMutex;
  std::map<std::string, TPause> FPauses;
};

THostPauses& HostPauses() {
  static THostPauses pauses;
  return pauses;
}

// How long an answer pauses its host: 429 always, 503 when it names a time.
uint32_t PauseFor(long status, const THttpCacheHeaders& headers) {
  if (status != 429 && status != 503) return 0;
  const uint64_t maxMs =
      static_cast<uint64_t>(std::max<int64_t>(GetSettingInt("tiles.host-pause-max", 3600000), 0));
  uint64_t ms = 0;
  if (!RetryAfterMs(headers.RetryAfter, WallClockSeconds(), ms)) {
    if (status != 429) return 0;
    ms = static_cast<uint64_t>(std::max<int64_t>(GetSettingInt("tiles.host-pause", 60000), 0));
  }
  return static_cast<uint32_t>(std::min<uint64_t>({ms, maxMs, UINT32_MAX}));
}

struct TTransfer {
  const std::atomic<bool>* Cancel = nullptr;
  std::string* Body = nullptr;
  THttpCacheHeaders* Headers = nullptr;
  bool TooLarge = false;
  bool OutOfMemory = false;
  // Caught in the body callback, logged after the transfer: nothing may
  // leave a callback into libcurl.
  std::exception_ptr Caught;
};

size_t OnBodyData(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<TTransfer*>(user);
  const size_t bytes = size * count;
  if (transfer->Cancel->load()) return 0;
  if (transfer->Body->size() + bytes > kMaxTileBytes) {
    transfer->TooLarge = true;
    return 0;
  }
  try {
    transfer->Body->append(data, bytes);
  } catch (...) {
    transfer->Caught = std::current_exception();
    transfer->OutOfMemory = true;
    return 0;
  }
  return bytes;
}

size_t OnHeaderLine(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<TTransfer*>(user);
  const size_t bytes = size * count;
  try {
    const std::string line(data, bytes);
    // Each answer of a redirect chain starts with its status line: only the
    // last answer's headers count.
    if (line.compare(0, 5, "HTTP/") == 0)
      *transfer->Headers = THttpCacheHeaders();
    else
      transfer->Headers->Take(line);
  } catch (...) {
    transfer->Caught = std::current_exception();
    transfer->OutOfMemory = true;
    return 0;
  }
  return bytes;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<TTransfer*>(user);
  return transfer->Cancel->load() ? 1 : 0;
}

}  // namespace

int MaxConnectionsForHost(const std::string& hostPort) {
  if (hostPort.empty()) return 0;
  const int64_t value = GetSettingInt("max-connections." + hostPort, 0);
  return value <= 0 ? 0 : static_cast<int>(std::min<int64_t>(value, 1 << 20));
}

uint32_t TileHostPauseMs(const std::string& hostPort) {
  return HostPauses().Remaining(hostPort);
}

void PauseTileHost(const std::string& hostPort, uint32_t ms) {
  HostPauses().Pause(hostPort, ms);
}

void ResetTileHostPauses() {
  HostPauses().Reset();
}

TTileFetchResult FetchTile(const std::string& url, const std::atomic<bool>& cancel,
                           const TTileMeta* validators) {
  TTileFetchResult result;
  const std::string hostPort = UrlHostPort(url);
  if (hostPort.empty()) {
    result.Error = "no host in the address";
    return result;
  }
  const int limit = MaxConnectionsForHost(hostPort);
  if (!HostLimiter().Acquire(hostPort, limit, cancel)) {
    result.Aborted = true;
    return result;
  }
  // The slot is released on every path below.
  struct TSlot {
    const std::string& HostPort;
    ~TSlot() { HostLimiter().Release(HostPort); }
  } slot{hostPort};
  // Looked at once the slot is ours: a worker that waited for it while
  // another one was told to slow down sends nothing.
  if (HostPauses().Remaining(hostPort) > 0) {
    result.Deferred = true;
    return result;
  }

  InitHttpClient();
  CURL* easy = HandlePool().Take(hostPort);
  if (easy == nullptr) {
    result.Error = "no HTTP handle";
    return result;
  }
  curl_slist* headers = nullptr;
  try {
    TTransfer transfer;
    transfer.Cancel = &cancel;
    transfer.Body = &result.Body;
    transfer.Headers = &result.Headers;

    THttpHandleSetup setup;
    setup.Url = url;
    setup.MaxRedirects = kMaxRedirects;
    setup.MaxBytes = kMaxTileBytes;
    setup.Timeouts = TileTimeoutSettings();
    SetUpHttpHandle(easy, setup);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBodyData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeaderLine);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    // "Name:" without a value keeps libcurl from sending a header of that
    // name: no request of the tiles tells a cache to skip its copy.
    std::vector<std::string> lines = {"Cache-Control:", "Pragma:"};
    if (validators != nullptr && !validators->ETag.empty())
      lines.push_back("If-None-Match: " + validators->ETag);
    if (validators != nullptr && !validators->LastModified.empty())
      lines.push_back("If-Modified-Since: " + validators->LastModified);
    for (const std::string& line : lines) {
      curl_slist* longer = curl_slist_append(headers, line.c_str());
      if (longer == nullptr) throw std::bad_alloc();
      headers = longer;
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);

    const CURLcode code = curl_easy_perform(easy);
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &result.HttpStatus);
    result.Aborted = cancel.load() || code == CURLE_ABORTED_BY_CALLBACK;
    result.Complete = code == CURLE_OK && !transfer.TooLarge && !transfer.OutOfMemory;
    if (transfer.TooLarge)
      result.Error = "larger than " + std::to_string(kMaxTileBytes) + " bytes";
    else if (transfer.OutOfMemory)
      result.Error = "out of memory";
    else if (code != CURLE_OK)
      result.Error = curl_easy_strerror(code);
    if (!result.Complete) result.Body.clear();
    if (transfer.Caught) std::rethrow_exception(transfer.Caught);
  } catch (...) {
    LogCaughtException(llWarning, "tiles", "a tile download failed");
    result.Error = "the download failed";
    result.Complete = false;
    result.Body.clear();
  }
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
  curl_slist_free_all(headers);
  result.PauseMs = PauseFor(result.HttpStatus, result.Headers);
  if (result.PauseMs > 0) {
    HostPauses().Pause(hostPort, result.PauseMs);
    LogInfo("tiles", hostPort + " asked for a pause: no tile requests to it for " +
                         std::to_string(result.PauseMs) + " ms");
  }
  if (result.Aborted)
    curl_easy_cleanup(easy);  // its connection may be half-way through an answer
  else
    HandlePool().Give(hostPort, easy);
  return result;
}

std::string TTileFetchResult::Reason() const {
  if (!Error.empty()) return Error;
  if (Aborted) return "cancelled";
  if (Deferred) return "the host asked for a pause";
  if (HttpStatus == 0) return "no answer";
  if (HttpStatus < 200 || HttpStatus > 299) return "HTTP status " + std::to_string(HttpStatus);
  if (Body.empty()) return "an empty answer";
  return std::string();
}

namespace {

struct TLoggedFailures {
  std::mutex Mutex;
  std::set<std::pair<std::string, std::string>> HostReasons;
};

TLoggedFailures& LoggedFailures() {
  static TLoggedFailures logged;
  return logged;
}

}  // namespace

bool LogTileFailureOnce(const std::string& hostPort, const std::string& reason) {
  TLoggedFailures& logged = LoggedFailures();
  {
    std::lock_guard<std::mutex> lock(logged.Mutex);
    // Bounded: a host failing in ever new ways is not remembered forever.
    if (logged.HostReasons.size() >= 1024) logged.HostReasons.clear();
    if (!logged.HostReasons.emplace(hostPort, reason).second) return false;
  }
  LogWarning("tiles", "tiles from " + hostPort + " fail: " + reason +
                          " (logged once; later failures of this kind are not)");
  return true;
}

void ResetTileFailureLog() {
  TLoggedFailures& logged = LoggedFailures();
  std::lock_guard<std::mutex> lock(logged.Mutex);
  logged.HostReasons.clear();
}

TThreadTile::TThreadTile(std::string url, TTileServer tileServer, int x, int y, int z,
                         TNotifyEvent notifyEvent, std::shared_ptr<const TTileMeta> validators)
    : FUrl(std::move(url)),
      FTileServer(tileServer),
      FX(x),
      FY(y),
      FZ(z),
      FNotifyEvent(std::move(notifyEvent)),
      FValidators(std::move(validators)) {
  FThread = std::thread([this] { Execute(); });
}

TThreadTile::~TThreadTile() {
  FCancel.store(true);
  Join();
}

void TThreadTile::Join() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

void TThreadTile::Execute() {
  try {
    FResult = FetchTile(FUrl, FCancel, FValidators.get());
    if (!FCancel.load() && FNotifyEvent) FNotifyEvent(*this);
  } catch (...) {
    // Nothing leaves a worker.
    LogCaughtException(llWarning, "tiles", "a tile worker failed");
  }
  FFinished.store(true);
}

}  // namespace wy
