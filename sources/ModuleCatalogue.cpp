#include "ModuleCatalogue.h"

#include "Module.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace ModuleCatalogue {

namespace {
constexpr OutputDecl kNone = kNoOutput;
constexpr OutputDecl kOne = kOneOutput;
constexpr OutputDecl kAB = outputs("AB", "A", "B");
constexpr OutputDecl kLR = outputs("LR", "Left", "Right");
constexpr OutputDecl kABCD = outputs("ABCD", "A", "B", "C", "D");
} // namespace

// clang-format off
const ModuleDecl declarations[ModuleConfig::kNumModuleIDs] = {
  // category, parameters, inputs: audio, modulation, gate, sync, audio or modulation;
  // outputs: audio, modulation, gate, sync count; wavetable saved
  /*  0 Module      */ {0, 0, inputs(), inputs(), inputs(), inputs(), inputs(), kNone, kNone, kNone, 0, false},
  /*  1 Oscillator  */ {1, 14, inputs(), inputs(3, 7, 9, 12), inputs(13), inputs(10), inputs(), kOne, kNone, kNone, 1, false},
  /*  2 OscLinFM    */ {1, 15, inputs(2), inputs(13, 4, 8, 10), inputs(14), inputs(11), inputs(), kOne, kNone, kNone, 1, false},
  /*  3 Ladder      */ {2, 15, inputs(4, 6), inputs(8, 10, 14), inputs(), inputs(), inputs(), kOne, kNone, kNone, 0, false},
  /*  4 K35         */ {2, 15, inputs(4, 6), inputs(8, 10, 14), inputs(), inputs(), inputs(), kOne, kNone, kNone, 0, false},
  /*  5 Amplifier   */ {3, 15, inputs(1, 3), inputs(6, 9, 11, 13), inputs(), inputs(), inputs(), kLR, kNone, kNone, 0, false},
  /*  6 Mixer       */ {3, 13, inputs(1, 4, 7, 10), inputs(), inputs(), inputs(), inputs(), kLR, kNone, kNone, 0, false},
  /*  7 Ring        */ {4, 9, inputs(0, 2, 1, 3), inputs(6, 8), inputs(), inputs(), inputs(), kAB, kNone, kNone, 0, false},
  /*  8 AudioSH     */ {4, 10, inputs(0), inputs(7, 9), inputs(), inputs(), inputs(), kOne, kNone, kNone, 1, false},
  /*  9 SignalProc  */ {3, 12, inputs(0, 3, 6, 9), inputs(2, 5, 8, 11), inputs(), inputs(), inputs(),
                        outputs("ABCDS", "A", "B", "C", "D", "Summmed Output"), kNone, kNone, 0, false},
  /* 10 Hilbert     */ {4, 10, inputs(0, 1, 6, 7, 8, 9), inputs(5), inputs(), inputs(), inputs(),
                        outputs("RIriCSAB+", "A Real", "A Imag.", "B Real", "B Imag.", "Cosine", "Sine", "A Ring",
                                          "B Ring", "Ring A + B"),
                        kNone, kNone, 0, false},
  /* 11 Blender     */ {3, 8, inputs(0, 1, 4, 5), inputs(3, 7), inputs(), inputs(), inputs(), kAB, kNone, kNone, 0, false},
  /* 12 Envelope2   */ {5, 10, inputs(), inputs(), inputs(0, 1), inputs(), inputs(), kNone, kAB, kNone, 0, false},
  /* 13 LFO         */ {5, 11, inputs(), inputs(5, 8), inputs(9), inputs(), inputs(), kNone, outputs("\0+", "", "(positive)"), kOne, 0, false},
  /* 14 SHNoise     */ {5, 8, inputs(), inputs(), inputs(4, 5), inputs(), inputs(6, 7), outputs("WP", "White Noise", "Pink Noise"), kAB, kNone, 0,
                        false},
  /* 15 VoltageProc */ {8, 12, inputs(), inputs(0, 3, 6, 9, 8, 11), inputs(), inputs(), inputs(), kNone, kABCD, kNone, 0, false},
  /* 16 SampleDelay */ {8, 12, inputs(0, 1, 2, 3, 4, 5), inputs(), inputs(), inputs(), inputs(),
                        outputs("ABCDEF", "A", "B", "C", "D", "E", "F"), kNone, kNone, 0, false},
  /* 17 Sequencer   */ {6, 13, inputs(), inputs(3), inputs(0, 1), inputs(), inputs(), kNone, kOne,
                        outputs("CLRS12345678", "Clock", "Clock Link", "Reset", "Stop", "Step 1", "Step 2", "Step 3",
                                              "Step 4", "Step 5", "Step 6", "Step 7", "Step 8"),
                        0, false},
  /* 18 SeqSwitch   */ {6, 15, inputs(), inputs(5, 7, 8, 9, 10, 11, 12, 13, 14), inputs(1, 3), inputs(), inputs(), kNone, kOne,
                        outputs("CDLRSA12345678", "Clock", "Clock Div", "Clock Link", "Reset", "Stop", "Step Active",
                                                "Step 1", "Step 2", "Step 3", "Step 4", "Step 5", "Step 6",
                                                "Step 7", "Step 8"),
                        0, false},
  /* 19 OscFormant  */ {1, 14, inputs(), inputs(5, 7, 11, 13), inputs(), inputs(), inputs(), kOne, kNone, kNone, 0, false},
  /* 20 AudioSwitch */ {6, 15, inputs(5, 7, 8, 9, 10, 11, 12, 13, 14), inputs(), inputs(1, 3), inputs(), inputs(), kOne, kNone,
                        outputs("CDLRSA12345678", "Clock", "Clock Div", "Clock Link", "Reset", "Stop", "Step Active",
                                                "Step 1", "Step 2", "Step 3", "Step 4", "Step 5", "Step 6",
                                                "Step 7", "Step 8"),
                        0, false},
  /* 21 LAGAdder    */ {8, 12, inputs(), inputs(0, 2, 4, 8, 6, 10), inputs(), inputs(), inputs(), kNone,
                        outputs("ABCD", "LAG A", "LAG B", "Adder C", "Adder D"), kNone, 0, false},
  /* 22 GateTools   */ {8, 16, inputs(), inputs(3, 7), inputs(0, 4, 8, 10, 12, 13, 14, 15), inputs(), inputs(), kNone, kNone,
                        outputs("ABCDE", "Gate A", "Gate B", "Clock Div C", "Clock Div D", "Clock Join E"), 0, false},
  /* 23 BeatSeq     */ {6, 9, inputs(), inputs(), inputs(0, 2), inputs(), inputs(), kNone, kNone,
                        outputs("CDLRSabcd", "Clock", "Clock Div", "Clock Link", "Reset", "Stop", "Line A", "Line B",
                                          "Line C", "Line D"),
                        0, false},
  /* 24 Envelope4   */ {5, 12, inputs(), inputs(), inputs(0, 1, 2, 3), inputs(), inputs(), kNone, kABCD, kNone, 0, false},
  /* 25 Oscillator2 */ {1, 12, inputs(), inputs(9, 11), inputs(), inputs(), inputs(), kAB, kNone, kNone, 2, false},
  /* 26 OscWavetable*/ {1, 15, inputs(), inputs(3, 7, 9, 13), inputs(14), inputs(10), inputs(), kOne, kNone, kNone, 1, true},
  /* 27 Comb        */ {2, 16, inputs(4, 6), inputs(8, 10, 14), inputs(15), inputs(), inputs(), kOne, kNone, kNone, 0, false},
  /* 28 LinEnvelope */ {5, 10, inputs(), inputs(), inputs(0, 1), inputs(), inputs(), kNone, kAB, kNone, 0, false},
  /* 29 Noise       */ {1, 12, inputs(), inputs(4, 5, 10, 11), inputs(), inputs(), inputs(),
                        outputs("WPwpS", "White Noise A", "Pink Noise A", "White Noise B", "Pink Noise B",
                                      "Summmed Output"),
                        kNone, kNone, 0, false},
  /* 30 Resonators  */ {2, 12, inputs(5, 7), inputs(9, 11), inputs(), inputs(), inputs(),
                        outputs("MABC", "Mixed Output", "Resonator A", "Resonator B", "Resonator C"), kNone, kNone, 0,
                        false},
  /* 31 LFO2        */ {5, 14, inputs(), inputs(8, 9), inputs(10, 11), inputs(), inputs(), kNone,
                        outputs("A+B#", "A", "A (positive)", "B", "B (positive)"), kAB, 0, false},
  /* 32 BbdDelay    */ {7, 12, inputs(1, 3), inputs(8), inputs(11), inputs(), inputs(), kOne, kNone, kNone, 0, false},
  /* 33 BitReducer  */ {4, 12, inputs(1, 7), inputs(5, 11), inputs(), inputs(), inputs(), kAB, kNone, kNone, 0, false},
  /* 34 DelayLine   */ {7, 10, inputs(0, 5), inputs(), inputs(1, 6), inputs(), inputs(), kAB, kNone, kNone, 0, false},
  /* 35 Reverb      */ {7, 11, inputs(1, 3), inputs(), inputs(), inputs(), inputs(), kLR, kNone, kNone, 0, false},
  /* 36 Saturator   */ {4, 12, inputs(1, 3), inputs(6, 9), inputs(), inputs(), inputs(), kAB, kNone, kNone, 0, false},
  /* 37 Envelope    */ {5, 14, inputs(), inputs(4, 7, 10, 13), inputs(0, 1), inputs(), inputs(), kNone, kOne, kNone, 0, false},
  /* 38 ModDelay    */ {8, 14, inputs(), inputs(0, 1, 6, 7, 10, 11), inputs(), inputs(), inputs(), kNone, outputs("AB", "Delay", "Adder"),
                        outputs("AB", "M2G A", "M2G B"), 0, false},
  /* 39 EQ10        */ {2, 15, inputs(1, 3), inputs(), inputs(), inputs(), inputs(), kLR, kNone, kNone, 0, false},
  /* 40 StereoLadder*/ {2, 15, inputs(4, 6), inputs(8, 10, 14), inputs(), inputs(), inputs(), kLR, kNone, kNone, 0, false},
  /* 41 StereoK35   */ {2, 15, inputs(4, 6), inputs(8, 10, 14), inputs(), inputs(), inputs(), kLR, kNone, kNone, 0, false},
  /* 42 StereoComb  */ {2, 16, inputs(4, 6), inputs(8, 10, 14), inputs(15), inputs(), inputs(), kLR, kNone, kNone, 0, false},
  /* 43 StereoResonators */ {2, 12, inputs(5, 7), inputs(9, 11), inputs(), inputs(), inputs(), kLR, kNone, kNone, 0, false},
  /* 44 ParaEQ5     */ {2, 15, inputs(1, 3), inputs(), inputs(), inputs(), inputs(), kLR, kNone, kNone, 0, false},
};

