#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/locale.h"
#include "platform/open_url.h"
#include "platform/tick.h"

namespace wy {
namespace {

TEST(Tick, ReplaceableAndWrapSafe) {
  uint32_t fake = 0xFFFFFFF0u;
  {
    TScopedTickSource scoped([&] { return fake; });
    EXPECT_EQ(TickCount(), 0xFFFFFFF0u);
    const uint32_t start = TickCount();
    fake += 0x20;  // wraps past zero
    EXPECT_EQ(TickCount(), 0x10u);
    EXPECT_EQ(TickElapsed(TickCount(), start), 0x20u);
  }
  // The system tick is back and moves forward.
  const uint32_t a = TickCount();
  EXPECT_LT(TickElapsed(TickCount(), a), 1000u);
}

TEST(Locale, LanguageTwiceWhateverTheCountry) {
  struct {
    const char* system;
    const char* expected;
  } cases[] = {
      {"fr_FR.UTF-8", "fr_FR"}, {"fr_BE", "fr_FR"}, {"de_CH.UTF-8", "de_DE"},
      {"pt-BR", "pt_PT"},       {"en_US", "en_EN"}, {"C", "en_EN"},
      {"POSIX", "en_EN"},       {"", "en_EN"},      {"C.UTF-8", "en_EN"},
      {"x", "en_EN"},
  };
  for (const auto& c : cases) EXPECT_EQ(LocaleNameFrom(c.system), c.expected) << c.system;
}

TEST(Locale, ReadsTheEnvironment) {
  const char* old = std::getenv("LC_ALL");
  const std::string saved = old ? old : "";
  setenv("LC_ALL", "it_IT.UTF-8", 1);
  EXPECT_EQ(LocaleName(), "it_IT");
  if (old) setenv("LC_ALL", saved.c_str(), 1); else unsetenv("LC_ALL");
}

TEST(OpenUrl, OnlyWebAndMailAddressesReachTheDesktop) {
  std::vector<std::string> opened;
  SetUrlOpener([&](const std::string& url) {
    opened.push_back(url);
    return true;
  });
  struct {
    const char* url;
    bool allowed;
  } cases[] = {
      {"http://example.org/a?b=c", true},
      {"HTTPS://example.org", true},
      {"mailto:someone@example.org", true},
      {"file:///etc/passwd", false},
      {"javascript:alert(1)", false},
      {"/usr/bin/xterm", false},
      {"ftp://example.org/", false},
      {"http://", false},
      {"https://example.org/\nrm -rf", false},
      {"", false},
      {"#14/48.85/2.35", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsOpenableUrl(c.url), c.allowed) << c.url;
    EXPECT_EQ(OpenUrl(c.url), c.allowed) << c.url;
  }
  EXPECT_EQ(opened.size(), 3u);
  SetUrlOpener(nullptr);
}

}  // namespace
}  // namespace wy
