#pragma once
// One shape source read and converted on a worker thread the conversion
// owns: the text of a GPX, KML, KMZ or GeoJSON document turned into the
// system's own shape text, or a source (a file or an http or https address)
// read first and then converted the same way. The result comes back on the
// window thread through `done`.
//
// Create and destroy on the window thread. Destroying the conversion cuts a
// running download, waits for the worker and drops a result not yet
// delivered: `done` never runs afterwards. A conversion of a document that
// is already in memory is not cut: it ends within the time the reader takes
// for that document.

#include <functional>
#include <memory>
#include <string>

#include "formats/shape_file.h"
#include "platform/owned_worker.h"

namespace wy {

class TShapeConversion {
 public:
  struct TResult {
    // The kind of the source: skText for the system's own text (then Text
    // is that text as read), skError when it failed (Error says why).
    TShapeSourceKind Kind = skError;
    std::string Text;
    std::string Error;
  };
  using TDone = std::function<void(TResult& result)>;

  // Converts `text` of `kind` (a foreign kind).
  static std::unique_ptr<TShapeConversion> FromText(TShapeSourceKind kind, std::string text,
                                                    TDone done);
  // Reads `source` (ReadShapeSource), then converts it when it is foreign.
  static std::unique_ptr<TShapeConversion> FromSource(std::string source, TDone done);

  ~TShapeConversion();
  TShapeConversion(const TShapeConversion&) = delete;
  TShapeConversion& operator=(const TShapeConversion&) = delete;

  // The work of a conversion, on the calling thread: what the worker runs.
  // `abort` (may be empty) cuts a download.
  static TResult Run(TShapeSourceKind kind, std::string text, const std::string& source,
                     const std::function<bool()>& abort);

 private:
  TShapeConversion() = default;
  void Start(TShapeSourceKind kind, std::string text, std::string source, TDone done);

  TOwnedWorker FWorker;
};

}  // namespace wy