// clang-format on

namespace {
// Letters differing from the default prefix replace the whole letter string (an LFO's first letter is 0).
void writeLetters(char* dest, const OutputDecl& out)
{
  if (!out.letters || out.count < 2) return;
  const int n = out.count < ModuleConfig::kLetterSize - 1 ? out.count : ModuleConfig::kLetterSize - 1;
  if (n <= (int)std::strlen(ModuleConfig::kDefaultLetters) &&
      !std::memcmp(out.letters, ModuleConfig::kDefaultLetters, n))
    return;
  std::memset(dest, 0, ModuleConfig::kLetterSize);
  std::memcpy(dest, out.letters, n);
}

void appendTexts(std::vector<const char*>* dest, const OutputDecl& out)
{
  if (out.count < 2) return;
  dest->insert(dest->end(), out.texts, out.texts + out.count);
}

void declareInputs(ModuleConfig* config, SourceDef::SourceType type, const InputList& in)
{
  if (in.count > 0) config->setConsumingParams(type, in.params, in.count);
}
} // namespace

int maxOutputsPerSlot()
{
  int most = 0;
  for (const ModuleDecl& d : declarations)
    most = std::max(most, d.audioOut.count + d.modOut.count + d.gateOut.count + d.numSyncOut);
  return most;
}

