#pragma once
// Tile download workers and the process-wide connection handling they share.
//
// Every tile request carries the User-Agent setting ("wyVuroduDav"). The
// workers of every tile server draw their HTTP handles from one process-wide
// pool of idle handles kept per host:port; a handle keeps its connection
// open, so the next tile to the same host reuses it. A per-host limiter caps
// the simultaneous transfers to each host:port: the setting
// "max-connections.<host>:<port>" (2 for tile.openstreetmap.org:443 by
// default), no limit for a host without one.
//
// Requests never ask caches on the way to skip their copy (no "Cache-Control:
// no-cache" nor "Pragma: no-cache"); a stale tile is asked for with its
// validators, so that an unchanged one costs a 304.
//
// A host that answers 429 (too many requests), or 503 with a Retry-After,
// is paused for the whole process: no request goes to it until the pause
// ends. The pause is its Retry-After (at most the setting
// "tiles.host-pause-max", 1 hour by default), else "tiles.host-pause"
// (60 s by default). Pauses count on the process tick (platform/tick.h).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "geo/enums.h"
#include "tiles/tile_meta.h"

namespace wy {

// Largest tile body accepted.
constexpr uint32_t kMaxTileBytes = 8u * 1024 * 1024;

// What one tile transfer brought.
struct TTileFetchResult {
  bool Complete = false;  // the transfer ended without error and the whole body arrived
  bool Aborted = false;   // the cancel flag stopped it
  bool Deferred = false;  // nothing was sent: the host is paused
  long HttpStatus = 0;    // 0 when no answer arrived
  std::string Body;
  THttpCacheHeaders Headers;  // of the last answer (after redirects)
  uint32_t PauseMs = 0;       // the host was paused this long because of this answer
  std::string Error;          // why the transfer failed; empty when it did not

  // Why the answer is not a tile, in a few words ("HTTP status 404",
  // "Couldn't connect to server"); empty for a usable answer.
  std::string Reason() const;

  // A complete, non-empty 2xx answer.
  bool Usable() const {
    return Complete && !Aborted && HttpStatus >= 200 && HttpStatus <= 299 && !Body.empty();
  }
  // The server confirmed the tile asked for with validators.
  bool NotModified() const { return Complete && !Aborted && HttpStatus == 304; }
};

// The simultaneous connection limit for "host:port"; 0 means none.
int MaxConnectionsForHost(const std::string& hostPort);

// Milliseconds until the pause of "host:port" ends; 0 when it is not paused.
uint32_t TileHostPauseMs(const std::string& hostPort);
// Pauses "host:port" for `ms` from now (a longer pause already set stays).
void PauseTileHost(const std::string& hostPort, uint32_t ms);
// Ends every pause (tests).
void ResetTileHostPauses();

// Logs that tiles from "host:port" fail for `reason` (a warning), once per
// host and reason in the process: a server failing every tile logs one
// line, not one per tile. True when it logged now.
bool LogTileFailureOnce(const std::string& hostPort, const std::string& reason);
// Forgets what was logged (tests).
void ResetTileFailureLog();

// Downloads one tile on the calling thread: waits for a connection slot of
// the address's host, then transfers through the shared connection cache,
// with the tile time-outs of the settings ("timeout.connect",
// "timeout.tile-low-speed", "timeout.tile-total"). `cancel` is polled while
// waiting and during the transfer (at least once a second), name lookup
// included: once true the wait or the transfer ends, with Aborted set.
// With `validators` (a stored tile's ETag and Last-Modified) the request is
// conditional. While the host is paused nothing is sent (Deferred).
TTileFetchResult FetchTile(const std::string& url, const std::atomic<bool>& cancel,
                           const TTileMeta* validators = nullptr);

// The download of one tile on its own thread. Created running; the
// notification runs on the worker thread when the transfer ends and is not
// cancelled. The owner keeps the object until it has joined the thread: the
// destructor cancels the transfer and joins.
class TThreadTile {
 public:
  using TNotifyEvent = std::function<void(TThreadTile& sender)>;

  // `validators`: see FetchTile.
  TThreadTile(std::string url, TTileServer tileServer, int x, int y, int z,
              TNotifyEvent notifyEvent, std::shared_ptr<const TTileMeta> validators = nullptr);
  ~TThreadTile();
  TThreadTile(const TThreadTile&) = delete;
  TThreadTile& operator=(const TThreadTile&) = delete;

  // Cancelling aborts the transfer; no notification follows.
  bool Cancel() const { return FCancel.load(); }
  void SetCancel(bool value) { FCancel.store(value); }

  // Waits for the thread to end (idempotent; not from the worker itself).
  void Join();
  // True once the worker has finished (notification included).
  bool Finished() const { return FFinished.load(); }

  const std::string& Url() const { return FUrl; }
  TTileServer TileServer() const { return FTileServer; }
  int X() const { return FX; }
  int Y() const { return FY; }
  int Z() const { return FZ; }
  // The transfer's outcome; read it in the notification or after Join.
  TTileFetchResult& Result() { return FResult; }

 private:
  void Execute();

  std::string FUrl;
  TTileServer FTileServer;
  int FX, FY, FZ;
  TNotifyEvent FNotifyEvent;
  std::shared_ptr<const TTileMeta> FValidators;
  std::atomic<bool> FCancel{false};
  std::atomic<bool> FFinished{false};
  TTileFetchResult FResult;
  std::thread FThread;
};

}  // namespace wy
