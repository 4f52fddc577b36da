#include "geo/web_fetch.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "geo/settings.h"
#include "platform/log.h"
#include "support/fixture_server.h"
#include "support/held_resolver.h"

namespace wy {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::string_literals;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class WebFetch : public ::testing::Test {
 protected:
  void TearDown() override { ResetSettings(); }

  TFixtureServer Server;
};

// --- Success

TEST_F(WebFetch, WritesTheWholeBodyAtTheCurrentPosition) {
  struct TCase {
    const char* Name;
    std::string Before;
    int64_t Position;
    std::string Body;
    std::string After;
  };
  const std::string big = TFixtureServer::Bytes(300000);  // every byte value, zeros included
  const TCase cases[] = {
      {"empty stream", "", 0, "hello", "hello"},
      {"appends at the end", "ab", 2, "XYZ", "abXYZ"},
      {"overwrites in the middle", "abcd", 1, "XY", "aXYd"},
      {"overwrites and grows", "abcd", 1, "XYZW", "aXYZW"},
      {"large binary body", "ab", 2, big, "ab" + big},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    Server.Serve("/body", c.Body);
    TMemoryStream stream(c.Before);
    stream.SetPosition(c.Position);
    TDownloadResult result;
    ASSERT_TRUE(DownloadToStream(Server.Url("/body"), &stream, TDownloadOptions(), &result))
        << result.Error;
    EXPECT_TRUE(stream.DataString() == c.After);
    // Not rewound: the position is after the written bytes.
    EXPECT_EQ(stream.Position(), c.Position + static_cast<int64_t>(c.Body.size()));
    EXPECT_EQ(result.Code, deNone);
    EXPECT_EQ(result.HttpStatus, 200);
    EXPECT_EQ(result.Bytes, static_cast<int64_t>(c.Body.size()));
  }
}

TEST_F(WebFetch, FollowsRedirects) {
  TFixtureRoute redirect;
  redirect.Status = 302;
  redirect.Headers = {{"Location", "/new"}};
  Server.Route("/old", redirect);
  Server.Serve("/new", "moved here");
  TMemoryStream stream;
  EXPECT_TRUE(DownloadToStream(Server.Url("/old"), &stream));
  EXPECT_EQ(stream.DataString(), "moved here");
}

TEST_F(WebFetch, DecodesCompressedAnswers) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + "\n";
  Server.Serve("/text", text, "text/plain");
  {
    // The server compresses this answer when asked to; the download must
    // still check the announced (compressed) length correctly.
    httplib::Client client(Server.BaseUrl());
    client.set_decompress(false);
    auto answer = client.Get("/text", {{"Accept-Encoding", "gzip"}});
    ASSERT_TRUE(answer);
    ASSERT_EQ(answer->get_header_value("Content-Encoding"), "gzip");
    ASSERT_LT(answer->body.size(), text.size());
  }
  Server.ClearRequests();
  TMemoryStream stream;
  TDownloadResult result;
  ASSERT_TRUE(DownloadToStream(Server.Url("/text"), &stream, TDownloadOptions(), &result))
      << result.Error;
  EXPECT_TRUE(stream.DataString() == text);
  ASSERT_EQ(Server.RequestCount(), 1u);
  EXPECT_NE(Server.Requests()[0].Header("Accept-Encoding").find("gzip"), std::string::npos);
}

// --- Size limits

