#include "tiles/graphic_pool.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <utility>

#include "platform/ascii.h"
#include "platform/log.h"
#include "platform/tick.h"
#include "tiles/image_decode.h"

namespace wy {

namespace {

// Length of an inline image prefix the pool decodes itself, or 0.
size_t InlineImagePrefix(const std::string& url) {
  static const char* const kPrefixes[] = {"data:image/png;base64,", "data:image/jpeg;base64,",
                                          "data:image/jpg;base64,"};
  for (const char* prefix : kPrefixes) {
    if (AsciiStartsWithNoCase(url, prefix)) return std::char_traits<char>::length(prefix);
  }
  return 0;
}

}  // namespace

TThreadGraphicPool::TThreadGraphicPool(bool createSuspended, uint32_t interval,
                                       TGraphicPoolEvent event)
    : TThreadGraphicPool(
          createSuspended,
          [interval] {
            TOptions options;
            options.Interval = interval;
            return options;
          }(),
          std::move(event)) {}

TThreadGraphicPool::TThreadGraphicPool(bool createSuspended, const TOptions& options,
                                       TGraphicPoolEvent event)
    : FOptions(options) {
  if (FOptions.MaxTries < 1) FOptions.MaxTries = 1;
  if (FOptions.Download.MaxSize == 0) FOptions.Download.MaxSize = kDefaultMaxIconBytes;
  Attach(std::move(event));
  if (!createSuspended) Start();
}

TThreadGraphicPool::~TThreadGraphicPool() {
  doTermine();
  if (FThread.joinable()) FThread.join();
}

void TThreadGraphicPool::Start() {
  std::lock_guard<std::mutex> lock(FMutex);
  if (FStarted || FTerminated) return;
  FStarted = true;
  FThread = std::thread([this] { Execute(); });
}

void TThreadGraphicPool::Execute() {
  const auto interval = std::chrono::milliseconds(FOptions.Interval);
  std::unique_lock<std::mutex> lock(FMutex);
  while (!FTerminated) {
    FWake.wait_for(lock, interval, [this] { return FTerminated; });
    if (FTerminated) break;
    lock.unlock();
    FetchNext();
    lock.lock();
  }
}

void TThreadGraphicPool::doTermine() {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FTerminated = true;
  }
  FWake.notify_all();
}

bool TThreadGraphicPool::Terminated() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FTerminated;
}

void TThreadGraphicPool::Add(const std::string& url) {
  try {
    std::lock_guard<std::mutex> lock(FMutex);
    if (FTerminated || FGraphics.count(url) != 0) return;
    auto givenUp = FGivenUp.find(url);
    if (givenUp != FGivenUp.end()) {
      if (TickElapsed(TickCount(), givenUp->second) < FOptions.GiveUpMs) return;
      FGivenUp.erase(givenUp);
    }
    for (const TQueued& queued : FList) {
      if (queued.Url == url) return;
    }
    FList.push_front(TQueued{url, 0});
    while (FList.size() > kMaxQueue) FList.pop_back();
  } catch (...) {
    // Out of memory: the address is simply not queued.
    LogCaughtException(llWarning, "tiles", "queueing a graphic failed");
  }
}

QImage TThreadGraphicPool::GetGraphic(const std::string& url) {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    auto it = FGraphics.find(url);
    if (it != FGraphics.end()) return it->second;
  }
  Add(url);
  return QImage();
}

void TThreadGraphicPool::Clear() {
  std::lock_guard<std::mutex> lock(FMutex);
  FList.clear();
}

TGraphicPoolToken TThreadGraphicPool::Attach(TGraphicPoolEvent event) {
  if (!event) return 0;
  std::lock_guard<std::mutex> lock(FMutex);
  TNotifyEventGraphic send;
  send.Token = FNextToken++;
  send.Event = std::move(event);
  FSends.push_back(std::move(send));
  return FSends.back().Token;
}

