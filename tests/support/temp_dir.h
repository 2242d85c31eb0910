// A fresh folder of the test's own in the system's temporary folder (TMPDIR, else /tmp), removed with all it
// holds when the object goes: tests that run side by side, or twice, never share or leave a file.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

class TempDir
{
public:
  TempDir()
  {
    std::error_code ec;
    std::string tmpl = (std::filesystem::temp_directory_path(ec) / "veltrane_test_XXXXXX").string();
    if (ec) tmpl = "/tmp/veltrane_test_XXXXXX";
    mDir = mkdtemp(tmpl.data()) ? tmpl : std::string();
  }
  ~TempDir()
  {
    std::error_code ec;
    if (!mDir.empty()) std::filesystem::remove_all(mDir, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // Empty when no folder could be made (a test then fails on its first file).
  const std::string& dir() const { return mDir; }
  std::string path(const char* name) const { return mDir + "/" + name; }
  std::string write(const char* name, const std::string& content) const
  {
    const std::string p = path(name);
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }

private:
  std::string mDir;
};
