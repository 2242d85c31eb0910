// Numbers in tuning files are read and written with "." whatever locale the host process
// runs in. These tests switch the process to a decimal-comma locale (de_DE.UTF-8); when the
// system has not installed it, they build it with localedef into the build tree and use it
// through LOCPATH, so they run on a bare machine too. They fail, never skip, when neither
// works.
#include "../support/comma_locale.h"
#include "scala_model.h"
#include "tun_test_util.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <locale>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace TUN;
using tuntest::CentsToFactor;
using tuntest::EqualHz;
using tuntest::ReadTun;

namespace {

const char* const kCommaLocale = commalocale::kName;

class TunCommaLocale : public commalocale::Fixture
{
protected:
  TunCommaLocale() : commalocale::Fixture(VELTRANE_TEST_LOCALE_DIR) {}
};

} // namespace

TEST_F(TunCommaLocale, StringToolsUseThePoint)
{
  EXPECT_EQ("0.5", strx::dtostr(0.5));
  EXPECT_EQ("8.1757989156437069767", strx::dtostr(8.175798915643707));
  std::string::size_type pos = 0;
  double d = 0;
  EXPECT_TRUE(strx::Eval(std::string("440.5"), pos, d));
  EXPECT_EQ(440.5, d);
  EXPECT_EQ(5u, pos);
  pos = 0;
  EXPECT_TRUE(strx::Eval(std::string("440,5"), pos, d));
  EXPECT_EQ(440.0, d);
  EXPECT_EQ(3u, pos);
}

TEST_F(TunCommaLocale, TunFilesReadWithThePoint)
{
  CSingleScale s;
  auto r = ReadTun(s, "[Exact Tuning]\nBaseFreq = 8.5\nNote 1 = 150.25\nNote 127 = 12700.5\n");
  ASSERT_EQ(1, r.result) << r.error;
  EXPECT_HZ(8.5 * CentsToFactor(150.25), s.m_vdblNoteFrequenciesHz[1]);
  EXPECT_HZ(8.5 * CentsToFactor(12700.5), s.m_vdblNoteFrequenciesHz[127]);

  r = ReadTun(s, "[Exact Tuning]\nBaseFreq = 8,5\n");
  EXPECT_EQ(-1, r.result);
  EXPECT_EQ("Value type mismatch. Float expected!", r.error);

  r = ReadTun(s, "[Scale Begin]\nFormat = \"AnaMark-TUN\"\nFormatVersion = 200\n[Functional Tuning]\n"
                 "InitEqual = (69, 440.5)\nNote 70 = \"#=69 *1.5 %-0.5 +0.25\"\n[Scale End]\n");
  ASSERT_EQ(1, r.result) << r.error;
  EXPECT_EQ(440.5, s.m_dblBaseFreqHz);
  EXPECT_HZ(440.5 * 1.5 * CentsToFactor(-0.5) + 0.25, s.m_vdblNoteFrequenciesHz[70]);
}

TEST_F(TunCommaLocale, TunFilesWriteWithThePoint)
{
  CSingleScale a;
  ASSERT_EQ(1, ReadTun(a, "[Scale Begin]\nFormat = \"AnaMark-TUN\"\nFormatVersion = 200\n[Functional Tuning]\n"
                          "InitEqual = (60, 261.5)\nNote 61 = \"%33.25\"\nNote 127 = \"*1.125\"\n[Scale End]\n")
                   .result);
  std::ostringstream out; // created under the comma locale: it would print "261,5" and "12.700"
  ASSERT_TRUE(a.Write(out, 0, 200, false));
  const std::string text = out.str();
  EXPECT_NE(std::string::npos, text.find("InitEqual = (60, 261.5)"));
  EXPECT_NE(std::string::npos, text.find("Note 61 = \"%33.25\""));
  EXPECT_NE(std::string::npos, text.find("BaseFreq = 8.171875\n"));
  EXPECT_NE(std::string::npos, text.find("Note 69 = 6900\n")); // no digit grouping ("6.900")
  const long quantised =
      static_cast<long>(std::floor(1200 * std::log2(a.m_vdblNoteFrequenciesHz[127] / 8.175798915643707) + 0.5));
  EXPECT_NE(std::string::npos, text.find("Note 127 = " + std::to_string(quantised) + "\n"));
  EXPECT_EQ(std::string::npos, text.find("261,5"));
  // The caller's stream keeps its own locale afterwards.
  EXPECT_EQ(std::locale(kCommaLocale).name(), out.getloc().name());

  CSingleScale b;
  ASSERT_EQ(1, ReadTun(b, text).result);
  for (long n = 0; n < 128; ++n) EXPECT_HZ(a.m_vdblNoteFrequenciesHz[n], b.m_vdblNoteFrequenciesHz[n]);

  // Through a file as well.
  const fs::path path = fs::path(VELTRANE_TEST_LOCALE_DIR).parent_path() / ("locale-" + std::to_string(getpid()) + ".tun");
  ASSERT_TRUE(a.Write(path.c_str(), 0, 200, false));
  CSingleScale c;
  EXPECT_EQ(1, c.Read(path.c_str()));
  EXPECT_HZ(a.m_vdblNoteFrequenciesHz[61], c.m_vdblNoteFrequenciesHz[61]);
  fs::remove(path);
}

TEST_F(TunCommaLocale, ScalaFilesReadWithThePoint)
{
  CSCL_Import scala;
  ASSERT_TRUE(tuntest::ReadScl(scala, "comma test\n3\n150.5\n3/2\n5/2.5\n"));
  EXPECT_EQ(150.5, scala.m_adblScaleCents[1]);
  EXPECT_NEAR(tuntest::RatioCents(3, 2), scala.m_adblScaleCents[2], 1e-9);
  EXPECT_NEAR(1200.0, scala.m_adblScaleCents[3], 1e-9);
  ASSERT_TRUE(tuntest::ReadKbm(scala, "3\n0\n127\n60\n60\n261.625\n3\n0\n1\n2\n"));
  EXPECT_EQ(261.625, scala.m_dblRefFreqHz);
  CSingleScale s;
  scala.SetSingleScale(s);
  EXPECT_EQ(261.625, s.m_vdblNoteFrequenciesHz[60]);
  EXPECT_HZ(261.625 * CentsToFactor(150.5), s.m_vdblNoteFrequenciesHz[61]);
  EXPECT_HZ(261.625 * 2.0 * 1.5, s.m_vdblNoteFrequenciesHz[65]);
}
