// What all module types share: parameter declarations, source resolution for "off", the per-rate
// pitch-step tables shared between instances, and the one-call output lag.
#include "Amplifier.h"
#include "Envelope.h"
#include "FlushDenormals.h"
#include "Ladder.h"
#include "Mixer.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"
#include "Oscillator.h"
#include "module_rig.h"
#include "signal_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <typeinfo>

namespace {
// A few parameters of every type as their declarations read: type (E enumeration, I integer, D double, B
// switch), range, default, the texts shown at two values, and the shape. The delay range of the BBD and
// the sample delays are lists, shown as menus in their panels.
struct Declared
{
  ModuleConfig::ModuleID id;
  int p;
  char type;
  double min, max, def;
  double v1;
  const char* t1;
  double v2;
  const char* t2;
  double shape = 1.0;
};
using M = ModuleConfig;

// clang-format off
const Declared kDeclared[] = {
  {M::MOD_OSCILLATOR, 0, 'E', 0, 2, 1, 0, "Sine", 2, "Pulse"},
  {M::MOD_OSCILLATOR, 4, 'I', -24, 24, 0, -24, "-24", 12, "12"},
  {M::MOD_OSCILLATOR, 5, 'I', -128, 128, 0, 128, "100", -64, "-50"},
  {M::MOD_OSCILLATOR, 6, 'D', -6145, 6145, 0, 1536, "1.00", -3072, "-2.00"},
  {M::MOD_OSCILLATOR, 11, 'D', 0, 1, 0, 0.5, "180", 1, "360"},
  {M::MOD_OSCLINFM, 0, 'E', 0, 2, 0, 0, "Sine", 2, "Square"},
  {M::MOD_OSCLINFM, 3, 'D', 0, 1, 0, 0.5, "0.50", 1, "1.00"},
  {M::MOD_OSCLINFM, 12, 'D', 0, 1, 0, 0.25, "90", 0, "0"},
  {M::MOD_OSCILLATOR2, 1, 'E', 0, 2, 1, 1, "Saw", 0, "Sine"},
  {M::MOD_OSCILLATOR2, 7, 'I', -128, 128, 0, -128, "-100", 64, "50"},
  {M::MOD_OSCILLATOR2, 10, 'D', -6145, 6145, 0, 6145, "4.00", 768, "0.50"},
  {M::MOD_OSCFORMANT, 0, 'E', 0, 2, 0, 1, "Partial", 2, "Ring"},
  {M::MOD_OSCFORMANT, 1, 'D', 0, 1, 0, 0, "8", 0.5, "293", 0.5},
  {M::MOD_OSCFORMANT, 2, 'D', 1, 50, 1, 2.5, "2.50", 50, "50.00", 2},
  {M::MOD_OSCFORMANT, 4, 'D', -1, 1, 0, -0.25, "-0.25", 1, "1.00"},
  {M::MOD_OSCWAVETABLE, 0, 'E', 0, 1, 0, 0, "off", 1, "1"},
  {M::MOD_OSCWAVETABLE, 2, 'D', -1, 1, 0, -0.5, "-0.50", 1, "1.00"},
  {M::MOD_OSCWAVETABLE, 11, 'E', 0, 1, 0, 0, "Interpolate", 1, "Raw"},
  {M::MOD_OSCWAVETABLE, 12, 'D', 0, 1, 0, 0.25, "90", 0.5, "180"},
  {M::MOD_NOISE, 1, 'D', 0, 1, 0, 0, "-oo", 0.5, "-6.0"},
  {M::MOD_NOISE, 9, 'D', 0, 1, 0, 0.25, "0.25", 1, "1.00"},
  {M::MOD_LADDER, 0, 'E', 0, 14, 1, 0, "Bypass", 14, "AP 6"},
  {M::MOD_LADDER, 1, 'D', 0, 1, 1, 1, "19912", 0.5, "403", 0.5},
  {M::MOD_LADDER, 7, 'D', -12289, 12289, 0, 1536, "1.00", -12289, "-8.00"},
  {M::MOD_LADDER, 11, 'D', 1, 16, 1, 1, "0.0", 2, "6.0"},
  {M::MOD_LADDER, 12, 'D', -1, 1, 0, 0.5, "0.50", -1, "-1.00"},
  {M::MOD_K35, 0, 'E', 0, 2, 1, 1, "Lowpass", 2, "Highpass"},
  {M::MOD_K35, 3, 'D', 0, 1, 0.5, 0.5, "-6.0", 0, "-oo"},
  {M::MOD_K35, 13, 'D', -1, 1, 0, -1, "-1.00", 0.5, "0.50"},
  {M::MOD_COMB, 0, 'E', 0, 2, 1, 1, "Positive", 2, "Negative"},
  {M::MOD_COMB, 1, 'D', 0, 1, 0, 0, "16", 1, "19912", 0.5},
  {M::MOD_COMB, 2, 'D', 0, 1, 0, 0.3, "0.30", 1, "1.00"},
  {M::MOD_RESONATORS, 0, 'D', 0, 1, 0.5, 0.5, "50:50", 0.3, "70:30"},
  {M::MOD_RESONATORS, 1, 'D', 0, 1, 0.3, 1, "19912", 0, "8", 0.5},
  {M::MOD_RESONATORS, 3, 'D', 0, 1, 0.7, 0.5, "403", 1, "19912", 0.5},
  {M::MOD_RESONATORS, 10, 'D', -12289, 12289, 0, 3072, "2.00", -768, "-0.50"},
  {M::MOD_EQ10, 2, 'D', 0, 2, 1, 2, "6.0", 0, "-oo"},
  {M::MOD_EQ10, 4, 'E', 0, 1, 0, 0, "Mono", 1, "Stereo"},
  {M::MOD_EQ10, 9, 'D', -18, 18, 0, 18, "18.0", -4.5, "-4.5"},
  {M::MOD_PARAEQ5, 5, 'D', 16, 16000, 60, 60, "60", 16000, "16000", 2},
  {M::MOD_PARAEQ5, 9, 'D', 16, 16000, 1000.5, 1000.5, "1000", 250, "250", 2},
  {M::MOD_PARAEQ5, 14, 'D', -18, 18, 0, -18, "-18.0", 0.5, "0.5"},
  {M::MOD_STEREOLADDER, 0, 'E', 0, 14, 1, 1, "LP 24", 9, "BP 12"},
  {M::MOD_STEREOK35, 11, 'D', 1, 16, 1, 16, "24.1", 1, "0.0"},
  {M::MOD_STEREOCOMB, 13, 'D', -1, 1, 0, 0.5, "0.50", -1, "-1.00"},
  {M::MOD_STEREORESONATORS, 2, 'D', 0, 1, 0.5, 0.5, "403", 0, "8", 0.5},
  {M::MOD_AMPLIFIER, 0, 'D', 0, 2, 1, 2, "6.0", 0, "-oo"},
  {M::MOD_AMPLIFIER, 4, 'D', 0, 1, 0.5, 0, "100:0", 0.25, "75:25"},
  {M::MOD_AMPLIFIER, 10, 'D', 0, 1, 0, 0.5, "0.50", 1, "1.00"},
  {M::MOD_AMPLIFIER, 14, 'E', 0, 1, 0, 0, "A+B", 1, "A|B"},
  {M::MOD_MIXER, 0, 'D', 0, 1, 0.5, 0.5, "-6.0", 1, "0.0"},
  {M::MOD_MIXER, 11, 'D', 0, 1, 0.5, 1, "0:100", 0.5, "50:50"},
  {M::MOD_MIXER, 12, 'D', 0, 2, 1, 1, "0.0", 0, "-oo"},
  {M::MOD_SIGNALPROC, 1, 'D', -1, 1, 0, -1, "-1.00", 0.5, "0.50"},
  {M::MOD_SIGNALPROC, 10, 'D', -1, 1, 0, 0.25, "0.25", 1, "1.00"},
  {M::MOD_BLENDER, 6, 'D', 0, 1, 0, 0.75, "0.75", 1, "1.00"},
  {M::MOD_RING, 4, 'D', 0, 1, 1, 0.5, "0.50", 1, "1.00"},
  {M::MOD_RING, 7, 'D', 0, 1, 0, 0.25, "0.25", 0, "0.00"},
  {M::MOD_AUDIOSH, 1, 'D', 0, 1, 1, 0.5, "0.50", 1, "1.00"},
  {M::MOD_AUDIOSH, 3, 'I', -128, 128, 0, 128, "100", -128, "-100"},
  {M::MOD_AUDIOSH, 4, 'B', 0, 1, 0, 0, "off", 1, "on"},
  {M::MOD_AUDIOSH, 5, 'D', 0, 1, 1, 1, "19912", 0, "8", 0.5},
  {M::MOD_HILBERT, 2, 'B', 0, 1, 0, 0, "off", 1, "on"},
  {M::MOD_HILBERT, 3, 'D', -1, 1, 0, 0.5, "312.5", -1, "-5000"},
  {M::MOD_HILBERT, 4, 'D', 0, 1, 0, 0.5, "0.50", 1, "1.00"},
  {M::MOD_SATURATOR, 2, 'D', 0, 2, 1, 0.5, "-6.0", 2, "6.0"},
  {M::MOD_SATURATOR, 4, 'D', 0, 11, 0, 11, "11.00", 5.5, "5.50"},
  {M::MOD_SATURATOR, 11, 'D', 0, 1, 0.5, 0, "0.00", 1, "1.00"},
  {M::MOD_BITREDUCER, 3, 'D', 0, 1, 0.5, 0.5, "4.00", 1, "16.00"},
  {M::MOD_BITREDUCER, 8, 'D', 0.0625, 2, 1, 0.0625, "-24.1", 1, "0.0"},
  {M::MOD_BITREDUCER, 10, 'D', -1, 1, 0, -0.5, "-0.50", 1, "1.00"},
  {M::MOD_REVERB, 4, 'D', 0, 200, 0, 200, "200", 0, "0"},
  {M::MOD_REVERB, 6, 'D', 0, 1, 0.5, 0.5, "0.50", 1, "1.00"},
  {M::MOD_REVERB, 9, 'D', 0, 1, 0.1, 0.1, "90:10", 0, "Dry"},
  {M::MOD_REVERB, 10, 'E', 0, 1, 0, 0, "Mono", 1, "Stereo"},
  {M::MOD_BBDDELAY, 4, 'D', 0, 1, 0.5, 0.5, "0.500", 1, "1.000"},
  {M::MOD_BBDDELAY, 5, 'E', 0, 3, 3, 3, "63 - 500", 0, "1 - 8"},
  {M::MOD_BBDDELAY, 9, 'D', 0, 1, 1, 1, "1.00", 0, "0.00"},
  {M::MOD_BBDDELAY, 10, 'D', 0, 1, 0.5, 1, "Wet", 0.5, "50:50"},
  {M::MOD_DELAYLINE, 2, 'D', 1, 500, 27, 27, "27.0", 500, "500.0"},
  {M::MOD_DELAYLINE, 8, 'D', -1, 1, 0, -1, "-1.00", 0.5, "0.50"},
  {M::MOD_ENVELOPE, 2, 'D', 0, 1, 0, 0.5, "0.50", 1, "1.00"},
  {M::MOD_ENVELOPE, 12, 'D', -1, 1, 0, -1, "-1.00", 0.5, "0.50"},
  {M::MOD_ENVELOPE2, 7, 'D', 0, 1, 0, 0.25, "0.25", 1, "1.00"},
  {M::MOD_ENVELOPE4, 11, 'D', 0, 1, 0, 0.5, "0.50", 0, "0.00"},
  {M::MOD_LINENVELOPE, 2, 'D', 0, 10, 0, 10, "10.00", 0.5, "0.50", 4},
  {M::MOD_LINENVELOPE, 7, 'D', 0, 1, 0, 0.75, "0.75", 1, "1.00"},
  {M::MOD_LFO, 0, 'E', 0, 3, 0, 0, "Sinoid", 3, "Random"},
  {M::MOD_LFO, 2, 'D', 0, 1, 0, 0.5, "180", 0.25, "90"},
  {M::MOD_LFO, 3, 'D', 0.001, 100, 5.5, 5.5, "5.50", 100, "100.00", 4},
  {M::MOD_LFO, 10, 'E', 0, 20, 0, 0, "off", 9, "1/2T"},
  {M::MOD_LFO2, 1, 'E', 0, 5, 0, 2, "Saw Dn", 5, "Random"},
  {M::MOD_LFO2, 3, 'D', 0.001, 100, 5.5, 0.5, "0.50", 100, "100.00", 4},
  {M::MOD_LFO2, 13, 'E', 0, 20, 0, 20, "1/64", 1, "4/1"},
  {M::MOD_SHNOISE, 0, 'D', 0, 1, 0, 0, "-oo", 1, "0.0"},
  {M::MOD_SHNOISE, 3, 'D', 0.001, 100, 5.5, 5.5, "5.50", 1, "1.00", 4},
  {M::MOD_SEQUENCER, 2, 'B', 0, 1, 1, 0, "off", 1, "on"},
  {M::MOD_SEQUENCER, 4, 'E', 0, 7, 7, 7, "8", 0, "1"},
  {M::MOD_SEQUENCER, 5, 'D', -1, 1, 0, 1, "12.00", -0.5, "-6.00"},
  {M::MOD_SEQUENCER, 12, 'D', -1, 1, 0, -1, "-12.00", 0.25, "3.00"},
  {M::MOD_SEQSWITCH, 0, 'D', 0.001, 100, 5.5, 5.5, "5.50", 100, "100.00", 4},
  {M::MOD_SEQSWITCH, 2, 'E', 0, 7, 7, 7, "8", 0, "1"},
  {M::MOD_SEQSWITCH, 4, 'B', 0, 1, 1, 0, "off", 1, "on"},
  {M::MOD_AUDIOSWITCH, 0, 'D', 0.001, 100, 5.5, 1, "1.00", 5.5, "5.50", 4},
  {M::MOD_AUDIOSWITCH, 6, 'E', 0, 7, 7, 3, "4", 7, "8"},
  {M::MOD_BEATSEQ, 1, 'E', 0, 15, 0, 0, "1", 15, "16"},
  {M::MOD_BEATSEQ, 3, 'B', 0, 1, 1, 0, "off", 1, "on"},
  {M::MOD_BEATSEQ, 4, 'E', 0, 15, 15, 15, "16", 3, "4"},
  {M::MOD_BEATSEQ, 8, 'I', 0, 65536, 0, 65536, "65536", 5, "5"},
  {M::MOD_VOLTAGEPROC, 2, 'D', -1, 1, 0, -0.5, "-0.50", 1, "1.00"},
  {M::MOD_VOLTAGEPROC, 10, 'D', -1, 1, 0, 0.25, "0.25", -1, "-1.00"},
  {M::MOD_SAMPLEDELAY, 6, 'E', 0, 14, 0, 0, "1", 14, "15"},
  {M::MOD_SAMPLEDELAY, 11, 'E', 0, 14, 0, 4, "5", 14, "15"},
  {M::MOD_LAGADDER, 1, 'D', 0, 1, 0, 0.5, "0.50", 1, "1.00"},
  {M::MOD_LAGADDER, 11, 'D', -1, 1, 0, -1, "-1.00", 0.5, "0.50"},
  {M::MOD_GATETOOLS, 1, 'D', 0, 5, 0.1, 0.1, "0.10", 5, "5.00", 4},
  {M::MOD_GATETOOLS, 6, 'D', -1, 1, 0, -0.5, "-0.50", 1, "1.00"},
  {M::MOD_GATETOOLS, 11, 'E', 0, 7, 7, 7, "8", 0, "1"},
  {M::MOD_MODDELAY, 2, 'D', -1, 1, 1, 1, "1.00", -0.5, "-0.50"},
  {M::MOD_MODDELAY, 4, 'D', 0, 5000, 0, 5000, "5000", 10, "10", 2},
  {M::MOD_MODDELAY, 13, 'D', -1, 1, 0, 0.25, "0.25", -1, "-1.00"},
};

// What a new module of each type (by id) sounds like before anything is turned: "parameter=default" for its
// modes, levels, cutoffs, resonances, pitches, rates and amounts. Written apart from the code, not read from it;
// a stereo filter, comb or resonator bank starts as its mono type does.
constexpr const char* kLadderK35 = "0=1 1=1 2=0 3=0.5 5=0.5 7=0 9=0 11=1 12=0 13=0";
constexpr const char* kComb = "0=1 1=0 2=0 3=0.5 5=0.5 7=0 9=0 11=1 12=0 13=0";
constexpr const char* kResonators = "0=0.5 1=0.3 2=0.5 3=0.7 4=0.5 6=0.5 8=0 10=0";
constexpr const char* kSwitch = "0=5.5 2=7 4=1 6=7";
const char* const kDefaults[ModuleConfig::kNumModuleIDs] = {
  "", /* oscillator */ "0=1 1=0 2=0 4=0 5=0 6=0 8=0 11=0", /* linear FM */ "0=0 1=0 3=0 5=0 6=0 7=0 9=0 12=0",
  kLadderK35, kLadderK35, /* amplifier */ "0=1 2=1 4=0.5 5=0 7=0.5 8=0 10=0 12=0 14=0",
  /* mixer */ "0=0.5 2=0.5 3=0.5 5=0.5 6=0.5 8=0.5 9=0.5 11=0.5 12=1", /* ring */ "4=1 5=0 7=0",
  /* audio S&H */ "1=1 2=0 3=0 4=0 5=1 6=0 8=0", /* signal proc. */ "1=0 4=0 7=0 10=0", /* shifter */ "2=0 3=0 4=0",
  /* blender */ "2=0 6=0", /* dual env. */ "2=0 3=0 4=0 5=0 6=0 7=0 8=0 9=0",
  /* LFO */ "0=0 1=0 2=0 3=5.5 4=0 6=1 7=0 10=0", /* S&H noise */ "0=0 1=0 2=5.5 3=5.5",
  /* voltage proc. */ "1=0 2=0 4=0 5=0 7=0 10=0", /* sample delay */ "6=0 7=0 8=0 9=0 10=0 11=0",
  /* sequencer */ "2=1 4=7 5=0 8=0 12=0", kSwitch, /* formant */ "0=0 1=0 2=1 3=0 4=0 6=0 8=0 9=0 10=0 12=0",
  kSwitch, /* lag/adder */ "1=0 3=0 5=0 7=0 9=0 11=0", /* gate tools */ "1=0.1 2=0 5=0.1 6=0 9=7 11=7",
  /* beat seq. */ "1=0 3=1 4=15 5=0 8=0", /* quad env. */ "4=0 5=0 6=0 7=0 8=0 9=0 10=0 11=0",
  /* dual osc. */ "0=1 1=1 2=0 3=0 4=0 5=0 6=0 7=0 8=0 10=0",
  /* wavetable */ "0=0 1=0 2=0 4=0 5=0 6=0 8=0 11=0 12=0", kComb,
  /* linear env. */ "2=0 3=0 4=0 5=0 6=0 7=0 8=0 9=0", /* dual noise */ "0=0 1=0 2=0 3=0 6=0 7=0 8=0 9=0",
  kResonators, /* dual LFO */ "0=0 1=0 2=5.5 3=5.5 4=1 5=1 6=0 7=0 12=0 13=0",
  /* BBD */ "0=1 2=1 4=0.5 5=3 6=0 7=0 9=1 10=0.5", /* bit reducer */ "0=1 2=1 3=0.5 4=0 6=1 8=1 9=0.5 10=0",
  /* delay line */ "2=27 3=0 4=0 7=27 8=0 9=0", /* reverb */ "0=1 2=1 4=0 5=0.5 6=0.5 7=0.5 8=0.5 9=0.1 10=0",
  /* saturator */ "0=1 2=1 4=0 5=0 7=0 8=0 10=0.5 11=0.5", /* envelope */ "2=0 3=0 5=0 6=0 8=0 9=0 11=0 12=0",
  /* mod. delay */ "2=1 3=1 4=0 5=0 8=0 9=0 12=0 13=0",
  /* 10-band EQ */ "0=1 2=1 4=0 5=0 6=0 7=0 8=0 9=0 10=0 11=0 12=0 13=0 14=0", kLadderK35, kLadderK35, kComb,
  kResonators, /* parametric EQ */ "0=1 2=1 4=0 5=60 6=0 7=250 8=0 9=1000.5 10=0 11=2500 12=0 13=8000 14=0",
};
// clang-format on
} // namespace

