#include "EmbeddedResources.h"

#include <strings.h>

#include <cstring>

namespace {
// Written once while the plug-in file is loaded, before any instance exists; read-only afterwards.
const EmbeddedResource* s_table = nullptr;
int s_count = 0;
} // namespace

bool RegisterEmbeddedResources(const EmbeddedResource* table, int count)
{
  s_table = table;
  s_count = table ? count : 0;
  return true;
}

const EmbeddedResource* FindEmbeddedResource(const char* name)
{
  if (!name) return nullptr;
  const char* slash = std::strrchr(name, '/');
  const char* base = slash ? slash + 1 : name;
  const char* dot = std::strrchr(base, '.');
  const size_t stem = dot ? (size_t)(dot - base) : std::strlen(base);
  for (int i = 0; i < s_count; ++i) {
    const char* candidate = s_table[i].name;
    const char* candidateDot = std::strrchr(candidate, '.');
    const size_t candidateStem = candidateDot ? (size_t)(candidateDot - candidate) : std::strlen(candidate);
    if (candidateStem != stem || std::strncmp(candidate, base, stem)) continue;
    if (!dot != !candidateDot) continue;
    if (!dot || !strcasecmp(dot, candidateDot)) return &s_table[i];
  }
  return nullptr;
}
