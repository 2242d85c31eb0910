// State chunks and program slots: parameters as state, the framework header, bank chunks, restoring and
// naming programs, and the factory-program makers.
#include "PlugHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

// A plug-in whose parameter changes are counted, without a host.
class CountingPlug : public BarePlug
{
public:
  CountingPlug(int nParams, int nPresets) : BarePlug(nParams, nPresets, true) {}
  void OnParamChange(int) override { ++changes; }
  int changes = 0;
};

std::string TempFile(const char* name)
{
  return std::string(::testing::TempDir()) + "/plugin_" + std::to_string(getpid()) + "_" + name;
}

std::string Slurp(const std::string& path)
{
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

} // namespace

TEST(StateChunk, FrameworkHeaderBytesAndVersion)
{
  ByteChunk c;
  c.PutStr("stale");
  IPlugBase::InitChunkWithIPlugVer(&c);
  ASSERT_EQ(c.Size(), 8);
  const unsigned char expected[8] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
  EXPECT_EQ(std::memcmp(c.GetBytes(), expected, 8), 0);
  int pos = 0;
  EXPECT_EQ(IPlugBase::GetIPlugVerFromChunk(&c, &pos), 0x00010000);
  EXPECT_EQ(pos, 8);

  ByteChunk other;
  other.PutStr("no header");
  pos = 0;
  EXPECT_EQ(IPlugBase::GetIPlugVerFromChunk(&other, &pos), 0);
  EXPECT_EQ(pos, 0);

  ByteChunk cut; // the magic without its version
  int magic = IPlugBase::kMagic;
  cut.Put(&magic);
  pos = 0;
  EXPECT_EQ(IPlugBase::GetIPlugVerFromChunk(&cut, &pos), 0);
  EXPECT_EQ(pos, -1);
}

TEST(StateChunk, ParametersAreClampedAndChangeHandlersAlwaysRun)
{
  CountingPlug p(2, 1);
  ByteChunk c;
  double values[2] = {1.5, -2.0};
  c.Put(&values[0]);
  c.Put(&values[1]);
  EXPECT_EQ(p.UnserializeParams(&c, 0), 16);
  EXPECT_EQ(p.GetParam(0)->Value(), 1.0);
  EXPECT_EQ(p.GetParam(1)->Value(), 0.0);
  EXPECT_EQ(p.changes, 2);

  ByteChunk shortChunk;
  double half = 0.5;
  shortChunk.Put(&half);
  p.GetParam(1)->Set(0.7);
  EXPECT_EQ(p.UnserializeParams(&shortChunk, 0), -1);
  EXPECT_EQ(p.GetParam(0)->Value(), 0.5);
  EXPECT_EQ(p.GetParam(1)->Value(), 0.0); // the missing value reads as 0, clamped
  EXPECT_EQ(p.changes, 4);
  EXPECT_EQ(p.UnserializeParams(&c, -1), -1);
  EXPECT_EQ(p.changes, 6);
}

TEST(StateChunk, CompareStateIgnoresDifferencesBeyondSinglePrecision)
{
  BarePlug p(2, 1, true);
  p.GetParam(0)->Set(0.3);
  p.GetParam(1)->Set(0.6);
  double stored[2] = {0.3 + 1e-12, 0.6};
  EXPECT_TRUE(p.CompareState(reinterpret_cast<unsigned char*>(stored), 0));
  stored[1] = 0.61;
  EXPECT_FALSE(p.CompareState(reinterpret_cast<unsigned char*>(stored), 0));
  BarePlug none(0, 1, true);
  EXPECT_TRUE(none.CompareState(nullptr, 0));
}

TEST(Programs, BankChunkLayout)
{
  BarePlug p(2, 2, true);
  p.RestorePreset(0); // initialises slot 0 from the live state: two doubles
  p.RestorePreset("user preset 1");
  ByteChunk bank;
  EXPECT_TRUE(p.SerializePresets(&bank));
  // "user preset 1" (4 + 13), flag, 16 bytes of state; "empty" (4 + 5), flag.
  EXPECT_EQ(bank.Size(), 4 + 13 + 1 + 16 + 4 + 5 + 1);
}