TEST(ModuleParams, DeclarationsOfEveryType)
{
  const std::map<char, IParam::EParamType> types = {
      {'E', IParam::kTypeEnum}, {'I', IParam::kTypeInt}, {'D', IParam::kTypeDouble}, {'B', IParam::kTypeBool}};
  std::set<int> typesSeen;
  ModuleRig rig;
  for (const Declared& d : kDeclared) {
    rig.makeModule(d.id, 48000, 3);
    typesSeen.insert(d.id);
    const IParam* p = rig.plug->GetParam(3 * 16 + d.p);
    const std::string what = std::string(ModuleConfig::labelModuleName[d.id]) + " P" + std::to_string(d.p);
    EXPECT_EQ(types.at(d.type), p->Type()) << what;
    EXPECT_EQ(d.min, p->GetMin()) << what;
    EXPECT_EQ(d.max, p->GetMax()) << what;
    EXPECT_EQ(d.def, p->GetDefault()) << what;
    EXPECT_EQ(d.shape, p->GetShape()) << what;
    EXPECT_STREQ(("M:3 P:" + std::to_string(d.p)).c_str(), p->GetNameForHost()) << what;
    char text[IParam::kDisplayBufferSize];
    p->GetDisplayForHost(d.v1, false, text);
    EXPECT_STREQ(d.t1, text) << what << " at " << d.v1;
    p->GetDisplayForHost(d.v2, false, text);
    EXPECT_STREQ(d.t2, text) << what << " at " << d.v2;
  }
  EXPECT_EQ(ModuleConfig::kNumModuleIDs - 1, (int)typesSeen.size());
  for (int id = 1; id < ModuleConfig::kNumModuleIDs; ++id) {
    ASSERT_NE(nullptr, kDefaults[id]) << ModuleConfig::labelModuleName[id] << " has no row";
    rig.makeModule((ModuleConfig::ModuleID)id, 48000, 3);
    std::istringstream row(kDefaults[id]);
    int p;
    char eq;
    for (double def; row >> p >> eq >> def;) {
      const IParam* param = rig.plug->GetParam(3 * 16 + p);
      EXPECT_EQ(def, param->GetDefault()) << ModuleConfig::labelModuleName[id] << " P" << p;
      EXPECT_EQ(def, param->Value()) << ModuleConfig::labelModuleName[id] << " P" << p;
    }
    EXPECT_TRUE(row.eof()) << ModuleConfig::labelModuleName[id];
  }
  // Every input selector: an enumeration whose one entry is "off", until the engine appends its list.
  for (int id = 1; id < ModuleConfig::kNumModuleIDs; ++id) {
    rig.makeModule((ModuleConfig::ModuleID)id, 48000, 3);
    for (int i = 0; i < Module::kNumParams; ++i) {
      if (!rig.plug->slotConfig[3].isInputParam(i)) continue;
      const IParam* p = rig.plug->GetParam(3 * 16 + i);
      const std::string what = std::string(ModuleConfig::labelModuleName[id]) + " P" + std::to_string(i);
      EXPECT_EQ(IParam::kTypeEnum, p->Type()) << what;
      EXPECT_EQ(0.0, p->GetDefault()) << what;
      ASSERT_EQ(1, p->GetNDisplayTexts()) << what;
      EXPECT_STREQ("off", p->GetDisplayTextAtIdx(0)) << what;
    }
  }
}

