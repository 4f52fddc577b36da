#include "tiles/graphic_pool.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/log.h"
#include "platform/map_messages.h"
#include "platform/tick.h"
#include "platform/window_thread.h"
#include "support/fixture_server.h"
#include "support/image_helpers.h"

namespace wy {
namespace {

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);

std::string Base64(const std::string& bytes) {
  return QByteArray::fromStdString(bytes).toBase64().toStdString();
}

std::string PngDataUrl(QRgb color) {
  return "data:image/png;base64," + Base64(SolidPng(color, 4, 4));
}

// A pool whose thread never runs: the test drives it with FetchNext.
std::unique_ptr<TThreadGraphicPool> ManualPool(int maxTries = 3, uint32_t giveUpMs = 60000) {
  TThreadGraphicPool::TOptions options;
  options.MaxTries = maxTries;
  options.GiveUpMs = giveUpMs;
  return std::make_unique<TThreadGraphicPool>(true, options);
}

// Runs the window thread's queue until pred holds; false after 10 s.
template <typename TPred>
bool WaitFor(TPred pred) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    WaitProcessing(5);
  }
  return true;
}

TEST(GraphicPoolTest, QueueKeepsTheNewestAndIgnoresKnownAddresses) {
  auto pool = ManualPool();
  for (int i = 0; i < 250; ++i) pool->Add("/icons/" + std::to_string(i) + ".png");
  std::vector<std::string> queue = pool->Queue();
  ASSERT_EQ(queue.size(), 200u);
  EXPECT_EQ(queue.front(), "/icons/249.png");
  EXPECT_EQ(queue.back(), "/icons/50.png");

  // Queued already: nothing moves.
  pool->Add("/icons/100.png");
  EXPECT_EQ(pool->Queue(), queue);

  // Clear empties the queue only; decoded images stay.
  const std::string data = PngDataUrl(kRed);
  pool->Add(data);
  pool->FetchNext();
  ASSERT_EQ(pool->GraphicCount(), 1u);
  pool->Clear();
  EXPECT_TRUE(pool->Queue().empty());
  EXPECT_EQ(pool->GraphicCount(), 1u);

  // Decoded already: not queued again, and GetGraphic answers at once.
  pool->Add(data);
  EXPECT_FALSE(pool->GetGraphic(data).isNull());
  EXPECT_TRUE(pool->Queue().empty());
}

TEST(GraphicPoolTest, SourcesDecodeByContentAndNewestFirst) {
  TFixtureServer server;
  server.Serve("/red.png", SolidPng(kRed, 8, 8), "image/png");
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // PNG bytes under a ".jpg" name.
  const std::string file = dir.filePath("blue.jpg").toStdString();
  { std::ofstream(file, std::ios::binary) << SolidPng(kBlue, 6, 6); }
  const std::string pngData = PngDataUrl(kBlue);
  const std::string jpegData =
      "DATA:image/jpeg;base64," + Base64(SolidJpeg(qRgb(0, 255, 0), 16, 16));
  const std::string http = server.Url("/red.png");

  auto pool = ManualPool();
  for (const std::string& url : {http, file, pngData, jpegData}) {
    EXPECT_TRUE(pool->GetGraphic(url).isNull());
  }
  // Newest first: the JPEG data address, then the PNG one, then the file.
  pool->FetchNext();
  EXPECT_FALSE(pool->GetGraphic(jpegData).isNull());
  EXPECT_TRUE(pool->GetGraphic(pngData).isNull());
  pool->FetchNext();
  pool->FetchNext();
  EXPECT_EQ(server.RequestCount(), 0u);  // inline data and files need no request
  pool->FetchNext();
  EXPECT_TRUE(pool->Queue().empty());

  QImage red = pool->GetGraphic(http);
  ASSERT_FALSE(red.isNull());
  EXPECT_EQ(red.size(), QSize(8, 8));
  EXPECT_EQ(red.pixel(3, 3), kRed);
  QImage blueFile = pool->GetGraphic(file);
  ASSERT_FALSE(blueFile.isNull());
  EXPECT_EQ(blueFile.pixel(0, 0), kBlue);
  QImage jpeg = pool->GetGraphic(jpegData);
  EXPECT_GT(qGreen(jpeg.pixel(8, 8)), 240);
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].UserAgent(), "wyVuroduDav");

  // An image handed out stays usable after the pool is gone.
  pool.reset();
  EXPECT_EQ(red.pixel(7, 7), kRed);
}

