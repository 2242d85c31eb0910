// The product's own controls, each family in a file of its own:
//   ProgramControls     program number and name, previous and next, program and tuning menus, MIDI learn
//   ModuleSelector      the slot headers: module choice, moves, voice and master, dragging
//   InfoArea            the floating message box and drag label
//   SourceMenus         the source selectors of inputs and outputs, and list pop-ups
//   MidiSourcesAndDrone MIDI-source assignment and the drone note
//   ValueControls, BeatSteps, WavetableLoader: the value controls and the module panels' own controls
// and what they share: ControlKit (text style, images, the plug-in behind a control) and MenuTree (one
// opening of a menu).
#pragma once

#include "ControlKit.h"
#include "InfoArea.h"
#include "MenuTree.h"
#include "MidiSourcesAndDrone.h"
#include "ModuleSelector.h"
#include "ProgramControls.h"
#include "SourceMenus.h"
