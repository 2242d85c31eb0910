// The importer against an outside collection of Scala files (well-formed ones and a folder
// of malformed ones): every file imports or fails with one of the importer's own texts,
// none crashes, and the simple scales sound as their intervals say.
#include "scala_model.h"
#include "tun_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

namespace fs = std::filesystem;
using namespace TUN;
using tuntest::Mapping;
using tuntest::RatioCents;
using tuntest::ScalaHz;

namespace {

const fs::path kFolder = fs::path(VELTRANE_TESTDATA) / "scala";

// Every text the importer can leave in m_err.
const std::set<std::string> kImporterTexts = {
    "Error opening the file.",
    "No data in file.",
    "Scale size not allowed. Must be within [1;127].",
    "End of file expected, but further data found.",
    "Unknown operator. '/' expected.",
    "Division by zero.",
    "Ratio not allowed. Must be greater than 0.",
    "Value not allowed. Must be a finite number.",
    "Less tuning entries found than expected.",
    "Premature end of file.",
    "Setting out of range.",
    "End of file expected, but additional data found.",
};

bool IsScale(const fs::path& p)
{
  return p.extension() == ".scl" || p.extension() == ".ascl";
}
bool IsMapping(const fs::path& p)
{
  return p.extension() == ".kbm";
}

std::vector<fs::path> Files(bool (*kind)(const fs::path&))
{
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(kFolder))
    if (e.is_regular_file() && kind(e.path())) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

void ExpectSoundScale(CSCL_Import& scala, const std::string& what)
{
  CSingleScale s;
  scala.SetSingleScale(s);
  for (long n = 0; n < 128; ++n) {
    const double hz = tuntest::NoteHz(s, n);
    EXPECT_TRUE(std::isfinite(hz) && hz > 0) << what << " note " << n << ": " << hz;
  }
}

#define REQUIRE_FOLDER() ASSERT_TRUE(fs::is_directory(kFolder)) << "Scala test files not found at " << kFolder

} // namespace

TEST(TunScalaFiles, EveryFileImportsOrFailsWithItsOwnText)
{
  REQUIRE_FOLDER();
  std::map<std::string, std::string> outcome; // file name below the folder -> "" or error text
  for (bool scale : {true, false}) {
    for (const fs::path& p : Files(scale ? IsScale : IsMapping)) {
      CSCL_Import scala;
      const bool ok = scale ? scala.ReadSCL(p.c_str()) : scala.ReadKBM(p.c_str());
      const std::string name = fs::relative(p, kFolder).string();
      outcome[name] = ok ? "" : scala.m_err.m_strLastError;
      if (!ok) {
        EXPECT_EQ(1u, kImporterTexts.count(scala.m_err.m_strLastError)) << name << ": " << outcome[name];
      }
      if (ok && scale) {
        EXPECT_TRUE(scala.m_lScaleSize >= 1 && scala.m_lScaleSize <= 127) << name;
      }
      ExpectSoundScale(scala, name);
    }
  }
  EXPECT_GE(outcome.size(), 50u);

  // Our own rules decide the malformed files (blank lines are skipped, keys read as atol does).
  const std::map<std::string, std::string> expected = {
      {"12-intune.scl", ""},
      {"12-intune-nodesc.scl", ""},
      {"12-intune-dosle.scl", ""},
      {"31edo_dos_lineends.scl", ""},
      {"31-edo.ascl", ""},
      {"128.kbm", ""},
      {"empty-note69-dosle.kbm", ""},
      {"bad/badnote.scl", "Unknown operator. '/' expected."},
      {"bad/blanknote.scl", "Less tuning entries found than expected."},
      {"bad/extraline.scl", "End of file expected, but further data found."},
      {"bad/empty-bad.kbm", "Premature end of file."},
      {"bad/blank-line.kbm", ""},
      {"bad/garbage-key.kbm", ""},
  };
  for (const auto& [name, text] : expected) {
    ASSERT_EQ(1u, outcome.count(name)) << name;
    EXPECT_EQ(text, outcome[name]) << name;
  }
}

