// GDI emulation: memory contexts and the pool of context records.
#include "swell-gdi.h"
#include "swell-gdi-internal.h"

#include <pthread.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// At most this many released records are kept for reuse.
constexpr int kMaxPooledContexts = 100;

pthread_mutex_t m_ctxpool_mutex; // recursive; guards the pool
pthread_once_t m_ctxpool_once = PTHREAD_ONCE_INIT;
HDC__* m_ctxpool;
int m_ctxpool_size;

void initPoolMutex()
{
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&m_ctxpool_mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

// The mutex is made on first use: other libraries' static constructors may create contexts.
void lockPool()
{
  pthread_once(&m_ctxpool_once, initPoolMutex);
  pthread_mutex_lock(&m_ctxpool_mutex);
}

void unlockPool()
{
  pthread_mutex_unlock(&m_ctxpool_mutex);
}

// A cleared record, from the pool when it has one.
HDC__* SWELL_GDP_CTX_NEW()
{
  HDC__* ctx = nullptr;
  lockPool();
  if (m_ctxpool) {
    ctx = m_ctxpool;
    m_ctxpool = ctx->_next;
    m_ctxpool_size--;
  }
  unlockPool();
  if (ctx) {
    std::memset(static_cast<void*>(ctx), 0, sizeof(*ctx));
    return ctx;
  }
  return static_cast<HDC__*>(std::calloc(1, sizeof(HDC__)));
}

// Frees the pooled records when the process (or the plug-in) is unloaded.
struct _swellGdiUnloader
{
  ~_swellGdiUnloader()
  {
    lockPool();
    while (m_ctxpool) {
      HDC__* next = m_ctxpool->_next;
      std::free(m_ctxpool);
      m_ctxpool = next;
    }
    m_ctxpool_size = 0;
    unlockPool();
  }
} s_unloader;

bool isLive(HDC ctx)
{
  return ctx && !ctx->_infreelist;
}

} // namespace

HDC SWELL_CreateMemContext(HDC, int width, int height)
{
  if (width < 1 || height < 1) return nullptr;
  // Sized in 64 bits: width x height x 4 overflows an int long before memory runs out, and a
  // wrapped size would hand out a buffer smaller than the picture.
  const int64_t count = int64_t(width) * height;
  if (count > (INT_MAX - 63) / 4) return nullptr;
  void* pixels = std::calloc(size_t(count) * 4 + 63, 1);
  if (!pixels) return nullptr;
  HDC__* ctx = SWELL_GDP_CTX_NEW();
  if (!ctx) {
    std::free(pixels);
    return nullptr;
  }
  ctx->ownedpixels = pixels;
  ctx->width = width;
  ctx->height = height;
  ctx->curtextcol = 0;
  return ctx;
}

void* SWELL_GetCtxFrameBuffer(HDC ctx)
{
  if (!isLive(ctx) || !ctx->ownedpixels) return nullptr;
  return reinterpret_cast<void*>((reinterpret_cast<uintptr_t>(ctx->ownedpixels) + 63) & ~uintptr_t(63));
}

void SWELL_DeleteGfxContext(HDC ctx)
{
  if (!isLive(ctx)) return;
  std::free(ctx->ownedpixels);
  std::memset(static_cast<void*>(ctx), 0, sizeof(*ctx));
  ctx->_infreelist = true;
  lockPool();
  if (m_ctxpool_size < kMaxPooledContexts) {
    ctx->_next = m_ctxpool;
    m_ctxpool = ctx;
    m_ctxpool_size++;
    ctx = nullptr;
  }
  unlockPool();
  std::free(ctx);
}

int GetTextColor(HDC ctx)
{
  return isLive(ctx) ? ctx->curtextcol : -1;
}