void declare(ModuleConfig* config, ModuleConfig::ModuleID id)
{
  Module::fillConfig(config);
  if (id <= ModuleConfig::MOD_EMPTY || id >= ModuleConfig::kNumModuleIDs) return;
  const ModuleDecl& d = declarations[id];

  config->category = d.category;
  config->moduleID = id;
  config->numAudioOutputs = d.audioOut.count;
  config->numModOutputs = d.modOut.count;
  config->numGateOutputs = d.gateOut.count;
  config->numSyncOutputs = d.numSyncOut;
  config->hasAudioOutputs = d.audioOut.count > 0;
  config->hasModOutputs = d.modOut.count > 0;
  config->hasGateOutputs = d.gateOut.count > 0;
  config->hasSyncOutputs = d.numSyncOut > 0;
  config->numAudioInputs = d.audioIn.count;
  config->numModInputs = d.modIn.count;
  config->numGateInputs = d.gateIn.count;
  config->numSyncInputs = d.syncIn.count;
  config->numAudioOrModInputs = d.audioOrModIn.count;
  config->numParams = d.numParams;

  writeLetters(config->audioLetters, d.audioOut);
  writeLetters(config->modLetters, d.modOut);
  writeLetters(config->gateLetters, d.gateOut);
  appendTexts(&config->audioTexts, d.audioOut);
  appendTexts(&config->modTexts, d.modOut);
  appendTexts(&config->gateTexts, d.gateOut);

  declareInputs(config, SourceDef::AUDIO, d.audioIn);
  declareInputs(config, SourceDef::MODULATION, d.modIn);
  declareInputs(config, SourceDef::GATE, d.gateIn);
  declareInputs(config, SourceDef::AUDIO_OR_MOD, d.audioOrModIn);
  declareInputs(config, SourceDef::SYNC, d.syncIn);

  config->updateStrings();
  config->wavetableSaved = d.wavetableSaved;
}

} // namespace ModuleCatalogue
