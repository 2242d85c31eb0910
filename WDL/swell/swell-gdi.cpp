// GDI emulation: memory contexts, object records, the pools of both, selection, colours and clipping.
#include "swell-gdi.h"
#include "swell-gdi-internal.h"

#include "mutex.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// At most this many released records of each kind are kept for reuse.
constexpr int kMaxPooledContexts = 100;
constexpr int kMaxPooledObjects = 200;

HDC__* m_ctxpool; // both pools under poolMutex()
int m_ctxpool_size;
HGDIOBJ__* m_objpool;
int m_objpool_size;
bool m_pools_closed; // the library is being unloaded: released records are freed, not kept

// Made on first use, since other libraries' static constructors may create contexts, and never destroyed:
// the static objects that release contexts and objects at unloading (cached fonts) run in no set order.
WDL_Mutex& poolMutex()
{
  static WDL_LastingMutex m;
  return m.Get();
}

void lockPool()
{
  poolMutex().Enter();
}

void unlockPool()
{
  poolMutex().Leave();
}

// A cleared record of type T from a pool, or a new zero-filled one.
template <class T> T* takeRecord(T** pool, int* size)
{
  T* rec = nullptr;
  lockPool();
  if (*pool) {
    rec = *pool;
    *pool = rec->_next;
    --*size;
  }
  unlockPool();
  if (rec) {
    std::memset(static_cast<void*>(rec), 0, sizeof(*rec));
    return rec;
  }
  return static_cast<T*>(std::calloc(1, sizeof(T)));
}

// Clears a record, marks it pooled and keeps it when the pool has room, else frees it.
template <class T> void returnRecord(T* rec, T** pool, int* size, int max)
{
  std::memset(static_cast<void*>(rec), 0, sizeof(*rec));
  rec->_infreelist = true;
  lockPool();
  if (*size < max && !m_pools_closed) {
    rec->_next = *pool;
    *pool = rec;
    ++*size;
    rec = nullptr;
  }
  unlockPool();
  std::free(rec);
}

template <class T> void freePool(T** pool, int* size)
{
  while (*pool) {
    T* next = (*pool)->_next;
    std::free(*pool);
    *pool = next;
  }
  *size = 0;
}

// Frees the pooled records when the process (or the plug-in) is unloaded. Contexts and objects that other
// static objects release later (cached fonts) are freed as they come.
struct _swellGdiUnloader
{
  ~_swellGdiUnloader()
  {
    lockPool();
    m_pools_closed = true;
    freePool(&m_ctxpool, &m_ctxpool_size);
    freePool(&m_objpool, &m_objpool_size);
    unlockPool();
  }
} s_unloader;

// The stock null pen and null brush: never pooled, never freed.
HGDIOBJ__ global_objs[2] = {{swell::kPen, 0, 0, 1.0f, -1, nullptr, false, nullptr, nullptr, 0},
                            {swell::kBrush, 0, 0, 1.0f, -1, nullptr, false, nullptr, nullptr, 0}};

bool isStock(HGDIOBJ obj)
{
  return obj >= global_objs && obj < global_objs + 2;
}

// Handles below 5 stand for "no object of type 1, 2 or 3".
bool isObjectPointer(HGDIOBJ obj)
{
  return reinterpret_cast<uintptr_t>(obj) >= 5;
}

HGDIOBJ* slotOf(HDC ctx, int type)
{
  return type == swell::kPen ? &ctx->curpen : type == swell::kBrush ? &ctx->curbrush : &ctx->curfont;
}

