#include "SourceDef.h"

#include <algorithm>
#include <cstring>

namespace {
void copyBounded(char* dest, int size, const char* src)
{
  if (!src) src = "";
  const size_t n = std::min(std::strlen(src), (size_t)size - 1);
  std::memcpy(dest, src, n);
  dest[n] = '\0';
}
} // namespace

SourceDef::SourceDef(SourceType type, int module, int index, const char* label, const char* text)
    : type(type), module(module), index(index)
{
  copyBounded(this->label, kLabelSize, label);
  copyBounded(this->text, kTextSize, text);
}

bool SourceDef::operator<(const SourceDef& other) const
{
  if (type != other.type) return type < other.type;
  if (module != other.module) return module < other.module;
  return index < other.index;
}

bool SourceDef::matches(SourceType query) const
{
  if (query == AUDIO_OR_MOD) return type == AUDIO || type == MODULATION;
  return type == query;
}

bool lessThan(SourceDef* a, SourceDef* b)
{
  return *a < *b;
}

void SourceDefCol::addSource(SourceDef* source)
{
  indexed = false;
  sources.push_back(source);
  if (source->module == SourceDef::kGroupCommonMod) ++numCommonMod;
  if (source->module == SourceDef::kGroupTriggers) ++numTriggers;
}

void SourceDefCol::clearSources()
{
  indexed = false;
  sources.clear();
  numCommonMod = 0;
  numTriggers = 0;
}

void SourceDefCol::deleteSources()
{
  for (SourceDef* s : sources) delete s;
  clearSources();
}

void SourceDefCol::reserve(int entries)
{
  stored.reserve((size_t)entries);
  sources.reserve((size_t)entries);
  for (std::vector<SourceDef*>& list : byType) list.reserve((size_t)entries);
}

SourceDef* SourceDefCol::add(SourceDef::SourceType type, int module, int index, const char* label, const char* text)
{
  if (stored.size() >= stored.capacity()) return nullptr;
  stored.emplace_back(type, module, index, label, text);
  SourceDef* s = &stored.back();
  addSource(s);
  return s;
}

void SourceDefCol::clearStored()
{
  clearSources();
  stored.clear();
}

void SourceDefCol::sort()
{
  std::sort(sources.begin(), sources.end(), lessThan);
  for (int t = 0; t < kTypes; ++t) {
    byType[t].clear();
    for (size_t j = 1; j < sources.size(); ++j)
      if (sources[j]->matches((SourceDef::SourceType)t)) byType[t].push_back(sources[j]);
  }
  indexed = true;
}

int SourceDefCol::getSize(SourceDef::SourceType t) const
{
  int n = 0;
  for (const SourceDef* s : sources)
    if (s->type == SourceDef::OFF || s->matches(t)) ++n;
  return n;
}

SourceDef* SourceDefCol::getSource(int i, SourceDef::SourceType t) const
{
  if (i == 0) return sources.empty() ? nullptr : sources[0];
  if (i < 0 || sources.size() < 2) return nullptr;
  if (indexed && t > SourceDef::OFF && t < kTypes)
    return (size_t)i <= byType[t].size() ? byType[t][(size_t)i - 1] : nullptr;
  int k = 0;
  for (size_t j = 1; j < sources.size(); ++j)
    if (sources[j]->matches(t) && ++k == i) return sources[j];
  return nullptr;
}

int SourceDefCol::getSourceIndex(SourceDef::SourceType t, int module, int index) const
{
  for (size_t j = 1; j < sources.size(); ++j) {
    const SourceDef* s = sources[j];
    if (s->matches(t) && s->module == module && s->index == index) return (int)j;
  }
  return 0;
}

int SourceDefCol::getPosition(SourceDef::SourceType t, SourceDef::SourceType type, int module, int index) const
{
  int position = 0;
  for (size_t j = 1; j < sources.size(); ++j) {
    const SourceDef* s = sources[j];
    if (!s->matches(t)) continue;
    ++position;
    if (s->type == type && s->module == module && s->index == index) return position;
  }
  return 0;
}

const char* SourceDefCol::getSourceText(const char* label) const
{
  if (!label) return nullptr;
  for (const SourceDef* s : sources)
    if (!std::strcmp(s->label, label)) return s->text;
  return nullptr;
}

SourceDef* SourceDefCol::getSource(const char* label) const
{
  if (!label || sources.empty()) return nullptr;
  if (!std::strcmp(label, "off")) return sources[0];
  for (SourceDef* s : sources)
    if (!std::strcmp(s->label, label)) return s;
  return nullptr;
}