TEST(ModuleParams, DisplayCallbacksShowUnits)
{
  ModuleRig rig;
  rig.makeModule(ModuleConfig::MOD_LADDER, 48000, 0);
  char text[IParam::kDisplayBufferSize];
  rig.plug->GetParam(3)->GetDisplayForHost(text); // level 0.5
  EXPECT_STREQ("-6.0", text);
  rig.plug->GetParam(11)->GetDisplayForHost(text); // drive 1
  EXPECT_STREQ("0.0", text);
  rig.plug->GetParam(1)->GetDisplayForHost(text); // cutoff 1.0: the top of the table
  EXPECT_STREQ("19912", text);
  rig.makeModule(ModuleConfig::MOD_OSCILLATOR, 48000, 0);
  rig.plug->GetParam(5)->Set(128);
  rig.plug->GetParam(5)->GetDisplayForHost(text);
  EXPECT_STREQ("100", text); // cents
  rig.plug->GetParam(6)->Set(1536);
  rig.plug->GetParam(6)->GetDisplayForHost(text);
  EXPECT_STREQ("1.00", text); // octaves
}

TEST(ModuleParams, UnusedIndexesAreOnlyCleared)
{
  ModuleRig rig;
  rig.makeModule(ModuleConfig::MOD_LADDER, 48000, 0); // parameter 15 stays the empty module's double
  IParam* p15 = rig.plug->GetParam(15);
  const IParam::EParamType before = p15->Type();
  p15->SetDisplayText(0, "stale");
  p15->mDisplayFunc = setDisplayTextForDB;
  rig.makeModule(ModuleConfig::MOD_OSCILLATOR, 48000, 0); // uses 0..13
  EXPECT_EQ(before, p15->Type());
  EXPECT_EQ(0, p15->GetNDisplayTexts());
  EXPECT_EQ(nullptr, p15->mDisplayFunc);
}

