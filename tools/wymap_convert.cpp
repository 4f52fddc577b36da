#include "tools/wymap_convert.h"

#include <malloc.h>

#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "formats/export_file.h"
#include "formats/gpx_import.h"
#include "formats/import_common.h"
#include "formats/kmz_archive.h"
#include "formats/shape_file.h"
#include "geo/memory_advice.h"
#include "graphics/canvas.h"
#include "shapes/headless_host.h"
#include "shapes/shape_line.h"
#include "shapes/shape_list.h"
#include "shapes/shapes_group.h"
#include "tiles/graphic_pool.h"
#include "tools/wymap_cli.h"
#include "tools/wymap_convert_stream.h"
#include "tools/wymap_headless_shapes.h"

namespace wy {

namespace {

// Inputs from this size on report their stages.
constexpr uintmax_t kProgressBytes = 4u * 1024 * 1024;

struct TConvertArguments {
  std::string In, Out;
  bool HasFrom = false, HasTo = false;
  TExportKind From = ekOwn, To = ekOwn;
};

std::string ParseConvertArguments(const std::vector<std::string>& args, TConvertArguments& a) {
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    const bool option = name.size() > 2 && name.compare(0, 2, "--") == 0;
    if (!option) {
      positional.push_back(name);
      continue;
    }
    const size_t eq = name.find('=');
    if (eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    } else if (name == "--from" || name == "--to") {
      if (i + 1 >= args.size()) return name + " wants a format (own, gpx, kml, kmz, geojson)";
      value = args[++i];
    }
    if (name != "--from" && name != "--to") return "unknown option " + name + " for convert";
    TExportKind kind = ekOwn;
    if (!ExportKindFromName(value, kind))
      return name + " wants own, gpx, kml, kmz or geojson, not \"" + value + "\"";
    if (name == "--from") {
      a.HasFrom = true;
      a.From = kind;
    } else {
      a.HasTo = true;
      a.To = kind;
    }
  }
  if (positional.size() != 2) return "convert wants an input and an output file";
  a.In = positional[0];
  a.Out = positional[1];
  if (!a.HasTo) a.To = ExportKindOf(a.Out);
  return "";
}

TShapeSourceKind SourceKindOf(TExportKind kind) {
  switch (kind) {
    case ekGpx:
      return skGPX;
    case ekKml:
    case ekKmz:
      return skKML;
    case ekGeoJson:
      return skGeoJSON;
    case ekOwn:
      break;
  }
  return skText;
}

// The box around every position of the saved groups, as the viewport the
// GeoJSON bounding box is taken from; false when there is no position.
bool FrameShapes(TWyShapesGroup& registry, TWyWorldInfo& world) {
  double s = 90, w = 180, n = -90, e = -180;
  bool any = false;
  auto take = [&](double lat, double lng) {
    s = std::min(s, lat);
    n = std::max(n, lat);
    w = std::min(w, lng);
    e = std::max(e, lng);
    any = true;
  };
  for (TWyShapes* group : registry.Groups()) {
    if (!group->Serialize()) continue;
    for (TWyShapeList* list :
         {static_cast<TWyShapeList*>(group->Pois()), static_cast<TWyShapeList*>(group->Markers())})
      for (int32_t i = 0; i < list->Count(); ++i)
        take(list->Items(i)->Latitude(), list->Items(i)->Longitude());
    for (TWyShapeLineList* list : {static_cast<TWyShapeLineList*>(group->Lines()),
                                   static_cast<TWyShapeLineList*>(group->Polygones())})
      for (int32_t i = 0; i < list->Count(); ++i) {
        const TWyShapeLine* line = list->Items(i);
        for (int32_t p = 0; p < line->Count(); ++p)
          take(line->getPoints(p)->Lat(), line->getPoints(p)->Lng());
      }
  }
  if (!any) return false;
  world.SetSouthWestLatitude(s);
  world.SetSouthWestLongitude(w);
  world.SetNorthEastLatitude(n);
  world.SetNorthEastLongitude(e);
  return true;
}

struct TCounts {
  size_t markers = 0, lines = 0, polygons = 0, points = 0;
};

TCounts CountShapes(TWyShapesGroup& registry) {
  TCounts c;
  for (TWyShapes* group : registry.Groups()) {
    c.markers += group->Pois()->Count() + group->Markers()->Count();
    c.lines += group->Lines()->Count();
    c.polygons += group->Polygones()->Count();
    for (TWyShapeLineList* list : {static_cast<TWyShapeLineList*>(group->Lines()),
                                   static_cast<TWyShapeLineList*>(group->Polygones())})
      for (int32_t i = 0; i < list->Count(); ++i) c.points += list->Items(i)->Count();
  }
  return c;
}

class TStages {
 public:
  TStages(std::ostream& err, bool on) : FErr(err), FOn(on) {}
  void Say(const std::string& what) {
    if (!FOn) return;
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
    char time[32];
    std::snprintf(time, sizeof time, "%.2f s", s);
    FErr << "wymap: convert: " << what << " (" << time << ")\n" << std::flush;
  }