TEST(Programs, TwoSlotsOneInitialised)
{
  ByteChunk sixteen;
  sixteen.Resize(16);
  BarePlug q(2, 2, true);
  q.MakePresetFromChunk("A", &sixteen);
  ByteChunk bank;
  q.SerializePresets(&bank);
  EXPECT_EQ(bank.Size(), 32);
}

TEST(Programs, UninitialisedSlotsTakeTheLiveStateAndAUserName)
{
  BarePlug p(1, 4, true);
  ByteChunk s;
  p.MakePresetFromChunk("first user preset", &s);
  p.MakePresetFromChunk("user preset 7", &s);
  p.GetParam(0)->Set(0.4);
  EXPECT_TRUE(p.RestorePreset(3));
  EXPECT_STREQ(p.GetPresetName(3), "user preset 3");
  EXPECT_EQ(p.GetCurrentPresetIdx(), 3);
  EXPECT_TRUE(p.IsPresetInitialized(3));
  EXPECT_EQ(p.GetPresetChunk(3)->Size(), 8);
  EXPECT_STREQ(p.GetPresetName(-1), "");
  EXPECT_FALSE(p.RestorePreset(4));
  EXPECT_FALSE(p.RestorePreset(-1));
  EXPECT_EQ(p.GetCurrentPresetIdx(), 3);
}

TEST(Programs, RestoreByName)
{
  BarePlug p(1, 3, true);
  p.MakePreset("one", 0.1);
  p.MakePreset("two", 0.2);
  EXPECT_FALSE(p.RestorePreset((const char*)nullptr));
  EXPECT_FALSE(p.RestorePreset(""));
  EXPECT_FALSE(p.RestorePreset("three"));
  EXPECT_TRUE(p.RestorePreset("two"));
  EXPECT_EQ(p.GetCurrentPresetIdx(), 1);
  EXPECT_DOUBLE_EQ(p.GetParam(0)->Value(), 0.2);
}

TEST(Programs, RestoringAnUnreadableSlotFailsAndKeepsTheCurrentProgram)
{
  BarePlug p(2, 2, true);
  ByteChunk tooShort;
  tooShort.Resize(4);
  p.MakePresetFromChunk("broken", &tooShort);
  p.MakePreset("fine", 0.5, 0.5);
  EXPECT_TRUE(p.RestorePreset(1));
  EXPECT_FALSE(p.RestorePreset(0));
  EXPECT_EQ(p.GetCurrentPresetIdx(), 1);
}

TEST(Programs, BankRoundTripKeepsNamesFlagsAndValues)
{
  BarePlug a(2, 3, true);
  a.MakePreset("low", 0.1, 0.2);
  a.MakePreset("high", 0.9, 0.8);
  a.RestorePreset(1);
  ByteChunk bank;
  a.SerializePresets(&bank);

  BarePlug b(2, 3, true);
  EXPECT_EQ(b.UnserializePresets(&bank, 0), bank.Size());
  EXPECT_STREQ(b.GetPresetName(0), "low");
  EXPECT_STREQ(b.GetPresetName(1), "high");
  EXPECT_STREQ(b.GetPresetName(2), "empty");
  EXPECT_FALSE(b.IsPresetInitialized(2));
  EXPECT_EQ(b.GetCurrentPresetIdx(), 0);
  EXPECT_DOUBLE_EQ(b.GetParam(1)->Value(), 0.2); // the current program (0) is live again
  EXPECT_TRUE(b.GetPresetChunk(1)->IsEqual(a.GetPresetChunk(1)));
}

