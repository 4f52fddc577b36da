#include "tools/wymap_profile.h"

#include <QImage>
#include <QPainter>

#include "graphics/track_profile_painter.h"
#include "tools/wymap_cli.h"
#include "tools/wymap_headless_shapes.h"
#include "tools/wymap_tracks.h"

namespace wy {

namespace {

constexpr int kMaxSide = 16384;

int Usage(std::ostream& err, const std::string& problem) {
  err << "wymap: " << problem << " (try wymap --help)\n";
  return kWymapUsage;
}

bool ParseSize(const std::string& text, int& w, int& h) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  double a = 0, b = 0;
  if (!ParseStrictNumber(text.substr(0, x), a) || !ParseStrictNumber(text.substr(x + 1), b))
    return false;
  if (a != static_cast<int>(a) || b != static_cast<int>(b)) return false;
  if (a < 100 || b < 60 || a > kMaxSide || b > kMaxSide) return false;
  w = static_cast<int>(a);
  h = static_cast<int>(b);
  return true;
}

}  // namespace

std::string ProfileUsage() {
  return "  profile FILE -o OUT.png [--size WxH] [--track N] [--time] [--speed]\n"
         "                         the elevation profile of track N (from 1) as a picture;\n"
         "                         --time: against time, --speed: with the speed curve\n";
}

int RunProfile(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  (void)out;
  std::string file, output;
  int width = 800, height = 240;
  long track = 1;
  bool time = false, speed = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool takesValue = a == "-o" || a == "--output" || a == "--size" || a == "--track";
    if (takesValue && i + 1 >= args.size()) return Usage(err, a + " wants a value");
    if (a == "-o" || a == "--output") {
      output = args[++i];
    } else if (a == "--size") {
      if (!ParseSize(args[++i], width, height))
        return Usage(err, "--size wants WxH from 100x60 to " + std::to_string(kMaxSide) + "x" +
                              std::to_string(kMaxSide) + ", not \"" + args[i] + "\"");
    } else if (a == "--track") {
      double n = 0;
      if (!ParseStrictNumber(args[++i], n) || n < 1 || n != static_cast<long>(n) || n > 1e9)
        return Usage(err, "--track wants a track number from 1, not \"" + args[i] + "\"");
      track = static_cast<long>(n);
    } else if (a == "--time") {
      time = true;
    } else if (a == "--speed") {
      speed = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage(err, "unknown option " + a + " for profile");
    } else if (file.empty()) {
      file = a;
    } else {
      return Usage(err, "profile wants one file");
    }
  }
  if (file.empty()) return Usage(err, "profile wants a file");
  if (output.empty()) return Usage(err, "profile wants -o FILE");

  TToolApplication app;
  std::vector<TTrack> tracks;
  std::string error;
  if (!ReadTracks(file, tracks, error)) {
    err << "wymap: profile: " << error << "\n";
    return kWymapRequestFailed;
  }
  if (static_cast<size_t>(track) > tracks.size()) {
    err << "wymap: profile: " << file << " has " << tracks.size() << " track"
        << (tracks.size() == 1 ? "" : "s") << ", no track " << track << "\n";
    return kWymapRequestFailed;
  }
  TTrackProfilePainter profile;
  profile.SetTrack(tracks[static_cast<size_t>(track - 1)]);
  if (time) profile.SetAxis(paTime);
  profile.SetShowSpeed(speed);
  QImage image(width, height, QImage::Format_RGB32);
  {
    QPainter painter(&image);
    profile.Paint(painter, image.rect(), 1);
  }
  if (!image.save(QString::fromStdString(output), "PNG")) {
    err << "wymap: profile: cannot write " << output << "\n";
    return kWymapRequestFailed;
  }
  if (!profile.HasElevation())
    err << "wymap: profile: track " << track << " has no elevations; the picture shows none\n";
  if (time && !profile.HasTime())
    err << "wymap: profile: track " << track << " has no times; drawn against distance\n";
  return kWymapOk;
}

}  // namespace wy
