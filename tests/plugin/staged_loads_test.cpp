// States built aside: for a plug-in that builds states itself (PrepareState and its companions), every load
// the framework offers (the host's program change, program and bank chunks, program and bank files) builds
// the state without the instance mutex and holds the mutex only to put it in place; a bank's programs are
// taken in the current format without going through the live state; a state that cannot be read changes
// nothing; a plug-in that changed meanwhile gets the state built again, and loaded in place after a few tries.
#include "PlugHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
// Parameters 0..1 as its state; it builds states aside and records how each step found the mutex.
class AsidePlug : public BarePlug
{
public:
  static constexpr int kParams = 3;
  AsidePlug() : BarePlug(kParams, 4, true) {}

  int UnserializeState(ByteChunk* chunk, int pos) override
  {
    ++inPlace;
    return BarePlug::UnserializeState(chunk, pos);
  }
  int PrepareState(const ByteChunk* chunk, int pos) override
  {
    ++prepared;
    return read(chunk, pos, built);
  }
  bool CommitPreparedState() override
  {
    committedWithoutMutex |= !GetMutex()->HeldByCaller();
    if (refusals > 0) {
      --refusals;
      return false;
    }
    for (int i = 0; i < kParams; ++i) GetParam(i)->Set(built[i]);
    ++committed;
    return true;
  }
  void EndPreparedState() override { ++ended; }
  int NormalizeState(const ByteChunk* chunk, int pos, ByteChunk* out, const HostSet* sets, int nSets) override
  {
    ++normalized;
    std::vector<double> values;
    if ((pos = read(chunk, pos, values)) < 0) return -1;
    for (int i = 0; i < nSets; ++i)
      if (sets[i].paramIdx >= 0 && sets[i].paramIdx < kParams) values[(size_t)sets[i].paramIdx] = sets[i].value;
    for (double v : values) out->Put(&(v = std::clamp(v, 0.0, 1.0))); // as the live state would hold it
    return pos;
  }

  void set(double a, double b, double c)
  {
    GetParam(0)->Set(a);
    GetParam(1)->Set(b);
    GetParam(2)->Set(c);
  }
  std::vector<double> values() const { return {GetParam(0)->Value(), GetParam(1)->Value(), GetParam(2)->Value()}; }
  VstIntPtr dispatch(int opcode, int index = 0, VstIntPtr value = 0, void* ptr = nullptr)
  {
    return VSTDispatcher(GetAEffect(), opcode, index, value, ptr, 0.0f);
  }
  std::vector<unsigned char> chunk(int index)
  {
    void* data = nullptr;
    const VstIntPtr size = dispatch(effGetChunk, index, 0, &data);
    return std::vector<unsigned char>((unsigned char*)data, (unsigned char*)data + size);
  }
  // effSetChunk: index 0 a bank, 1 a program.
  VstIntPtr setChunk(int index, const std::vector<unsigned char>& c)
  {
    return dispatch(effSetChunk, index, (VstIntPtr)c.size(), (void*)c.data());
  }

  // The kParams values at pos; the position after them, or -1 when the chunk ends before.
  int read(const ByteChunk* chunk, int pos, std::vector<double>& values)
  {
    heldWhilePreparing |= GetMutex()->HeldByCaller();
    values.assign(kParams, 0.0);
    for (double& v : values)
      if ((pos = chunk->Get(&v, pos)) < 0) return -1;
    return pos;
  }

  std::vector<double> built;
  int inPlace = 0, prepared = 0, committed = 0, ended = 0, normalized = 0, refusals = 0;
  bool heldWhilePreparing = false, committedWithoutMutex = false;
};

std::string tempFile(const char* name)
{
  return std::string(::testing::TempDir()) + "/staged_" + std::to_string(getpid()) + "_" + name;
}
} // namespace

