#pragma once
// The one registry of the program's settings: service addresses, the
// User-Agent, the cache folder, time-outs, limits and the service keys.
//
// Every setting has a key such as "endpoint.nominatim", "timeout.connect",
// "user-agent" or "cache-dir". Its value is looked up, first match wins:
//   1. a value set in this process (command-line options, code: SetSetting),
//   2. the environment variable "WYMAP_" + the key in upper case with "."
//      and "-" as "_" (WYMAP_ENDPOINT_NOMINATIM, WYMAP_CACHE_DIR, ...),
//   3. the built-in default.
// All functions are thread-safe.

#include <cstdint>
#include <string>
#include <vector>

namespace wy {

// The whole lookup. Empty when the key is unknown and unset.
std::string GetSetting(const std::string& key);
// Sets the process value; an empty value removes it (the environment or the
// default shows again).
void SetSetting(const std::string& key, const std::string& value);
// Removes every process value (tests).
void ResetSettings();
// Name of the environment variable of a key.
std::string SettingEnvironmentVariable(const std::string& key);
// Keys that have a built-in default, sorted.
std::vector<std::string> KnownSettingKeys();
// The built-in default of a key; empty when it has none.
std::string DefaultSetting(const std::string& key);
// Replaces the built-in default of a key for this process: for defaults that
// only the program knows, such as where its own files are installed. Process
// values and the environment still come first. An empty value returns to
// the built-in default.
void SetSettingDefault(const std::string& key, const std::string& value);

// Endpoints: "endpoint." + name, e.g. "nominatim", "xapi", "xapi-fallback",
// or a tile service's URL template.
std::string GetEndpoint(const std::string& name);
void SetEndpoint(const std::string& name, const std::string& value);

// The User-Agent every request carries ("wyVuroduDav").
std::string GetUserAgent();

// The cache folder the demo and the command-line tool hand to LocalCache:
// $XDG_CACHE_HOME/wymap, else ~/.cache/wymap, else a folder below the
// system's temporary folder. No trailing separator.
std::string GetCacheDir();

// A time-out in milliseconds: "timeout." + name ("connect", "low-speed",
// "total"). Unknown or unreadable values give fallback.
uint32_t GetTimeoutMs(const std::string& name, uint32_t fallback = 0);

// A whole-number setting; fallback when unset or not a number.
int64_t GetSettingInt(const std::string& key, int64_t fallback);

// Sets the log's threshold from "log.level" (WYMAP_LOG_LEVEL): "debug",
// "info", "warning" (the default), "error" or "off". Done at start-up and
// whenever SetSetting changes that key.
void ApplyLogLevelSetting();

// The three process-wide service keys. Writing an empty text restores the
// initial content (environment, else the built-in default).
enum TServiceKey : uint8_t { skCloudMade, skBing, skMapQuest };
std::string GetServiceKey(TServiceKey key);
void SetServiceKey(TServiceKey key, const std::string& value);

}  // namespace wy
