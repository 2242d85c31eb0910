// Bitmap classes: heap bitmaps and bitmaps over GDI memory contexts.
#include "lice.h"

#include "swell/swell-gdi.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {

// Bytes a bitmap may hold: every raster routine addresses pixels with int offsets, and the
// allocation carries 63 bytes of alignment slack on top.
constexpr int64_t kMaxBitmapBytes = INT_MAX - 63;

unsigned int lineAlignMask(unsigned int linealign)
{
  if (linealign < 2) return 0;
  const unsigned int mask = (linealign & (0u - linealign)) - 1;
  return mask > 16 ? 16 : mask;
}

} // namespace

LICE_MemBitmap::LICE_MemBitmap(int w, int h, unsigned int linealign)
    : m_fb(nullptr), m_width(0), m_height(0), m_allocsize(0), m_linealign(lineAlignMask(linealign))
{
  if (w >= 1 && h >= 1) __resize(w, h);
}

LICE_MemBitmap::~LICE_MemBitmap()
{
  std::free(m_fb);
}

LICE_pixel* LICE_MemBitmap::getBits()
{
  if (!m_fb) return nullptr;
  return reinterpret_cast<LICE_pixel*>((reinterpret_cast<uintptr_t>(m_fb) + 63) & ~uintptr_t(63));
}

int LICE_MemBitmap::getRowSpan()
{
  return (m_width + (int)m_linealign) & ~(int)m_linealign;
}

bool LICE_MemBitmap::__resize(int w, int h)
{
  if (w == m_width && h == m_height) return false;
  m_width = w;
  m_height = h;

  // Sized in 64 bits: a 32-bit product wraps for large sizes, possibly to a small positive
  // number that would be taken for a valid, far too small buffer.
  int64_t bytes = 0;
  if (w >= 1 && h >= 1) {
    const int64_t span = (int64_t(w) + m_linealign) & ~int64_t(m_linealign);
    const int64_t pixels = span * h; // below 2^63: both factors are below 2^32
    bytes = pixels > kMaxBitmapBytes / 4 ? kMaxBitmapBytes + 1 : pixels * 4;
  }
  if (bytes <= 0 || bytes > kMaxBitmapBytes) {
    std::free(m_fb);
    m_fb = nullptr;
    m_allocsize = 0;
    m_width = m_height = 0;
    return true;
  }

  if (m_fb) {
    if (bytes <= m_allocsize) return true; // shrinking keeps the block
    // Grow by a quarter more than needed so that repeated growth reallocates rarely.
    int64_t grown = bytes + bytes / 4;
    if (grown > kMaxBitmapBytes) grown = kMaxBitmapBytes;
    void* p = std::realloc(m_fb, size_t(grown) + 63);
    if (p) {
      m_fb = p;
      m_allocsize = (int)grown;
      return true;
    }
    std::free(m_fb);
    m_fb = nullptr;
  }

  m_allocsize = (int)bytes;
  m_fb = std::malloc(size_t(bytes) + 63);
  if (!m_fb) {
    m_allocsize = 0;
    m_width = m_height = 0;
  }
  return true;
}

LICE_SysBitmap::LICE_SysBitmap(int w, int h)
    : m_width(0), m_height(0), m_dc(nullptr), m_bits(nullptr), m_allocw(0), m_alloch(0)
{
  __resize(w, h);
}

LICE_SysBitmap::~LICE_SysBitmap()
{
  if (m_dc) SWELL_DeleteGfxContext(m_dc);
}

bool LICE_SysBitmap::__resize(int w, int h)
{
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  if (w == m_width && h == m_height) return false;
  m_width = w;
  m_height = h;

  // The context is kept for every size that fits inside it; its old pixels stay.
  if (w && h && m_allocw >= w && m_alloch >= h && m_bits) return true;

  if (m_dc) SWELL_DeleteGfxContext(m_dc);
  m_dc = nullptr;
  m_bits = nullptr;
  const int64_t allocw = (int64_t(w) + 3) & ~int64_t(3);
  if (allocw > INT_MAX) { // no context can be that wide: fail like a refused allocation
    m_width = m_height = 0;
    m_allocw = m_alloch = 0;
    return true;
  }
  m_allocw = (int)allocw;
  m_alloch = h;
  if (h < 1 || m_allocw < 1) return false; // empty, though it reports the stored size

  m_dc = SWELL_CreateMemContext(nullptr, m_allocw, h);
  if (!m_dc) {
    m_width = m_height = 0;
    m_allocw = m_alloch = 0;
  } else {
    m_bits = static_cast<LICE_pixel*>(SWELL_GetCtxFrameBuffer(m_dc));
  }
  return true;
}
