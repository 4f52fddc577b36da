#include "platform/log.h"

#include <atomic>
#include <cstdio>
#include <exception>

#include "platform/ascii.h"

namespace wy {

namespace {

std::atomic<uint8_t>& Threshold() {
  static std::atomic<uint8_t> level{llWarning};
  return level;
}

std::mutex& SinkLock() {
  static std::mutex lock;
  return lock;
}

TLogSink& Sink() {
  static TLogSink sink;
  return sink;
}

void WriteToStderr(const TLogRecord& record) {
  const std::string line = "wymap " + std::string(LogLevelName(record.Level)) + " [" +
                           record.Category + "] " + record.Message + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace

const char* LogLevelName(TLogLevel level) {
  switch (level) {
    case llDebug:
      return "debug";
    case llInfo:
      return "info";
    case llWarning:
      return "warning";
    case llError:
      return "error";
    case llOff:
      return "off";
  }
  return "off";
}

bool LogLevelFromName(const std::string& name, TLogLevel& level) {
  std::string n = AsciiLower(name);
  if (n == "warn") n = "warning";
  for (TLogLevel l : {llDebug, llInfo, llWarning, llError, llOff}) {
    if (n == LogLevelName(l)) {
      level = l;
      return true;
    }
  }
  return false;
}

TLogLevel LogLevel() {
  return static_cast<TLogLevel>(Threshold().load());
}

void SetLogLevel(TLogLevel level) {
  Threshold() = level;
}

bool LogEnabled(TLogLevel level) {
  return level != llOff && level >= Threshold().load();
}

void Log(TLogLevel level, const char* category, const std::string& message) {
  if (!LogEnabled(level)) return;
  const TLogRecord record{level, category ? category : "", message};
  std::lock_guard<std::mutex> guard(SinkLock());
  if (Sink()) {
    Sink()(record);
  } else {
    WriteToStderr(record);
  }
}

void LogCaughtException(TLogLevel level, const char* category, const std::string& context) {
  std::string what = "unknown exception";
  if (std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::exception& e) {
      what = e.what();
    } catch (...) {
      // Not a standard exception: its type says nothing more.
    }
  }
  Log(level, category, context + ": " + what);
}

TLogSink SetLogSink(TLogSink sink) {
  std::lock_guard<std::mutex> guard(SinkLock());
  TLogSink old = std::move(Sink());
  Sink() = std::move(sink);
  return old;
}

TScopedLogCapture::TScopedLogCapture(TLogLevel level) : FOldLevel(LogLevel()) {
  FOldSink = SetLogSink([this](const TLogRecord& record) {
    std::lock_guard<std::mutex> guard(FLock);
    FRecords.push_back(record);
  });
  SetLogLevel(level);
}

TScopedLogCapture::~TScopedLogCapture() {
  SetLogLevel(FOldLevel);
  SetLogSink(std::move(FOldSink));
}

std::vector<TLogRecord> TScopedLogCapture::Records() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FRecords;
}

bool TScopedLogCapture::Contains(const std::string& category, const std::string& text) const {
  std::lock_guard<std::mutex> guard(FLock);
  for (const TLogRecord& r : FRecords)
    if (r.Category == category && r.Message.find(text) != std::string::npos) return true;
  return false;
}

}  // namespace wy