TEST_F(WebFetch, RefusesBodiesLargerThanTheLimit) {
  // A body without Content-Length, sent in chunks: only the running count
  // can catch it.
  auto serveChunked = [this](const std::string& path, size_t size) {
    Server.Handle(path, [size](const TFixtureRequest&, httplib::Response& response) {
      response.set_chunked_content_provider(
          "application/octet-stream", [size](size_t offset, httplib::DataSink& sink) {
            if (offset >= size) {
              sink.done();
              return true;
            }
            const std::string piece = TFixtureServer::Bytes(std::min<size_t>(512, size - offset));
            return sink.write(piece.data(), piece.size());
          });
    });
  };
  struct TCase {
    const char* Name;
    size_t BodySize;
    bool Chunked;
    uint32_t MaxSize;
    const char* MaxBytesSetting;  // "download.max-bytes", nullptr: default
    bool Ok;
  };
  const TCase cases[] = {
      {"5000 bytes, limit 1000", 5000, false, 1000, nullptr, false},
      {"1000 bytes, limit 1000", 1000, false, 1000, nullptr, true},
      {"1001 bytes, limit 1000", 1001, false, 1000, nullptr, false},
      {"chunked 5000 bytes, limit 1000", 5000, true, 1000, nullptr, false},
      {"chunked 1000 bytes, limit 1000", 1000, true, 1000, nullptr, true},
      // maxSize 0 is not unbounded: the configured cap applies.
      {"no limit given, cap 4096, 5000 bytes", 5000, false, 0, "4096", false},
      {"no limit given, cap 4096, chunked 5000", 5000, true, 0, "4096", false},
      {"no limit given, cap 4096, 4096 bytes", 4096, false, 0, "4096", true},
      {"no limit given, default cap, 300000 bytes", 300000, false, 0, nullptr, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ResetSettings();
    if (c.MaxBytesSetting != nullptr) SetSetting("download.max-bytes", c.MaxBytesSetting);
    if (c.Chunked)
      serveChunked("/data", c.BodySize);
    else
      Server.ServeBytes("/data", c.BodySize);
    TMemoryStream stream(std::string("keep"));
    stream.SetPosition(2);
    TDownloadOptions options;
    options.MaxSize = c.MaxSize;
    TDownloadResult result;
    EXPECT_EQ(DownloadToStream(Server.Url("/data"), &stream, options, &result), c.Ok)
        << result.Error;
    if (c.Ok) {
      EXPECT_EQ(stream.Size(), 2 + static_cast<int64_t>(c.BodySize));
    } else {
      EXPECT_EQ(result.Code, deTooLarge);
      EXPECT_EQ(stream.DataString(), "keep");
      EXPECT_EQ(stream.Position(), 2);
    }
  }
}

TEST(WebFetchStatus, OnProgressRefusesOnlyBeyondANonZeroLimit) {
  struct TCase {
    uint32_t MaxSize;
    uint64_t Progress;
    bool Continue;
  };
  const TCase cases[] = {
      {0, 0, true},       {0, UINT64_MAX, true}, {1000, 999, true},
      {1000, 1000, true}, {1000, 1001, false},   {1, UINT64_MAX, false},
  };
  for (const auto& c : cases) {
    TMyStatus status(c.MaxSize);
    EXPECT_EQ(status.OnProgress(c.Progress, 0), c.Continue) << c.MaxSize << " " << c.Progress;
  }
}

// --- Failures

TEST_F(WebFetch, FailuresLeaveTheStreamAsItWas) {
  Server.Serve("/empty", "");
  Server.ServeStatus("/missing", 404);
  Server.ServeStatus("/broken", 500);
  Server.ServeStatus("/gone", 410, std::string(100000, 'x'));
  Server.ServeShort("/short", "only this", 1000);
  TFixtureRoute loop;
  loop.Status = 302;
  loop.Headers = {{"Location", "/loop"}};
  Server.Route("/loop", loop);

  struct TCase {
    const char* Name;
    std::string Url;
    TDownloadError Code;
    long HttpStatus;
  };
  const TCase cases[] = {
      {"empty 200", Server.Url("/empty"), deEmpty, 200},
      {"404", Server.Url("/missing"), deHttpStatus, 404},
      {"500", Server.Url("/broken"), deHttpStatus, 500},
      {"410 with a large page", Server.Url("/gone"), deHttpStatus, 410},
      {"unconfigured path (404)", Server.Url("/nothing/here"), deHttpStatus, 404},
      {"body shorter than its Content-Length", Server.Url("/short"), deTruncated, 200},
      {"refused connection", Server.RefusedUrl("/x"), deConnect, 0},
      {"connection reset", Server.ResetUrl("/x"), deTransfer, 0},
      {"endless redirects", Server.Url("/loop"), deTransfer, 302},
      {"unsupported scheme", "file:///etc/hostname", deBadUrl, 0},
      {"not a URL", "no address", deBadUrl, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream stream(std::string("keep"));
    stream.SetPosition(1);
    TDownloadResult result;
    EXPECT_FALSE(DownloadToStream(c.Url, &stream, TDownloadOptions(), &result));
    EXPECT_EQ(result.Code, c.Code) << result.Error;
    EXPECT_EQ(result.HttpStatus, c.HttpStatus);
    EXPECT_FALSE(result.Error.empty());
    EXPECT_EQ(stream.DataString(), "keep");
    EXPECT_EQ(stream.Position(), 1);
  }
  // The reset listener did get the request.
  ASSERT_EQ(Server.RequestsTo("/x").size(), 1u);
  EXPECT_TRUE(Server.RequestsTo("/x")[0].WasReset);

  TDownloadResult result;
  EXPECT_FALSE(DownloadToStream(Server.Url("/empty"), nullptr, TDownloadOptions(), &result));
  EXPECT_EQ(result.Code, deNoStream);
  EXPECT_FALSE(DownloadToStream(Server.Url("/empty"), nullptr));
}

TEST_F(WebFetch, ResetInTheMiddleOfTheBodyFails) {
  Server.SetResetPrefix("/half", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
  TMemoryStream stream;
  TDownloadResult result;
  EXPECT_FALSE(DownloadToStream(Server.ResetUrl("/half"), &stream, TDownloadOptions(), &result));
  EXPECT_NE(result.Code, deNone);
  EXPECT_EQ(stream.Size(), 0);
}

// --- Time-outs and abort

TEST_F(WebFetch, StalledServersTimeOut) {
  Server.Stall("/before-headers");
  TFixtureRoute midBody;
  midBody.Body = std::string(100, 'b');
  midBody.StallAfterBytes = 10;
  Server.Route("/mid-body", midBody);
  // A slow but steady body: no pause reaches the stall time-out.
  Server.ServeSlow("/steady", std::string(8, 's'), 1, 100);
  TFixtureRoute delayed;
  delayed.Body = "late";
  delayed.DelayMs = 200;
  Server.Route("/delayed", delayed);
  // A steady trickle that would take 10 s in all.
  Server.ServeSlow("/trickle", std::string(100, 't'), 1, 100);

  struct TCase {
    const char* Name;
    std::string Path;
    uint32_t LowSpeedMs;
    uint32_t TotalMs;
    const char* LowSpeedSetting;  // "timeout.low-speed"
    bool Ok;
    int64_t MinElapsedMs;
  };
  const TCase cases[] = {
      {"no answer at all", "/before-headers", 300, 0, nullptr, false, 300},
      {"stops after 10 bytes", "/mid-body", 300, 0, nullptr, false, 300},
      {"stall time-out from the settings", "/before-headers", 0, 0, "400", false, 400},
      {"overall time-out", "/trickle", 2000, 500, nullptr, false, 500},
      {"slow but steady", "/steady", 1000, 0, nullptr, true, 700},
      {"answer delayed less than the stall time-out", "/delayed", 1000, 0, nullptr, true, 200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ResetSettings();
    if (c.LowSpeedSetting != nullptr) SetSetting("timeout.low-speed", c.LowSpeedSetting);
    TMemoryStream stream(std::string("keep"));
    TDownloadOptions options;
    options.LowSpeedTimeoutMs = c.LowSpeedMs;
    options.TotalTimeoutMs = c.TotalMs;
    TDownloadResult result;
    const auto start = Clock::now();
    EXPECT_EQ(DownloadToStream(Server.Url(c.Path), &stream, options, &result), c.Ok)
        << result.Error;
    const int64_t elapsed = MsSince(start);
    EXPECT_GE(elapsed, c.MinElapsedMs - 1);  // the tick counts whole milliseconds
    EXPECT_LT(elapsed, 10000);
    if (!c.Ok) {
      EXPECT_EQ(result.Code, deTimeout) << result.Error;
      EXPECT_EQ(stream.DataString(), "keep");
    }
  }
}

TEST_F(WebFetch, AbortStopsTheTransfer) {
  Server.Stall("/stalled");
  Server.ServeSlow("/slow", std::string(200, 's'), 1, 50);  // 10 s in all
  for (const char* path : {"/stalled", "/slow"}) {
    SCOPED_TRACE(path);
    std::atomic<bool> stop{false};
    std::thread stopper([&stop] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      stop = true;
    });
    TMemoryStream stream;
    TDownloadOptions options;
    options.Abort = [&stop] { return stop.load(); };
    TDownloadResult result;
    const auto start = Clock::now();
    EXPECT_FALSE(DownloadToStream(Server.Url(path), &stream, options, &result));
    const int64_t elapsed = MsSince(start);
    stopper.join();
    EXPECT_EQ(result.Code, deAborted) << result.Error;
    EXPECT_GE(elapsed, 299);
    EXPECT_LT(elapsed, 5000);
    EXPECT_EQ(stream.Size(), 0);
  }
}

// Offline, a name lookup may not come back for seconds; an abort meanwhile
// returns at once instead of waiting for it.
TEST_F(WebFetch, AbortDoesNotWaitForAStalledNameLookup) {
  THeldResolver resolver("held.test");
  TMemoryStream stream;
  TDownloadOptions options;
  options.Abort = [&resolver] { return resolver.Holding(); };
  TDownloadResult result;
  EXPECT_FALSE(DownloadToStream("http://held.test/answer", &stream, options, &result));
  EXPECT_TRUE(resolver.Holding());  // returned while the lookup is still held
  EXPECT_EQ(result.Code, deAborted) << result.Error;
}

// An abort predicate that throws stops the download, and what it threw is
// logged.
TEST_F(WebFetch, AFailingAbortPredicateIsLogged) {
  Server.Stall("/stalled");
  TScopedLogCapture log(llWarning);
  TMemoryStream stream;
  TDownloadOptions options;
  options.Abort = []() -> bool { throw std::runtime_error("predicate broke"); };
  TDownloadResult result;
  EXPECT_FALSE(DownloadToStream(Server.Url("/stalled"), &stream, options, &result));
  EXPECT_EQ(result.Code, deAborted) << result.Error;
  EXPECT_TRUE(log.Contains("geo", "predicate broke"));
  EXPECT_EQ(stream.Size(), 0);
}

// --- What is sent

TEST_F(WebFetch, SendsTheUserAgent) {
  Server.Serve("/ua", "ok");
  struct TCase {
    const char* Setting;  // "user-agent", nullptr: default
    const char* Option;
    const char* Expected;
  };
  const TCase cases[] = {
      {nullptr, "", "wyVuroduDav"},
      {"Custom/1.0", "", "Custom/1.0"},
      {"Custom/1.0", "Caller/2.0", "Caller/2.0"},
  };
  for (const auto& c : cases) {
    ResetSettings();
    if (c.Setting != nullptr) SetSetting("user-agent", c.Setting);
    Server.ClearRequests();
    TMemoryStream stream;
    TDownloadOptions options;
    options.UserAgent = c.Option;
    ASSERT_TRUE(DownloadToStream(Server.Url("/ua"), &stream, options));
    ASSERT_EQ(Server.RequestCount(), 1u);
    EXPECT_EQ(Server.Requests()[0].UserAgent(), c.Expected);
  }
}

TEST_F(WebFetch, LoopbackBypassesAConfiguredProxy) {
  Server.Serve("/direct", "no proxy");
  // A proxy that refuses every connection: going through it would fail.
  const std::string proxy = Server.RefusedUrl("");
  for (const char* noProxy : {static_cast<const char*>(nullptr), "other.example"}) {
    setenv("http_proxy", proxy.c_str(), 1);
    if (noProxy != nullptr) setenv("no_proxy", noProxy, 1);
    TMemoryStream stream;
    TDownloadResult result;
    const bool ok = DownloadToStream(Server.Url("/direct"), &stream, TDownloadOptions(), &result);
    unsetenv("http_proxy");
    unsetenv("no_proxy");
    EXPECT_TRUE(ok) << result.Error;
    EXPECT_EQ(stream.DataString(), "no proxy");
  }
}

TEST_F(WebFetch, EncodesUnsafeBytesOfTheAddress) {
  Server.Serve("/a b/\xC3\xA9/x,y", "found");
  TMemoryStream stream;
  TDownloadResult result;
  ASSERT_TRUE(DownloadToStream(Server.Url("/a b/\xC3\xA9/x%2Cy?q=c d&k=%7C"), &stream,
                               TDownloadOptions(), &result))
      << result.Error;
  EXPECT_EQ(stream.DataString(), "found");
  ASSERT_EQ(Server.RequestCount(), 1u);
  const TFixtureRequest request = Server.Requests()[0];
  EXPECT_EQ(request.Target, "/a%20b/%C3%A9/x%2Cy?q=c%20d&k=%7C");
  EXPECT_EQ(request.Param("k"), "|");
}

TEST(WebFetchUrl, EncodeUrlForRequest) {
  struct TCase {
    std::string In;
    std::string Out;
  };
  const TCase cases[] = {
      {"http://h/a b", "http://h/a%20b"},
      {"http://h/p?x=%2C&y=%7C", "http://h/p?x=%2C&y=%7C"},  // "%" is never encoded
      {"http://h/\xC3\xA9?q=\xE2\x82\xAC#\xC3\xA9", "http://h/%C3%A9?q=%E2%82%AC#%C3%A9"},
      {"http://h/a\0b\tc\x7F"s, "http://h/a%00b%09c%7F"},
      {"http://h/a\r\nX-Injected: 1", "http://h/a%0D%0AX-Injected:%201"},
      // A non-ASCII host name is left to the HTTP client's IDN support.
      {"http://b\xC3\xBC"
       "cher.example/\xC3\xBC",
       "http://b\xC3\xBC"
       "cher.example/%C3%BC"},
      {"http://evil\0.example/"s, "http://evil%00.example/"},
      {"http://h:8080", "http://h:8080"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeUrlForRequest(c.In), c.Out) << c.In;
}

TEST_F(WebFetch, ConcurrentDownloadsKeepTheirOwnBodies) {
  constexpr int kThreads = 8;
  for (int i = 0; i < kThreads; ++i)
    Server.Serve("/t" + std::to_string(i), std::string(1000 + i * 100, static_cast<char>('a' + i)));
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < 5; ++round) {
        TMemoryStream stream;
        if (DownloadToStream(Server.Url("/t" + std::to_string(i)), &stream) &&
            stream.DataString() == std::string(1000 + i * 100, static_cast<char>('a' + i)))
          ++good;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(good.load(), kThreads * 5);
}

// --- The fixture server itself

TEST(FixtureServer, HoldsManyConnectionsAtOnce) {
  TFixtureServer server;
  ASSERT_TRUE(server.Running());
  server.Stall("/held");
  constexpr int kClients = 20;
  std::atomic<int> good{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&] {
      TMemoryStream stream;
      if (DownloadToStream(server.Url("/held"), &stream) && stream.DataString() == "released")
        ++good;
    });
  }
  EXPECT_TRUE(server.WaitForInFlight(kClients));
  EXPECT_EQ(server.InFlight(), kClients);
  server.Release("/held");
  for (auto& client : clients) client.join();
  EXPECT_EQ(good.load(), kClients);
  EXPECT_EQ(server.MaxInFlight(), kClients);
  EXPECT_TRUE(server.WaitForRequests(kClients, 1000));
  const auto requests = server.Requests();
  for (size_t i = 0; i < requests.size(); ++i) EXPECT_EQ(requests[i].Order, i + 1);
}

TEST(FixtureServer, StopsWhileHandlersStall) {
  const auto start = Clock::now();
  std::thread client;
  std::thread tileClient;
  {
    TFixtureServer server;
    server.Stall("/forever");
    server.HandleRegex(R"(/(\d+)/(\d+)/(\d+)\.png)",
                       [&server](const TFixtureRequest&, httplib::Response&) {
                         server.WaitRelease("never-released-gate");
                       });
    server.Hold("never-released-gate");
    client = std::thread([url = server.Url("/forever")] {
      TMemoryStream stream;
      TDownloadOptions options;
      options.LowSpeedTimeoutMs = 20000;
      DownloadToStream(url, &stream, options);
    });
    tileClient = std::thread([url = server.Url("/3/4/5.png")] {
      TMemoryStream stream;
      DownloadToStream(url, &stream);
    });
    EXPECT_TRUE(server.WaitForInFlight(2));
    const auto tiles = server.RequestsTo("/3/4/5.png");
    EXPECT_EQ(tiles.size(), 1u);
    if (!tiles.empty()) {
      EXPECT_EQ(tiles[0].Captures, (std::vector<std::string>{"3", "4", "5"}));
    }
  }
  client.join();
  tileClient.join();
  EXPECT_LT(MsSince(start), 10000);
}

// --- Stream helpers

TEST(WebFetchStreams, GetStreamType) {
  struct TCase {
    const char* Name;
    std::string Bytes;
    TStreamType Type;
  };
  const TCase cases[] = {
      {"JFIF", std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01", 12), stJpeg},
      {"Exif",
       std::string("\xFF\xD8\xFF\xE1\x12\x34"
                   "Exif\x00\x00",
                   12),
       stJpeg},
      {"JPEG with another first segment", std::string("\xFF\xD8\xFF\xDB\x00\x43\x00\x01", 8),
       stJpeg},
      {"\"JFIF\" at offset 6 alone", std::string("xxxxxxJFIF"), stJpeg},
      {"PNG", std::string("\x89PNG\r\n\x1A\n\x00\x00", 10), stPng},
      {"PNG, 4 bytes", std::string("\x89PNG"), stPng},
      {"3 bytes", std::string("\x89PN"), stNone},
      {"GIF", std::string("GIF89a\x01\x00\x01\x00", 10), stNone},
      {"FF D8 only", std::string("\xFF\xD8", 2), stNone},
      {"empty", std::string(), stNone},
  };
  for (const auto& c : cases) {
    for (int64_t position : {int64_t{0}, int64_t{2}, static_cast<int64_t>(c.Bytes.size())}) {
      TMemoryStream stream(c.Bytes);
      stream.SetPosition(position);
      EXPECT_EQ(GetStreamType(&stream), c.Type) << c.Name;
      EXPECT_EQ(stream.Position(), position) << c.Name;
    }
  }
  EXPECT_EQ(GetStreamType(nullptr), stNone);
}

TEST(WebFetchStreams, StreamToText) {
  std::string longBytes(5000, 'a');
  longBytes[4500] = '\0';
  struct TCase {
    std::string Bytes;
    std::string Text;
  };
  const TCase cases[] = {
      {"ABC", "ABC"},
      {std::string("A\0B", 3), "A"},
      {std::string("\0AB", 3), ""},
      {"\xE9", "\xC3\xA9"},              // é
      {"\x80\xFF", "\xC2\x80\xC3\xBF"},  // U+0080, U+00FF
      {"", ""},
      {longBytes, std::string(4500, 'a')},
  };
  for (const auto& c : cases) {
    TMemoryStream stream(c.Bytes);
    stream.SetPosition(1);
    EXPECT_EQ(StreamToText(&stream), c.Text);
    EXPECT_EQ(stream.Position(), 1);
  }
  EXPECT_EQ(StreamToText(nullptr), "");
}

TEST(WebFetchStreams, Base64ToStream) {
  struct TCase {
    const char* Text;
    bool Ok;
    std::string Bytes;
  };
  const TCase cases[] = {
      {"QUJD", true, "ABC"},
      {"QUI=", true, "AB"},
      {"QUI", true, "AB"},
      {"QQ==", true, "A"},
      {"QUJD\r\nREVG\n", true, "ABCDEF"},
      {" Q U J D ", true, "ABC"},
      {"iVBORw0KGgo=", true, std::string("\x89PNG\r\n\x1A\n", 8)},
      {"AP8A", true, std::string("\x00\xFF\x00", 3)},
      {"", true, ""},
      {"QUJ!", false, ""},
      {"Q", false, ""},
      {"QUJDR", false, ""},
      {"QQ=A", false, ""},
      {"QQ===", false, ""},
      {"QUJD====", false, ""},
      {"QQ=", false, ""},
      {"QUJD\xC3\xA9", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    TMemoryStream output(std::string("xyz"));
    output.SetPosition(1);
    EXPECT_EQ(Base64ToStream(c.Text, &output), c.Ok);
    if (c.Ok) {
      std::string expected = "x" + c.Bytes;
      if (expected.size() < 3) expected += std::string("xyz").substr(expected.size());
      EXPECT_TRUE(output.DataString() == expected);
      EXPECT_EQ(output.Position(), 0);
    } else {
      EXPECT_EQ(output.DataString(), "xyz");
      EXPECT_EQ(output.Position(), 1);
    }
  }
  EXPECT_FALSE(Base64ToStream("QUJD", nullptr));
}

}  // namespace
}  // namespace wy