TEST(Programs, ModifyCurrentPresetStoresTheLiveStateAndRenames)
{
  BarePlug p(1, 2, true);
  p.MakeDefaultPreset("start", 2);
  p.GetParam(0)->Set(0.25);
  p.ModifyCurrentPreset(nullptr);
  EXPECT_STREQ(p.GetPresetName(0), "start");
  double stored = 0;
  p.GetPresetChunk(0)->Get(&stored, 0);
  EXPECT_EQ(stored, 0.25);
  p.ModifyCurrentPreset("renamed");
  EXPECT_STREQ(p.GetPresetName(0), "renamed");
  std::string longName(300, 'n');
  p.ModifyCurrentPreset(longName.c_str());
  EXPECT_EQ(std::strlen(p.GetPresetName(0)), 255u);

  // A slot that took a state the live one did not come from keeps it (renamed all the same), until it is in place.
  BarePlug q(1, 2, true);
  q.MakePreset("made", 0.75);
  EXPECT_FALSE(q.ModifyCurrentPreset("still made"));
  q.GetPresetChunk(0)->Get(&stored, 0);
  EXPECT_EQ(stored, 0.75);
  EXPECT_STREQ(q.GetPresetName(0), "still made");
  q.RestorePreset(0);
  EXPECT_TRUE(q.ModifyCurrentPreset());
}

TEST(Programs, AModifiedSlotKeepsItsNameThroughABank)
{
  // A slot that was never initialised takes a state and a name: a bank saved now must carry both.
  BarePlug a(1, 3, true);
  a.GetParam(0)->Set(0.75);
  a.ModifyCurrentPreset("Lead");
  EXPECT_TRUE(a.IsPresetInitialized(0));
  ByteChunk bank;
  a.SerializePresets(&bank);
  BarePlug b(1, 3, true);
  EXPECT_EQ(b.UnserializePresets(&bank, 0), bank.Size());
  EXPECT_STREQ(b.GetPresetName(0), "Lead");
  EXPECT_TRUE(b.IsPresetInitialized(0));
  EXPECT_DOUBLE_EQ(b.GetParam(0)->Value(), 0.75);
  EXPECT_FALSE(b.IsPresetInitialized(1));
}

TEST(Programs, EnsureDefaultPresetFillsEverySlotAndPruneRemovesEmptyOnes)
{
  BarePlug p(1, 4, true);
  p.MakePreset("made", 0.5);
  BarePlug q(1, 4, true);
  q.MakePreset("made", 0.5);
  p.EnsureDefaultPreset();
  for (int i = 1; i < 4; ++i) {
    EXPECT_TRUE(p.IsPresetInitialized(i));
    EXPECT_STREQ(p.GetPresetName(i), "Empty");
  }
  q.PruneUninitializedPresets();
  EXPECT_EQ(q.NPresets(), 1);
  EXPECT_STREQ(q.GetPresetName(0), "made");
}

TEST(PresetMakers, NamedParametersKeepTheOthers)
{
  BarePlug p(3, 2, true);
  p.GetParam(0)->Set(0.1);
  p.GetParam(1)->Set(0.2);
  p.GetParam(2)->Set(0.3);
  p.MakePresetFromNamedParams("named", 3, 2, 0.9, 1, 9.999e-8, 7, 0.5);
  const ByteChunk* c = p.GetPresetChunk(0);
  ASSERT_EQ(c->Size(), 24);
  double v[3];
  for (int i = 0; i < 3; ++i) c->Get(&v[i], 8 * i);
  EXPECT_EQ(v[0], 0.1);
  EXPECT_EQ(v[1], 0.2); // 9.999e-8 means "not named"
  EXPECT_EQ(v[2], 0.9);
}

