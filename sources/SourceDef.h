// Sources: what a module input, a voice-sum selector or a master-output selector can read. A SourceDef is
// one selectable entry (a module output or a built-in value); a SourceDefCol is a sorted list of them.
// A selector parameter of type t stores a position among the entries of type t of its list, 0 being "off".
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

class SourceDef
{
public:
  // Kind of value. AUDIO_OR_MOD is never the type of an entry: a query for it matches audio and modulation.
  enum SourceType : int32_t { OFF = 0, AUDIO = 1, MODULATION = 2, GATE = 3, AUDIO_OR_MOD = 4, SYNC = 5 };
  // The types a selector parameter can have, in the order a slot's selectors are walked.
  static constexpr SourceType kSelectorTypes[] = {AUDIO, MODULATION, GATE, AUDIO_OR_MOD, SYNC};

  // Items of the common modulation group (-5).
  enum ModCommonSources : int32_t {
    MOD_ON = 0,        // constant 1.0
    MOD_PBEND = 1,     // pitch wheel -1..1
    MOD_PBEND_POS = 2, // pitch wheel 0..1
    MOD_MW = 3,        // modulation wheel -1..1
    MOD_MW_POS = 4,    // modulation wheel 0..1
    MOD_POLYA = 5,     // polyphonic aftertouch (per voice)
    MOD_CHAFT = 6,     // channel aftertouch
    MOD_NOTE = 7,      // note pitch (per voice; master copy)
    MOD_NOTE_POS = 8,  // note pitch from note 0 (per voice; master copy)
    MOD_VELO = 9,      // velocity (per voice; master copy)
    kNumModCommonSources = 10
  };

  // Built-in groups use negative module numbers; slots are 0 to 17.
  static constexpr int kGroupOff = -1;
  static constexpr int kGroupClock = -2;
  static constexpr int kGroupTriggers = -3;
  static constexpr int kGroupMidi = -4;
  static constexpr int kGroupCommonMod = -5;
  static constexpr int kGroupMasterAudio = -6; // voice sums and external input

  static constexpr int kLabelSize = 16; // short name: up to 15 characters
  static constexpr int kTextSize = 64;  // menu text: up to 63 characters

  // Copies label and text, cut to their buffers.
  SourceDef(SourceType type, int module, int index, const char* label, const char* text);

  // By type, then module, then index.
  bool operator<(const SourceDef& other) const;
  // Listed by a selector of type query (audio-or-modulation lists audio and modulation entries).
  bool matches(SourceType query) const;

  SourceType type;
  int32_t module; // slot 0..17, or a negative group
  int32_t index;  // output number within the module's outputs of this type, or item within the group
  char label[kLabelSize];
  char text[kTextSize];
};

bool lessThan(SourceDef* a, SourceDef* b);

// A list of sources. The product's "all" list owns its entries; the voice and master lists refer to them.
class SourceDefCol
{
public:
  void addSource(SourceDef* source); // appends; counts the common-modulation and trigger entries
  void clearSources();               // forgets the entries without deleting them
  void deleteSources();              // deletes every entry and empties the list
  void sort();

  // Entries of type t plus "off" (for AUDIO_OR_MOD: types 0, 1 and 2); 0 for an empty list.
  int getSize(SourceDef::SourceType t) const;
  // Position 0 is "off"; position i >= 1 is the i-th entry of type t. Null when there is none.
  SourceDef* getSource(int i, SourceDef::SourceType t) const;
  // Position in the whole list of the first entry (after "off") with these keys; 0 when none.
  int getSourceIndex(SourceDef::SourceType t, int module, int index) const;
  // The value that makes a selector of type t name the entry of this type, module and index: its position
  // among the entries of type t (getSource's i); 0 when the list has no such entry.
  int getPosition(SourceDef::SourceType t, SourceDef::SourceType type, int module, int index) const;
  // Text of the first entry with this label; null when none.
  const char* getSourceText(const char* label) const;
  // "off" for "off", else the first entry with this label; null when none.
  SourceDef* getSource(const char* label) const;

  int size() const { return (int)sources.size(); }
  // Exchanges the entries (and stored entries) of two lists; nothing is allocated or freed.
  void swap(SourceDefCol& other)
  {
    sources.swap(other.sources);
    stored.swap(other.stored);
    for (int t = 0; t < kTypes; ++t) byType[t].swap(other.byType[t]);
    std::swap(indexed, other.indexed);
    std::swap(numCommonMod, other.numCommonMod);
    std::swap(numTriggers, other.numTriggers);
  }

  // Entries kept in the list's own storage, made room for once, so that rebuilding the list (on the audio
  // thread, for an editor command) allocates nothing: room for `entries` stored entries and list entries.
  void reserve(int entries);
  // Appends a new entry kept in the storage; null (nothing appended) when the storage is full.
  SourceDef* add(SourceDef::SourceType type, int module, int index, const char* label, const char* text);
  // Forgets every entry and empties the storage (its memory stays).
  void clearStored();

  std::vector<SourceDef*> sources;
  std::vector<SourceDef> stored; // entries made by add (never grown past its reserve: addresses stay)
  // The entries each selector type lists after "off", made by sort() (a selector resolves its source at
  // every parameter change of every voice: a lookup, not a walk of the list). Any other change drops them.
  static constexpr int kTypes = SourceDef::SYNC + 1;
  std::vector<SourceDef*> byType[kTypes];
  bool indexed = false;
  int numCommonMod = 0; // entries of group -5
  int numTriggers = 0;  // entries of group -3
};
