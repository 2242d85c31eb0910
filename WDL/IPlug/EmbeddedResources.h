// The files a plug-in carries inside its own .so: a copy of its resources folder (the start-up bank and the
// editor's images), linked in by the build so that the one file is a complete installation. A resources folder
// beside the plug-in still wins file by file; this copy answers for whatever is missing there or unreadable.
//
// The table is registered by a static initialiser of the plug-in's generated resources source while the .so is
// loaded; a program that links the libraries without it (the tools, the unit tests) has no embedded files.
#pragma once

#include <cstddef>

struct EmbeddedResource
{
  const char* name; // file name without folders, as in the resources folder ("init.fxb", "back.png")
  const unsigned char* begin;
  const unsigned char* end; // one past the last byte
  size_t Size() const { return (size_t)(end - begin); }
};

// Keeps the table (not copied; it lives as long as the plug-in). Answers true, so that a static can hold the call.
bool RegisterEmbeddedResources(const EmbeddedResource* table, int count);

// The embedded file of that name, or null. Folders in `name` are ignored, and so is the case of its extension
// ("resources/img/knob.PNG" finds "knob.png"), as the resources folder is searched.
const EmbeddedResource* FindEmbeddedResource(const char* name);