TEST(ModuleFactory, CatalogueMakesTheseClasses)
{
  ModuleRig rig;
  const struct
  {
    ModuleConfig::ModuleID id;
    const std::type_info& type;
  } cases[] = {
      {ModuleConfig::MOD_OSCILLATOR, typeid(Oscillator)}, {ModuleConfig::MOD_LADDER, typeid(Ladder)},
      {ModuleConfig::MOD_AMPLIFIER, typeid(Amplifier)},   {ModuleConfig::MOD_MIXER, typeid(Mixer)},
      {ModuleConfig::MOD_ENVELOPE, typeid(Envelope)},     {ModuleConfig::MOD_STEREOLADDER, typeid(StereoLadder)}};
  for (const auto& c : cases) {
    Module* m = rig.makeModule(c.id, 44100, 2);
    EXPECT_TRUE(typeid(*m) == c.type) << c.id;
    EXPECT_EQ(rig.plug->slotConfig[2].numAudioOutputs, (int)m->audioOut.size());
    EXPECT_EQ(rig.plug->slotConfig[2].numSyncOutputs, (int)m->syncOut.size());
  }
  // fillConfig of the classes that have one gives the catalogue's declaration.
  ModuleConfig a, b;
  Oscillator::fillConfig(&a);
  ModuleCatalogue::declare(&b, ModuleConfig::MOD_OSCILLATOR);
  EXPECT_EQ(b.numModInputs, a.numModInputs);
  EXPECT_EQ(ModuleConfig::MOD_OSCILLATOR, a.moduleID);
  Amplifier::fillConfig(&a);
  EXPECT_EQ(2, a.numAudioOutputs);
  StereoLadder::fillConfig(&a);
  EXPECT_EQ(ModuleConfig::MOD_STEREOLADDER, a.moduleID);
  Mixer::fillConfig(&a);
  EXPECT_EQ(4, a.numAudioInputs);
}