 private:
  std::ostream& FErr;
  bool FOn;
  std::chrono::steady_clock::time_point FStart = std::chrono::steady_clock::now();
};

int Fail(std::ostream& err, const std::string& message) {
  err << "wymap: convert: " << message << "\n";
  return kWymapRequestFailed;
}

// Makes room on the heap for the shapes of a large document at once, and
// asks for huge pages there before anything is written: the points' many
// small allocations then cost a few dozen page faults instead of tens of
// thousands. The room is handed back to the heap (not to the system), so
// it costs no memory until used.
void PrepareHeap(size_t bytes) {
  constexpr size_t kBlock = 16 << 20;  // under the allocator's mapping threshold
  std::vector<void*> blocks;
  for (size_t made = 0; made < bytes && made < (size_t{1} << 30); made += kBlock) {
    void* block = std::malloc(kBlock);
    if (block == nullptr) break;
    AdviseHugePages(block, kBlock);
    blocks.push_back(block);
  }
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) std::free(*it);
}

std::string CountsText(size_t markers, size_t lines, size_t polygons, size_t points) {
  return "read " + std::to_string(markers) + " markers, " + std::to_string(lines) + " lines and " +
         std::to_string(polygons) + " polygons (" + std::to_string(points) + " points)";
}

// A local GPX file in UTF-8, open for reading from its start; nullptr for
// anything else (an address, a zipped or Latin-1 document), which is read
// whole.
std::FILE* OpenUtf8Gpx(const std::string& name) {
  std::error_code error;
  if (FileExtension(name) == ".kmz" || !std::filesystem::is_regular_file(name, error))
    return nullptr;
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) return nullptr;
  std::string head(4096, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), file));
  if (head.compare(0, 3, "\xEF\xBB\xBF") == 0) head.erase(0, 3);
  if (XmlAsUtf8(head) != head || std::fseek(file, 0, SEEK_SET) != 0) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

// A GPX document straight into the output, without shapes in between.
int RunStreamConvert(const TConvertArguments& a, std::ostream& err) {
  std::error_code sizeError;
  const uintmax_t size = std::filesystem::file_size(a.In, sizeError);
  TStages stages(err, !sizeError && size >= kProgressBytes);
  if (!sizeError)
    stages.Say("reading " + a.In + " (" + std::to_string(size / (1024 * 1024)) + " MB)");
  TStreamCounts counts;
  TStreamResult result = srNoShapes;
  TGpxImporter importer;
  if (std::FILE* file = OpenUtf8Gpx(a.In)) {
    stages.Say("converting and writing " + a.Out);
    auto read = [file](char* buffer, size_t size) { return std::fread(buffer, 1, size, file); };
    result = StreamConvert([&](TShapeSink& sink) { return importer.ToSink(read, sink); },
                           static_cast<size_t>(size), a.To, a.Out, counts);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return Fail(err, "cannot read " + a.In);
  } else {
    std::string text;
    if (ReadShapeSource(a.In, text) == skError) return Fail(err, "cannot read " + a.In);
    stages.Say("converting and writing " + a.Out);
    const size_t bytes = text.size();
    result = StreamConvert([&](TShapeSink& sink) { return importer.ToSink(std::move(text), sink); },
                           bytes, a.To, a.Out, counts);
  }
  if (result == srNoShapes)
    return Fail(err,
                NoShapesText(a.In, ReaderStopText(importer.ErrorString(), importer.ErrorLine())));
  stages.Say(CountsText(counts.markers, counts.lines, 0, counts.points));
  if (result == srCannotWrite) return Fail(err, "cannot write " + a.Out);
  stages.Say("done");
  return kWymapOk;
}

}  // namespace

