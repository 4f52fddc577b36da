#include "services/native_panoramio.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "geo/geodesy.h"
#include "geo/query_value.h"
#include "geo/settings.h"
#include "geo/stream.h"
#include "geo/string_list.h"
#include "geo/text_convert.h"
#include "geo/web_fetch.h"
#include "services/photo_page.h"

namespace wy {

namespace {

constexpr uint32_t kCacheMinutes = 60;
constexpr int64_t kDefaultMaxAnswerBytes = 16 * 1024 * 1024;
constexpr int kTitleLine = 4;
constexpr int kOwnerNameLine = 6;

const char* SizeSegment(TWyPanoramioImageSize size) {
  switch (size) {
    case pimMini_square:
      return "/mini_square/";
    case pimSquare:
      return "/square/";
    case pimThumbnail:
      return "/thumbnail/";
    case pimSmall:
      return "/small/";
    case pimMedium:
      return "/medium/";
    case pimOriginal:
      return "/original/";
  }
  return "/medium/";
}

bool AllDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// A cached page: its "more pages" flag ("1" or "0"), then each item in
// hexadecimal after a ",". The cache turns "#13#"-like text into line
// breaks on the way back; hexadecimal holds nothing it would change.
std::string PageToCacheText(bool hasMore, const std::vector<std::string>& items) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text = hasMore ? "1" : "0";
  for (const auto& item : items) {
    text += ',';
    for (unsigned char c : item) {
      text += kDigits[c >> 4];
      text += kDigits[c & 15];
    }
  }
  return text;
}

bool PageFromCacheText(const std::string& text, bool& hasMore, std::vector<std::string>& items) {
  if (text.empty()) return false;
  hasMore = text[0] == '1';
  items.clear();
  size_t pos = 1;
  while (pos < text.size() && text[pos] == ',') {
    std::string item;
    ++pos;
    while (pos + 1 < text.size() && text[pos] != ',') {
      const int high = HexDigitValue(text[pos]), low = HexDigitValue(text[pos + 1]);
      if (high < 0 || low < 0) break;
      item += static_cast<char>(high * 16 + low);
      pos += 2;
    }
    items.push_back(std::move(item));
  }
  if (items.size() % kPhotoLines != 0) items.clear();
  return true;
}

}  // namespace

// One page, fetched or taken from the cache.
struct TWyNativePanoramio::TPage {
  std::string Key;
  bool Fetched = false;  // arrived from the service (to be cached)
  std::string Status;
  bool HasMore = false;
  std::vector<std::string> Items;
};

TWyNativePanoramio::TWyNativePanoramio(TTickSource cacheTick)
    : FCacheItems(kCacheMinutes, std::move(cacheTick)) {}

TWyNativePanoramio::~TWyNativePanoramio() {
  OnPanoramio = nullptr;
}

std::string TWyNativePanoramio::RequestUrl(const std::string& host, const std::string& set,
                                           int start, double latSW, double lngSW, double latNE,
                                           double lngNE) {
  return host + "/map/get_panoramas.php?order=popularity&set=" + EncodeQueryValue(set) +
         "&from=" + std::to_string(start) + "&to=" + std::to_string(start + kPageSize) +
         "&minx=" + FloatToStrDot(lngSW) + "&miny=" + FloatToStrDot(latSW) +
         "&maxx=" + FloatToStrDot(lngNE) + "&maxy=" + FloatToStrDot(latNE) +
         "&size=medium&mapfilter=true";
}

std::string TWyNativePanoramio::Line(int index, int line) const {
  if (index < 0 || index >= count()) return std::string();
  return FItems[static_cast<size_t>(index) * kPhotoLines + static_cast<size_t>(line)];
}

double TWyNativePanoramio::Longitude(int index) const {
  double value = -1;
  if (!TryStrToFloatDot(Line(index, 2), value)) return -1;
  return value;
}

double TWyNativePanoramio::Latitude(int index) const {
  double value = -1;
  if (!TryStrToFloatDot(Line(index, 3), value)) return -1;
  return value;
}

std::string TWyNativePanoramio::PhotoSize(int index, TWyPanoramioImageSize size) const {
  const std::string url = PhotoUrl(index);
  if (size == pimMedium || url.empty()) return url;
  return ReplaceAll(url, "/medium/", SizeSegment(size));
}

