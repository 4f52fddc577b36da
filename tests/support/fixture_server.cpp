#include "support/fixture_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace wy {

namespace {

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// A TCP socket bound to 127.0.0.1 on a free port; -1 on failure.
int BindLoopbackSocket(int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

void CloseWithReset(int fd) {
  linger option{};
  option.l_onoff = 1;
  option.l_linger = 0;
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
  ::close(fd);
}

}  // namespace

// The HTTP server, with access to its listening socket: the library listens
// with a backlog of 5, which drops connection attempts (the client retries
// only after a second) when many clients connect at once.
class TFixtureServer::THttpServer : public httplib::Server {
 public:
  void WidenBacklog() {
    const int fd = svr_sock_;
    if (fd >= 0) ::listen(fd, 256);
  }
};

// Counts a request as in flight for as long as the object lives; the answer's
// body writer keeps a copy, so a trickled or stalled body still counts.
class TFixtureServer::TInFlightToken {
 public:
  explicit TInFlightToken(TFixtureServer* server) : FServer(server) {
    std::lock_guard<std::mutex> lock(FServer->FMutex);
    ++FServer->FInFlight;
    FServer->FMaxInFlight = std::max(FServer->FMaxInFlight, FServer->FInFlight);
    FServer->FChanged.notify_all();
  }
  ~TInFlightToken() {
    std::lock_guard<std::mutex> lock(FServer->FMutex);
    --FServer->FInFlight;
    FServer->FChanged.notify_all();
  }
  TInFlightToken(const TInFlightToken&) = delete;
  TInFlightToken& operator=(const TInFlightToken&) = delete;

