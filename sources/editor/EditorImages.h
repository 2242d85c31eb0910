// The editor's 61 images by resource id: file name (only the last path component names the resource) and
// frame count. Multi-frame images are vertical strips of equal frames. Plain data, shared by the bitmap
// store and the artwork generator in tools/artwork, so the two never disagree on a name or a frame count.
#pragma once

struct EditorImage
{
  int id;
  const char* name;
  int frames;
};

constexpr int kNumEditorImages = 61;

// Ids of the pieces other code names directly.
enum EEditorImage {
  kImageBack = 1,
  kImageLearn = 2,
  kImageUnlearn = 3,
  kImagePrev = 4,
  kImageNext = 5,
  kImageDigits = 6,
  kImageLed = 7,
  kImageMasterOn = 8,
  kImageMasterHead = 9,
  kImageMasterBack = 10,
  kImageButton = 11,
  kImageButtonBlue = 12,
  kImageButtonOrange = 13,
  kImageButtonRed = 14,
  kImageButtonOutput = 15,
  kImageButtonLight = 16,
  kImageButtonLight2 = 17,
  kImageButtonFreeze = 18,
  kImageSwitch2Orange = 19,
  kImageSwitch2Horiz = 20,
  kImageKnob = 21,
  kImageKnobSmall = 22,
  kImageFirstModule = 23, // 23..61: the module panel backgrounds
};

// Entry i holds id i + 1.
inline const EditorImage* editorImages()
{
  static const EditorImage table[kNumEditorImages] = {
      {1, "resources/img/back.png", 1},
      {2, "resources/img/learn.png", 2},
      {3, "resources/img/unlearn.png", 2},
      {4, "resources/img/prev.png", 2},
      {5, "resources/img/next.png", 2},
      {6, "resources/img/digits.png", 10},
      {7, "resources/img/led.png", 1},
      {8, "resources/img/master_on.png", 1},
      {9, "resources/img/master_head.png", 1},
      {10, "resources/img/master_back.png", 1},
      {11, "resources/img/button.png", 2},
      {12, "resources/img/button_blue.png", 2},
      {13, "resources/img/button_orange.png", 2},
      {14, "resources/img/button_red.png", 2},
      {15, "resources/img/button_output.png", 2},
      {16, "resources/img/button_light.png", 2},
      {17, "resources/img/button_light2.png", 2},
      {18, "resources/img/button_freeze.png", 2},
      {19, "resources/img/switch2orange.png", 2},
      {20, "resources/img/switch2horiz.png", 2},
      {21, "resources/img/knob.png", 65},
      {22, "resources/img/knob_small.png", 65},
      {23, "resources/img/module_osc.png", 1},
      {24, "resources/img/module_osc2.png", 1},
      {25, "resources/img/module_osclinfm.png", 1},
      {26, "resources/img/module_oscformant.png", 1},
      {27, "resources/img/module_noise.png", 1},
      {28, "resources/img/module_filter.png", 1},
      {29, "resources/img/module_comb.png", 1},
      {30, "resources/img/module_reso.png", 1},
      {31, "resources/img/module_amp.png", 1},
      {32, "resources/img/module_mix.png", 1},
      {33, "resources/img/module_sp.png", 1},
      {34, "resources/img/module_blend.png", 1},
      {35, "resources/img/module_ring.png", 1},
      {36, "resources/img/module_audiosh.png", 1},
      {37, "resources/img/module_hilbert.png", 1},
      {38, "resources/img/module_bitreducer.png", 1},
      {39, "resources/img/module_saturate.png", 1},
      {40, "resources/img/module_env.png", 1},
      {41, "resources/img/module_env2.png", 1},
      {42, "resources/img/module_env4.png", 1},
      {43, "resources/img/module_lfo.png", 1},
      {44, "resources/img/module_lfo2.png", 1},
      {45, "resources/img/module_shnoise.png", 1},
      {46, "resources/img/module_seq.png", 1},
      {47, "resources/img/module_seqsw.png", 1},
      {48, "resources/img/module_beat.png", 1},
      {49, "resources/img/module_delay.png", 1},
      {50, "resources/img/module_delayline.png", 1},
      {51, "resources/img/module_reverb.png", 1},
      {52, "resources/img/module_vp.png", 1},
      {53, "resources/img/module_lag.png", 1},
      {54, "resources/img/module_smpldly.png", 1},
      {55, "resources/img/module_gate.png", 1},
      {56, "resources/img/module_moddly.png", 1},
      {57, "resources/img/module_eq10.png", 1},
      {58, "resources/img/module_stfilter.png", 1},
      {59, "resources/img/module_stcomb.png", 1},
      {60, "resources/img/module_streso.png", 1},
      {61, "resources/img/module_para5.png", 1},
  };
  return table;
}
