// Helpers of the line, curve and shape tests: a bitmap fenced by a guard band, pixel sets in the
// caller's coordinates, and a counting combine class.
#pragma once

#include "raster_test_util.h"

#include <map>
#include <set>
#include <utility>
#include <vector>

namespace rt {

typedef std::pair<int, int> XY;

// A bitmap whose pixels sit inside a block with a guard band of `guard` pixels on every side;
// the block is allocated to the byte, so that under AddressSanitizer a write beyond the band
// faults too. Rows may be stored bottom-up (flipped).
class GuardedBitmap : public LICE_IBitmap
{
public:
  static constexpr LICE_pixel kGuard = 0xa5c35a3cu;
  GuardedBitmap(int w, int h, bool flipped = false, int guard = 6)
      : m_w(w), m_h(h), m_g(guard), m_span(w + 2 * guard), m_flipped(flipped),
        m_px(size_t(m_span) * size_t(h + 2 * guard), kGuard)
  {
    clear(0);
  }
  LICE_pixel* getBits() override { return m_px.data() + size_t(m_g) * m_span + m_g; }
  int getWidth() override { return m_w; }
  int getHeight() override { return m_h; }
  int getRowSpan() override { return m_span; }
  bool isFlipped() override { return m_flipped; }
  bool resize(int, int) override { return false; }

  // Pixel at the caller's (x, y).
  LICE_pixel& at(int x, int y) { return getBits()[size_t(m_flipped ? m_h - 1 - y : y) * m_span + x]; }
  void clear(LICE_pixel v)
  {
    for (int y = 0; y < m_h; ++y)
      for (int x = 0; x < m_w; ++x) at(x, y) = v;
  }
  // True when no pixel of the band (and of the block around the bitmap) was written.
  bool guardIntact() const
  {
    for (int y = 0; y < m_h + 2 * m_g; ++y)
      for (int x = 0; x < m_span; ++x) {
        const bool inside = y >= m_g && y < m_g + m_h && x >= m_g && x < m_g + m_w;
        if (!inside && m_px[size_t(y) * m_span + x] != kGuard) return false;
      }
    return true;
  }
  std::vector<LICE_pixel> snapshot()
  {
    std::vector<LICE_pixel> v;
    for (int y = 0; y < m_h; ++y)
      for (int x = 0; x < m_w; ++x) v.push_back(at(x, y));
    return v;
  }
  // Every pixel that differs from `background`, with its value, in caller coordinates.
  std::map<XY, LICE_pixel> changed(LICE_pixel background = 0)
  {
    std::map<XY, LICE_pixel> m;
    for (int y = 0; y < m_h; ++y)
      for (int x = 0; x < m_w; ++x)
        if (at(x, y) != background) m[{x, y}] = at(x, y);
    return m;
  }
  std::set<XY> changedSet(LICE_pixel background = 0)
  {
    std::set<XY> s;
    for (auto& kv : changed(background)) s.insert(kv.first);
    return s;
  }
  // The red channel of each changed pixel (white drawn on black: the weight it received).
  std::map<XY, int> reds()
  {
    std::map<XY, int> m;
    for (auto& kv : changed()) m[kv.first] = chR(kv.second);
    return m;
  }

private:
  int m_w, m_h, m_g, m_span;
  bool m_flipped;
  std::vector<LICE_pixel> m_px;
};

const LICE_pixel kWhite = 0xffffffffu;

inline std::string dump(const std::map<XY, int>& m)
{
  std::string s;
  for (auto& kv : m)
    s += "(" + std::to_string(kv.first.first) + "," + std::to_string(kv.first.second) +
         ")=" + std::to_string(kv.second) + " ";
  return s;
}
inline std::string dump(const std::set<XY>& m)
{
  std::string s;
  for (auto& p : m) s += "(" + std::to_string(p.first) + "," + std::to_string(p.second) + ") ";
  return s;
}

// A combine "rule" that only counts: each call adds one to the alpha byte of the pixel, whatever
// the weight. Run through a drawer template it tells how often each pixel was combined.
struct CountTouches
{
  static void doPix(LICE_pixel_chan* dest, int, int, int, int, int) { ++dest[LICE_PIXEL_A]; }
};

} // namespace rt