 private:
  TFixtureServer* FServer;
};

// ---------------------------------------------------------------------------
// TFixtureRequest

std::string TFixtureRequest::Header(const std::string& name) const {
  for (const auto& header : Headers)
    if (SameTextIgnoringCase(header.first, name)) return header.second;
  return std::string();
}

bool TFixtureRequest::HasHeader(const std::string& name) const {
  for (const auto& header : Headers)
    if (SameTextIgnoringCase(header.first, name)) return true;
  return false;
}

std::string TFixtureRequest::Param(const std::string& name) const {
  auto it = Params.find(name);
  return it == Params.end() ? std::string() : it->second;
}

// ---------------------------------------------------------------------------
// TFixtureCached

bool TFixtureCached::NotModified(const TFixtureRequest& request) const {
  if (request.HasHeader("If-None-Match")) {
    if (ETag.empty()) return false;
    // A list of tags; a weak comparison, as for GET.
    auto strip = [](std::string tag) {
      while (!tag.empty() && (tag.front() == ' ' || tag.front() == '\t')) tag.erase(0, 1);
      while (!tag.empty() && (tag.back() == ' ' || tag.back() == '\t')) tag.pop_back();
      if (tag.compare(0, 2, "W/") == 0) tag.erase(0, 2);
      return tag;
    };
    std::string list = request.Header("If-None-Match");
    size_t start = 0;
    for (;;) {
      const size_t comma = list.find(',', start);
      const std::string tag = strip(list.substr(start, comma - start));
      if (tag == "*" || tag == strip(ETag)) return true;
      if (comma == std::string::npos) return false;
      start = comma + 1;
    }
  }
  return !LastModified.empty() && request.Header("If-Modified-Since") == LastModified;
}

void TFixtureCached::Answer(const TFixtureRequest& request, httplib::Response& response) const {
  for (const auto& header : Headers) response.set_header(header.first.c_str(), header.second);
  if (!ETag.empty()) response.set_header("ETag", ETag);
  if (!LastModified.empty()) response.set_header("Last-Modified", LastModified);
  if (NotModified(request)) {
    response.status = 304;
    return;
  }
  response.status = 200;
  response.set_content(Body, ContentType.c_str());
}

// ---------------------------------------------------------------------------
// Start and stop

TFixtureServer::TFixtureServer() : TFixtureServer(TOptions()) {}

TFixtureServer::TFixtureServer(const TOptions& options) {
  Start(options);
}

void TFixtureServer::Start(const TOptions& options) {
  FRefusedSocket = BindLoopbackSocket(&FRefusedPort);  // bound, never listening

  FResetSocket = BindLoopbackSocket(&FResetPort);
  if (FResetSocket >= 0 &&
      (::listen(FResetSocket, 64) != 0 || ::pipe2(FResetWakePipe, O_CLOEXEC) != 0)) {
    ::close(FResetSocket);
    FResetSocket = -1;
  }
  if (FResetSocket >= 0) FResetThread = std::thread([this] { RunResetListener(); });

  FServer = std::make_unique<THttpServer>();
  const size_t threads = std::max<size_t>(options.Threads, 1);
  FServer->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  FServer->set_keep_alive_timeout(options.KeepAliveSeconds);
  FServer->set_read_timeout(2, 0);
  FServer->set_write_timeout(2, 0);
  FServer->set_tcp_nodelay(true);
  auto dispatch = [this](const httplib::Request& req, httplib::Response& res) {
    Dispatch(req, res);
  };
  FServer->Get(".*", dispatch);
  FServer->Post(".*", dispatch);
  FServer->Put(".*", dispatch);
  FServer->Patch(".*", dispatch);
  FServer->Delete(".*", dispatch);
  FServer->Options(".*", dispatch);

  const int port = FServer->bind_to_any_port("127.0.0.1");
  if (port <= 0) return;
  FServer->WidenBacklog();
  FListenThread = std::thread([this] { FServer->listen_after_bind(); });
  // stop() only works once the accept loop runs.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!FServer->is_running() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (FServer->is_running()) FPort = port;
}

TFixtureServer::~TFixtureServer() {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FStopping = true;
  }
  FChanged.notify_all();
  if (FListenThread.joinable()) {
    // The accept loop may not have started (a failed start): wait for it, so
    // that stop() has something to stop.
    while (!FServer->is_running() && FPort > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    FServer->stop();
    FListenThread.join();
  }
  if (FResetThread.joinable()) {
    const char wake = 1;
    (void)!::write(FResetWakePipe[1], &wake, 1);
    FResetThread.join();
  }
  for (int fd : {FResetSocket, FResetWakePipe[0], FResetWakePipe[1], FRefusedSocket})
    if (fd >= 0) ::close(fd);
}

// ---------------------------------------------------------------------------
// Addresses

std::string TFixtureServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(FPort > 0 ? FPort : FRefusedPort);
}

std::string TFixtureServer::Url(const std::string& pathAndQuery) const {
  return BaseUrl() + pathAndQuery;
}

std::string TFixtureServer::ResetUrl(const std::string& pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(FResetSocket >= 0 ? FResetPort : FRefusedPort) +
         pathAndQuery;
}

std::string TFixtureServer::RefusedUrl(const std::string& pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(FRefusedPort) + pathAndQuery;
}

// ---------------------------------------------------------------------------
// Configuration

void TFixtureServer::Route(const std::string& path, TFixtureRoute route) {
  std::lock_guard<std::mutex> lock(FMutex);
  if (route.Stall || route.StallAfterBytes >= 0) FHeld.insert(path);
  FRoutes[path] = std::move(route);
  FHandlers.erase(std::remove_if(FHandlers.begin(), FHandlers.end(),
                                 [&](const THandlerEntry& entry) {
                                   return entry.Kind == THandlerEntry::hkExact &&
                                          entry.Text == path;
                                 }),
                  FHandlers.end());
}

void TFixtureServer::Serve(const std::string& path, std::string body,
                           const std::string& contentType, int status) {
  TFixtureRoute route;
  route.Status = status;
  route.Body = std::move(body);
  route.ContentType = contentType;
  Route(path, std::move(route));
}

void TFixtureServer::ServeBytes(const std::string& path, size_t size) {
  Serve(path, Bytes(size));
}

void TFixtureServer::ServeStatus(const std::string& path, int status, const std::string& body) {
  Serve(path, body, "text/plain", status);
}

