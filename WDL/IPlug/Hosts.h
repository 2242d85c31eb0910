// Host identification: which host program has loaded the plug-in, from its product string.
#pragma once

// Id of a host program: 0 not recognised, 1 to 30 known hosts, -1 not yet asked.
enum EHost {
  kHostUninit = -1,
  kHostUnknown = 0,
  kHostReaper = 1,
  kHostProTools = 2,
  kHostCubase = 3,
  kHostNuendo = 4,
  kHostSonar = 5,
  kHostVegas = 6,
  kHostFL = 7,
  kHostSamplitude = 8,
  kHostAbletonLive = 9,
  kHostTracktion = 10,
  kHostNTracks = 11,
  kHostMelodyneStudio = 12,
  kHostVSTScanner = 13,
  kHostAULab = 14,
  kHostForte = 15,
  kHostChainer = 16,
  kHostAudition = 17,
  kHostOrion = 18,
  kHostBias = 19,
  kHostSAWStudio = 20,
  kHostLogic = 21,
  kHostGarageBand = 22,
  kHostDigitalPerformer = 23,
  kHostStandalone = 24,
  kHostAudioMulch = 25,
  kHostStudioOne = 26,
  kHostVST3TestHost = 27,
  kHostArdour = 28,
  kHostRenoise = 29,
  kHostOpenMPT = 30,
};

// The host id of a product string (matched in lower case, first key of a fixed list that occurs anywhere in
// it); 0 when nothing matches. Strings longer than 255 characters are matched on their first 255.
EHost LookUpHost(const char* productString);

// Writes the display name of a host id into name (at most 18 characters and the terminator); ids without a
// name of their own, and ids outside 1..30, give "Unknown".
void GetHostNameStr(EHost host, char* name);