TEST(StagedLoads, EveryLoadBuildsTheStateWithoutTheMutexAndPutsItInPlaceUnderIt)
{
  // Program 1 holds (0.1, 0.2, 0.3); every plug-in below starts with this bank, program 0 current and
  // holding (0.5, 0.5, 0.5).
  AsidePlug source;
  source.EnsureDefaultPreset(); // every slot holds a state, as the entry point leaves them
  source.dispatch(effSetProgram, 0, 1);
  source.set(0.1, 0.2, 0.3);
  source.ModifyCurrentPreset("one");
  const std::vector<unsigned char> program = source.chunk(1), bank = source.chunk(0);
  WDL_String fxp(tempFile("p.fxp").c_str()), fxb(tempFile("b.fxb").c_str());
  ASSERT_TRUE(source.SaveProgramAsFXP(&fxp));
  source.dispatch(effSetProgram, 0, 0);
  ASSERT_TRUE(source.SaveBankAsFXB(&fxb));

  // Banks are loaded with program 1 current, and its live values away from the stored ones.
  const auto onProgram1 = [](AsidePlug& p) {
    p.dispatch(effSetProgram, 0, 1);
    p.set(0.5, 0.5, 0.5);
  };
  const std::pair<const char*, std::function<void(AsidePlug&)>> loads[] = {
      {"effSetProgram", [](AsidePlug& p) { p.dispatch(effSetProgram, 0, 1); }},
      {"program chunk", [&](AsidePlug& p) { EXPECT_EQ(1, p.setChunk(1, program)); }},
      {"bank chunk", [&](AsidePlug& p) {
         onProgram1(p);
         EXPECT_EQ(1, p.setChunk(0, bank));
       }},
      {"program file", [&](AsidePlug& p) { EXPECT_TRUE(p.LoadProgramFromFXP(&fxp)); }},
      {"bank file", [&](AsidePlug& p) {
         onProgram1(p);
         EXPECT_TRUE(p.LoadBankFromFXB(&fxb));
       }},
  };
  for (const auto& load : loads) {
    AsidePlug p;
    ASSERT_EQ(1, p.setChunk(0, bank));
    EXPECT_EQ(1, p.dispatch(effGetProgram)); // the program the bank was saved on
    p.dispatch(effSetProgram, 0, 0);
    p.set(0.5, 0.5, 0.5);
    p.ModifyCurrentPreset();
    p.inPlace = p.prepared = p.committed = p.ended = 0;
    load.second(p);
    EXPECT_EQ((std::vector<double>{0.1, 0.2, 0.3}), p.values()) << load.first;
    EXPECT_EQ(0, p.inPlace) << load.first << ": a state read through the live plug-in";
    EXPECT_GE(p.committed, 1) << load.first;
    EXPECT_EQ(p.prepared, p.ended) << load.first;
    EXPECT_FALSE(p.heldWhilePreparing) << load.first;
    EXPECT_FALSE(p.committedWithoutMutex) << load.first;
  }
  AsidePlug p;
  EXPECT_EQ(1, p.setChunk(0, bank));
  EXPECT_EQ(4, p.normalized); // every stored program, in the current format
  EXPECT_STREQ("one", p.GetPresetName(1));
  std::remove(fxp.Get());
  std::remove(fxb.Get());
}

TEST(StagedLoads, AStateThatCannotBeReadChangesNothing)
{
  AsidePlug p;
  p.set(0.5, 0.25, 0.75);
  std::vector<unsigned char> program = p.chunk(1);
  program.resize(program.size() - 4); // the last value cut
  p.set(0.1, 0.1, 0.1);
  EXPECT_EQ(0, p.setChunk(1, program));
  EXPECT_EQ((std::vector<double>{0.1, 0.1, 0.1}), p.values());
  EXPECT_EQ(0, p.inPlace);
  EXPECT_EQ(p.prepared, p.ended);
}

TEST(StagedLoads, APlugInThatChangedMeanwhileGetsTheStateBuiltAgainThenInPlace)
{
  for (int refusals : {1, IPlugBase::kPrepareAttempts}) {
    AsidePlug p;
    p.set(0.5, 0.25, 0.75);
    const std::vector<unsigned char> program = p.chunk(1);
    p.set(0.0, 0.0, 0.0);
    p.refusals = refusals;
    EXPECT_EQ(1, p.setChunk(1, program));
    EXPECT_EQ((std::vector<double>{0.5, 0.25, 0.75}), p.values());
    EXPECT_EQ(refusals < IPlugBase::kPrepareAttempts ? refusals + 1 : IPlugBase::kPrepareAttempts, p.prepared);
    EXPECT_EQ(refusals < IPlugBase::kPrepareAttempts ? 0 : 1, p.inPlace); // in place after the last refusal
  }
}