void TFixtureServer::Stall(const std::string& path) {
  TFixtureRoute route;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    auto it = FRoutes.find(path);
    if (it != FRoutes.end()) {
      route = it->second;
    } else {
      route.Body = "released";
      route.ContentType = "text/plain";
    }
  }
  route.Stall = true;
  Route(path, std::move(route));
}

void TFixtureServer::ServeShort(const std::string& path, std::string body, int64_t declaredLength) {
  TFixtureRoute route;
  route.Body = std::move(body);
  route.DeclaredLength = declaredLength;
  Route(path, std::move(route));
}

void TFixtureServer::ServeCached(const std::string& path, TFixtureCached cached) {
  Handle(path,
         [cached = std::move(cached)](const TFixtureRequest& request, httplib::Response& response) {
           cached.Answer(request, response);
         });
}

void TFixtureServer::ServeTooManyRequests(const std::string& path, const std::string& retryAfter) {
  TFixtureRoute route;
  route.Status = 429;
  route.Body = "too many requests";
  route.ContentType = "text/plain";
  if (!retryAfter.empty()) route.Headers.emplace_back("Retry-After", retryAfter);
  Route(path, std::move(route));
}

void TFixtureServer::ServeSlow(const std::string& path, std::string body, size_t chunkSize,
                               uint32_t chunkDelayMs) {
  TFixtureRoute route;
  route.Body = std::move(body);
  route.ChunkSize = chunkSize;
  route.ChunkDelayMs = chunkDelayMs;
  Route(path, std::move(route));
}

void TFixtureServer::RemoveRoute(const std::string& path) {
  std::lock_guard<std::mutex> lock(FMutex);
  FRoutes.erase(path);
}

void TFixtureServer::Handle(const std::string& path, THandler handler) {
  std::lock_guard<std::mutex> lock(FMutex);
  FRoutes.erase(path);
  FHandlers.push_back({THandlerEntry::hkExact, path, std::regex(), std::move(handler)});
}

void TFixtureServer::HandlePrefix(const std::string& prefix, THandler handler) {
  std::lock_guard<std::mutex> lock(FMutex);
  FHandlers.push_back({THandlerEntry::hkPrefix, prefix, std::regex(), std::move(handler)});
}

void TFixtureServer::HandleRegex(const std::string& pattern, THandler handler) {
  std::regex compiled(pattern, std::regex::ECMAScript);
  std::lock_guard<std::mutex> lock(FMutex);
  FHandlers.push_back({THandlerEntry::hkRegex, pattern, std::move(compiled), std::move(handler)});
}

void TFixtureServer::SetResetPrefix(const std::string& path, std::string bytes) {
  std::lock_guard<std::mutex> lock(FMutex);
  FResetPrefixes[path] = std::move(bytes);
}

// ---------------------------------------------------------------------------
// Release points

void TFixtureServer::Hold(const std::string& name) {
  std::lock_guard<std::mutex> lock(FMutex);
  FHeld.insert(name);
}

void TFixtureServer::Release(const std::string& name) {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FHeld.erase(name);
  }
  FChanged.notify_all();
}

void TFixtureServer::ReleaseAll() {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FHeld.clear();
  }
  FChanged.notify_all();
}

bool TFixtureServer::WaitRelease(const std::string& name, uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(FMutex);
  auto done = [&] { return FStopping || FHeld.count(name) == 0; };
  if (timeoutMs == 0)
    FChanged.wait(lock, done);
  else
    FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
  return !FStopping && FHeld.count(name) == 0;
}

bool TFixtureServer::SleepFor(uint32_t ms) {
  std::unique_lock<std::mutex> lock(FMutex);
  return !FChanged.wait_for(lock, std::chrono::milliseconds(ms), [&] { return FStopping; });
}

bool TFixtureServer::Stopping() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FStopping;
}

// ---------------------------------------------------------------------------
// Records

TFixtureRequest TFixtureServer::Record(TFixtureRequest request) {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    request.Order = FNextOrder++;
    FRequests.push_back(request);
  }
  FChanged.notify_all();
  return request;
}

