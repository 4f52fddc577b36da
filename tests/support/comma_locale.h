#pragma once
// A process locale whose decimal separator is ",", for the duration of a
// test: an installed one if there is one, otherwise one generated with
// localedef into a temporary folder. The C++ global locale gets a ","
// numpunct too. active() tells whether either worked.

#include <gtest/gtest.h>

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <locale>
#include <string>
#include <system_error>

namespace wy {
namespace test_support {

struct CommaNumpunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

class CommaLocaleScope {
 public:
  CommaLocaleScope() : oldCpp_(std::locale()) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    oldC_ = old ? old : "C";
    const char* oldLocPath = std::getenv("LOCPATH");
    hadLocPath_ = oldLocPath != nullptr;
    if (hadLocPath_) oldLocPath_ = oldLocPath;
    active_ = TryInstalled() || TryGenerated();
    if (active_) std::locale::global(std::locale(std::locale::classic(), new CommaNumpunct));
  }
  ~CommaLocaleScope() {
    std::locale::global(oldCpp_);
    std::setlocale(LC_ALL, oldC_.c_str());
    if (hadLocPath_) {
      setenv("LOCPATH", oldLocPath_.c_str(), 1);
    } else {
      unsetenv("LOCPATH");
    }
    if (!dir_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(dir_, ec);
    }
  }
  bool active() const { return active_; }
  const std::string& name() const { return name_; }

 private:
  bool Use(const char* name) {
    if (std::setlocale(LC_ALL, name) == nullptr) return false;
    if (std::localeconv()->decimal_point[0] != ',') return false;
    name_ = name;
    return true;
  }
  bool TryInstalled() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8",
                             "nl_NL.UTF-8", "it_IT.UTF-8", "de_DE", "fr_FR"}) {
      if (Use(name)) return true;
    }
    return false;
  }
  bool TryGenerated() {
    dir_ = ::testing::TempDir() + "wy_comma_locale_" + std::to_string(getpid());
    const std::string& dir = dir_;
    const std::string source = dir + "/comma.def";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    {
      std::ofstream def(source);
      for (const char* cat : {"LC_CTYPE", "LC_COLLATE", "LC_MONETARY", "LC_TIME", "LC_MESSAGES"}) {
        def << cat << "\ncopy \"POSIX\"\nEND " << cat << "\n";
      }
      def << "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\ngrouping 3;3\nEND LC_NUMERIC\n";
    }
    // -c: the definition leaves out categories nobody reads here.
    const std::string cmd =
        "localedef -c -i '" + source + "' -f UTF-8 '" + dir + "/wycomma.UTF-8' >/dev/null 2>&1";
    const int rc = std::system(cmd.c_str());  // warnings give 1; Use() tells
    (void)rc;
    setenv("LOCPATH", dir.c_str(), 1);
    return Use("wycomma.UTF-8");
  }

  std::locale oldCpp_;
  std::string oldC_;
  bool hadLocPath_ = false;
  std::string oldLocPath_;
  bool active_ = false;
  std::string name_;
  std::string dir_;  // of a generated locale
};

}  // namespace test_support
}  // namespace wy
