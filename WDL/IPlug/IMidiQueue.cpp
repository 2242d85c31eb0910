#include "IMidiQueue.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMessagesPerPage = 4096 / int(sizeof(IMidiMsg));
static_assert(sizeof(IMidiMsg) == 8, "a queued message takes 8 bytes, 512 to a page");

constexpr int kMaxMessages = INT_MAX / int(sizeof(IMidiMsg)) / kMessagesPerPage * kMessagesPerPage;

// Whole pages of messages for n. At least one page: a grow step of 0 would make every later
// message be dropped.
int WholePages(int n)
{
  if (n < 1) return kMessagesPerPage;
  if (n > kMaxMessages) return kMaxMessages;
  return int((int64_t(n) + kMessagesPerPage - 1) / kMessagesPerPage * kMessagesPerPage);
}

} // namespace

IMidiQueue::IMidiQueue(int size) : mGrow(WholePages(size))
{
  Reallocate(mGrow);
}

IMidiQueue::~IMidiQueue()
{
  std::free(mBuf);
}

bool IMidiQueue::Reallocate(int size)
{
  auto* p = static_cast<IMidiMsg*>(std::realloc(mBuf, size_t(size) * sizeof(IMidiMsg)));
  if (!p) return false;
  mBuf = p;
  mSize = size;
  return true;
}

void IMidiQueue::RemoveAt(int i)
{
  if (i < mFront || i >= mBack) return;
  std::memmove(mBuf + i, mBuf + i + 1, size_t(mBack - i - 1) * sizeof(IMidiMsg));
  --mBack;
  ++mGeneration;
}

bool IMidiQueue::ReplaceAt(int i, const IMidiMsg& msg)
{
  if (i < mFront || i >= mBack) return false;
  if ((i > mFront && mBuf[i - 1].mOffset > msg.mOffset) || (i + 1 < mBack && mBuf[i + 1].mOffset < msg.mOffset))
    return false;
  mBuf[i] = msg;
  return true;
}

void IMidiQueue::Compact()
{
  ++mGeneration;
  if (mFront == 0) return;
  if (mBack > mFront) std::memmove(mBuf, mBuf + mFront, size_t(mBack - mFront) * sizeof(IMidiMsg));
  mBack -= mFront;
  mFront = 0;
}

int IMidiQueue::Add(const IMidiMsg* message)
{
  if (!message) return -1;
  const IMidiMsg copy = *message; // the message may live in this queue, which may move
  const IMidiMsg* msg = &copy;
  ++mGeneration;
  if (mBack >= mSize) {
    if (mFront > 0) {
      Compact();
    } else {
      const int64_t grown = (int64_t(mSize) / mGrow + 1) * mGrow;
      if (grown > kMaxMessages || !Reallocate(int(grown))) return -1;
    }
  }

  int at = mBack;
  if (mBack > mFront && msg->mOffset < mBuf[mBack - 1].mOffset) {
    // Behind every message with an offset not above its own: equal offsets keep arrival order.
    at = mBack - 1;
    while (at > mFront && msg->mOffset < mBuf[at - 1].mOffset) --at;
    std::memmove(mBuf + at + 1, mBuf + at, size_t(mBack - at) * sizeof(IMidiMsg));
  }
  mBuf[at] = *msg;
  ++mBack;
  return at;
}

void IMidiQueue::Flush(int nFrames)
{
  Compact();
  for (int i = 0; i < mBack; ++i) {
    const int64_t offset = int64_t(mBuf[i].mOffset) - nFrames;
    mBuf[i].mOffset = int32_t(offset < INT32_MIN ? INT32_MIN : offset > INT32_MAX ? INT32_MAX : offset);
  }
}

int IMidiQueue::Resize(int size)
{
  Compact(); // moves the generation on
  mGrow = WholePages(size);
  int target = mGrow;
  if (mBack > target) target = WholePages(mBack);
  if (target != mSize) Reallocate(target);
  return mSize;
}
