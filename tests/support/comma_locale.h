// A decimal-comma locale (de_DE.UTF-8) for tests of texts that must keep the point whatever
// locale the host process runs in. When the system has not installed the locale, it is built
// with localedef into the given folder and used through LOCPATH, so the tests run on a bare
// machine too. They fail, never skip, when neither works.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <sstream>
#include <string>
#include <unistd.h>

// With LOCPATH set, glibc's newlocale keeps a copy of the path list that it never frees; the
// leak checker of the sanitizer build must not blame the tests for it. (A definition, not an
// inline one, so that the leak checker finds it: include this header in one file per program.)
extern "C" const char* __lsan_default_suppressions()
{
  return "leak:__newlocale\nleak:argz_add_sep\n";
}

namespace commalocale {

inline const char* const kName = "de_DE.UTF-8";

// Makes the comma locale available; returns an explanation when that fails.
inline std::string Provide(const std::string& folder)
{
  namespace fs = std::filesystem;
  if (std::setlocale(LC_ALL, kName)) return "";
  const fs::path dir = folder;
  const fs::path target = dir / kName;
  std::error_code ec;
  if (!fs::exists(target / "LC_NUMERIC", ec)) {
    // Tests run in parallel processes: build into a folder of our own, then move it into
    // place in one step; whoever comes second drops its copy.
    fs::create_directories(dir, ec);
    const fs::path tmp = dir / ("build-" + std::to_string(getpid()));
    fs::remove_all(tmp, ec);
    const std::string cmd = "localedef -c -i de_DE -f UTF-8 '" + tmp.string() + "' >/dev/null 2>&1";
    const int rc = std::system(cmd.c_str());
    if (!fs::exists(tmp / "LC_NUMERIC", ec))
      return "localedef failed (exit " + std::to_string(rc) + "): install the Debian package 'locales'";
    fs::rename(tmp, target, ec);
    fs::remove_all(tmp, ec);
  }
  setenv("LOCPATH", dir.c_str(), 1);
  if (std::setlocale(LC_ALL, kName)) return "";
  return "setlocale(\"" + std::string(kName) + "\") fails even with LOCPATH=" + dir.string();
}

// A test fixture whose tests run with the comma locale set for C and C++ alike.
class Fixture : public ::testing::Test
{
protected:
  explicit Fixture(std::string folder) : mFolder(std::move(folder)) {}

  void SetUp() override
  {
    const std::string why = Provide(mFolder);
    ASSERT_EQ("", why) << "the decimal-comma locale is needed for this test";
    // The C++ global locale too, so that streams created from now on use it by default.
    mPreviousGlobal = std::locale::global(std::locale(kName));
    // Make sure the locale really uses a comma, or the test would prove nothing.
    ASSERT_STREQ(",", std::localeconv()->decimal_point);
    ASSERT_EQ(1.0, std::strtod("1.5", nullptr));
    std::ostringstream grouped;
    grouped << 12700;
    ASSERT_EQ("12.700", grouped.str());
  }

  void TearDown() override
  {
    std::locale::global(mPreviousGlobal);
    std::setlocale(LC_ALL, "C");
  }

private:
  std::string mFolder;
  std::locale mPreviousGlobal;
};

} // namespace commalocale
