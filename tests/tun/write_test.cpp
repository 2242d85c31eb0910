// Writing .tun files: the three generations, their framing, and write-then-read round trips.
#include "tun_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

using namespace TUN;
using tuntest::EqualHz;
using tuntest::NoteHz;
using tuntest::ReadTun;

namespace {

std::string Written(CSingleScale& s, long minVersion, long maxVersion, bool* ok = nullptr)
{
  std::ostringstream out;
  const bool r = s.Write(out, minVersion, maxVersion, false);
  if (ok) *ok = r;
  return out.str();
}

bool HasLine(const std::string& text, const std::string& line)
{
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);)
    if (l == line) return true;
  return false;
}

// Expects two scales to sound alike: the same frequency for every MIDI note and the same
// mapping, texts and channels.
void ExpectSameScale(const CSingleScale& a, const CSingleScale& b, const std::string& what)
{
  for (long n = 0; n < 128; ++n) {
    EXPECT_NEAR(NoteHz(a, n) / NoteHz(b, n), 1.0, 1e-9) << what << " note " << n;
    EXPECT_EQ(a.MapMIDI2Scale(n), b.MapMIDI2Scale(n)) << what << " note " << n;
  }
  EXPECT_EQ(a.m_strName, b.m_strName) << what;
  EXPECT_EQ(a.m_strDescription, b.m_strDescription) << what;
  EXPECT_EQ(a.m_strComments, b.m_strComments) << what;
  EXPECT_EQ(a.m_strDate, b.m_strDate) << what;
  EXPECT_EQ(a.m_lststrKeywords, b.m_lststrKeywords) << what;
  EXPECT_EQ(a.m_lststrCompositions, b.m_lststrCompositions) << what;
  EXPECT_EQ(a.GetMIDIChannelsAssignment(), b.GetMIDIChannelsAssignment()) << what;
}

} // namespace

TEST(TunWrite, VersionRangeChoosesTheGenerations)
{
  struct Case
  {
    long min, max;
    bool ok;
    bool begin, functional, exact, quantised, compat;
  } cases[] = {
      {0, 200, true, true, true, true, true, false},     {100, 100, true, true, false, true, false, true},
      {0, 0, true, false, false, false, true, false},    {150, 160, true, false, false, false, false, false},
      {200, 200, true, true, true, false, false, false}, {-50, 1000, true, true, true, true, true, false},
      {0, 100, true, true, false, true, true, true},     {300, 400, false, false, false, false, false, false},
      {10, 5, false, false, false, false, false, false},
  };
  for (const Case& c : cases) {
    CSingleScale s;
    s.m_vlMapping[0] = 5;
    bool ok = !c.ok;
    const std::string text = Written(s, c.min, c.max, &ok);
    const std::string what = std::to_string(c.min) + ".." + std::to_string(c.max);
    EXPECT_EQ(c.ok, ok) << what;
    EXPECT_EQ(c.begin, HasLine(text, "[Scale Begin]")) << what;
    EXPECT_EQ(c.begin, HasLine(text, "[Scale End]")) << what;
    EXPECT_EQ(c.begin, HasLine(text, "[Info]")) << what;
    EXPECT_EQ(c.begin, HasLine(text, "FormatVersion = 200")) << what;
    EXPECT_EQ(c.functional, HasLine(text, "[Functional Tuning]")) << what;
    EXPECT_EQ(c.functional, HasLine(text, "[Mapping]")) << what;
    EXPECT_EQ(c.exact, HasLine(text, "[Exact Tuning]")) << what;
    EXPECT_EQ(c.quantised, HasLine(text, "[Tuning]")) << what;
    EXPECT_EQ(c.compat, HasLine(text, "; written in V1.00 compatibility mode")) << what;
    EXPECT_EQ(c.compat, HasLine(text, "; In V1.00 compatibility mode, there is no explicit keyboard mapping")) << what;
    if (!c.ok) {
      EXPECT_EQ("", text) << what;
      EXPECT_EQ("Error in version settings - file not written.", s.m_err.m_strLastError) << what;
    } else {
      EXPECT_EQ("", s.m_err.m_strLastError) << what;
    }
    if (c.min == 150) {
      EXPECT_EQ("", text);
    }
  }
}

