// Where the file that holds this code lies: the plug-in's .so when the framework is built into a
// plug-in, the program otherwise.
#pragma once

// Its folder as an absolute path ending in "/", or "" when it cannot be found. Worked out once,
// while the file is being loaded: a host may load the plug-in by a path relative to its working
// directory and change that directory later.
const char* WDL_ModuleFolder();
