#pragma once
// Geotagged photos search: asks the photo service (the "endpoint.photos"
// setting, base before "/map/get_panoramas.php?") for the most popular
// photos inside a latitude/longitude box, a page of 100 at a time, and keeps
// the page as eight text lines per photo (services/photo_page.h).
//
// One search runs at a time on a worker thread the search object owns. The
// worker fills a list of its own; on the window thread that list replaces
// the items, the page is cached and OnPanoramio fires. A search asked for
// while one runs only records its box, set and first photo; it starts once
// the running one completed (after its OnPanoramio), so a burst of requests
// gives one more request, for the latest parameters.
//
// Pages are cached in memory for 60 minutes under box (3 decimals), set and
// first photo, with their "more pages" flag; a cached page fires OnPanoramio
// like a fetched one, through the window thread's queue. Only pages that
// arrived are cached, failures are not.
//
// With no service set (empty "endpoint.photos") a search fails at once,
// without any network access: no photos, Status says why, OnPanoramio fires.
//
// Titles and owner names are service text shown as hints and in info
// windows: they are kept with their markup neutralised.
//
// Create, use and destroy on the window thread. Destroying the object cuts
// the running transfer, waits for the worker and drops its completion.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geo/data_cache.h"
#include "geo/object.h"
#include "platform/owned_worker.h"
#include "platform/tick.h"

namespace wy {

enum TWyPanoramioImageSize : uint8_t {
  pimMini_square,
  pimSquare,
  pimThumbnail,
  pimSmall,
  pimMedium,
  pimOriginal,
};

class TWyNativePanoramio : public TObject {
 public:
  static constexpr int kPageSize = 100;
  static constexpr const char* kStatusOk = "OK";
  static constexpr const char* kStatusNoService = "ERROR no photo service set";
  static constexpr const char* kStatusError = "ERROR";

  // `cacheTick` drives the page cache's expiry (empty: the process tick).
  explicit TWyNativePanoramio(TTickSource cacheTick = {});
  ~TWyNativePanoramio() override;
  TWyNativePanoramio(const TWyNativePanoramio&) = delete;
  TWyNativePanoramio& operator=(const TWyNativePanoramio&) = delete;

  // First page of the box of a circle (radius in kilometres).
  void SearchAt(double lat, double Lng, double Radius);
  // First page of the current box.
  void Search();
  // The following page; nothing when the last page said there is none.
  void NextSearch();
  // True while a worker runs.
  bool IsSearch() const { return FWorker.Busy(); }

  // Number of photos of the current page.
  int count() const { return static_cast<int>(FItems.size() / 8); }
  // The photo's values; "" for an index outside the page.
  std::string PhotoDate(int index) const { return Line(index, 0); }
  std::string PhotoId(int index) const { return Line(index, 1); }
  std::string PhotoTitle(int index) const { return Line(index, 4); }
  std::string OwnerId(int index) const { return Line(index, 5); }
  std::string OwnerName(int index) const { return Line(index, 6); }
  std::string PhotoUrl(int index) const { return Line(index, 7); }
  // -1 for an index outside the page or a value that is not a number.
  double Longitude(int index) const;
  double Latitude(int index) const;
  // The photo's address for that size ("/medium/" replaced, any case); ""
  // outside the page.
  std::string PhotoSize(int index, TWyPanoramioImageSize size) const;
  // Credit line linking to the photo's page; "" outside the page or when the
  // photo id is not a plain number.
  std::string HtmlCopyright(int index) const;
  // The lines of the current page, eight per photo.
  const std::vector<std::string>& Items() const { return FItems; }

  bool HasMore() const { return FHasMore; }
  double LatSW() const { return FLatSW; }
  double LngSW() const { return FLngSW; }
  double LatNE() const { return FLatNE; }
  double LngNE() const { return FLngNE; }
  void SetLatSW(double v) { FLatSW = v; }
  void SetLngSW(double v) { FLngSW = v; }
  void SetLatNE(double v) { FLatNE = v; }
  void SetLngNE(double v) { FLngNE = v; }
  const std::string& Tag() const { return FTag; }
  void SetTag(const std::string& v) { FTag = v; }
  // Restricts the searches to one user's photos; empty: everybody's.
  const std::string& UserId() const { return FUserId; }
  void SetUserId(const std::string& v) { FUserId = v; }
  int ClickIndex() const { return FClickIndex; }
  void SetClickIndex(int v) { FClickIndex = v; }
  int Start() const { return FStart; }
  // "" before the first page, then kStatusOk, kStatusNoService or
  // kStatusError plus the reason.
  const std::string& Status() const { return FStatus; }

  // A page arrived (also empty, after a failure); sender: this object.
  std::function<void(TWyNativePanoramio* sender)> OnPanoramio;

  // The request address of a page.
  static std::string RequestUrl(const std::string& host, const std::string& set, int start,
                                double latSW, double lngSW, double latNE, double lngNE);

 private:
  struct TPage;

  std::string Line(int index, int line) const;
  void RequestStep();
  std::string CacheKey() const;
  void Completed(const std::shared_ptr<TPage>& page);
  void Deliver(const std::shared_ptr<TPage>& page);

  std::vector<std::string> FItems;
  double FLat = 0, FLng = 0, FRadius = 0;
  double FLatSW = 0, FLngSW = 0, FLatNE = 0, FLngNE = 0;
  int FClickIndex = 0;
  int FStart = 0;
  bool FLostCall = false;
  bool FHasMore = false;
  std::string FSet = "full";
  std::string FTag;
  std::string FUserId;
  std::string FStatus;
  TStringDataCacheList FCacheItems;
  // Last member: destroyed first, it cuts and joins a running request.
  TOwnedWorker FWorker;
};

}  // namespace wy