TEST(TunWrite, DefaultScale)
{
  CSingleScale s;
  const std::string text = Written(s, 0, 200);
  EXPECT_TRUE(HasLine(text, "Format = \"AnaMark-TUN\"")) << text;
  EXPECT_TRUE(HasLine(text, "InitEqual = (69, 440)"));
  EXPECT_TRUE(HasLine(text, "BaseFreq = 8.175798916"));
  EXPECT_TRUE(HasLine(text, "Note 69 = 6900"));
  EXPECT_TRUE(HasLine(text, "Note 0 = 0"));
  EXPECT_TRUE(HasLine(text, "Note 127 = 12700"));
  EXPECT_FALSE(HasLine(text, "[Mapping]")); // identity mapping: nothing at all
  EXPECT_FALSE(HasLine(text, "[Assignment]"));
  EXPECT_EQ(std::string::npos, text.find("Name ="));
  EXPECT_EQ(std::string::npos, text.find("Note 0 = \"")); // no formulas
  // Every line ends with a line feed; the frame ends with [Scale End].
  EXPECT_EQ(std::string::npos, text.find('\r'));
  EXPECT_NE(std::string::npos, text.find(";\n; End of tuning file\n;\n[Scale End]\n"));
  // Header, format declaration and information come first, in this order.
  EXPECT_EQ(0u, text.find(";\n; This is an AnaMark tuning map file V2.00\n;\n"));
  EXPECT_LT(text.find("[Scale Begin]"), text.find("[Info]"));
  EXPECT_LT(text.find("[Info]"), text.find("[Functional Tuning]"));
  EXPECT_LT(text.find("[Functional Tuning]"), text.find("[Exact Tuning]"));
  EXPECT_LT(text.find("[Exact Tuning]"), text.find("[Tuning]"));
}

TEST(TunWrite, SectionsAndKeys)
{
  CSingleScale s;
  std::ostringstream out;
  s.WriteSection(out, CSingleScale::secExactTuning);
  s.WriteSection(out, 0);
  s.WriteSection(out, 11);
  s.WriteKey(out, CSingleScale::keyNote, 5.5, 3);
  s.WriteKey(out, CSingleScale::keyBaseFreq, 1e-9);
  s.WriteKey(out, CSingleScale::keyKeyboard, 7L, 2);
  s.WriteKey(out, CSingleScale::keyName, std::string("a\"b"));
  s.WriteKey(out, CSingleScale::keyName, std::string());
  s.WriteKey(out, CSingleScale::keyKeyword, std::list<std::string>{"x", "", "y"}, 9);
  s.WriteKey(out, 0, 1L);
  s.WriteKey(out, 27, 1L);
  EXPECT_EQ("[Exact Tuning]\nNote 3 = 5.5\nBaseFreq = 0\nKeyboard 2 = 7\nName = \"a\\\"b\"\n"
            "Keyword = \"x\"\nKeyword = \"y\"\n",
            out.str());
}

TEST(TunWrite, ChannelsInfoAndMapping)
{
  CSingleScale s;
  s.m_strName = "n";
  s.m_strComments = "line1\nline2";
  s.m_lststrKeywords = {"a", "b"};
  s.m_lststrCompositions = {"B|A|T|Y|M"};
  s.SetMIDIChannelsAssignment("1-4,7");
  s.SetMappingLoopSize(12);
  s.m_vlMapping[1] = 3;
  s.m_vlMapping[20] = 50; // beyond the loop: never used, not written
  const std::string text = Written(s, 0, 200);
  EXPECT_TRUE(HasLine(text, "[Assignment]"));
  EXPECT_TRUE(HasLine(text, "MIDIChannel = \"1-4,7\""));
  EXPECT_TRUE(HasLine(text, "Name = \"n\""));
  EXPECT_TRUE(HasLine(text, "Comments = \"line1\\nline2\""));
  EXPECT_TRUE(HasLine(text, "Keyword = \"b\""));
  EXPECT_TRUE(HasLine(text, "Composition = \"B|A|T|Y|M\""));
  EXPECT_TRUE(HasLine(text, "LoopSize = 12"));
  EXPECT_TRUE(HasLine(text, "Keyboard 1 = 3"));
  EXPECT_FALSE(HasLine(text, "Keyboard 20 = 50"));
  EXPECT_LT(text.find("[Assignment]"), text.find("[Info]"));
  // Generation 1 folds the mapping into its notes.
  EXPECT_TRUE(HasLine(text, "Note 1 = 300"));
  EXPECT_TRUE(HasLine(text, "Note 13 = 1500"));

  const std::string v1 = Written(s, 100, 100);
  EXPECT_FALSE(HasLine(v1, "[Assignment]"));
  EXPECT_FALSE(HasLine(v1, "[Mapping]"));
}

