// The generated editor images: every file present after a build and readable by our PNG loader with the
// size and frame layout the panels need, the same bytes from a second run of the generator, the control
// layouts of the panels fitting without one image covering another, knob strips whose value arc grows over
// the 65 positions, and two-state pieces whose states differ in brightness.
#include "EditorImages.h"
#include "editor_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct FrameSize
{
  int w, h, frames;
};

// What each image must measure, worked out from the panels' control positions:
// - knob: knobs stand at y 232 over menus at y 280 (menu rectangle from 278) and carry 16 pixels of text
//   below: 232 + h + 16 <= 278, and the blender's knob at y 72 over a menu at 118: h <= 28.
// - knob_small: the comb filter's small knob at y 156 over a menu at 194 (from 192): 156 + h + 16 <= 192.
// - menu buttons: the comb filter stacks two menus at y 194 and 208: h <= 14; the mixer puts one at x 48
//   between knobs whose rectangles end at 40 and start at 84, centred under the knobs of the two columns.
// - switch2orange: the equalizer's switch at x 60 between knob rectangles ending at 48 and starting at 76.
// - digits: the voice field (19, 212, 43, 228) draws tens at x 21 and units at x 31, 16 high.
// - lamps: 13 pixels apart in columns 25 apart; LEDs beside them at x 8, left of the first column at 19.
// - headers 128 x 24, panels 128 x 300 under them, the editor 1280 x 650.
const std::map<std::string, FrameSize>& expectedSizes()
{
  static const std::map<std::string, FrameSize> sizes = {
      {"back.png", {1280, 650, 1}},          {"learn.png", {48, 22, 2}},        {"unlearn.png", {48, 22, 2}},
      {"prev.png", {22, 20, 2}},             {"next.png", {22, 20, 2}},         {"digits.png", {10, 16, 10}},
      {"led.png", {8, 8, 1}},                {"master_on.png", {12, 12, 1}},    {"master_head.png", {128, 24, 1}},
      {"master_back.png", {128, 300, 1}},    {"button.png", {30, 14, 2}},       {"button_blue.png", {30, 14, 2}},
      {"button_orange.png", {30, 14, 2}},    {"button_red.png", {34, 18, 2}},   {"button_output.png", {44, 20, 2}},
      {"button_light.png", {24, 12, 2}},     {"button_light2.png", {24, 12, 2}}, {"button_freeze.png", {40, 14, 2}},
      {"switch2orange.png", {16, 20, 2}},    {"switch2horiz.png", {28, 14, 2}}, {"knob.png", {28, 28, 65}},
      {"knob_small.png", {20, 20, 65}},
  };
  return sizes;
}

std::string baseName(const char* stored)
{
  const char* slash = std::strrchr(stored, '/');
  return slash ? slash + 1 : stored;
}

std::string readFile(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double luminance(LICE_pixel p)
{
  return 0.2126 * LICE_GETR(p) + 0.7152 * LICE_GETG(p) + 0.0722 * LICE_GETB(p);
}

// Mean luminance of the opaque pixels of a frame.
double frameBrightness(LICE_IBitmap* bm, int y0, int h)
{
  double sum = 0;
  int n = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = 0; x < bm->getWidth(); ++x) {
      const LICE_pixel p = LICE_GetPixel(bm, x, y);
      if (LICE_GETA(p) < 200) continue;
      sum += luminance(p);
      ++n;
    }
  return n ? sum / n : 0;
}

} // namespace

TEST(Artwork, EveryImagePresentDecodableAndSizedForItsPanels)
{
  const EditorImage* images = editorImages();
  for (int i = 0; i < kNumEditorImages; ++i) {
    const std::string name = baseName(images[i].name);
    std::unique_ptr<LICE_IBitmap> bm = loadResource(images[i].name);
    ASSERT_TRUE(bm) << name << " missing or unreadable";
    FrameSize want = {128, 300, 1}; // module backgrounds: a slot area under its header
    auto it = expectedSizes().find(name);
    if (it != expectedSizes().end()) want = it->second;
    EXPECT_EQ(images[i].frames, want.frames) << name;
    EXPECT_EQ(want.w, bm->getWidth()) << name;
    EXPECT_EQ(want.h * want.frames, bm->getHeight()) << name << ": a vertical strip of equal frames";
  }
}

