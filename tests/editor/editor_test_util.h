// Shared by the editor tests: where the generated images are, and a plug-in surface that reads them.
#pragma once

#include "raster/lice.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

// The build's resources folder holds the generated images; the surfaces of these tests read from it.
inline void useBuiltResources()
{
  setenv("VELTRANE_RESOURCES", VELTRANE_RESOURCES_DIR, 1);
}

inline std::string resourcePath(const char* storedName)
{
  const char* slash = std::strrchr(storedName, '/');
  return std::string(VELTRANE_RESOURCES_DIR) + "/" + (slash ? slash + 1 : storedName);
}

inline std::unique_ptr<LICE_IBitmap> loadResource(const char* storedName)
{
  return std::unique_ptr<LICE_IBitmap>(LICE_LoadPNG(resourcePath(storedName).c_str()));
}
