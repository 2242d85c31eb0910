#include "DelayMemory.h"

#include "ModuleConventions.h"

#include <sys/mman.h>

double* DelayBlock::allocate(size_t count)
{
  release();
  if (count == 0) return nullptr;
  void* p = mmap(nullptr, count * sizeof(double), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  mData = static_cast<double*>(p);
  mCount = count;
  return mData;
}

void DelayBlock::release()
{
  if (mData) munmap(mData, mCount * sizeof(double));
  mData = nullptr;
  mCount = 0;
}

void DelayRecord::attach(double* memory, int count)
{
  data = memory && count > 0 ? memory : nullptr;
  size = data ? count : 0;
  delay = size - 1;
  write = read = 0;
  filled = size;
}

void DelayRecord::setDelay(int d)
{
  if (size <= 0) {
    delay = 0;
    return;
  }
  delay = d < 0 ? 0 : d < size ? d : size - 1;
  read = write + delay;
  if (read >= size) read -= size;
}

int delaySamples(double ms, double rate)
{
  if (!(rate > 0.0) || !ModuleConventions::isFinite(rate)) return 0;
  return ModuleConventions::clampToInt(ms * rate / 1000.0, 0, 1 << 26);
}