TEST(TunScalaFiles, EveryPairImportsInEitherOrder)
{
  REQUIRE_FOLDER();
  const auto scales = Files(IsScale), mappings = Files(IsMapping);
  ASSERT_FALSE(scales.empty());
  ASSERT_FALSE(mappings.empty());
  for (const fs::path& scl : scales) {
    for (const fs::path& kbm : mappings) {
      CSCL_Import a, b;
      const bool okScale = a.ReadSCL(scl.c_str());
      const bool okMapping = a.ReadKBM(kbm.c_str());
      EXPECT_EQ(okMapping, b.ReadKBM(kbm.c_str()));
      EXPECT_EQ(okScale, b.ReadSCL(scl.c_str()));
      CSingleScale sa, sb;
      a.SetSingleScale(sa);
      b.SetSingleScale(sb);
      const std::string what = scl.filename().string() + " + " + kbm.filename().string();
      for (long n = 0; n < 128; ++n) {
        const double hz = tuntest::NoteHz(sa, n);
        ASSERT_TRUE(std::isfinite(hz) && hz > 0) << what << " note " << n;
        ASSERT_EQ(hz, tuntest::NoteHz(sb, n)) << what << " note " << n;
      }
    }
  }
}

TEST(TunScalaFiles, SimpleScalesSoundAsTheirIntervals)
{
  REQUIRE_FOLDER();
  // The intervals of three scales as their files give them.
  std::vector<double> twelve = {0};
  for (int i = 1; i <= 11; ++i) twelve.push_back(100.0 * i);
  twelve.push_back(RatioCents(2, 1));
  std::vector<double> edo31 = {0};
  for (int i = 1; i <= 30; ++i) edo31.push_back(std::round(1200.0 * i / 31 * 1e5) / 1e5); // five decimals
  edo31.push_back(RatioCents(2, 1));
  const std::vector<double> exact6 = {
      0, RatioCents(7, 6), RatioCents(4, 3), RatioCents(3, 2), RatioCents(5, 3), RatioCents(11, 6), RatioCents(2, 1)};

  // The mappings as their files give them (-1 for "x"; a map size of 0 reads as 1).
  std::map<std::string, Mapping> mappings;
  auto add = [&](const char* file, int size, int middle, int ref, double hz, int octave, std::vector<int> keys) {
    Mapping m;
    m.size = size;
    m.middle = middle;
    m.ref = ref;
    m.refHz = hz;
    m.octave = octave;
    m.keys = std::move(keys);
    mappings[file] = m;
  };
  add("mapping-a440-constant.kbm", 12, 60, 69, 440.0, 12, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  add("mapping-allkeys-from-59-a440.kbm", 12, 59, 69, 440.0, 12, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  add("mapping-whitekeys-a440.kbm", 12, 60, 69, 440.0, 7, {0, -1, 1, -1, 2, 3, -1, 4, -1, 5, -1, 6});
  add("mapping-a442-7-to-12.kbm", 12, 59, 69, 442.0, 7, {0, 1, -1, 2, -1, 3, 4, -1, 5, -1, 6, -1});
  add("mapping-n60-fifths.kbm", 2, 60, 60, 250.0, 12, {0, 7});
  add("mapping-note53-to-430-408.kbm", 1, 60, 53, 430.408, 0, {});
  add("empty-note69.kbm", 1, 60, 69, 452.0, 0, {});

  const std::pair<const char*, const std::vector<double>*> scales[] = {
      {"12-intune.scl", &twelve}, {"31edo.scl", &edo31}, {"6-exact.scl", &exact6}};
  for (const auto& [scl, degrees] : scales) {
    for (const auto& [kbm, m] : mappings) {
      for (bool sclFirst : {true, false}) {
        CSCL_Import scala;
        const std::string sclPath = (kFolder / scl).string(), kbmPath = (kFolder / kbm).string();
        if (sclFirst) {
          ASSERT_TRUE(scala.ReadSCL(sclPath.c_str())) << scl;
        }
        ASSERT_TRUE(scala.ReadKBM(kbmPath.c_str())) << kbm << ": " << scala.m_err.m_strLastError;
        if (!sclFirst) {
          ASSERT_TRUE(scala.ReadSCL(sclPath.c_str())) << scl;
        }
        CSingleScale s;
        scala.SetSingleScale(s);
        for (int n = 0; n < 128; ++n)
          EXPECT_NEAR(ScalaHz(*degrees, m, n) / tuntest::NoteHz(s, n), 1.0, 1e-12)
              << scl << " + " << kbm << " note " << n;
      }
    }
  }
}