TEST(TunWrite, RoundTripGivesTheSameScale)
{
  const char* files[] = {
      // functional tuning with everything a scale carries
      ("[Scale Begin]\nFormat = \"AnaMark-TUN\"\nFormatVersion = 200\n"
       "[Info]\nName = \"Round \\\"trip\\\" ?\"\nDescription = \"d\\x0ff\"\nComments = \"a\\nb\"\nDate = "
       "\"2023-04-05\"\n"
       "Keyword = \"k1\"\nKeyword = \"k2\"\nComposition = \"a|b|c|d|e\"\n"
       "[Assignment]\nMIDIChannel = \"2-3,16\"\n"
       "[Mapping]\nLoopSize = 7\nKeyboard 0 = 1\nKeyboard 6 = -2\n"
       "[Functional Tuning]\nInitEqual = (57, 220.5)\nNote 60 = \"#=57 *5 /4\"\nNote 62 = \"#>-2 %203.91 ~5\"\n"
       "Note 100 = \"#>-1 +1.5\"\nNote 0 = \"!8.5\"\nNote 3 = \"\"\n[Scale End]\n"),
      // exact cents with a repeated pattern
      "[Exact Tuning]\nBaseFreq = 9.5\nNote 0 = 3\nNote 1 = 111.7\nNote 2 = 203.9\nNote 3 = 498.04\n",
      // integer cents
      "[Tuning]\nNote 0 = 5\nNote 60 = 6013\nNote 127 = 12690\n",
      // a loop of 128 and a channel range
      ("[Scale Begin]\nFormat = \"AnaMark-TUN\"\nFormatVersion = 200\n[Assignment]\nMIDIChannel = \"9\"\n"
       "[Mapping]\nLoopSize = 300\nKeyboard 127 = 0\n[Functional Tuning]\nNote 64 = \"%-13.7\"\n[Scale End]\n"),
  };
  for (const char* file : files) {
    CSingleScale a;
    ASSERT_EQ(1, ReadTun(a, file).result) << file << a.m_err.m_strLastError;
    const std::string text = Written(a, 0, 200);
    CSingleScale b;
    const auto r = ReadTun(b, text);
    ASSERT_EQ(1, r.result) << r.error << " line " << r.line << "\n" << text;
    ExpectSameScale(a, b, file);
    EXPECT_EQ(a.m_lMappingLoopSize, b.m_lMappingLoopSize) << file;
    // Written again, the text is the same.
    EXPECT_EQ(text, Written(b, 0, 200)) << file;
  }
}

TEST(TunWrite, EachGenerationAloneKeepsTheSound)
{
  CSingleScale a;
  ASSERT_EQ(1, ReadTun(a, "[Scale Begin]\nFormat = \"AnaMark-TUN\"\nFormatVersion = 200\n"
                          "[Mapping]\nLoopSize = 12\nKeyboard 4 = 5\n"
                          "[Functional Tuning]\nNote 61 = \"%33\"\nNote 5 = \"*1.25\"\n[Scale End]\n")
                   .result);
  for (long gen : {200L, 100L}) {
    CSingleScale b;
    ASSERT_EQ(1, ReadTun(b, Written(a, gen, gen)).result) << gen;
    for (long n = 0; n < 128; ++n) EXPECT_NEAR(NoteHz(a, n) / NoteHz(b, n), 1.0, 1e-9) << gen << " note " << n;
  }
  // Integer cents keep every note within half a cent.
  CSingleScale b;
  ASSERT_EQ(1, ReadTun(b, Written(a, 0, 0)).result);
  EXPECT_EQ(100, b.m_lFormatVersion);
  for (long n = 0; n < 128; ++n) EXPECT_LE(std::fabs(Hz2Cents(NoteHz(b, n), NoteHz(a, n))), 0.5 + 1e-9) << n;
}

TEST(TunWrite, ScalaImportRoundTrip)
{
  CSCL_Import scala;
  ASSERT_TRUE(tuntest::ReadScl(scala, "! meantone\nquarter-comma meantone\n12\n76.049\n193.157\n310.265\n386.314\n"
                                      "503.422\n579.471\n696.578\n25/16\n889.735\n1006.843\n1082.892\n2/1\n"));
  ASSERT_TRUE(tuntest::ReadKbm(scala, "12\n0\n127\n60\n69\n432\n12\n0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n"));
  CSingleScale a;
  scala.SetSingleScale(a);
  CSingleScale b;
  ASSERT_EQ(1, ReadTun(b, Written(a, 0, 200)).result);
  ExpectSameScale(a, b, "scala");
  EXPECT_EQ(127u, b.m_lstFormulas.size());
}

TEST(TunWrite, ToAFile)
{
  char path[] = "/tmp/tun_write_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  CSingleScale a;
  a.InitEqual(60, 256.0);
  a.m_strDescription = "file";
  EXPECT_TRUE(a.Write(path, 0, 200, false));
  CSingleScale b;
  EXPECT_EQ(1, b.Read(path));
  ExpectSameScale(a, b, "file");
  std::remove(path);

  EXPECT_FALSE(a.Write("/nonexistent-folder/x.tun", 0, 200, false));
  EXPECT_EQ("Error opening the file.", a.m_err.m_strLastError);
  EXPECT_FALSE(a.Write(path, 300, 400, false));
  EXPECT_NE(0, access(path, F_OK)); // not even created
}
