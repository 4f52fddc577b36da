#include "shapes/shape_conversion.h"

#include <utility>

namespace wy {

TShapeConversion::TResult TShapeConversion::Run(TShapeSourceKind kind, std::string text,
                                                const std::string& source,
                                                const std::function<bool()>& abort) {
  TResult result;
  if (!source.empty()) {
    kind = ReadShapeSource(source, text, abort, result.Error);
    if (kind == skError) {
      if (result.Error.empty()) result.Error = "cannot read " + source;
      return result;
    }
    if (kind == skText) {
      result.Kind = skText;
      result.Text = std::move(text);
      return result;
    }
  }
  std::string stop;
  result.Text = ConvertShapeText(kind, std::move(text), stop);
  if (!HasShapeRecords(result.Text)) {
    result.Text.clear();
    result.Error = NoShapesText(source.empty() ? "the document" : source, stop);
    return result;
  }
  result.Kind = kind;
  return result;
}

std::unique_ptr<TShapeConversion> TShapeConversion::FromText(TShapeSourceKind kind,
                                                             std::string text, TDone done) {
  std::unique_ptr<TShapeConversion> conversion(new TShapeConversion());
  conversion->Start(kind, std::move(text), std::string(), std::move(done));
  return conversion;
}

std::unique_ptr<TShapeConversion> TShapeConversion::FromSource(std::string source, TDone done) {
  std::unique_ptr<TShapeConversion> conversion(new TShapeConversion());
  conversion->Start(skError, std::string(), std::move(source), std::move(done));
  return conversion;
}

void TShapeConversion::Start(TShapeSourceKind kind, std::string text, std::string source,
                             TDone done) {
  TOwnedWorker* worker = &FWorker;
  // Shared with the fallback below, for a worker that cannot start.
  auto handler = std::make_shared<TDone>(std::move(done));
  auto work = [worker, kind, text = std::move(text), source = std::move(source),
               handler]() mutable {
    auto result =
        std::make_shared<TResult>(Run(kind, std::move(text), source, worker->AbortCheck()));
    // The worker's last act: dropped once the conversion is gone.
    worker->Post([handler, result] { (*handler)(*result); });
  };
  std::string error;
  if (!FWorker.Start(std::move(work), "shape conversion", &error)) {
    auto result = std::make_shared<TResult>();
    result->Error = error;
    FWorker.Post([handler, result] { (*handler)(*result); });
  }
}

// The worker cuts a running download and is joined.
TShapeConversion::~TShapeConversion() = default;

}  // namespace wy