TEST(Artwork, SameProgramSameBytes)
{
  char tmpl[] = "/tmp/veltrane_artwork_XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(tmpl));
  const std::string dir = tmpl;
  const std::string command = std::string("\"") + ARTWORK_EXE + "\" " + dir;
  ASSERT_EQ(0, std::system(command.c_str()));
  const EditorImage* images = editorImages();
  for (int i = 0; i < kNumEditorImages; ++i) {
    const std::string name = baseName(images[i].name);
    const std::string again = readFile(dir + "/" + name);
    EXPECT_FALSE(again.empty()) << name;
    EXPECT_TRUE(again == readFile(resourcePath(images[i].name))) << name << " differs between two runs";
    std::remove((dir + "/" + name).c_str());
  }
  rmdir(dir.c_str());
  EXPECT_NE(0, std::system((std::string("\"") + ARTWORK_EXE + "\" 2>/dev/null").c_str())) << "usage error";
}

TEST(Artwork, KnobArcGrowsOverTheSixtyFivePositions)
{
  for (const char* name : {"resources/img/knob.png", "resources/img/knob_small.png"}) {
    std::unique_ptr<LICE_IBitmap> bm = loadResource(name);
    ASSERT_TRUE(bm);
    const int w = bm->getWidth(), h = bm->getHeight() / 65;
    // Arc pixels: saturated warm colour (red well above blue), unlike the grey body, track and pointer.
    auto arcPixels = [&](int frame) {
      int n = 0;
      for (int y = frame * h; y < (frame + 1) * h; ++y)
        for (int x = 0; x < w; ++x) {
          const LICE_pixel p = LICE_GetPixel(bm.get(), x, y);
          if (LICE_GETA(p) > 128 && (int)LICE_GETR(p) - (int)LICE_GETB(p) > 80) ++n;
        }
      return n;
    };
    EXPECT_EQ(0, arcPixels(0)) << name << ": frame 1 shows no arc";
    int last = 0;
    for (int f = 1; f < 65; ++f) {
      const int n = arcPixels(f);
      EXPECT_GE(n, last) << name << " frame " << f + 1;
      last = n;
    }
    EXPECT_GT(last, 4 * w) << name << ": the last frame shows the whole arc";
    // The pointer turns: frames 1 and 65 are mirror images, not equal.
    int differing = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (LICE_GetPixel(bm.get(), x, y) != LICE_GetPixel(bm.get(), x, 32 * h + y)) ++differing;
    EXPECT_GT(differing, w) << name;
  }
}

TEST(Artwork, TwoStatePiecesDifferInBrightnessAndDigitsAreDistinct)
{
  for (const char* name : {"button.png", "button_blue.png", "button_orange.png", "button_red.png", "button_output.png",
                           "button_light.png", "button_light2.png", "button_freeze.png", "switch2orange.png",
                           "switch2horiz.png", "learn.png", "unlearn.png", "prev.png", "next.png"}) {
    std::unique_ptr<LICE_IBitmap> bm = loadResource(name);
    ASSERT_TRUE(bm) << name;
    const int h = bm->getHeight() / 2;
    const double off = frameBrightness(bm.get(), 0, h), on = frameBrightness(bm.get(), h, h);
    EXPECT_GT(on - off, 25.0) << name << ": lit " << on << ", unlit " << off;
  }
  // The accent lamps of steps 1, 5, 9 and 13 are told apart from the others also when off.
  std::unique_ptr<LICE_IBitmap> lamp = loadResource("button_light.png"), accent = loadResource("button_light2.png");
  EXPECT_GT(std::fabs(frameBrightness(accent.get(), 0, 12) - frameBrightness(lamp.get(), 0, 12)), 5.0);

  std::unique_ptr<LICE_IBitmap> digits = loadResource("digits.png");
  ASSERT_TRUE(digits);
  for (int a = 0; a < 10; ++a)
    for (int b = a + 1; b < 10; ++b) {
      int differ = 0;
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 10; ++x)
          if (LICE_GetPixel(digits.get(), x, a * 16 + y) != LICE_GetPixel(digits.get(), x, b * 16 + y)) ++differ;
      EXPECT_GT(differ, 8) << a << " and " << b;
    }
}

// ---- the panels' layouts ----

