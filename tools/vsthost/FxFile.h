// Host-side program (.fxp) and bank (.fxb) files and raw chunks: read a file and hand its contents to a
// plug-in through the dispatcher, or fetch the plug-in's state and write it as a file. Header integers are
// big-endian; the four variants are "FxCk" and "FPCh" (one program), "FxBk" and "FBCh" (a bank).
#pragma once

#include "Files.h"
#include "Host.h"

#include <string>
#include <vector>

namespace vsthost {

// Loads an .fxp or .fxb (told apart by the file magic) into the plug-in. Refuses a file larger than the
// plug-in's largest chunk with the bank header, files whose header is short
// or damaged, whose plug-in ID differs from the plug-in's, chunk variants for plug-ins without chunks, and
// chunks the plug-in refuses. A program keeps the file's name; a bank selects the program current when it was
// saved. `what` receives a short description such as `program "Init" (FPCh, 1234 bytes of chunk)`.
bool LoadFxFile(Plugin& plugin, const std::string& path, std::string* what, std::string* error);

// Hands the whole file to the plug-in as a program chunk (isProgram) or a bank chunk; false when it is larger
// than the plug-in's largest chunk or the plug-in refuses it.
bool LoadRawChunk(Plugin& plugin, const std::string& path, bool isProgram, std::string* error);

// Writes the plug-in's current program (FPCh with chunks, else FxCk) or all its programs (FBCh, else FxBk).
// A plug-in with chunks that gives none fails the save; a failed save leaves a file that was there whole.
bool SaveFxp(Plugin& plugin, const std::string& path, std::string* error);
bool SaveFxb(Plugin& plugin, const std::string& path, std::string* error);

} // namespace vsthost