// Each kind of failure: the address goes to the back behind the others and
// is dropped after its tries; an undecodable image is dropped at once.
TEST(GraphicPoolTest, FailingAddressDoesNotBlockTheOthers) {
  TFixtureServer server;
  std::string png = SolidPng(kRed, 8, 8);
  server.Serve("/good.png", png, "image/png");
  server.ServeStatus("/missing.png", 404);
  server.Serve("/page.png", "<html>not here</html>", "text/html");
  server.Serve("/broken.png", png.substr(0, 8) + std::string(100, 'x'), "image/png");

  struct TCase {
    std::string Url;
    size_t TriesExpected;
    std::string Why;  // in the line logged when the pool gives up
  };
  const TCase cases[] = {
      {server.Url("/missing.png"), 3, "HTTP status 404"},
      {server.Url("/page.png"), 3, "not a PNG or JPEG image"},
      {server.RefusedUrl("/icon.png"), 3, ": "},
      // neither a file nor a URL
      {"data:image/gif;base64,R0lGODlhAQABAAAAACw=", 3, "after 3 attempts: "},
      {server.Url("/broken.png"), 1, "after 1 attempt: the image does not decode"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Url);
    TScopedLogCapture log(llWarning);
    const auto givingUpLines = [&log, &c] {
      size_t lines = 0;
      for (const TLogRecord& record : log.Records())
        if (record.Message.find("giving up on the graphic " + c.Url) != std::string::npos &&
            record.Message.find(c.Why) != std::string::npos)
          ++lines;
      return lines;
    };
    uint32_t now = 1000;
    TScopedTickSource tick([&now] { return now; });
    auto pool = ManualPool(3, 60000);
    const std::string good = server.Url("/good.png");
    pool->Add(good);
    pool->Add(c.Url);  // newest: tried first

    pool->FetchNext();
    EXPECT_TRUE(pool->GetGraphic(c.Url).isNull());
    pool->FetchNext();  // the good one is not starved
    EXPECT_FALSE(pool->GetGraphic(good).isNull());

    size_t attempts = 1;
    while (!pool->Queue().empty() && attempts < 10) {
      EXPECT_EQ(givingUpLines(), 0u);
      pool->FetchNext();
      ++attempts;
    }
    EXPECT_TRUE(pool->Queue().empty());
    EXPECT_EQ(attempts, c.TriesExpected);
    EXPECT_EQ(givingUpLines(), 1u);
    EXPECT_EQ(pool->GraphicCount(), 1u);

    // Given up: asking again does not queue it until the pause has passed.
    EXPECT_TRUE(pool->GetGraphic(c.Url).isNull());
    EXPECT_TRUE(pool->Queue().empty());
    now += 60000;
    pool->Add(c.Url);
    EXPECT_EQ(pool->Queue(), std::vector<std::string>{c.Url});
  }
}

// A short body after a longer one must not be completed by the leftovers of
// the earlier fill.
TEST(GraphicPoolTest, EachFillStartsFromAnEmptyBuffer) {
  TFixtureServer server;
  const std::string big = SolidPng(kRed, 64, 64);
  server.Serve("/big.png", big, "image/png");
  server.Serve("/cut.png", big.substr(0, big.size() - 20), "image/png");
  auto pool = ManualPool();
  pool->Add(server.Url("/big.png"));
  pool->FetchNext();
  ASSERT_EQ(pool->GraphicCount(), 1u);
  pool->Add(server.Url("/cut.png"));
  pool->FetchNext();
  EXPECT_TRUE(pool->GetGraphic(server.Url("/cut.png")).isNull());
  EXPECT_EQ(pool->GraphicCount(), 1u);
}

TEST(GraphicPoolTest, ListenersAreToldOncePerNewGraphicOnThePoolThread) {
  std::atomic<int> first{0};
  std::atomic<int> second{0};
  std::atomic<bool> onWindowThread{false};
  TThreadGraphicPool::TOptions options;
  options.Interval = 2;
  TThreadGraphicPool pool(true, options, [&](TThreadGraphicPool&) {
    if (IsWindowThread()) onWindowThread = true;
    ++first;
  });
  const TGraphicPoolToken token = pool.Attach([&](TThreadGraphicPool&) { ++second; });
  EXPECT_NE(token, 0u);
  EXPECT_EQ(pool.Attach(nullptr), 0u);
  EXPECT_EQ(pool.ListenerCount(), 2u);
  pool.Start();

  pool.Add(PngDataUrl(kRed));
  pool.Add(PngDataUrl(kBlue));
  pool.Add(PngDataUrl(kRed));  // queued already
  ASSERT_TRUE(WaitFor([&] { return pool.GraphicCount() == 2 && second == 2; }));
  pool.Add(PngDataUrl(kRed));                      // decoded already
  pool.Add("data:image/png;base64,iVBORw0KGgo=");  // a PNG signature only
  ASSERT_TRUE(WaitFor([&] { return pool.Queue().empty(); }));

  EXPECT_TRUE(pool.Detach(token));
  EXPECT_FALSE(pool.Detach(token));
  pool.Add(PngDataUrl(qRgb(1, 2, 3)));
  ASSERT_TRUE(WaitFor([&] { return first == 3; }));
  EXPECT_EQ(second, 2);
  EXPECT_FALSE(onWindowThread);
}