TEST(PresetMakers, IntegerParametersTakeIntArguments)
{
  Harness h; // TestPlug: Gain (double), Mode (enum), Bypass (bool), Steps (int)
  TestPlug* p = h.plug;
  BarePlug q(1, 1, true);
  q.MakePreset("x", 0.75);
  double v = 0;
  q.GetPresetChunk(0)->Get(&v, 0);
  EXPECT_EQ(v, 0.75);
  // Program 0 of TestPlug was made with (0.5, 1, 0, 3).
  ByteChunk* c = const_cast<ByteChunk*>(p->GetPresetChunk(0));
  double values[4];
  for (int i = 0; i < 4; ++i) c->Get(&values[i], 8 * i);
  EXPECT_EQ(values[0], 0.5);
  EXPECT_EQ(values[1], 1.0);
  EXPECT_EQ(values[2], 0.0);
  EXPECT_EQ(values[3], 3.0);
}

TEST(PresetMakers, BlobDumpsRecreateTheChunk)
{
  BarePlug p(2, 2, true);
  p.MakePreset("src", 0.125, 0.875);
  std::string path = TempFile("blob.txt");
  ASSERT_TRUE(p.DumpPresetBlob(path.c_str()));
  std::string text = Slurp(path);
  std::remove(path.c_str());
  // MakePresetFromBlob("name", "<base64>", 16);
  ASSERT_EQ(text.rfind("MakePresetFromBlob(\"name\", \"", 0), 0u) << text;
  size_t start = text.find("\", \"") + 4, end = text.find('"', start);
  std::string blob = text.substr(start, end - start);
  EXPECT_EQ(blob.size(), 24u); // 16 bytes: five groups of four and one padded group
  EXPECT_EQ(blob.substr(22), "==");
  EXPECT_NE(text.find("\", 16);\n"), std::string::npos);

  BarePlug q(2, 1, true);
  q.MakePresetFromBlob("copy", blob.c_str(), 16);
  EXPECT_TRUE(q.GetPresetChunk(0)->IsEqual(p.GetPresetChunk(0)));
}

TEST(PresetMakers, BlobDecodingStopsAtTheFirstForeignCharacterAndPadsWithZeros)
{
  struct Case
  {
    const char* blob;
    int size;
    std::vector<unsigned char> bytes;
  };
  const Case cases[] = {
      {"TWFu", 3, {'M', 'a', 'n'}},
      {"TWE=", 3, {'M', 'a', 0}},
      {"TWFu", 2, {'M', 'a'}},
      {"TW!u", 3, {'M', 0, 0}},
      {"", 2, {0, 0}},
      {"/+/+", 3, {0xFF, 0xEF, 0xFE}},
  };
  for (const Case& c : cases) {
    BarePlug q(0, 1, true);
    q.MakePresetFromBlob("b", c.blob, c.size);
    const ByteChunk* chunk = q.GetPresetChunk(0);
    ASSERT_EQ(chunk->Size(), c.size) << c.blob;
    EXPECT_EQ(std::vector<unsigned char>(chunk->GetBytes(), chunk->GetBytes() + c.size), c.bytes) << c.blob;
  }
}

TEST(PresetMakers, SourceCodeDumpListsEveryParameter)
{
  Harness h;
  h.plug->RestorePreset(0);
  const char* names[] = {"kGain", "kMode", "kBypass", "kSteps"};
  std::string path = TempFile("src.txt");
  ASSERT_TRUE(h.plug->DumpPresetSrcCode(path.c_str(), names));
  EXPECT_EQ(Slurp(path), "  MakePresetFromNamedParams(\"name\", 4,\n    kGain, 0.500000,\n    kMode, 1,\n"
                         "    kBypass, false,\n    kSteps, 3);\n");
  std::remove(path.c_str());
  EXPECT_FALSE(h.plug->DumpPresetSrcCode("/nonexistent/x.txt", names));
  EXPECT_TRUE(h.plug->DumpBankBlob(path.c_str()));
  std::string bank = Slurp(path);
  EXPECT_EQ(std::count(bank.begin(), bank.end(), '\n'), TestPlug::kNumPrograms);
  EXPECT_NE(bank.find("MakePresetFromBlob(\"Unity\", \""), std::string::npos);
  std::remove(path.c_str());
}