namespace {

enum Kind { kKnob, kSmallKnob, kMenu, kPopup, kImage, kBox };

// A control as a panel places it: the point given to its constructor and what it is.
struct Placed
{
  Kind kind;
  int x, y;
  int id = 0;          // image for kMenu (button image) and kImage
  int w = 0, h = 0;    // kBox: a text field or a face of the background
};

struct Layout
{
  const char* name;
  int width, height; // the area the panel must stay in
  std::vector<Placed> controls;
};

// Covers the opaque pixels of every control; counts pixels two controls both cover.
class Coverage
{
public:
  Coverage(int w, int h) : mW(w), mH(h), mOwner(w * h, -1) {}
  int overlaps = 0, outside = 0;
  std::string where;
  void mark(int owner, int x, int y)
  {
    if (x < 0 || y < 0 || x >= mW || y >= mH) {
      ++outside;
      return;
    }
    int& o = mOwner[y * mW + x];
    if (o >= 0 && o != owner) {
      if (!overlaps) where = "controls " + std::to_string(o) + " and " + std::to_string(owner) + " at " +
                             std::to_string(x) + "," + std::to_string(y);
      ++overlaps;
    }
    o = owner;
  }
  void image(int owner, LICE_IBitmap* bm, int frameH, int x, int y)
  {
    for (int j = 0; j < frameH; ++j)
      for (int i = 0; i < bm->getWidth(); ++i)
        if (LICE_GETA(LICE_GetPixel(bm, i, j)) > 48) mark(owner, x + i, y + j);
  }
  void box(int owner, int x, int y, int w, int h)
  {
    for (int j = 0; j < h; ++j)
      for (int i = 0; i < w; ++i) mark(owner, x + i, y + j);
  }

private:
  int mW, mH;
  std::vector<int> mOwner;
};

std::vector<Layout> layouts()
{
  auto knob = [](int x, int y) { return Placed{kKnob, x, y}; };
  auto small = [](int x, int y) { return Placed{kSmallKnob, x, y}; };
  auto menu = [](int x, int y, int id) { return Placed{kMenu, x, y, id}; };
  auto popup = [](int x, int y) { return Placed{kPopup, x, y}; };
  auto image = [](int x, int y, int id) { return Placed{kImage, x, y, id}; };
  auto box = [](int l, int t, int r, int b) { return Placed{kBox, l, t, 0, r - l, b - t}; };
  const int B = 11, BB = 12, BO = 13, SW = 19, LED = 7;
  std::vector<Layout> all;
  // The global section below its header strip.
  all.push_back({"global", 256, 325,
                 {image(16, 55, 4), box(40, 58, 64, 74), image(66, 55, 5), box(94, 60, 134, 72), box(136, 55, 184, 75),
                  image(191, 54, 2), box(16, 98, 240, 114), knob(16, 140), knob(68, 140), image(110, 146, SW),
                  image(143, 149, 14), box(144, 167, 176, 181), image(207, 149, 14), image(21, 212, 6), image(31, 212, 6),
                  image(14, 278, SW), knob(144, 208), menu(80, 208, 15), menu(80, 236, 15), knob(40, 272), knob(96, 272),
                  knob(152, 272), knob(208, 272), menu(208, 208, 15), menu(208, 236, 15), image(16, 234, 14)}});
  all.push_back({"Oscillator", 128, 300,
                 {popup(18, 24), menu(84, 25, BB), knob(16, 64), knob(80, 64), small(52, 120), menu(12, 129, BO),
                  menu(84, 129, B), knob(16, 164), knob(80, 164), menu(80, 212, B), knob(16, 232), knob(80, 232),
                  menu(16, 280, B), menu(80, 280, B)}});
  all.push_back({"Comb filter", 128, 300,
                 {knob(16, 24), small(52, 46), knob(80, 24), menu(16, 72, BB), menu(80, 72, BB), popup(3, 90),
                  knob(80, 104), knob(16, 124), small(84, 156), menu(80, 194, B), menu(80, 208, BO), small(20, 188),
                  knob(16, 232), knob(80, 232), menu(16, 280, B), menu(80, 280, B)}});
  all.push_back({"Mixer", 128, 300,
                 {knob(8, 24), knob(88, 24), menu(48, 34, BB), knob(8, 80), knob(88, 80), menu(48, 90, BB), knob(8, 136),
                  knob(88, 136), menu(48, 146, BB), knob(8, 192), knob(88, 192), menu(48, 202, BB), knob(48, 248)}});
  all.push_back({"Envelope", 128, 300,
                 {menu(16, 22, BO), menu(80, 22, BO), knob(16, 56), knob(80, 56), menu(48, 88, B), knob(16, 120),
                  knob(80, 120), menu(48, 152, B), knob(16, 184), knob(80, 184), menu(48, 216, B), knob(16, 248),
                  knob(80, 248), menu(48, 280, B), image(60, 25, LED)}});
  all.push_back({"Dual LFO", 128, 300,
                 {popup(4, 24), popup(68, 24), knob(16, 64), knob(80, 64), knob(16, 120), knob(80, 120), knob(16, 176),
                  knob(80, 176), menu(16, 222, B), menu(80, 222, B), menu(16, 251, B), menu(80, 251, B),
                  menu(16, 280, BO), menu(80, 280, BO), image(12, 60, LED), image(108, 60, LED)}});
  all.push_back({"BBD delay", 128, 300,
                 {knob(16, 24), knob(80, 24), menu(16, 72, BB), menu(80, 72, BB), popup(68, 94), menu(80, 133, BO),
                  knob(16, 168), menu(16, 216, B), knob(80, 168), knob(16, 248), knob(80, 248), knob(16, 104),
                  image(73, 115, 18)}});
  all.push_back({"Equalizer", 128, 300,
                 {knob(16, 24), image(60, 32, SW), knob(80, 24), menu(16, 72, BB), menu(80, 72, BB), small(12, 92),
                  small(12, 134), small(12, 176), small(12, 218), small(12, 260), small(92, 92), small(92, 134),
                  small(92, 176), small(92, 218), small(92, 260)}});
  all.push_back({"Hilbert", 128, 300,
                 {menu(80, 34, BB), menu(80, 56, BB), knob(16, 122), knob(80, 122), image(22, 169, 20), menu(80, 168, B),
                  menu(16, 234, BB), menu(80, 234, BB), menu(16, 272, BB), menu(80, 272, BB)}});
  Layout beat = {"Beat Seq.", 128, 300,
                 {menu(16, 24, BO), menu(16, 54, BO), image(60, 34, SW), popup(67, 24), popup(67, 54)}};
  for (int c = 0; c < 4; ++c)
    for (int i = 0; i < 16; ++i) beat.controls.push_back(image(19 + 25 * c, 83 + 13 * i, i % 4 ? 16 : 17));
  for (int k = 0; k < 16; ++k) beat.controls.push_back(image(8, 87 + 13 * k, LED));
  all.push_back(beat);
  Layout seq = {"Sequencer", 128, 300,
                {menu(16, 24, BO), menu(16, 54, BO), image(60, 34, SW), menu(80, 24, B), popup(67, 54)}};
  for (int k = 0; k < 4; ++k) {
    seq.controls.push_back(knob(16, 80 + 56 * k));
    seq.controls.push_back(knob(80, 80 + 56 * k));
    seq.controls.push_back(image(48, 75 + 56 * k, LED));
    seq.controls.push_back(image(112, 75 + 56 * k, LED));
  }
  all.push_back(seq);
  return all;
}

} // namespace

