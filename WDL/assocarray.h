// Sorted associative arrays: WDL_AssocArrayImpl (any key with a compare function) and
// WDL_StringKeyedArray (C-string keys, copied and owned by the array).
//
// Pairs live sorted by key in one page-granular heap buffer; lookups are binary searches. The array
// owns its keys (key copy and key disposal functions) and, when a value disposal function is given,
// its values: replaced, deleted and remaining values are disposed of.
//
//   WDL_StringKeyedArray<char*> section(false, WDL_StringKeyedArray<char*>::freecharptr); // case-insensitive
//   section.Insert("Key", strdup("value"));
//   char* v = section.Get("KEY", nullptr);
#pragma once

#include "heapbuf.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>

template <class KEY, class VAL> class WDL_AssocArrayImpl
{
public:
  typedef int (*KeyCompare)(KEY* a, KEY* b);
  typedef KEY (*KeyCopy)(KEY key);
  typedef void (*KeyDispose)(KEY key);
  typedef void (*ValDispose)(VAL value);

  explicit WDL_AssocArrayImpl(KeyCompare compare, KeyCopy keyCopy = nullptr, KeyDispose keyDispose = nullptr,
                              ValDispose valDispose = nullptr)
      : mData(4096), mCompare(compare), mKeyCopy(keyCopy), mKeyDispose(keyDispose), mValDispose(valDispose)
  {
  }
  ~WDL_AssocArrayImpl() { DeleteAll(); }
  WDL_AssocArrayImpl(const WDL_AssocArrayImpl&) = delete;
  WDL_AssocArrayImpl& operator=(const WDL_AssocArrayImpl&) = delete;

  int GetSize() const { return mData.GetSize() / int(sizeof(KeyVal)); }

  VAL* GetPtr(KEY key) const
  {
    int i;
    return Find(key, &i) ? &Pairs()[i].val : nullptr;
  }
  VAL Get(KEY key, VAL notFound = VAL()) const
  {
    VAL* p = GetPtr(key);
    return p ? *p : notFound;
  }
  bool Exists(KEY key) const { return GetPtr(key) != nullptr; }

  // Stores value under key: replaces (and disposes of) the value of a present key, keeping its stored
  // key; else inserts a copy of the key at its sorted place. Returns the index, or -1 when memory ran
  // out (the value is then disposed of, as the array took it over).
  int Insert(KEY key, VAL value)
  {
    int i;
    if (Find(key, &i)) {
      KeyVal* kv = Pairs() + i;
      if (mValDispose) mValDispose(kv->val);
      kv->val = value;
      return i;
    }
    if (!Grow(key, value)) return -1;
    KeyVal* kv = Pairs();
    const int n = GetSize();
    const KeyVal added = kv[n - 1];
    std::memmove(static_cast<void*>(kv + i + 1), kv + i, sizeof(KeyVal) * size_t(n - 1 - i));
    kv[i] = added;
    return i;
  }

  // Appends without searching or sorting (for bulk loading; call Resort() afterwards).
  void AddUnsorted(KEY key, VAL value) { Grow(key, value); }

  // Sorts by key; of neighbours with equal keys only the last added survives.
  void Resort()
  {
    const int n = GetSize();
    if (n < 2 || !mCompare) return;
    KeyVal* kv = Pairs();
    std::stable_sort(kv, kv + n, [this](const KeyVal& a, const KeyVal& b) {
      KEY ka = a.key, kb = b.key;
      return mCompare(&ka, &kb) < 0;
    });
    int kept = 0;
    for (int i = 0; i < n; ++i) {
      if (i + 1 < n && mCompare(&kv[i].key, &kv[i + 1].key) == 0) {
        Dispose(kv[i]);
        continue;
      }
      kv[kept++] = kv[i];
    }
    mData.Resize(kept * int(sizeof(KeyVal)), false);
  }

  void Delete(KEY key)
  {
    int i;
    if (Find(key, &i)) DeleteByIndex(i);
  }
  void DeleteByIndex(int index)
  {
    const int n = GetSize();
    if (index < 0 || index >= n) return;
    KeyVal* kv = Pairs();
    Dispose(kv[index]);
    std::memmove(static_cast<void*>(kv + index), kv + index + 1, sizeof(KeyVal) * size_t(n - 1 - index));
    mData.Resize((n - 1) * int(sizeof(KeyVal)), false);
  }
  // Disposes of every key and value.
  void DeleteAll(bool resizeDown = false)
  {
    const int n = GetSize();
    KeyVal* kv = Pairs();
    for (int i = 0; i < n; ++i) Dispose(kv[i]);
    mData.Resize(0, resizeDown);
  }

  // The pair at index in key order; null / notFound when out of range.
  VAL* EnumeratePtr(int index, KEY* key = nullptr) const
  {
    if (index < 0 || index >= GetSize()) return nullptr;
    KeyVal* kv = Pairs() + index;
    if (key) *key = kv->key;
    return &kv->val;
  }
  VAL Enumerate(int index, KEY* key = nullptr, VAL notFound = VAL()) const
  {
    VAL* p = EnumeratePtr(index, key);
    return p ? *p : notFound;
  }

private:
  struct KeyVal
  {
    KEY key;
    VAL val;
  };
  static_assert(std::is_trivially_copyable<KeyVal>::value, "pairs are moved as bytes");

  KeyVal* Pairs() const { return static_cast<KeyVal*>(mData.Get()); }

  // Binary search: true with the index of key, or false with the index where it belongs.
  bool Find(KEY key, int* index) const
  {
    int lo = 0, hi = GetSize();
    KeyVal* kv = Pairs();
    while (lo < hi) {
      const int mid = (lo + hi) / 2;
      const int c = mCompare(&key, &kv[mid].key);
      if (c == 0) {
        *index = mid;
        return true;
      }
      if (c < 0)
        hi = mid;
      else
        lo = mid + 1;
    }
    *index = lo;
    return false;
  }

  // Appends (copy of key, value) at the end; on failure the value is disposed of.
  bool Grow(KEY key, VAL value)
  {
    const int n = GetSize();
    bool ok = n < 0x7fffffff / int(sizeof(KeyVal)) - 1;
    KEY stored = key;
    if (ok && mKeyCopy) {
      stored = mKeyCopy(key);
      if constexpr (std::is_pointer<KEY>::value) ok = stored != nullptr;
    }
    if (ok) {
      const int bytes = (n + 1) * int(sizeof(KeyVal));
      mData.Resize(bytes, false);
      ok = mData.GetSize() == bytes;
      if (!ok && mKeyCopy && mKeyDispose) mKeyDispose(stored);
    }
    if (!ok) {
      if (mValDispose) mValDispose(value);
      return false;
    }
    Pairs()[n] = KeyVal{stored, value};
    return true;
  }

  void Dispose(KeyVal& kv)
  {
    if (mKeyDispose) mKeyDispose(kv.key);
    if (mValDispose) mValDispose(kv.val);
  }

  WDL_HeapBuf mData;
  KeyCompare mCompare;
  KeyCopy mKeyCopy;
  KeyDispose mKeyDispose;
  ValDispose mValDispose;
};

template <class VAL> class WDL_StringKeyedArray : public WDL_AssocArrayImpl<const char*, VAL>
{
public:
  // Keys compare byte by byte, or with ASCII letters folded when caseSensitive is false (the same
  // whatever locale the host has set).
  explicit WDL_StringKeyedArray(bool caseSensitive = true, void (*valDispose)(VAL) = nullptr)
      : WDL_AssocArrayImpl<const char*, VAL>(caseSensitive ? cmpstr : cmpistr, dupstr, freestr, valDispose)
  {
  }

  static int cmpstr(const char** a, const char** b) { return std::strcmp(*a, *b); }
  static int cmpistr(const char** a, const char** b)
  {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(*a);
    const unsigned char* q = reinterpret_cast<const unsigned char*>(*b);
    for (;; ++p, ++q) {
      const int c = Fold(*p), d = Fold(*q);
      if (c != d || !c) return c - d;
    }
  }
  static const char* dupstr(const char* s)
  {
    const size_t n = std::strlen(s) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy) std::memcpy(copy, s, n);
    return copy;
  }
  static void freestr(const char* s) { std::free(const_cast<char*>(s)); }
  static void freecharptr(char* p) { std::free(p); }

private:
  static int Fold(int c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }
};