RECT intersect(const RECT& a, const RECT& b)
{
  RECT r = {a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
            a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

} // namespace

namespace swell {

bool isLive(HDC ctx)
{
  return ctx && !ctx->_infreelist;
}

bool isLiveObject(HGDIOBJ obj, int type)
{
  if (!isObjectPointer(obj) || obj->_infreelist) return false;
  if (obj->type < kPen || obj->type > kImage) return false;
  return type == 0 || obj->type == type;
}

HGDIOBJ newObject(int type)
{
  HGDIOBJ obj = takeRecord(&m_objpool, &m_objpool_size);
  if (obj) {
    obj->type = type;
    obj->alpha = 1.0f;
  }
  return obj;
}

RECT clipRect(HDC ctx)
{
  const RECT whole = {0, 0, ctx->width, ctx->height};
  return ctx->clipped ? intersect(ctx->clip, whole) : whole;
}

bool makeView(HDC ctx, const RECT* limit, ClipView* view)
{
  if (!isLive(ctx)) return false;
  LICE_pixel* fb = static_cast<LICE_pixel*>(SWELL_GetCtxFrameBuffer(ctx));
  if (!fb) return false;
  RECT r = clipRect(ctx);
  if (limit) r = intersect(r, *limit);
  if (r.right <= r.left || r.bottom <= r.top) return false;
  view->bits = fb + (size_t)r.top * ctx->width + r.left;
  view->w = r.right - r.left;
  view->h = r.bottom - r.top;
  view->span = ctx->width;
  view->x0 = r.left;
  view->y0 = r.top;
  return true;
}

unsigned int toPixel(int colour, int alpha)
{
  return LICE_RGBA((colour >> 16) & 255, (colour >> 8) & 255, colour & 255, alpha);
}

} // namespace swell

using namespace swell;

HDC SWELL_CreateMemContext(HDC, int width, int height)
{
  if (width < 1 || height < 1) return nullptr;
  // Sized in 64 bits: width x height x 4 overflows an int long before memory runs out, and a
  // wrapped size would hand out a buffer smaller than the picture.
  const int64_t count = int64_t(width) * height;
  if (count > (INT_MAX - 63) / 4) return nullptr;
  void* pixels = std::calloc(size_t(count) * 4 + 63, 1);
  if (!pixels) return nullptr;
  HDC__* ctx = takeRecord(&m_ctxpool, &m_ctxpool_size);
  if (!ctx) {
    std::free(pixels);
    return nullptr;
  }
  ctx->ownedpixels = pixels;
  ctx->width = width;
  ctx->height = height;
  ctx->curtextcol = 0;
  ctx->linewidth = 1.0f;
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
  returnRecord(ctx, &m_ctxpool, &m_ctxpool_size, kMaxPooledContexts);
}

int GetTextColor(HDC ctx)
{
  return isLive(ctx) ? ctx->curtextcol : -1;
}

void SetTextColor(HDC ctx, int colour)
{
  if (isLive(ctx)) ctx->curtextcol = colour;
}

void SetBkColor(HDC ctx, int colour)
{
  if (isLive(ctx)) ctx->curbkcol = colour;
}

void SetBkMode(HDC ctx, int mode)
{
  if (isLive(ctx)) ctx->curbkmode = mode;
}

HGDIOBJ SelectObject(HDC ctx, HGDIOBJ obj)
{
  if (!isLive(ctx)) return nullptr;
  const uintptr_t n = reinterpret_cast<uintptr_t>(obj);
  if (n >= 1 && n <= 3) {
    HGDIOBJ* slot = slotOf(ctx, (int)n);
    HGDIOBJ previous = *slot;
    *slot = nullptr;
    return isLiveObject(previous, (int)n) ? previous : obj;
  }
  if (!isLiveObject(obj, 0) || obj->type > kFont) return nullptr;
  HGDIOBJ* slot = slotOf(ctx, obj->type);
  HGDIOBJ previous = *slot;
  *slot = obj;
  if (previous == obj || isLiveObject(previous, obj->type)) return previous;
  return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(obj->type));
}

void DeleteObject(HGDIOBJ obj)
{
  if (!isObjectPointer(obj) || isStock(obj) || obj->_infreelist) return;
  if (obj->additional_refcnt-- > 0) return;
  if (obj->type < kPen || obj->type > kImage) return;
  if (obj->font) freeFont(obj->font);
  if (obj->type == kImage && obj->wid == 1) delete obj->image;
  returnRecord(obj, &m_objpool, &m_objpool_size, kMaxPooledObjects);
}

HGDIOBJ GetStockObject(int which)
{
  if (which == NULL_PEN) return &global_objs[0];
  if (which == NULL_BRUSH) return &global_objs[1];
  return nullptr;
}

HGDIOBJ SWELL_CloneGDIObject(HGDIOBJ obj)
{
  if (!isObjectPointer(obj) || obj->_infreelist) return nullptr;
  if (!isStock(obj)) ++obj->additional_refcnt;
  return obj;
}

void SWELL_PushClipRegion(HDC ctx)
{
  if (!isLive(ctx)) return;
  if (ctx->clipDepth < HDC__::kClipDepth) {
    ctx->clipStack[ctx->clipDepth] = ctx->clip;
    ctx->clipStackSet[ctx->clipDepth] = ctx->clipped;
  }
  ++ctx->clipDepth;
}

void SWELL_SetClipRegion(HDC ctx, const RECT* r)
{
  if (!isLive(ctx) || !r) return;
  ctx->clip = intersect(clipRect(ctx), *r);
  ctx->clipped = true;
}

void SWELL_PopClipRegion(HDC ctx)
{
  if (!isLive(ctx) || ctx->clipDepth <= 0) return;
  --ctx->clipDepth;
  if (ctx->clipDepth < HDC__::kClipDepth) {
    ctx->clip = ctx->clipStack[ctx->clipDepth];
    ctx->clipped = ctx->clipStackSet[ctx->clipDepth];
  }
}

void* SWELL_GetCtxGC(HDC ctx)
{
  return isLive(ctx) ? ctx : nullptr;
}

int GetSysColor(int index)
{
  static const int kColours[10] = {0x606060, 0xE0E0E0, 0xC0C0C0, 0x000000, 0xC0C0C0,
                                   0x202020, 0x303030, 0xC0C0C0, 0xFFF0C8, 0x000000};
  return index >= 0 && index < 10 ? kColours[index] : 0;
}

bool SWELL_IsRetinaDC(HDC)
{
  return false;
}