TEST(Artwork, PanelLayoutsFitWithoutOneImageCoveringAnother)
{
  const EditorImage* images = editorImages();
  std::map<int, std::unique_ptr<LICE_IBitmap>> loaded;
  auto get = [&](int id) -> LICE_IBitmap* {
    auto& slot = loaded[id];
    if (!slot) slot = loadResource(images[id - 1].name);
    return slot.get();
  };
  for (const Layout& layout : layouts()) {
    Coverage cover(layout.width, layout.height);
    int owner = 0;
    for (const Placed& c : layout.controls) {
      ++owner;
      switch (c.kind) {
      case kKnob:
      case kSmallKnob: {
        LICE_IBitmap* bm = get(c.kind == kKnob ? kImageKnob : kImageKnobSmall);
        ASSERT_TRUE(bm);
        const int w = bm->getWidth(), h = bm->getHeight() / 65;
        // Every frame's pixels (the arc reaches other places at other values), and the middle of the
        // value text under it (the text rectangle is the knob's width plus 4 on each side, 10 high).
        for (int f = 0; f < 65; f += 16) {
          LICE_MemBitmap frame(w, h);
          LICE_Blit(&frame, bm, 0, 0, 0, f * h, w, h, 1.0f, LICE_BLIT_MODE_COPY);
          cover.image(owner, &frame, h, c.x, c.y);
        }
        cover.box(owner, c.x + 2, c.y + h + 3, w - 4, 8);
        break;
      }
      case kMenu: {
        LICE_IBitmap* bm = get(c.id);
        ASSERT_TRUE(bm);
        cover.image(owner, bm, bm->getHeight() / 2, c.x - 1, c.y - 2); // a menu's image sits 1 left, 2 up
        break;
      }
      // A list field 58 wide whose short, centred texts ("Saw", "1/16", "LP 24") keep 10 pixels off its ends.
      case kPopup: cover.box(owner, c.x + 10, c.y + 1, 38, 11); break;
      case kImage: {
        LICE_IBitmap* bm = get(c.id);
        ASSERT_TRUE(bm);
        cover.image(owner, bm, bm->getHeight() / images[c.id - 1].frames, c.x, c.y);
        break;
      }
      case kBox: cover.box(owner, c.x, c.y, c.w, c.h); break;
      }
    }
    EXPECT_EQ(0, cover.overlaps) << layout.name << ": " << cover.where;
    EXPECT_EQ(0, cover.outside) << layout.name << " reaches beyond its area";
  }
}
