#include "tools/wymap_stats.h"

#include <cmath>

#include "geo/iso_time.h"
#include "geo/track_text.h"
#include "tools/wymap_cli.h"
#include "tools/wymap_headless_shapes.h"
#include "tools/wymap_tracks.h"

namespace wy {

namespace {

// A JSON number with at most `digits` decimals (trailing zeros dropped), or
// null.
std::string Number(double v, int digits) {
  if (!std::isfinite(v)) return "null";
  std::string text = FixedText(v, digits);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  return text == "-0" ? "0" : text;
}

std::string Time(double t) {
  const std::string iso = IsoTimeText(t);
  return iso.empty() ? "null" : JsonString(iso);
}

void TextBlock(std::ostream& out, const std::string& title, const TTrackStats& s) {
  const char* noEle = "no elevation";
  const char* noTime = "no time";
  auto line = [&out](const char* label, const std::string& value) {
    out << "  " << label << std::string(13 - std::string(label).size(), ' ') << value << "\n";
  };
  out << title << "\n";
  line("points", std::to_string(s.Points));
  line("distance", DistanceText(s.DistanceM));
  line("ascent", s.HasElevation ? ElevationText(s.AscentM) : noEle);
  line("descent", s.HasElevation ? ElevationText(s.DescentM) : noEle);
  line("elevation",
       s.HasElevation ? ElevationText(s.MinEleM) + " to " + ElevationText(s.MaxEleM) : noEle);
  line("start", s.HasTime ? IsoTimeText(s.Start) : noTime);
  line("end", s.HasTime ? IsoTimeText(s.End) : noTime);
  line("duration", s.HasTime ? DurationText(s.DurationS) : noTime);
  line("moving time", s.HasTime ? DurationText(s.MovingS) : noTime);
  line("avg speed", !s.HasTime                 ? noTime
                    : std::isnan(s.AvgSpeedMs) ? "none (no movement)"
                                               : SpeedText(s.AvgSpeedMs) + " (moving)");
  line("max speed", !s.HasTime                 ? noTime
                    : std::isnan(s.MaxSpeedMs) ? "none (one timed point)"
                                               : SpeedText(s.MaxSpeedMs));
}

}  // namespace

std::string StatsJson(const std::string* name, const TTrackStats& s) {
  const bool e = s.HasElevation, t = s.HasTime;
  std::string o = "{";
  if (name) o += "\"name\":" + (name->empty() ? "null" : JsonString(*name)) + ",";
  o += "\"points\":" + std::to_string(s.Points);
  o += ",\"distance_m\":" + Number(s.DistanceM, 1);
  o += ",\"ascent_m\":" + (e ? Number(s.AscentM, 1) : "null");
  o += ",\"descent_m\":" + (e ? Number(s.DescentM, 1) : "null");
  o += ",\"min_ele_m\":" + (e ? Number(s.MinEleM, 1) : "null");
  o += ",\"max_ele_m\":" + (e ? Number(s.MaxEleM, 1) : "null");
  o += ",\"start\":" + (t ? Time(s.Start) : "null");
  o += ",\"end\":" + (t ? Time(s.End) : "null");
  o += ",\"duration_s\":" + (t ? Number(s.DurationS, 3) : "null");
  o += ",\"moving_s\":" + (t ? Number(s.MovingS, 3) : "null");
  o += ",\"avg_speed_kmh\":" + Number(s.AvgSpeedMs * 3.6, 2);
  o += ",\"max_speed_kmh\":" + Number(s.MaxSpeedMs * 3.6, 2);
  return o + "}";
}

std::string StatsUsage() {
  return "  stats FILE [--json]    distance, climbing, times and speeds of every track\n"
         "                         of a file the map reads (own, GPX, KML, KMZ, GeoJSON)\n";
}

int RunStats(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string file;
  bool json = false;
  for (const std::string& a : args) {
    if (a == "--json") {
      json = true;
    } else if (a.size() > 1 && a[0] == '-') {
      err << "wymap: unknown option " << a << " for stats (try wymap --help)\n";
      return kWymapUsage;
    } else if (file.empty()) {
      file = a;
    } else {
      err << "wymap: stats wants one file (try wymap --help)\n";
      return kWymapUsage;
    }
  }
  if (file.empty()) {
    err << "wymap: stats wants a file (try wymap --help)\n";
    return kWymapUsage;
  }
  TToolApplication app;
  std::vector<TTrack> tracks;
  std::string error;
  if (!ReadTracks(file, tracks, error)) {
    err << "wymap: stats: " << error << "\n";
    return kWymapRequestFailed;
  }
  std::vector<TTrackStats> all;
  for (const TTrack& t : tracks) all.push_back(TrackStatistics(t));
  const TTrackStats total = CombineStatistics(all);
  if (json) {
    out << "{\"tracks\":[";
    for (size_t i = 0; i < tracks.size(); ++i)
      out << (i ? "," : "") << StatsJson(&tracks[i].Name, all[i]);
    out << "],\"total\":" << StatsJson(nullptr, total) << "}\n";
    return kWymapOk;
  }
  if (tracks.empty()) {
    out << "no tracks in " << file << "\n";
    return kWymapOk;
  }
  for (size_t i = 0; i < tracks.size(); ++i) {
    if (i) out << "\n";
    TextBlock(out,
              "Track " + std::to_string(i + 1) +
                  (tracks[i].Name.empty() ? std::string() : ": " + tracks[i].Name),
              all[i]);
  }
  if (tracks.size() > 1) {
    out << "\n";
    TextBlock(out, "Total of " + std::to_string(tracks.size()) + " tracks", total);
  }
  return kWymapOk;
}

}  // namespace wy
