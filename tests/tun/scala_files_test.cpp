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
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>

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
    "Not a regular file.",
    "File too large. Must be at most 1 MiB.",
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

  // The mappings as their files give them (-1 for "x"; a map size of 0 is the linear mapping).
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
  add("mapping-note53-to-430-408.kbm", 0, 60, 53, 430.408, 0, {});
  add("empty-note69.kbm", 0, 60, 69, 452.0, 0, {});

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

namespace {

// What the test itself reads from a file, by the format's definition: "!" lines are comments,
// blank lines are skipped, a pitch with a period is in cents, one without is a ratio p/q or a
// whole number p (p/1); the key of a mapping is a degree, "x" unmapped. The reading stops at
// the first line the format does not allow and keeps what came before.
std::vector<std::string> DataLines(const fs::path& p)
{
  std::ifstream in(p, std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> lines;
  std::string line;
  auto flush = [&] {
    const auto b = line.find_first_not_of(" \t\v\f");
    const auto e = line.find_last_not_of(" \t\v\f");
    if (b != std::string::npos && line[b] != '!') lines.push_back(line.substr(b, e - b + 1));
    line.clear();
  };
  for (char c : all) {
    if (c == '\n' || c == '\r' || c == '\0')
      flush();
    else
      line += c;
  }
  flush();
  return lines;
}

struct ModelScale
{
  bool ok = false;
  int count = -1;              // -1: no count read
  std::vector<double> degrees; // degree 0 .. count; degrees not read keep 100 cents per degree
};

bool PitchCents(const std::string& line, double* cents)
{
  const std::string word = line.substr(0, line.find_first_of(" \t"));
  if (word.find('.') != std::string::npos && word.find('/') == std::string::npos) {
    *cents = std::strtod(word.c_str(), nullptr);
    return true;
  }
  const auto slash = word.find('/');
  const std::string p = word.substr(0, slash), q = slash == std::string::npos ? "1" : word.substr(slash + 1);
  auto whole = [](const std::string& t) {
    return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
  };
  if (!whole(p) || !whole(q) || std::stod(q) == 0) return false;
  *cents = RatioCents(std::stod(p), std::stod(q));
  return true;
}

ModelScale ReadModelScale(const fs::path& p)
{
  ModelScale m;
  auto lines = DataLines(p);
  size_t i = 0;
  if (i < lines.size() && lines[i].find_first_not_of("0123456789") != std::string::npos) ++i; // description
  if (i >= lines.size()) return m;
  const int count = std::atoi(lines[i++].c_str());
  if (count < 1 || count > 127) return m;
  m.count = count;
  for (int d = 0; d <= count; ++d) m.degrees.push_back(100.0 * d);
  int read = 0;
  for (; i < lines.size(); ++i) {
    double cents;
    if (read == count || !PitchCents(lines[i], &cents)) return m;
    m.degrees[++read] = cents;
  }
  m.ok = read == count;
  return m;
}

struct ModelMapping
{
  bool ok = false;
  Mapping m = tuntest::LinearMapping();
};

ModelMapping ReadModelMapping(const fs::path& p)
{
  // Each setting is kept as soon as it is read, also when a later one fails.
  ModelMapping r;
  Mapping& m = r.m;
  const auto lines = DataLines(p);
  auto note = [&](size_t i) { return std::min(127, std::max(0, std::atoi(lines[i].c_str()))); };
  for (size_t i = 0; i < 7; ++i) {
    if (i >= lines.size()) return r;
    const int size = std::atoi(lines[0].c_str());
    switch (i) {
    case 0:
      m.size = size == 0 ? 0 : std::min(127, std::max(1, size));
      break;
    case 1:
      m.first = note(i);
      break;
    case 2:
      m.last = note(i);
      if (m.first >= m.last) return r;
      break;
    case 3:
      m.middle = note(i);
      if (m.middle + m.size > 127) return r;
      break;
    case 4:
      m.ref = note(i);
      break;
    case 5:
      m.refHz = std::min(100000.0, std::max(0.001, std::strtod(lines[i].c_str(), nullptr)));
      break;
    default:
      m.octave = note(i);
    }
  }
  m.keys.assign(m.size, -1);
  for (int k = 0; k < m.size && 7 + k < static_cast<int>(lines.size()); ++k)
    if (std::tolower(static_cast<unsigned char>(lines[7 + k][0])) != 'x') m.keys[k] = note(7 + k);
  r.ok = static_cast<int>(lines.size()) <= 7 + m.size;
  return r;
}

// Frequency of a note from the model; without a scale every degree is 100 cents.
double ModelHz(const ModelScale& s, const Mapping& m, int note)
{
  if (s.count < 1) return m.refHz * std::pow(2.0, (note - m.ref) / 12.0);
  return ScalaHz(s.degrees, m, note);
}

double CentsBetween(double hz, double reference)
{
  return 1200.0 * std::log2(hz / reference);
}

} // namespace

TEST(TunScalaFiles, EveryPairSoundsAsTheFormatDefines)
{
  REQUIRE_FOLDER();
  // No file at all stands for the importer's defaults: twelve-tone equal temperament and the
  // linear mapping.
  ModelScale defaultScale;
  defaultScale.ok = true;
  defaultScale.count = 128;
  for (int d = 0; d <= 128; ++d) defaultScale.degrees.push_back(100.0 * d);
  auto scales = Files(IsScale), mappings = Files(IsMapping);
  scales.insert(scales.begin(), fs::path());
  mappings.insert(mappings.begin(), fs::path());

  int pairs = 0, failedFiles = 0;
  for (const fs::path& scl : scales) {
    const ModelScale ms = scl.empty() ? defaultScale : ReadModelScale(scl);
    for (const fs::path& kbm : mappings) {
      const ModelMapping mm = kbm.empty() ? ModelMapping{true, tuntest::LinearMapping()} : ReadModelMapping(kbm);
      CSCL_Import scala;
      const std::string what = (scl.empty() ? "(none)" : fs::relative(scl, kFolder).string()) + " + " +
                               (kbm.empty() ? "(none)" : fs::relative(kbm, kFolder).string());
      if (!scl.empty()) {
        EXPECT_EQ(ms.ok, scala.ReadSCL(scl.c_str())) << what << ": " << scala.m_err.m_strLastError;
        failedFiles += !ms.ok;
      }
      if (!kbm.empty()) {
        EXPECT_EQ(mm.ok, scala.ReadKBM(kbm.c_str())) << what << ": " << scala.m_err.m_strLastError;
        failedFiles += !mm.ok;
      }
      CSingleScale s;
      scala.SetSingleScale(s);
      for (int n = 0; n < 128; ++n) {
        const double expected = ModelHz(ms, mm.m, n);
        ASSERT_NEAR(0.0, CentsBetween(tuntest::NoteHz(s, n), expected), 1e-6) << what << " note " << n;
      }
      ++pairs;
    }
  }
  EXPECT_GE(pairs, 500);
  EXPECT_GT(failedFiles, 0); // the bad files took part
}

TEST(TunScalaFiles, TwelveNoteScalesSoundAsBeforeWithoutMapping)
{
  REQUIRE_FOLDER();
  // Before any mapping file the importer used to lay degree k of a 12-note scale on every key
  // n = k mod 12 with a period per 12 keys counted from note 0, note 69 at 440 Hz.
  const Mapping before; // 12 keys, identity, middle note 0, formal octave 12
  int twelves = 0;
  for (const fs::path& scl : Files(IsScale)) {
    const ModelScale ms = ReadModelScale(scl);
    if (!ms.ok || ms.count != 12) continue;
    ++twelves;
    CSCL_Import scala;
    ASSERT_TRUE(scala.ReadSCL(scl.c_str())) << scl;
    CSingleScale s;
    scala.SetSingleScale(s);
    for (int n = 0; n < 128; ++n)
      EXPECT_NEAR(0.0, CentsBetween(tuntest::NoteHz(s, n), ScalaHz(ms.degrees, before, n)), 1e-6) << scl << " " << n;
  }
  EXPECT_GE(twelves, 5);
}

TEST(TunScalaFiles, FormatExamplesByHand)
{
  REQUIRE_FOLDER();
  // Frequencies worked out by hand from the files' ratios and cents.
  const double degree9 = 348.38710, degree10 = 387.09677; // cents as 31edo.scl gives them
  struct Case
  {
    const char *scl, *kbm;
    int note;
    double hz;
  } cases[] = {
      // ratios 2, 3, 4, 5 of note 60 = 100 Hz, degrees 4 to 7 one period (5/1) up, 8 keys per 5/1
      {"kbm-fix-012023/ed4-4.scl", "kbm-fix-012023/eightnote-c-100.kbm", 61, 200},
      {"kbm-fix-012023/ed4-4.scl", "kbm-fix-012023/eightnote-c-100.kbm", 64, 500},
      {"kbm-fix-012023/ed4-4.scl", "kbm-fix-012023/eightnote-c-100.kbm", 65, 1000},
      {"kbm-fix-012023/ed4-4.scl", "kbm-fix-012023/eightnote-c-100.kbm", 67, 2000},
      {"kbm-fix-012023/ed4-4.scl", "kbm-fix-012023/eightnote-c-100.kbm", 68, 500},
      {"kbm-fix-012023/ed4-4.scl", "kbm-fix-012023/eightnote-c-100.kbm", 59, 400},
      // an empty map: 31 keys per octave from note 60, note 69 at 452 Hz
      {"31edo.scl", "empty-note69.kbm", 70, 452 * std::pow(2.0, (degree10 - degree9) / 1200)},
      {"31edo.scl", "empty-note69.kbm", 91, 452 * std::pow(2.0, (1200 - degree9) / 1200)},
      {"31edo.scl", "empty-note69.kbm", 60, 452 * std::pow(2.0, -degree9 / 1200)},
      // degrees 3 and 5 of a four-note scale reached by a three-note map: 7/4, then 5/4 an octave up
      {"kbm-fix-012023/exact4.scl", "kbm-fix-012023/threenote-c-100.kbm", 62, 175},
      {"kbm-fix-012023/exact4.scl", "kbm-fix-012023/sixnote-c-100.kbm", 65, 200 * 7.0 / 4},
      {"kbm-fix-012023/exact4.scl", "kbm-fix-012023/sixnote-c-100.kbm", 64, 250},
      {"kbm-fix-012023/exact4.scl", "kbm-fix-012023/sixnote-c-100.kbm", 66, 200},
      // no mapping: the 12-note scale on the piano keys, A at 440 Hz
      {"12-intune.scl", nullptr, 60, 440 * std::pow(2.0, -900.0 / 1200)},
      {"12-intune.scl", nullptr, 81, 880},
  };
  for (const Case& c : cases) {
    CSCL_Import scala;
    ASSERT_TRUE(scala.ReadSCL((kFolder / c.scl).c_str())) << c.scl;
    if (c.kbm) {
      ASSERT_TRUE(scala.ReadKBM((kFolder / c.kbm).c_str())) << c.kbm;
    }
    CSingleScale s;
    scala.SetSingleScale(s);
    EXPECT_NEAR(0.0, CentsBetween(tuntest::NoteHz(s, c.note), c.hz), 1e-6) << c.scl << " " << c.note;
  }
}
