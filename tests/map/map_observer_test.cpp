#include "map/map_observer.h"

#include <gtest/gtest.h>

#include <vector>

namespace wy {
namespace {

TEST(MapObserverTest, SendPassesTheDocumentedSender) {
  TVuroduDavObserver o;
  int shape = 0, route = 0;
  std::vector<std::pair<uint32_t, void*>> log;
  auto rec = [&](uint32_t m) { return [&log, m](void* s) { log.push_back({m, s}); }; };
  o.OnMapMove = rec(omMapMove);
  o.OnMapAddRoute = rec(omMapAddRoute);
  o.OnMapShapeClick = rec(omShapeClick);
  o.OnMapShapeMouseOver = rec(omShapeMouseOver);
  o.OnMapPaint = rec(omMapPaint);
  o.OnMapRotation = rec(omMapRotation);
  o.OnMapFree = [&](void* s) {
    EXPECT_TRUE(o.MapFree());  // set before the event runs
    log.push_back({omMapFree, s});
  };

  o.Send(omMapMove, &shape);
  o.Send(omMapAddRoute, &route);
  o.Send(omShapeClick, &shape);
  o.Send(omShapeMouseOver, &shape);
  o.Send(omMapPaint, nullptr);     // never sent by a map: ignored
  o.Send(omMapRotation, nullptr);  // likewise
  o.Send(3033, nullptr);
  o.Send(4000, nullptr);
  EXPECT_FALSE(o.MapFree());
  o.Send(omMapFree, nullptr);

  const std::vector<std::pair<uint32_t, void*>> expected = {{omMapMove, &o},
                                                            {omMapAddRoute, &route},
                                                            {omShapeClick, &shape},
                                                            {omShapeMouseOver, &shape},
                                                            {omMapFree, &o}};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(o.MinZoom(), 0);
  EXPECT_EQ(o.MaxZoom(), 23);
}

}  // namespace
}  // namespace wy
