// VoiceBlock: module-major processing of one voice's sub-block. Where every module of a voice's process
// list can process a run of samples on its own and reads only outputs of modules before it in the list (or
// values that nothing changes while the voice processes), the voice runs each module over the whole run in
// list order instead of every module once per sample. Each module records the values its outputs publish
// at every sample of the run, and the modules after it read those records where they would have read the
// outputs: every module sees, sample for sample, the values it would have seen, so the result is the same
// bit for bit while each module keeps its state in registers for the run.
//
// Up to kGroup such voices with the same modules run together, one block each: slot by slot, a module type
// may process the modules of all of them in one loop (Module::processBlockGroup), so that recursions which
// wait on their previous sample (filters, envelopes) overlap across the voices. Voices only ever read their
// own modules, and the sums still add the voices in order at every sample.
//
// kGroup instances per product, shared by its voices, used on the audio thread only.
#pragma once

#include "Module.h"

#include <cstdint>

class VoiceBlock
{
public:
  static constexpr int kLength = 64;      // samples per run; longer sub-blocks are processed in runs
  static constexpr int kMaxRecords = 32;  // output values recorded per voice
  static constexpr int kGroup = 4;        // voices processed together, one block each

  // Lays out the records of a process list: false when its outputs do not fit.
  bool plan(Module* const* list, int count);
  // The list position of the module whose inputs resolve() places (count for the voice's own sums).
  void setReader(int position) { reader = position; }
  // Where a per-sample input reads during a run: a null source stays null (step 0); an output of a module
  // before the reader gives that output's record (step 1); any other value is read where it is (step 0),
  // nothing changing it while the voice processes. False for an output of the reader or of a module after
  // it, whose values the run cannot provide.
  bool resolve(const double* source, Module::Stream* stream) const;
  // The records of the module at a list position: output element e (audio, then modulation, gate and sync
  // outputs) at sample i of the run is record(position)[e * kLength + i].
  double* record(int position) { return records + offset[position] * kLength; }

private:
  // An output vector of a module of the list: its address range and where its records start.
  struct Range
  {
    uintptr_t first, last; // last is one past the end
    int position;          // in the list
    int record;            // record element of its first value
  };
  int ranges = 0;
  Range range[4 * kMaxRecords] = {};
  int reader = 0;
  int offset[kMaxRecords + 1] = {}; // first record element of each list position
  double records[kMaxRecords * kLength] = {};
};