std::vector<TFixtureRequest> TFixtureServer::Requests() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FRequests;
}

std::vector<TFixtureRequest> TFixtureServer::RequestsTo(const std::string& path) const {
  std::lock_guard<std::mutex> lock(FMutex);
  std::vector<TFixtureRequest> result;
  for (const auto& request : FRequests)
    if (request.Path == path) result.push_back(request);
  return result;
}

size_t TFixtureServer::RequestCount() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FRequests.size();
}

size_t TFixtureServer::RequestCount(const std::string& path) const {
  return RequestsTo(path).size();
}

void TFixtureServer::ClearRequests() {
  std::lock_guard<std::mutex> lock(FMutex);
  FRequests.clear();
}

bool TFixtureServer::WaitForRequests(size_t count, uint32_t timeoutMs) const {
  std::unique_lock<std::mutex> lock(FMutex);
  return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return FRequests.size() >= count; });
}

int TFixtureServer::InFlight() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FInFlight;
}

int TFixtureServer::MaxInFlight() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FMaxInFlight;
}

void TFixtureServer::ResetMaxInFlight() {
  std::lock_guard<std::mutex> lock(FMutex);
  FMaxInFlight = FInFlight;
}

bool TFixtureServer::WaitForInFlight(int count, uint32_t timeoutMs) const {
  std::unique_lock<std::mutex> lock(FMutex);
  return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return FInFlight >= count; });
}

std::string TFixtureServer::Bytes(size_t size) {
  std::string bytes(size, '\0');
  // A byte pattern that does not repeat with a short period.
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

// ---------------------------------------------------------------------------
// Answering

void TFixtureServer::Dispatch(const httplib::Request& req, httplib::Response& res) {
  TFixtureRequest request;
  request.Time = std::chrono::steady_clock::now();
  request.Method = req.method;
  request.Target = req.target;
  request.Path = req.path;
  for (const auto& param : req.params) request.Params.insert(param);
  for (const auto& header : req.headers) request.Headers.push_back(header);
  request.Body = req.body;
  request.RemotePort = req.remote_port;

  bool haveRoute = false;
  TFixtureRoute route;
  THandler handler;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    auto it = FRoutes.find(req.path);
    if (it != FRoutes.end()) {
      haveRoute = true;
      route = it->second;
    } else {
      for (int pass = 0; pass < 2 && !handler; ++pass) {
        for (auto entry = FHandlers.rbegin(); entry != FHandlers.rend(); ++entry) {
          const bool exact = entry->Kind == THandlerEntry::hkExact;
          if ((pass == 0) != exact) continue;
          std::smatch match;
          if ((exact && entry->Text == req.path) ||
              (entry->Kind == THandlerEntry::hkPrefix &&
               req.path.compare(0, entry->Text.size(), entry->Text) == 0) ||
              (entry->Kind == THandlerEntry::hkRegex &&
               std::regex_match(req.path, match, entry->Pattern))) {
            for (size_t i = 1; i < match.size(); ++i) request.Captures.push_back(match[i].str());
            handler = entry->Handler;
            break;
          }
        }
      }
    }
  }
  request = Record(std::move(request));
  // Counted after recording, so that a request in flight is always on record.
  auto token = std::make_shared<TInFlightToken>(this);

  if (haveRoute) {
    Answer(req.path, route, res, token);
  } else if (handler) {
    res.status = 200;
    handler(request, res);
  } else {
    res.status = 404;
    res.set_content("not found", "text/plain");
  }
}