bool TThreadGraphicPool::Detach(TGraphicPoolToken token) {
  if (token == 0) return false;
  // Waits for a notification running on the pool's thread.
  std::lock_guard<std::recursive_mutex> calls(FSendsCall);
  std::lock_guard<std::mutex> lock(FMutex);
  auto it = std::find_if(FSends.begin(), FSends.end(),
                         [token](const TNotifyEventGraphic& s) { return s.Token == token; });
  if (it == FSends.end()) return false;
  FSends.erase(it);
  return true;
}

std::vector<std::string> TThreadGraphicPool::Queue() const {
  std::lock_guard<std::mutex> lock(FMutex);
  std::vector<std::string> result;
  result.reserve(FList.size());
  for (const TQueued& queued : FList) result.push_back(queued.Url);
  return result;
}

size_t TThreadGraphicPool::GraphicCount() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FGraphics.size();
}

size_t TThreadGraphicPool::ListenerCount() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FSends.size();
}

bool TThreadGraphicPool::Fill(const std::string& url, std::string& why) {
  // Each fill starts from an empty buffer, so no bytes of an earlier, longer
  // answer trail behind a shorter one.
  FStream.Clear();
  if (size_t prefix = InlineImagePrefix(url)) {
    why = "the inline data is not Base64";
    return Base64ToStream(url.substr(prefix), &FStream) && FStream.Size() > 0;
  }
  std::error_code error;
  if (std::filesystem::is_regular_file(std::filesystem::path(url), error)) {
    why = "the file cannot be read";
    return FStream.LoadFromFile(url) && FStream.Size() > 0;
  }
  TDownloadOptions options = FOptions.Download;
  options.Abort = [this] { return Terminated(); };
  TDownloadResult result;
  const bool ok = DownloadToStream(url, &FStream, options, &result);
  why = result.Error.empty() ? std::string("the download failed") : result.Error;
  return ok;
}

bool TThreadGraphicPool::GaveUp(const std::string& url) const {
  std::lock_guard<std::mutex> lock(FMutex);
  const auto it = FGivenUp.find(url);
  return it != FGivenUp.end() && TickElapsed(TickCount(), it->second) < FOptions.GiveUpMs;
}

void TThreadGraphicPool::GiveUp(const std::string& url) {
  std::lock_guard<std::mutex> lock(FMutex);
  if (FGraphics.count(url) != 0) return;
  FList.erase(
      std::remove_if(FList.begin(), FList.end(), [&url](const TQueued& q) { return q.Url == url; }),
      FList.end());
  FGivenUp[url] = TickCount();
}

void TThreadGraphicPool::Failed(const std::string& url, bool giveUpNow, const std::string& why) {
  std::lock_guard<std::mutex> lock(FMutex);
  auto it =
      std::find_if(FList.begin(), FList.end(), [&url](const TQueued& q) { return q.Url == url; });
  if (it == FList.end()) return;  // cleared or pushed out meanwhile
  TQueued entry = std::move(*it);
  FList.erase(it);
  ++entry.Tries;
  if (giveUpNow || entry.Tries >= FOptions.MaxTries) {
    FGivenUp[url] = TickCount();
    // An inline image can be long: its start names it well enough.
    constexpr size_t kShownChars = 200;
    const std::string shown = url.size() > kShownChars ? url.substr(0, kShownChars) + "..." : url;
    LogWarning("tiles", "giving up on the graphic " + shown + " after " +
                            std::to_string(entry.Tries) +
                            (entry.Tries == 1 ? " attempt: " : " attempts: ") + why);
    return;
  }
  // To the back, so that the other addresses get their turn first.
  FList.push_back(std::move(entry));
}

