#pragma once
// The process-wide graphic pool: one background thread that turns marker icon
// addresses into decoded images for every map of the process.
//
// Addresses are
//  - "data:image/png;base64,..." or "data:image/jpeg;base64,..." (the prefix
//    compared without regard to case): decoded in place, no request;
//  - the name of an existing local file: loaded from disk;
//  - anything else: downloaded (http/https) with time-outs, a body cap, and
//    an abort that fires as soon as the pool is asked to stop.
// The image type always comes from the content (PNG bytes named ".jpg"
// decode as PNG).
//
// Queue. Index 0 is the newest address; every wake-up (Interval ms, 30 by
// default) the pool handles the newest queued address. At most
// kMaxQueue addresses wait: adding more drops the oldest. Adding an address
// that is queued or already decoded does nothing. A fetch that fails, or
// bytes that are not an image, send the address to the back of the queue;
// after MaxTries failed attempts it is dropped, and adding it again within
// GiveUpMs (process tick) does nothing. Bytes that look like PNG/JPEG but do
// not decode drop the address at once, under the same rule.
// Addresses compare byte for byte (Base64 text is case-sensitive).
//
// Sharing. Decoded images are QImage values kept in a map guarded by the
// pool's mutex. QImage is implicitly shared with an atomic reference count,
// so GetGraphic hands out a copy that costs no pixel copy and stays valid on
// the caller's thread for as long as the caller keeps it - also after the
// pool is gone. The pool never paints into an image once it is stored.
//
// Listeners run on the pool's thread, once per newly decoded image, and must
// only post a message or set a flag (e.g. PostMapMessage(target,
// WM_MAPREPAINT)). They are told apart by the token Attach returns, never by
// comparing callables. Once Detach returns, the listener is not running and
// will not be called again.
//
// The pool owns its thread and joins it in its destructor; a transfer in
// progress is aborted, so destruction returns promptly.

#include <QImage>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "geo/stream.h"
#include "geo/web_fetch.h"

namespace wy {

class TThreadGraphicPool;

// Called with the pool as sender when a new graphic is ready.
using TGraphicPoolEvent = std::function<void(TThreadGraphicPool& sender)>;

// Identity of one listener or one user of the shared pool; 0 is none.
using TGraphicPoolToken = uint64_t;

// One listener of the pool.
class TNotifyEventGraphic {
 public:
  TGraphicPoolToken Token = 0;
  TGraphicPoolEvent Event;
};

class TThreadGraphicPool {
 public:
  static constexpr uint32_t kDefaultInterval = 30;
  static constexpr size_t kMaxQueue = 200;

  struct TOptions {
    uint32_t Interval = kDefaultInterval;  // ms between two fetches
    int MaxTries = 3;                      // attempts per address before it is dropped
    uint32_t GiveUpMs = 60000;             // how long a dropped address stays refused
    // Transfer settings; Abort is replaced by the pool's own stop test.
    // MaxSize 0 becomes kDefaultMaxIconBytes; time-outs 0 use the settings.
    TDownloadOptions Download;
  };
  static constexpr uint32_t kDefaultMaxIconBytes = 8u * 1024 * 1024;

  // Starts the thread unless createSuspended (then call Start). A non-empty
  // event is attached as the first listener.
  TThreadGraphicPool(bool createSuspended, uint32_t interval, TGraphicPoolEvent event = {});
  TThreadGraphicPool(bool createSuspended, const TOptions& options, TGraphicPoolEvent event = {});
  // Stops the thread (aborting a transfer), joins it, frees everything.
  ~TThreadGraphicPool();
  TThreadGraphicPool(const TThreadGraphicPool&) = delete;
  TThreadGraphicPool& operator=(const TThreadGraphicPool&) = delete;

  // Starts a pool created suspended; does nothing otherwise or once stopped.
  void Start();

  // Queues an address (see the rules above). Any thread.
  void Add(const std::string& url);
  // The decoded image, or a null QImage after queueing the address. Any thread.
  QImage GetGraphic(const std::string& url);
  // Empties the queue; decoded images stay.
  void Clear();
  // The address was dropped after failing and is not asked for again yet:
  // whoever shows it had better show something else. Any thread.
  bool GaveUp(const std::string& url) const;
  // Drops a queued address as if it had failed for good (a caller that
  // cannot wait longer). Any thread.
  void GiveUp(const std::string& url);

  // Adds a listener and returns its token; an empty event gives 0 and adds
  // nothing.
  TGraphicPoolToken Attach(TGraphicPoolEvent event);
  // Removes the listener; false when the token is not attached. Waits for a
  // notification in progress on another thread.
  bool Detach(TGraphicPoolToken token);

  // Asks the thread to stop; a transfer in progress is aborted. Any thread.
  void doTermine();
  bool Terminated() const;

  // Handles the newest queued address once, on the calling thread. The pool's
  // thread calls it every Interval ms; tests may call it on a pool created
  // suspended.
  void FetchNext();

  // Snapshots, for diagnostics and tests.
  std::vector<std::string> Queue() const;  // newest first
  size_t GraphicCount() const;
  size_t ListenerCount() const;

 private:
  struct TQueued {
    std::string Url;
    int Tries = 0;
  };

  void Execute();
  // Fills FStream from the address; false when nothing usable arrived,
  // and `why` says why.
  bool Fill(const std::string& url, std::string& why);
  // After a failed attempt: to the back, or dropped (and logged with why)
  // after MaxTries.
  void Failed(const std::string& url, bool giveUpNow, const std::string& why);
  void NotifyListeners();

  TOptions FOptions;

  mutable std::mutex FMutex;  // guards everything below up to FThread
  std::condition_variable FWake;
  bool FTerminated = false;
  bool FStarted = false;
  std::deque<TQueued> FList;                 // index 0 is the newest
  std::map<std::string, QImage> FGraphics;   // address -> decoded image
  std::map<std::string, uint32_t> FGivenUp;  // address -> tick when dropped
  std::vector<TNotifyEventGraphic> FSends;
  TGraphicPoolToken FNextToken = 1;

  // Held while listeners run, so that Detach can wait for them. Recursive: a
  // listener may detach itself.
  mutable std::recursive_mutex FSendsCall;

  TMemoryStream FStream;  // working buffer, pool thread only
  std::thread FThread;
};

// The shared pool. Each user (a map's shapes group) attaches once, with a
// token variable that starts at 0: the first attach of the process creates
// the pool; AttachGraphicPool sets `token` and returns the pool. Attaching
// again with a token that is still attached changes nothing. The event may
// be empty (a user without a listener). The pointer stays valid until this
// user detaches.
TThreadGraphicPool* AttachGraphicPool(TGraphicPoolEvent event, TGraphicPoolToken& token);
// Removes this user's listener and sets `token` to 0; the last user's detach
// stops, joins and frees the pool. An unknown or 0 token does nothing.
// Must not be called from a listener.
void DetachGraphicPool(TGraphicPoolToken& token);
// The shared pool and its user count, for tests and diagnostics.
TThreadGraphicPool* SharedGraphicPool();
int GraphicPoolUserCount();

}  // namespace wy
