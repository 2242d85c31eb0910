// WDL_PtrList: an ordered list of pointers in one page-granular heap buffer.
//
// Whether the list owns its entries is decided per call: Delete and Empty destroy entries only when
// asked to (with delete, or with a given delete function). Entries are never destroyed by the
// list's own destructor; an owner empties the list with wantDelete in its destructor.
//
//   WDL_PtrList<IParam> params;
//   params.Add(new IParam);            // on out-of-memory the item is not stored: check GetSize()
//   IParam* p = params.Get(i);         // null when i is out of range
//   params.Empty(true);                // deletes last to first
#pragma once

#include "heapbuf.h"

#include <cstring>

template <class T> class WDL_PtrList
{
public:
  WDL_PtrList() : mHeapBuf(4096) {}
  WDL_PtrList(const WDL_PtrList&) = delete; // copying would share ownership of the entries
  WDL_PtrList& operator=(const WDL_PtrList&) = delete;

  T** GetList() const { return static_cast<T**>(mHeapBuf.Get()); }
  int GetSize() const { return mHeapBuf.GetSize() / static_cast<int>(sizeof(T*)); }

  T* Get(int index) const
  {
    T** list = GetList();
    return (list && index >= 0 && index < GetSize()) ? list[index] : nullptr;
  }

  // Index of the first entry equal to p, or -1.
  int Find(const T* p) const
  {
    T** list = GetList();
    const int n = GetSize();
    for (int i = 0; i < n; ++i)
      if (list[i] == p) return i;
    return -1;
  }

  // Appends item; when memory runs out the item is not stored and stays the caller's.
  T* Add(T* item)
  {
    const int n = GetSize();
    if (!Grow(n)) return item;
    GetList()[n] = item;
    return item;
  }

  // Inserts item before index (clamped to 0..count); not stored when memory runs out.
  T* Insert(int index, T* item)
  {
    const int n = GetSize();
    if (index < 0) index = 0;
    if (index > n) index = n;
    if (!Grow(n)) return item;
    T** list = GetList();
    std::memmove(list + index + 1, list + index, size_t(n - index) * sizeof(T*));
    list[index] = item;
    return item;
  }

  // Replaces the entry at index (no destruction of the old one); false when out of range.
  bool Set(int index, T* item)
  {
    if (index < 0 || index >= GetSize()) return false;
    GetList()[index] = item;
    return true;
  }

  // Removes the entry at index, destroying it when asked; later entries move down by one.
  // Memory is not given back.
  void Delete(int index, bool wantDelete = false, void (*deleteFunction)(void*) = nullptr)
  {
    const int n = GetSize();
    if (index < 0 || index >= n) return;
    T** list = GetList();
    if (wantDelete) Destroy(list[index], deleteFunction);
    std::memmove(list + index, list + index + 1, size_t(n - index - 1) * sizeof(T*));
    mHeapBuf.Resize((n - 1) * static_cast<int>(sizeof(T*)), false);
  }

  // Removes every entry. With wantDelete the entries are destroyed from the last to the first, the
  // list shrinking by one after each, so a destructor that looks at the list sees only the entries
  // still alive. Memory is not given back.
  void Empty(bool wantDelete = false, void (*deleteFunction)(void*) = nullptr)
  {
    if (wantDelete) {
      for (int i = GetSize() - 1; i >= 0; --i) {
        T* item = GetList()[i];
        if (item) Destroy(item, deleteFunction);
        mHeapBuf.Resize(i * static_cast<int>(sizeof(T*)), false);
      }
    }
    mHeapBuf.Resize(0, false);
  }

private:
  bool Grow(int n)
  {
    if (n >= 0x7fffffff / static_cast<int>(sizeof(T*)) - 1) return false;
    const int bytes = (n + 1) * static_cast<int>(sizeof(T*));
    mHeapBuf.Resize(bytes, false);
    return mHeapBuf.GetSize() == bytes;
  }

  static void Destroy(T* item, void (*deleteFunction)(void*))
  {
    if (!item) return;
    if (deleteFunction)
      deleteFunction(item);
    else
      delete item;
  }

  WDL_HeapBuf mHeapBuf;
};