void TFixtureServer::Answer(const std::string& path, const TFixtureRoute& route,
                            httplib::Response& res, std::shared_ptr<TInFlightToken> token) {
  if (route.DelayMs > 0 && !SleepFor(route.DelayMs)) {
    res.status = 503;
    res.set_content("stopping", "text/plain");
    return;
  }
  if (route.Stall && !WaitRelease(path)) {
    res.status = 503;
    res.set_content("stopping", "text/plain");
    return;
  }
  res.status = route.Status;
  for (const auto& header : route.Headers) res.set_header(header.first.c_str(), header.second);

  const bool plain = route.ChunkSize == 0 && route.StallAfterBytes < 0 && route.DeclaredLength < 0;
  if (plain) {
    res.set_content(route.Body, route.ContentType.c_str());
    return;
  }
  const size_t declared =
      route.DeclaredLength >= 0 ? static_cast<size_t>(route.DeclaredLength) : route.Body.size();
  const std::string body = route.Body.substr(0, declared);
  res.set_content_provider(
      declared, route.ContentType.c_str(),
      [this, path, route, body, declared, token](size_t offset, size_t, httplib::DataSink& sink) {
        size_t position = offset;
        auto send = [&](size_t end) {
          end = std::min(end, body.size());
          while (position < end) {
            size_t piece = end - position;
            if (route.ChunkSize > 0) piece = std::min(piece, route.ChunkSize);
            if (!sink.write(body.data() + position, piece)) return false;
            position += piece;
            if (route.ChunkDelayMs > 0 && position < body.size() && !SleepFor(route.ChunkDelayMs))
              return false;
          }
          return true;
        };
        if (route.StallAfterBytes >= 0 && position <= static_cast<size_t>(route.StallAfterBytes)) {
          if (!send(static_cast<size_t>(route.StallAfterBytes))) return false;
          if (!WaitRelease(path)) return false;
        }
        if (!send(body.size())) return false;
        // A body shorter than announced: end the connection early.
        return position >= declared;
      });
}

// ---------------------------------------------------------------------------
// The reset listener

void TFixtureServer::RunResetListener() {
  for (;;) {
    pollfd fds[2] = {{FResetSocket, POLLIN, 0}, {FResetWakePipe[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    const int fd = ::accept4(FResetSocket, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) HandleResetConnection(fd);
  }
}

void TFixtureServer::HandleResetConnection(int fd) {
  // Read the request head (for the record), giving up after 2 s.
  std::string head;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) break;
    pollfd fds[2] = {{fd, POLLIN, 0}, {FResetWakePipe[0], POLLIN, 0}};
    if (::poll(fds, 2, static_cast<int>(left)) <= 0 || fds[1].revents != 0) break;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<size_t>(n));
  }

  TFixtureRequest request;
  request.Time = std::chrono::steady_clock::now();
  request.WasReset = true;
  sockaddr_in peer{};
  socklen_t peerLength = sizeof peer;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0)
    request.RemotePort = ntohs(peer.sin_port);
  size_t lineEnd = head.find("\r\n");
  const std::string line = head.substr(0, lineEnd);
  const size_t space1 = line.find(' ');
  const size_t space2 = space1 == std::string::npos ? space1 : line.find(' ', space1 + 1);
  if (space1 != std::string::npos) {
    request.Method = line.substr(0, space1);
    request.Target = line.substr(
        space1 + 1, space2 == std::string::npos ? std::string::npos : space2 - space1 - 1);
    request.Path =
        httplib::detail::decode_url(request.Target.substr(0, request.Target.find('?')), false);
  }
  while (lineEnd != std::string::npos) {
    const size_t start = lineEnd + 2;
    lineEnd = head.find("\r\n", start);
    if (lineEnd == std::string::npos || lineEnd == start) break;
    const std::string header = head.substr(start, lineEnd - start);
    const size_t colon = header.find(':');
    if (colon == std::string::npos) continue;
    size_t valueStart = colon + 1;
    while (valueStart < header.size() && header[valueStart] == ' ') ++valueStart;
    request.Headers.emplace_back(header.substr(0, colon), header.substr(valueStart));
  }
  std::string prefix;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    auto it = FResetPrefixes.find(request.Path);
    if (it != FResetPrefixes.end()) prefix = it->second;
  }
  Record(std::move(request));
  if (!prefix.empty()) {
    (void)!::send(fd, prefix.data(), prefix.size(), MSG_NOSIGNAL);
    // Give the client a moment to take in the prefix before the reset, which
    // would otherwise discard it from the client's receive queue.
    SleepFor(50);
  }
  CloseWithReset(fd);
}

}  // namespace wy
