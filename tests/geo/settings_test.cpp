#include "geo/settings.h"
#include "platform/log.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace wy {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ResetSettings();
    for (const char* var : {"WYMAP_ENDPOINT_XAPI_FALLBACK", "WYMAP_USER_AGENT", "WYMAP_CACHE_DIR",
                            "WYMAP_KEY_BING", "WYMAP_TIMEOUT_CONNECT"})
      unsetenv(var);
  }
};

TEST_F(SettingsTest, ProcessValueBeatsEnvironmentBeatsDefault) {
  EXPECT_EQ(GetUserAgent(), "wyVuroduDav");
  setenv("WYMAP_USER_AGENT", "from-env", 1);
  EXPECT_EQ(GetUserAgent(), "from-env");
  SetSetting("user-agent", "from-option");
  EXPECT_EQ(GetUserAgent(), "from-option");
  SetSetting("user-agent", "");  // removing the process value shows the environment again
  EXPECT_EQ(GetUserAgent(), "from-env");
  unsetenv("WYMAP_USER_AGENT");
  EXPECT_EQ(GetUserAgent(), "wyVuroduDav");
}

TEST_F(SettingsTest, EndpointNamesMapToEnvironmentVariables) {
  EXPECT_EQ(SettingEnvironmentVariable("endpoint.xapi-fallback"), "WYMAP_ENDPOINT_XAPI_FALLBACK");
  EXPECT_EQ(SettingEnvironmentVariable("cache-dir"), "WYMAP_CACHE_DIR");
  EXPECT_EQ(GetEndpoint("xapi-fallback").empty(), DefaultSetting("endpoint.xapi-fallback").empty());
  setenv("WYMAP_ENDPOINT_XAPI_FALLBACK", "http://127.0.0.1:9/api/xapi?", 1);
  EXPECT_EQ(GetEndpoint("xapi-fallback"), "http://127.0.0.1:9/api/xapi?");
  SetEndpoint("xapi-fallback", "http://127.0.0.1:10/x?");
  EXPECT_EQ(GetEndpoint("xapi-fallback"), "http://127.0.0.1:10/x?");
}

TEST_F(SettingsTest, CacheFolderFollowsXdgAndOverrides) {
  const char* oldXdg = std::getenv("XDG_CACHE_HOME");
  const std::string savedXdg = oldXdg ? oldXdg : "";
  setenv("XDG_CACHE_HOME", "/tmp/xdg-cache/", 1);
  EXPECT_EQ(GetCacheDir(), "/tmp/xdg-cache//wymap");
  setenv("WYMAP_CACHE_DIR", "/srv/tiles/", 1);
  EXPECT_EQ(GetCacheDir(), "/srv/tiles");  // no trailing separator
  SetSetting("cache-dir", "/opt/c");
  EXPECT_EQ(GetCacheDir(), "/opt/c");
  if (oldXdg) setenv("XDG_CACHE_HOME", savedXdg.c_str(), 1); else unsetenv("XDG_CACHE_HOME");
}

TEST_F(SettingsTest, TimeoutsAreWholeMilliseconds) {
  EXPECT_EQ(GetTimeoutMs("connect"), 10000u);
  setenv("WYMAP_TIMEOUT_CONNECT", "250", 1);
  EXPECT_EQ(GetTimeoutMs("connect"), 250u);
  setenv("WYMAP_TIMEOUT_CONNECT", "soon", 1);  // unreadable: the caller's fallback
  EXPECT_EQ(GetTimeoutMs("connect", 77), 77u);
  EXPECT_EQ(GetTimeoutMs("no-such-timeout", 5), 5u);
}

// A program's own default (where it installed its icons) replaces the
// built-in one, stays below the environment and process values, and
// survives ResetSettings, which only drops process values.
TEST_F(SettingsTest, ProgramDefaultSitsBelowEnvironmentAndProcessValues) {
  EXPECT_EQ(GetSetting("demo.icon-base"), "icons");
  SetSettingDefault("demo.icon-base", "/opt/wymap/icons");
  EXPECT_EQ(GetSetting("demo.icon-base"), "/opt/wymap/icons");
  EXPECT_EQ(DefaultSetting("demo.icon-base"), "/opt/wymap/icons");
  setenv("WYMAP_DEMO_ICON_BASE", "/env/icons", 1);
  EXPECT_EQ(GetSetting("demo.icon-base"), "/env/icons");
  SetSetting("demo.icon-base", "/option/icons");
  EXPECT_EQ(GetSetting("demo.icon-base"), "/option/icons");
  ResetSettings();
  unsetenv("WYMAP_DEMO_ICON_BASE");
  EXPECT_EQ(GetSetting("demo.icon-base"), "/opt/wymap/icons");
  SetSettingDefault("demo.icon-base", "");
  EXPECT_EQ(GetSetting("demo.icon-base"), "icons");
}

TEST_F(SettingsTest, ServiceKeysAreProcessWideAndEmptyRestoresTheInitialValue) {
  const std::string initial = GetServiceKey(skMapQuest);
  EXPECT_EQ(initial, "Qbxzk%7Cpwre8m3v5n%2Cht%3Dk7-42jq9w");
  EXPECT_EQ(GetServiceKey(skCloudMade).size(), 32u);
  EXPECT_EQ(GetServiceKey(skBing).size(), 64u);
  SetServiceKey(skMapQuest, "other");
  EXPECT_EQ(GetServiceKey(skMapQuest), "other");
  SetServiceKey(skMapQuest, "");
  EXPECT_EQ(GetServiceKey(skMapQuest), initial);
  setenv("WYMAP_KEY_BING", "env-bing", 1);  // the environment is the initial value then
  SetServiceKey(skBing, "x");
  SetServiceKey(skBing, "");
  EXPECT_EQ(GetServiceKey(skBing), "env-bing");
}

}  // namespace
}  // namespace wy

namespace wy {
namespace {

TEST(SettingsLogLevelTest, TheLogLevelSettingSetsTheThreshold) {
  const TLogLevel before = LogLevel();
  SetSetting("log.level", "error");
  EXPECT_EQ(LogLevel(), llError);
  SetSetting("log.level", "nonsense");
  EXPECT_EQ(LogLevel(), llWarning);
  SetSetting("log.level", "");
  EXPECT_EQ(LogLevel(), llWarning);
  SetLogLevel(before);
}

}  // namespace
}  // namespace wy