std::string TWyNativePanoramio::HtmlCopyright(int index) const {
  // The id goes into an address inside markup: only a plain number may.
  const std::string id = PhotoId(index);
  if (!AllDigits(id)) return std::string();
  const std::string host = GetEndpoint("photos");
  return "<div><a style=\"text-decoration:none\" href=\"" + host + "/photo/" + id +
         "\"><img style=\"vertical-align:baseline;border-top-width:0px; border-right-width:0px; "
         "border-bottom-width:0px; border-left-width:0px\" src=\"" +
         host + "/img/iw_panoramio.png\"></a></div>";
}

void TWyNativePanoramio::SearchAt(double lat, double Lng, double Radius) {
  FLat = lat;
  FLng = Lng;
  FRadius = Radius;
  boundingCoordinates(lat, Lng, Radius, FLatSW, FLngSW, FLatNE, FLngNE);
  Search();
}

void TWyNativePanoramio::Search() {
  FStart = 0;
  FSet = FUserId.empty() ? "full" : FUserId;
  RequestStep();
}

void TWyNativePanoramio::NextSearch() {
  if (!FHasMore) return;
  FStart += kPageSize;
  RequestStep();
}

std::string TWyNativePanoramio::CacheKey() const {
  return FloatToStrFixedDot(3, FLatSW) + "-" + FloatToStrFixedDot(3, FLngSW) + "-" +
         FloatToStrFixedDot(3, FLatNE) + "-" + FloatToStrFixedDot(3, FLngNE) + "|" + FSet + "|" +
         std::to_string(FStart);
}

void TWyNativePanoramio::RequestStep() {
  // While a worker runs its page is not touched: the request is only
  // remembered and made, with the parameters of then, once it completed.
  if (FWorker.Busy()) {
    FLostCall = true;
    return;
  }
  FLostCall = false;
  FItems.clear();
  auto page = std::make_shared<TPage>();
  page->Key = CacheKey();
  if (PageFromCacheText(FCacheItems.Get(page->Key), page->HasMore, page->Items)) {
    page->Status = kStatusOk;
    FWorker.Post([this, page] { Deliver(page); });
    return;
  }
  const std::string host = GetEndpoint("photos");
  if (host.empty()) {
    page->Status = kStatusNoService;
    FWorker.Post([this, page] { Deliver(page); });
    return;
  }
  TOwnedWorker* worker = &FWorker;
  auto work = [this, worker, page,
               url = RequestUrl(host, FSet, FStart, FLatSW, FLngSW, FLatNE, FLngNE)] {
    TDownloadOptions options;
    options.MaxSize =
        static_cast<uint32_t>(GetSettingInt("services.max-bytes", kDefaultMaxAnswerBytes));
    options.Abort = worker->AbortCheck();
    TDownloadResult result;
    TMemoryStream stream;
    if (DownloadToStream(url, &stream, options, &result)) {
      ReadPhotoPage(stream.DataString(), page->Items, page->HasMore);
      for (size_t i = 0; i + kPhotoLines <= page->Items.size(); i += kPhotoLines) {
        page->Items[i + kTitleLine] = NeutraliseMarkup(page->Items[i + kTitleLine]);
        page->Items[i + kOwnerNameLine] = NeutraliseMarkup(page->Items[i + kOwnerNameLine]);
      }
      page->Fetched = true;
      page->Status = kStatusOk;
    } else {
      page->Status = std::string(kStatusError) + " " + result.Error;
    }
    // Dropped once the search object is gone.
    worker->Post([this, page] { Completed(page); });
  };
  std::string error;
  if (!FWorker.Start(std::move(work), "photo search", &error)) {
    page->Status = std::string(kStatusError) + " " + error;
    FWorker.Post([this, page] { Deliver(page); });
  }
}

void TWyNativePanoramio::Completed(const std::shared_ptr<TPage>& page) {
  // The worker's last act was posting this: the join is short.
  FWorker.Join();
  if (page->Fetched) FCacheItems.Put(page->Key, PageToCacheText(page->HasMore, page->Items));
  Deliver(page);
}

void TWyNativePanoramio::Deliver(const std::shared_ptr<TPage>& page) {
  FItems = std::move(page->Items);
  FHasMore = page->HasMore;
  FStatus = page->Status;
  const TAliveToken alive = FWorker.Alive();
  const auto handler = OnPanoramio;
  if (handler) handler(this);
  // A request made while the worker ran goes out now, with the latest
  // parameters (the handler may have destroyed this object).
  if (alive && FLostCall && !FWorker.Busy()) RequestStep();
}

}  // namespace wy