// A listener that throws is logged; the others are still told.
TEST(GraphicPoolTest, AFailingListenerIsLoggedAndTheOthersStillHear) {
  std::atomic<int> told{0};
  TThreadGraphicPool::TOptions options;
  options.Interval = 2;
  TThreadGraphicPool pool(true, options,
                          [](TThreadGraphicPool&) { throw std::runtime_error("listener broke"); });
  pool.Attach([&](TThreadGraphicPool&) { ++told; });
  TScopedLogCapture log(llWarning);
  pool.Start();
  pool.Add(PngDataUrl(kRed));
  ASSERT_TRUE(WaitFor([&] { return told == 1; }));
  EXPECT_EQ(pool.GraphicCount(), 1u);
  EXPECT_TRUE(log.Contains("tiles", "listener broke"));
}

TEST(GraphicPoolTest, DestructionAbortsAStalledFetch) {
  TFixtureServer server;
  server.Stall("/slow.png");
  TThreadGraphicPool::TOptions options;
  options.Interval = 1;
  options.Download.LowSpeedTimeoutMs = 120000;
  options.Download.TotalTimeoutMs = 120000;
  auto pool = std::make_unique<TThreadGraphicPool>(false, options);
  pool->Add(server.Url("/slow.png"));
  ASSERT_TRUE(server.WaitForInFlight(1));
  const auto start = std::chrono::steady_clock::now();
  pool.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// Two maps share the pool; each is told apart by its own token.
TEST(GraphicPoolTest, SharedPoolLivesWhileItHasUsers) {
  ASSERT_EQ(SharedGraphicPool(), nullptr);
  int repaints[2] = {0, 0};
  TMessageMailbox map1([&](uint32_t msg, intptr_t, intptr_t) {
    if (msg == WM_MAPREPAINT) ++repaints[0];
  });
  TMessageMailbox map2([&](uint32_t msg, intptr_t, intptr_t) {
    if (msg == WM_MAPREPAINT) ++repaints[1];
  });
  const TMessageTarget target1 = map1.Target();
  const TMessageTarget target2 = map2.Target();
  auto notify1 = [target1](TThreadGraphicPool&) { PostMapMessage(target1, WM_MAPREPAINT); };
  auto notify2 = [target2](TThreadGraphicPool&) { PostMapMessage(target2, WM_MAPREPAINT); };

  TGraphicPoolToken token1 = 0;
  TGraphicPoolToken token2 = 0;
  TThreadGraphicPool* pool = AttachGraphicPool(notify1, token1);
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(AttachGraphicPool(notify1, token1), pool);  // the same user again
  EXPECT_EQ(pool->ListenerCount(), 1u);
  EXPECT_EQ(AttachGraphicPool(notify2, token2), pool);
  EXPECT_EQ(GraphicPoolUserCount(), 2);
  EXPECT_NE(token1, token2);

  pool->Add(PngDataUrl(kRed));
  ASSERT_TRUE(WaitFor([&] { return repaints[0] == 1 && repaints[1] == 1; }));

  DetachGraphicPool(token1);
  EXPECT_EQ(token1, 0u);
  DetachGraphicPool(token1);  // nothing left to detach
  EXPECT_EQ(SharedGraphicPool(), pool);
  EXPECT_EQ(GraphicPoolUserCount(), 1);
  pool->Add(PngDataUrl(kBlue));
  ASSERT_TRUE(WaitFor([&] { return repaints[1] == 2; }));
  EXPECT_EQ(repaints[0], 1);

  DetachGraphicPool(token2);
  EXPECT_EQ(SharedGraphicPool(), nullptr);
  EXPECT_EQ(GraphicPoolUserCount(), 0);

  // A new user gets a fresh pool.
  TGraphicPoolToken token3 = 0;
  TThreadGraphicPool* fresh = AttachGraphicPool(nullptr, token3);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->GraphicCount(), 0u);
  EXPECT_EQ(GraphicPoolUserCount(), 1);
  DetachGraphicPool(token3);
  EXPECT_EQ(SharedGraphicPool(), nullptr);
}

}  // namespace
}  // namespace wy
