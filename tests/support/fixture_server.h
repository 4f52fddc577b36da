#pragma once
// An HTTP server on 127.0.0.1 that network tests start in-process.
//
//   TFixtureServer server;                        // listening when constructed
//   server.Serve("/a.txt", "hello", "text/plain");
//   DownloadToStream(server.Url("/a.txt"), &stream);
//   EXPECT_EQ(server.Requests().at(0).UserAgent(), "wyVuroduDav");
//
// Paths are answered by routes (exact path) or handlers (exact path, prefix or
// regular expression; the most recently added matching entry wins, exact
// routes before patterns). A path nobody configured answers 404.
//
// Besides plain answers a route can delay, stall until released, trickle its
// body, or send fewer bytes than its Content-Length. Cached answers
// (TFixtureCached) carry validators and caching headers and answer a
// matching conditional request with 304; a 429 can carry a Retry-After. Two extra addresses give
// connection failures: ResetUrl (a listener that reads the request and resets
// the connection) and RefusedUrl (a port with nothing listening).
//
// Every request is recorded in arrival order, and the server counts the
// requests in flight and the most it has seen at once.
//
// The destructor releases every stalled or delayed answer, stops the server
// and joins its threads; it does not wait for clients that stopped reading.
// All member functions are thread-safe.

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace wy {

// One request as the server saw it.
struct TFixtureRequest {
  uint64_t Order = 0;                          // 1 for the first request of the server, then 2, ...
  std::chrono::steady_clock::time_point Time;  // arrival
  std::string Method;
  std::string Target;  // the request target exactly as sent, e.g. "/a%20b?x=1"
  std::string Path;    // its path, percent-decoded, e.g. "/a b"
  std::multimap<std::string, std::string> Params;  // decoded query parameters
  std::vector<std::pair<std::string, std::string>> Headers;
  std::string Body;
  int RemotePort = 0;                 // tells connections apart
  bool WasReset = false;              // arrived at ResetUrl
  std::vector<std::string> Captures;  // groups of the matching regex handler

  // First value of a header (case-insensitive name); empty when missing.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
  std::string UserAgent() const { return Header("User-Agent"); }
  // First value of a query parameter; empty when missing.
  std::string Param(const std::string& name) const;
};

// How a route answers.
struct TFixtureRoute {
  int Status = 200;
  std::string Body;
  std::string ContentType = "application/octet-stream";
  std::vector<std::pair<std::string, std::string>> Headers;  // extra response headers
  uint32_t DelayMs = 0;                                      // wait this long before answering
  bool Stall = false;  // before answering, wait until Release(path) or the server stops
  // >= 0: send the headers and this many body bytes, then wait until
  // Release(path); the rest follows. When the server stops first, the
  // connection is closed.
  int64_t StallAfterBytes = -1;
  // > 0: the body goes out in pieces of this size, with ChunkDelayMs between.
  size_t ChunkSize = 0;
  uint32_t ChunkDelayMs = 0;
  // >= 0: the Content-Length announced. When it is larger than Body, the body
  // is sent and the connection closed; when smaller, only that much is sent.
  int64_t DeclaredLength = -1;
};

// An answer with validators, as a caching server gives it: 200 with the body
// and every header below, or 304 (same headers, no body) to a request that
// names the current version: If-None-Match holding ETag (or "*"), or, only
// without If-None-Match, If-Modified-Since equal to LastModified.
struct TFixtureCached {
  std::string Body;
  std::string ContentType = "image/png";
  std::string ETag;          // sent as is, quotes included ("\"v1\""); empty: none
  std::string LastModified;  // empty: none
  // Further headers of both answers: Cache-Control, Expires, Date, Age, ...
  std::vector<std::pair<std::string, std::string>> Headers;

  // True when the request would get a 304.
  bool NotModified(const TFixtureRequest& request) const;
  // Fills the response for the request.
  void Answer(const TFixtureRequest& request, httplib::Response& response) const;
};

class TFixtureServer {
 public:
  using THandler = std::function<void(const TFixtureRequest& request, httplib::Response& response)>;

  struct TOptions {
    size_t Threads = 48;          // worker threads: one per open connection
    time_t KeepAliveSeconds = 1;  // how long an idle kept-alive connection stays
  };

  TFixtureServer();
  explicit TFixtureServer(const TOptions& options);
  ~TFixtureServer();
  TFixtureServer(const TFixtureServer&) = delete;
  TFixtureServer& operator=(const TFixtureServer&) = delete;

  // False when the server could not start (no free port); every URL then
  // refuses connections.
  bool Running() const { return FPort > 0; }
  int Port() const { return FPort; }
  std::string BaseUrl() const;  // "http://127.0.0.1:<port>"
  // BaseUrl() + pathAndQuery; pathAndQuery should start with "/".
  std::string Url(const std::string& pathAndQuery) const;
  // An address on the reset listener: it reads the request, writes the bytes
  // set with SetResetPrefix (none by default) and resets the connection.
  std::string ResetUrl(const std::string& pathAndQuery = "/") const;
  // An address whose port is reserved but not listening: connecting is refused.
  std::string RefusedUrl(const std::string& pathAndQuery = "/") const;

  // --- Answers (a later call for the same path replaces the earlier one)
  void Route(const std::string& path, TFixtureRoute route);
  void Serve(const std::string& path, std::string body,
             const std::string& contentType = "application/octet-stream", int status = 200);
  // A 200 answer of `size` bytes of Bytes(size).
  void ServeBytes(const std::string& path, size_t size);
  // An answer with the given status and a small text body.
  void ServeStatus(const std::string& path, int status, const std::string& body = "error");
  // Holds the answer to `path` until Release(path); the route's other settings
  // (a 200 "released" text unless Route() set one) apply after that.
  void Stall(const std::string& path);
  // Announces `declaredLength` bytes but sends only `body`, then closes.
  void ServeShort(const std::string& path, std::string body, int64_t declaredLength);
  // Answers `path` as `cached` says; a later call (a new version) replaces it.
  void ServeCached(const std::string& path, TFixtureCached cached);
  // 429 Too Many Requests, with "Retry-After: retryAfter" unless it is empty.
  void ServeTooManyRequests(const std::string& path, const std::string& retryAfter);
  // Sends `body` in `chunkSize` pieces with `chunkDelayMs` between them.
  void ServeSlow(const std::string& path, std::string body, size_t chunkSize,
                 uint32_t chunkDelayMs);
  void RemoveRoute(const std::string& path);

  // Handlers: called on a server thread for every matching request. A
  // handler that waits should use WaitRelease or SleepFor, which end when the
  // server stops.
  void Handle(const std::string& path, THandler handler);
  void HandlePrefix(const std::string& prefix, THandler handler);
  // ECMAScript pattern matched against the whole decoded path; its groups
  // arrive in TFixtureRequest::Captures. E.g. R"(/(\d+)/(\d+)/(\d+)\.png)".
  void HandleRegex(const std::string& pattern, THandler handler);

  // Raw bytes the reset listener writes before the reset for `path`
  // (e.g. a status line and headers, to reset in the middle of an answer).
  void SetResetPrefix(const std::string& path, std::string bytes);

  // --- Release points (stalled routes use their path as the name)
  void Hold(const std::string& name);
  void Release(const std::string& name);
  void ReleaseAll();
  // Waits until `name` is not held. False when the server stops or timeoutMs
  // (0: no limit) passes first.
  bool WaitRelease(const std::string& name, uint32_t timeoutMs = 0);
  // Sleeps; false when the server stops meanwhile.
  bool SleepFor(uint32_t ms);
  bool Stopping() const;

  // --- What happened
  std::vector<TFixtureRequest> Requests() const;
  std::vector<TFixtureRequest> RequestsTo(const std::string& path) const;
  size_t RequestCount() const;
  size_t RequestCount(const std::string& path) const;
  void ClearRequests();
  // Waits until at least `count` requests arrived in total; false on time-out.
  bool WaitForRequests(size_t count, uint32_t timeoutMs = 10000) const;
  // Requests being answered now, and the most answered at once so far.
  int InFlight() const;
  int MaxInFlight() const;
  void ResetMaxInFlight();
  // Waits until at least `count` requests are in flight; false on time-out.
  bool WaitForInFlight(int count, uint32_t timeoutMs = 10000) const;

  // `size` deterministic bytes (all values occur), for bodies whose content
  // a test compares.
  static std::string Bytes(size_t size);

 private:
  struct THandlerEntry {
    enum TKind { hkExact, hkPrefix, hkRegex } Kind;
    std::string Text;
    std::regex Pattern;
    THandler Handler;
  };
  class TInFlightToken;
  class THttpServer;

  void Start(const TOptions& options);
  void Dispatch(const httplib::Request& req, httplib::Response& res);
  void Answer(const std::string& path, const TFixtureRoute& route, httplib::Response& res,
              std::shared_ptr<TInFlightToken> token);
  TFixtureRequest Record(TFixtureRequest request);
  void RunResetListener();
  void HandleResetConnection(int fd);

  std::unique_ptr<THttpServer> FServer;
  std::thread FListenThread;
  int FPort = 0;

  int FResetSocket = -1;
  int FResetWakePipe[2] = {-1, -1};
  int FResetPort = 0;
  std::thread FResetThread;
  int FRefusedSocket = -1;
  int FRefusedPort = 0;

  mutable std::mutex FMutex;
  mutable std::condition_variable FChanged;
  bool FStopping = false;
  std::map<std::string, TFixtureRoute> FRoutes;
  std::vector<THandlerEntry> FHandlers;
  std::map<std::string, std::string> FResetPrefixes;
  std::set<std::string> FHeld;
  std::vector<TFixtureRequest> FRequests;
  uint64_t FNextOrder = 1;
  int FInFlight = 0;
  int FMaxInFlight = 0;
};

}  // namespace wy
