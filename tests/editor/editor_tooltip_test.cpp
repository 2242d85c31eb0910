// Tooltips on the editor's panels. The module panels are built at the first idle call after the window
// opened and again at every rebuild; a source button shows its source abbreviated ("Osc-1"), so resting the
// pointer on it must show the source's full name then, not only after the window was opened again.
#include "editor_rig.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

// A visible panel control under its own centre whose tooltip is the full name of a source that a button
// shows by a shorter label; -1 when there is none.
int SourceButton(EditorRig& r)
{
  for (int i = r.v->firstModuleControl; i < r.g->GetNControls(); ++i) {
    IControl* c = r.g->GetControl(i);
    const IRECT* t = c->GetTargetRECT();
    if (c->IsHidden() || t->Empty() || r.g->GetMouseControlIdx(t->MW(), t->MH(), true) != i) continue;
    for (SourceDefCol* list : {&r.v->voiceSources, &r.v->masterSources})
      for (SourceDef* s : list->sources)
        if (s->type != SourceDef::OFF && std::strcmp(s->label, s->text) && !std::strcmp(c->GetTooltip(), s->text))
          return i;
  }
  return -1;
}

// What shows after the pointer rested on the control's centre for a second.
std::string RestOn(EditorRig& r, int idx)
{
  r.g->MouseMove(0, 0, IMouseMod()); // away first: a move hides any tooltip
  const IRECT* t = r.g->GetControl(idx)->GetTargetRECT();
  r.g->MouseMove(t->MW(), t->MH(), IMouseMod());
  for (int i = 0; i < r.g->FPS() && !*r.g->TooltipText(); ++i) r.g->Tick();
  return r.g->TooltipText();
}

} // namespace

TEST(EditorTooltips, SourceButtonsShowTheFullSourceNameAfterOpeningAndAfterRebuilds)
{
  EditorRig r;
  r.open();
  // On the editor's thread with the window open, each of these rebuilds the panels.
  const struct
  {
    const char* what;
    std::function<void()> rebuild;
  } steps[] = {
      {"first open", [] {}},
      {"program 1", [&] { r.v->changePreset(1); }},
      {"program 0", [&] { r.v->changePreset(0); }},
      {"values redrawn", [&] { r.v->RedrawParamControls(); }},
  };
  for (const auto& step : steps) {
    step.rebuild();
    r.v->OnIdle();
    const int button = SourceButton(r);
    ASSERT_GE(button, 0) << step.what;
    EXPECT_EQ(std::string(r.g->GetControl(button)->GetTooltip()), RestOn(r, button)) << step.what;
  }
}
