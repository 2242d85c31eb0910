#include "DelayLine.h"

#include "EditorImages.h"
#include "ModuleCatalogue.h"
#include "ModuleConventions.h"

using namespace ModuleConventions;

DelayLine::DelayLine(ModuleConfig* config, Voice* voice, Veltrane* owner)
    : Module(config, voice, owner), sampleRate(0.0)
{
  // No buffers until the engine sets the rate.
  for (Line& l : line) l.rec.attach(nullptr, 0);
}

void DelayLine::initParams(int base, Synth* synth)
{
  clearParams(base, synth);
  for (int k = 0; k < 2; ++k) {
    const int p = base + 5 * k;
    declareSelector(synth, p + 0);
    declareSelector(synth, p + 1);
    declareDouble(synth, p + 2, 27.0, 1.0, 500.0, 0.1, 1.0);
    declareDouble(synth, p + 3, 0.0, -1.0, 1.0, 0.01, 1.0);
    declareDouble(synth, p + 4, 0.0, -1.0, 1.0, 0.01, 1.0);
  }
}

void DelayLine::fillConfig(ModuleConfig* config)
{
  ModuleCatalogue::declare(config, ModuleConfig::MOD_DELAYLINE);
}

void DelayLine::setSampleRate(double rate)
{
  sampleRate = rate;
  const int n = delaySamples(500.0, rate);
  double* block = memory.allocate(2 * (size_t)n);
  line[0].rec.attach(block, block ? n : 0);
  line[1].rec.attach(block ? block + n : nullptr, block ? n : 0);
  line[0].previousTrigger = line[1].previousTrigger = 0.0;
}

void DelayLine::setParameter(int index, double v)
{
  if (index < 0 || index >= 10) return;
  Line& l = line[index / 5];
  switch (index % 5) {
  case 0:
    l.input = getSource((int)v, SourceDef::AUDIO);
    break;
  case 1:
    l.clearTrigger = getSource((int)v, SourceDef::GATE);
    break;
  case 2:
    if (l.rec.size >= 1)
      l.rec.setDelay(delaySamples(v, sampleRate));
    else
      l.rec.delay = 0;
    break;
  case 3:
    l.feedForward = v;
    break;
  default:
    l.feedback = v;
    break;
  }
}

void DelayLine::update(bool)
{
  for (Line& l : line)
    if (gateRose(l.clearTrigger, &l.previousTrigger)) l.rec.clearLazily();
}

void DelayLine::rest()
{
  Module::rest();
  for (Line& l : line) l.rec.clearLazily();
}

void DelayLine::runLine(Line& l, int out)
{
  if (!l.input) {
    nextAudioOut[out] = 0.0; // the line stands still, keeping its content
    return;
  }
  DelayRecord& r = l.rec;
  const double v = r.size ? r.getFilled() : 0.0;
  // A sample that is not a number would circulate for good with feedback: it enters as silence.
  const double w = finiteOrZero(*l.input) + l.feedback * v;
  if (r.size) r.putFilled(w);
  r.step();
  nextAudioOut[out] = v + l.feedForward * w;
}

void DelayLine::process()
{
  audioOut[0] = nextAudioOut[0];
  audioOut[1] = nextAudioOut[1];
  runLine(line[0], 0);
  runLine(line[1], 1);
}

// ---- panel ----

namespace {
// clang-format off
const PanelControl kPanelRows[] = {
  sources(16, 24, 0, SourceDef::AUDIO, {"IN A"}),
  sources(16, 64, 1, SourceDef::GATE, {"CLEAR"}),
  knob(80, 24, 2, {"TIME A"}),
  knob(16, 100, 3, {"FEED FWD"}),
  knob(80, 100, 4, {"FEEDBACK"}),
  sources(16, 172, 5, SourceDef::AUDIO, {"IN B"}),
  sources(16, 212, 6, SourceDef::GATE, {"CLEAR"}),
  knob(80, 172, 7, {"TIME B"}),
  knob(16, 248, 8, {"FEED FWD"}),
  knob(80, 248, 9, {"FEEDBACK"}),
};
// clang-format on
} // namespace

const PanelLayout DelayLine::panel = {kImageModuleDelayline, kPanelRows};

void DelayLine::createGraphics(ModuleConfig* config, int x, int y, int base)
{
  buildPanel(config, x, y, base, panel);
}
