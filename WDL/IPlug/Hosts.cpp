#include "Hosts.h"

#include "Log.h"

#include <cstring>

namespace {

// Search keys in the order they are tried: the first one found in the host's string decides. Short or common
// words ("live", "digital") come late so that the names that contain them win.
const struct
{
  const char* key;
  EHost host;
} kHostKeys[] = {
    {"cubase", kHostCubase},
    {"reaper", kHostReaper},
    {"nuendo", kHostNuendo},
    {"cakewalk", kHostSonar},
    {"samplitude", kHostSamplitude},
    {"fruity", kHostFL},
    {"live", kHostAbletonLive},
    {"melodyne", kHostMelodyneStudio},
    {"vstmanlib", kHostVSTScanner},
    {"aulab", kHostAULab},
    {"garageband", kHostGarageBand},
    {"forte", kHostForte},
    {"chainer", kHostChainer},
    {"audition", kHostAudition},
    {"orion", kHostOrion},
    {"sawstudio", kHostSAWStudio},
    {"logic", kHostLogic},
    {"digital", kHostDigitalPerformer},
    {"audiomulch", kHostAudioMulch},
    {"presonus", kHostStudioOne},
    {"vst3plugintesthost", kHostVST3TestHost},
    {"protools", kHostProTools},
    {"ardour", kHostArdour},
    {"openmpt", kHostOpenMPT},
    {"renoise", kHostRenoise},
    {"standalone", kHostStandalone},
};

// Display names by id 0..30; ids that are recognised by no name of their own show "Unknown".
const char* const kHostNames[] = {
    "Unknown",    "Reaper",     "ProTools",   "Cubase",
    "Nuendo",     "Sonar",      "Vegas",      "FLStudio",
    "Samplitude", "Live",       "Unknown",    "Unknown",
    "Unknown",    "VSTScanner", "AULab",      "Forte",
    "Chainer",    "Audition",   "Orion",      "Unknown",
    "SAWStudio",  "Logic",      "GarageBand", "DigitalPerformer",
    "Standalone", "AudioMulch", "StudioOne",  "VST3PluginTestHost",
    "Ardour",     "Renoise",    "OpenMPT",
};
static_assert(sizeof(kHostNames) / sizeof(kHostNames[0]) == 31, "one display name per id 0..30");

} // namespace

EHost LookUpHost(const char* productString)
{
  if (!productString) return kHostUnknown;
  char source[256], lower[256];
  std::strncpy(source, productString, sizeof source - 1);
  source[sizeof source - 1] = 0;
  ToLower(lower, source);
  for (const auto& k : kHostKeys)
    if (std::strstr(lower, k.key)) return k.host;
  return kHostUnknown;
}

void GetHostNameStr(EHost host, char* name)
{
  const char* text = (host >= 0 && host <= 30) ? kHostNames[host] : "Unknown";
  std::strcpy(name, text);
}