TEST(ModuleSources, OffInAMasterInstance)
{
  // "off": audio reads the shared 0.0, every other type reads nothing.
  ModuleRig rig;
  Module* m = rig.makeModule(ModuleConfig::MOD_AMPLIFIER, 48000);
  EXPECT_EQ(&rig.plug->zero, m->getSource(0, SourceDef::AUDIO));
  EXPECT_EQ(nullptr, m->getSource(0, SourceDef::MODULATION));
  EXPECT_EQ(nullptr, m->getSource(0, SourceDef::GATE));
  EXPECT_EQ(nullptr, m->getSource(0, SourceDef::SYNC));
  EXPECT_EQ(&rig.plug->zero, m->getSource(100000, SourceDef::MODULATION)); // no entry
}

TEST(PitchTables, SharedPerRateAndNeverRebuiltForTheSameRate)
{
  const int* a = ModuleConventions::phaseIncrementTable(44100);
  const int built = ModuleConventions::pitchTablesBuilt();
  EXPECT_EQ(a, ModuleConventions::phaseIncrementTable(44100));
  EXPECT_EQ(built, ModuleConventions::pitchTablesBuilt());
  const int* b = ModuleConventions::phaseIncrementTable(96000);
  EXPECT_NE(a, b);
  EXPECT_EQ(a, ModuleConventions::phaseIncrementTable(44100));
  EXPECT_EQ((int)(268435456.0 * 440.0 / 44100), a[69 * 128]);
  EXPECT_EQ((int)(268435456.0 * 440.0 / 96000), b[69 * 128]);
  const double* r = ModuleConventions::radiansTable(48000);
  EXPECT_DOUBLE_EQ(440.0 * 2 * 3.141592653589793 / 48000, r[69 * 128]);
}

