#include "map/detail/geo_services_adapter.h"

#include <charconv>
#include <cmath>
#include <utility>

#include "geo/text_convert.h"
#include "services/geo_localise.h"

namespace wy {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// One decimal number written with ".", blanks around it ignored.
bool ReadNumber(const std::string& text, size_t first, size_t last, double& value) {
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  if (first == last) return false;
  const char* begin = text.data() + first;
  const char* end = text.data() + last;
  if (*begin == '+') ++begin;
  const auto r = std::from_chars(begin, end, value);
  return r.ec == std::errc() && r.ptr == end && std::isfinite(value);
}

}  // namespace

std::string TWyGeoServicesAdapter::ReverseGeocode(double Lat, double Lng) {
  return NeutraliseMarkup(FComponent.Reverse(Lat, Lng));
}

bool TWyGeoServicesAdapter::Elevations(const std::vector<TLatLng>& Points,
                                       std::vector<double>& Altitudes) {
  Altitudes.clear();
  if (Points.empty()) return false;
  std::string request;
  for (const TLatLng& p : Points) {
    if (!request.empty()) request += ',';
    request += TwoFloatsToText(p.Lat, p.Lng);
  }
  std::vector<double> values;
  if (!ParseAltitudes(FComponent.Altitudes(request), values) || values.size() != Points.size())
    return false;
  Altitudes = std::move(values);
  return true;
}

bool TWyGeoServicesAdapter::ParseAltitudes(const std::string& text,
                                           std::vector<double>& Altitudes) {
  Altitudes.clear();
  // A trailing separator (each height ending in a line break) ends the list;
  // an empty value anywhere else is an error.
  size_t last = text.size();
  while (last > 0 && (text[last - 1] == '\n' || text[last - 1] == '\r' || IsBlank(text[last - 1])))
    --last;
  if (last == 0) return false;
  size_t start = 0;
  while (start <= last) {
    size_t stop = start;
    while (stop < last && text[stop] != ',' && text[stop] != '\n') ++stop;
    size_t end = stop;
    if (end > start && text[end - 1] == '\r') --end;
    double value = 0;
    if (!ReadNumber(text, start, end, value)) {
      Altitudes.clear();
      return false;
    }
    Altitudes.push_back(value);
    start = stop + 1;
  }
  return true;
}

}  // namespace wy
