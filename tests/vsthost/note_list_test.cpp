// Notes typed on the command line.
#include "NoteList.h"

#include <gtest/gtest.h>

using vsthost::MidiEvent;
using vsthost::ParseNoteList;
using vsthost::ParseNoteName;

TEST(NoteNames, NamesAndNumbers)
{
  struct Case
  {
    const char* text;
    int note;
  };
  // C4 is middle C (60); octaves run from -1 (C-1 = 0) to 9 (G9 = 127).
  const Case cases[] = {{"60", 60},   {"0", 0},    {"127", 127}, {"C4", 60},   {"c4", 60},  {"A4", 69}, {"F#3", 54},
                        {"Bb-1", 10}, {"C-1", 0},  {"G9", 127},  {"G#9", -1},  {"128", -1}, {"H4", -1}, {"C", -1},
                        {"", -1},     {"C10", -1}, {"Cb-1", -1}, {"60.5", -1}, {"-1", -1},  {"E#4", 65}};
  for (const Case& c : cases) EXPECT_EQ(ParseNoteName(c.text), c.note) << c.text;
}

TEST(NoteLists, EachNoteGivesAnOnAndAnOff)
{
  std::vector<MidiEvent> ev;
  std::string error;
  ASSERT_TRUE(ParseNoteList("C4@0.5+2:90,64", 2, &ev, &error)) << error;
  ASSERT_EQ(ev.size(), 4u);
  EXPECT_DOUBLE_EQ(ev[0].seconds, 0.5);
  EXPECT_EQ(ev[0].bytes, (std::vector<uint8_t>{0x92, 60, 90}));
  EXPECT_DOUBLE_EQ(ev[1].seconds, 2.5);
  EXPECT_EQ(ev[1].bytes, (std::vector<uint8_t>{0x82, 60, 0}));
  EXPECT_DOUBLE_EQ(ev[2].seconds, 0.0); // defaults: start 0, length 1, velocity 100
  EXPECT_EQ(ev[2].bytes, (std::vector<uint8_t>{0x92, 64, 100}));
  EXPECT_DOUBLE_EQ(ev[3].seconds, 1.0);
}

TEST(NoteLists, BadTextIsRefusedAndAddsNothing)
{
  const char* bad[] = {"",   "60,",   "60:0",     "60:128", "60@-1",   "60@x",   "60+",
                       "X4", "60+1:", "60@1e999", "60@nan", "C3:90+2", "C4@1@2", "@1"};
  for (const char* text : bad) {
    std::vector<MidiEvent> ev;
    std::string error;
    EXPECT_FALSE(ParseNoteList(text, 0, &ev, &error)) << text;
    EXPECT_TRUE(ev.empty()) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}