TEST(PitchTables, InstancesAtDifferentRatesKeepTheirPitch)
{
  // Two plug-in instances at different rates, their oscillators interleaved sample by sample: each keeps
  // its own pitch (a table shared across rates would retune the first).
  ModuleRig r1, r2;
  Oscillator* o1 = r1.make<Oscillator>(ModuleConfig::MOD_OSCILLATOR, 44100);
  Oscillator* o2 = r2.make<Oscillator>(ModuleConfig::MOD_OSCILLATOR, 96000);
  r1.pitch = r2.pitch = 69 * 128;
  std::vector<double> x1, x2;
  for (int i = 0; i < 65536; ++i) {
    if (i % 44 == 0) o1->update(true);
    if (i % 96 == 0) o2->update(true);
    o1->process();
    o2->process();
    x1.push_back(o1->audioOut[0]);
    x2.push_back(o2->audioOut[0]);
  }
  EXPECT_LT(std::fabs(cents(peakFrequency(x1, 44100, 420, 460), 440.0)), 1.0);
  EXPECT_LT(std::fabs(cents(peakFrequency(x2, 96000, 420, 460), 440.0)), 1.0);
}

TEST(PitchTables, SameRateAgainStillRestartsThePhase)
{
  ModuleRig rig;
  Oscillator* o = rig.make<Oscillator>(ModuleConfig::MOD_OSCILLATOR, 48000);
  rig.pitch = 60 * 128;
  rig.run(100, -1);
  ASSERT_NE(0, o->phase);
  const int* table = o->freq2PhInc;
  o->setSampleRate(48000);
  EXPECT_EQ(table, o->freq2PhInc);
  EXPECT_EQ(0, o->phase);
  EXPECT_EQ(0, o->secondPhase);
  EXPECT_EQ(0, o->phaseIncrement);
}

