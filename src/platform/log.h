#pragma once
// The program's log: a message has a level and a category (the folder that
// writes it: "platform", "geo", "formats", "tiles", "graphics", "shapes",
// "map", "services", "demo", "tools"). Messages at or above the threshold
// go to the sink: standard error by default, one line each,
//   wymap <level> [<category>] <message>
// The threshold is one for the whole process (warnings by default); the
// settings registry sets it from "log.level" (WYMAP_LOG_LEVEL). Tests
// capture messages with TScopedLogCapture. Thread-safe.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace wy {

enum TLogLevel : uint8_t { llDebug, llInfo, llWarning, llError, llOff };

// "debug", "info", "warning", "error", "off".
const char* LogLevelName(TLogLevel level);
// Reads a level name (case-insensitive; "warn" too); false when unknown.
bool LogLevelFromName(const std::string& name, TLogLevel& level);

TLogLevel LogLevel();
void SetLogLevel(TLogLevel level);
// True when a message of this level would be written (to skip building an
// expensive text).
bool LogEnabled(TLogLevel level);

void Log(TLogLevel level, const char* category, const std::string& message);
inline void LogDebug(const char* category, const std::string& message) {
  Log(llDebug, category, message);
}
inline void LogInfo(const char* category, const std::string& message) {
  Log(llInfo, category, message);
}
inline void LogWarning(const char* category, const std::string& message) {
  Log(llWarning, category, message);
}
inline void LogError(const char* category, const std::string& message) {
  Log(llError, category, message);
}

// For a catch (...) block: logs "<context>: <what()>" (or "unknown
// exception") of the exception being handled at the given level.
void LogCaughtException(TLogLevel level, const char* category, const std::string& context);

struct TLogRecord {
  TLogLevel Level;
  std::string Category;
  std::string Message;
};
using TLogSink = std::function<void(const TLogRecord& record)>;

// Replaces the sink; an empty sink restores standard error. Returns the
// previous sink (empty when it was standard error).
TLogSink SetLogSink(TLogSink sink);

// Collects every message at or above `level` while it lives (the threshold
// is lowered to `level` meanwhile and restored afterwards). Nothing reaches
// standard error meanwhile. Only one capture at a time.
class TScopedLogCapture {
 public:
  explicit TScopedLogCapture(TLogLevel level = llDebug);
  ~TScopedLogCapture();
  TScopedLogCapture(const TScopedLogCapture&) = delete;
  TScopedLogCapture& operator=(const TScopedLogCapture&) = delete;

  std::vector<TLogRecord> Records() const;
  // True when a record of the category holds the text.
  bool Contains(const std::string& category, const std::string& text) const;

 private:
  mutable std::mutex FLock;
  std::vector<TLogRecord> FRecords;
  TLogLevel FOldLevel;
  TLogSink FOldSink;
};

}  // namespace wy