std::string ConvertUsage() {
  return "  convert IN OUT [--from F] [--to F]\n"
         "                         rewrites a file of shapes in another format; F is own,\n"
         "                         gpx, kml, kmz or geojson (default: by extension)\n";
}

int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  (void)out;
  TConvertArguments a;
  const std::string problem = ParseConvertArguments(args, a);
  if (!problem.empty()) {
    err << "wymap: " << problem << " (try wymap --help)\n";
    return kWymapUsage;
  }
  const TExportKind from = a.HasFrom ? a.From : ExportKindOf(a.In);
  if (CanStreamConvert(from, a.To)) return RunStreamConvert(a, err);

  // A conversion passes the whole file through a few large texts in turn.
  // Kept on the heap and never handed back to the system early, the memory
  // of one is reused by the next instead of being mapped and faulted in
  // again page by page.
  // (32 MiB is the largest threshold the allocator takes.)
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);

  std::error_code sizeError;
  const uintmax_t size = std::filesystem::file_size(a.In, sizeError);
  TStages stages(err, !sizeError && size >= kProgressBytes);
  if (!sizeError && size >= kProgressBytes) PrepareHeap(static_cast<size_t>(size) * 3);
  if (!sizeError)
    stages.Say("reading " + a.In + " (" + std::to_string(size / (1024 * 1024)) + " MB)");

  std::string text;
  TShapeSourceKind kind = ReadShapeSource(a.In, text);
  if (kind == skError) return Fail(err, "cannot read " + a.In);
  if (a.HasFrom) {
    // A zipped KML under another name: unpack it here (the name did not).
    if (a.From == ekKmz && FileExtension(a.In) != ".kmz") {
      std::string kml;
      if (!KmzToKml(text, kml))
        return Fail(err, a.In + " is no KMZ archive holding a KML document");
      text = std::move(kml);
    }
    kind = SourceKindOf(a.From);
  }
  stages.Say("converting");
  std::string stop;
  const std::string shapes = ConvertShapeText(kind, std::move(text), stop);
  if (!HasShapeRecords(shapes)) return Fail(err, NoShapesText(a.In, stop));

  TToolApplication app;
  {
    THeadlessShapes headless(kind, shapes);
    TWyShapesGroup& registry = headless.Registry();
    TWyWorldInfo& world = headless.World();
    const TCounts counts = CountShapes(registry);
    if (counts.markers + counts.lines + counts.polygons == 0)
      return Fail(err, "no shapes in " + a.In);
    stages.Say(CountsText(counts.markers, counts.lines, counts.polygons, counts.points));
    FrameShapes(registry, world);

    std::string document;
    switch (a.To) {
      case ekGpx:
        document = registry.GetToGpx();
        break;
      case ekKml:
      case ekKmz:
        document = registry.GetToKml();
        break;
      case ekGeoJson:
        document = registry.GetToGeoJSon();
        break;
      case ekOwn:
        document = registry.GetToTxt();
        break;
    }
    stages.Say("writing " + a.Out);
    if (!SaveExportFile(a.Out, a.To, document)) return Fail(err, "cannot write " + a.Out);
  }
  stages.Say("done");
  return kWymapOk;
}

}  // namespace wy