TEST(ModuleConventionsMath, PitchStepsGatesAndDepth)
{
  using namespace ModuleConventions;
  EXPECT_EQ(0, pitchStep(-3.7));
  EXPECT_EQ(0, pitchStep(0.9));
  EXPECT_EQ(17280, pitchStep(17280.5));
  EXPECT_EQ(17280, pitchStep(1e12));
  EXPECT_EQ(0, pitchStep(std::nan("")));
  EXPECT_EQ(1234, pitchStep(1234.99));
  double v = 0.5, prev = 0.0;
  EXPECT_TRUE(gateRose(&v, &prev));
  EXPECT_FALSE(gateRose(&v, &prev)); // held
  v = 1.5;
  EXPECT_TRUE(gateRose(&v, &prev));
  prev = 7.0;
  EXPECT_FALSE(gateRose(nullptr, &prev));
  EXPECT_EQ(7.0, prev);
  EXPECT_EQ(1.0, depthFactor(nullptr, 1.0));
  double s = 0.25;
  EXPECT_DOUBLE_EQ(0.25, depthFactor(&s, 1.0));
  EXPECT_DOUBLE_EQ(1.0, depthFactor(&s, 0.0));
  EXPECT_EQ(0.0, additive(nullptr, 5.0));
}

TEST(ModuleConventionsMath, NoiseGeneratorSequence)
{
  uint32_t seed = 1;
  const double first = ModuleConventions::drawNoise(&seed);
  EXPECT_EQ(16807u, seed);
  EXPECT_DOUBLE_EQ(16807 * 4.6566129e-10, first);
  ModuleConventions::drawNoise(&seed);
  EXPECT_EQ(282475249u, seed);
  double lo = 1, hi = -1;
  for (int i = 0; i < 100000; ++i) {
    const double d = ModuleConventions::drawNoise(&seed);
    lo = std::min(lo, d);
    hi = std::max(hi, d);
  }
  EXPECT_GE(lo, -1.0);
  EXPECT_LT(hi, 1.0);
}

TEST(ModuleLag, OutputsAppearOneCallLater)
{
  ModuleRig rig;
  Amplifier* a = rig.make<Amplifier>(ModuleConfig::MOD_AMPLIFIER, 48000);
  rig.param(4, 0.0);
  double x = 1.0;
  a->inputA = &x;
  a->process();
  EXPECT_EQ(0.0, a->audioOut[0]);
  EXPECT_EQ(1.0, a->nextAudioOut[0]);
  x = 0.0;
  a->process();
  EXPECT_EQ(1.0, a->audioOut[0]);
}

TEST(FlushDenormals, SubnormalsFlushInsideTheScopeAndTheHostModeReturns)
{
  volatile double tiny = 1e-300;
  const auto before = ScopedFlushDenormals::current();
  {
    ScopedFlushDenormals scope;
    volatile double product = tiny * 1e-10; // 1e-310 is subnormal
    EXPECT_EQ(0.0, product);
    volatile double subnormal = 1e-310 * (tiny / tiny); // an operand that is already subnormal reads as 0
    EXPECT_EQ(0.0, subnormal * 1e300);
  }
  EXPECT_EQ(before, ScopedFlushDenormals::current());
  volatile double product = tiny * 1e-10;
  EXPECT_GT(product, 0.0);
}