void TThreadGraphicPool::FetchNext() {
  std::string url;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    if (FTerminated || FList.empty()) return;
    url = FList.front().Url;
  }
  try {
    std::string why;
    bool filled = Fill(url, why);
    if (Terminated()) return;
    if (!filled) {
      Failed(url, false, why);
      return;
    }
    const uint8_t* data = FStream.Memory();
    const size_t size = static_cast<size_t>(FStream.Size());
    if (SniffImageType(data, size) == stNone) {
      // An error page or some other content: maybe better next time.
      Failed(url, false, "the answer is not a PNG or JPEG image");
      return;
    }
    QImage image;
    if (!DecodeImage(data, size, stNone, image)) {
      // Looks like an image but is broken: fetching it again will not help.
      Failed(url, true, "the image does not decode");
      return;
    }
    {
      std::lock_guard<std::mutex> lock(FMutex);
      if (FTerminated) return;
      auto it = std::find_if(FList.begin(), FList.end(),
                             [&url](const TQueued& q) { return q.Url == url; });
      if (it != FList.end()) FList.erase(it);
      FGraphics[url] = std::move(image);
    }
    NotifyListeners();
  } catch (...) {
    // Out of memory or a failing listener: the pool keeps running.
    LogCaughtException(llWarning, "tiles", "fetching a graphic failed");
    FStream.Clear();
  }
}

void TThreadGraphicPool::NotifyListeners() {
  std::lock_guard<std::recursive_mutex> calls(FSendsCall);
  std::vector<TNotifyEventGraphic> sends;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    if (FTerminated) return;
    sends = FSends;
  }
  for (const TNotifyEventGraphic& send : sends) {
    {
      // A listener may have detached another one meanwhile.
      std::lock_guard<std::mutex> lock(FMutex);
      if (FTerminated) return;
      if (std::none_of(FSends.begin(), FSends.end(),
                       [&send](const TNotifyEventGraphic& s) { return s.Token == send.Token; })) {
        continue;
      }
    }
    try {
      send.Event(*this);
    } catch (...) {
      // A listener's failure does not stop the others.
      LogCaughtException(llWarning, "tiles", "a graphic listener failed");
    }
  }
}

// --- The shared pool

namespace {

struct TSharedGraphicPool {
  std::mutex Mutex;
  std::unique_ptr<TThreadGraphicPool> Pool;
  // User token -> the user's listener token in Pool (0: no listener).
  std::map<TGraphicPoolToken, TGraphicPoolToken> Users;
  TGraphicPoolToken NextUser = 1;

  ~TSharedGraphicPool() {
    if (Pool) {
      Pool->doTermine();
      Pool->Clear();
      Pool.reset();
    }
  }
};

TSharedGraphicPool& Shared() {
  static TSharedGraphicPool shared;
  return shared;
}

}  // namespace

TThreadGraphicPool* AttachGraphicPool(TGraphicPoolEvent event, TGraphicPoolToken& token) {
  TSharedGraphicPool& shared = Shared();
  std::lock_guard<std::mutex> lock(shared.Mutex);
  if (token != 0 && shared.Pool && shared.Users.count(token) != 0) return shared.Pool.get();
  if (!shared.Pool) {
    shared.Pool = std::make_unique<TThreadGraphicPool>(false, TThreadGraphicPool::kDefaultInterval);
  }
  TGraphicPoolToken listener = shared.Pool->Attach(std::move(event));
  token = shared.NextUser++;
  shared.Users[token] = listener;
  return shared.Pool.get();
}

void DetachGraphicPool(TGraphicPoolToken& token) {
  TSharedGraphicPool& shared = Shared();
  std::unique_ptr<TThreadGraphicPool> doomed;
  {
    std::lock_guard<std::mutex> lock(shared.Mutex);
    auto it = shared.Users.find(token);
    token = 0;
    if (it == shared.Users.end()) return;
    if (shared.Pool && it->second != 0) shared.Pool->Detach(it->second);
    shared.Users.erase(it);
    if (shared.Users.empty()) doomed = std::move(shared.Pool);
  }
  if (doomed) {
    // Stopping aborts a transfer in progress, so the join is prompt.
    doomed->doTermine();
    doomed->Clear();
    doomed.reset();
  }
}

TThreadGraphicPool* SharedGraphicPool() {
  TSharedGraphicPool& shared = Shared();
  std::lock_guard<std::mutex> lock(shared.Mutex);
  return shared.Pool.get();
}

int GraphicPoolUserCount() {
  TSharedGraphicPool& shared = Shared();
  std::lock_guard<std::mutex> lock(shared.Mutex);
  return static_cast<int>(shared.Users.size());
}

}  // namespace wy
