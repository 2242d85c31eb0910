// Text results of the heap string, including every way of feeding it its own text.
#include "wdlstring.h"

#include "../support/low_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

namespace {

TEST(WDLString, NeverSetIsEmptyAndNotNull)
{
  WDL_String s;
  ASSERT_NE(s.Get(), nullptr);
  EXPECT_STREQ(s.Get(), "");
  EXPECT_EQ(s.GetLength(), 0);
  s.Get()[0] = 'x'; // scribbling into the shared empty text does not show in the next one
  EXPECT_STREQ(WDL_String().Get(), "");
}

TEST(WDLString, SetAndAppendTakeTheLengthRule)
{
  const struct
  {
    const char* text;
    int maxLength;
    std::string expected;
  } cases[] = {{"hello", 0, "hello"}, {"hello", -3, "hello"}, {"hello", 3, "hel"},
               {"hello", 5, "hello"}, {"hi", 10, "hi"},       {"", 0, ""},
               {nullptr, 0, ""},      {nullptr, 4, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.text ? c.text : "null") << " max " << c.maxLength);
    WDL_String s("previous"), a("ab");
    s.Set(c.text, c.maxLength);
    a.Append(c.text, c.maxLength);
    EXPECT_EQ(s.Get(), c.expected);
    EXPECT_EQ(s.GetLength(), int(c.expected.size()));
    EXPECT_EQ(a.Get(), "ab" + c.expected);
  }
}

TEST(WDLString, SelfAssignmentKeepsTheText)
{
  WDL_String s("unchanged");
  const WDL_String& same = s;
  s = same;
  EXPECT_STREQ(s.Get(), "unchanged");
  s.Set(s.Get());
  s = s.Get();
  EXPECT_STREQ(s.Get(), "unchanged");
  s.Set(s.Get(), 5);
  EXPECT_STREQ(s.Get(), "uncha");
  s.Set(s.Get() + 2);
  EXPECT_STREQ(s.Get(), "cha");
}

TEST(WDLString, AppendingItselfWhileTheBufferMoves)
{
  WDL_String s("abc");
  std::string expected = "abc";
  for (int i = 0; i < 12; ++i) { // ends at 12288 characters, far beyond the first 128-byte allocation
    s.Append(s.Get());
    expected += expected;
  }
  s.Append(s.Get() + 10, 7);
  expected += expected.substr(10, 7);
  EXPECT_EQ(s.Get(), expected);
}

TEST(WDLString, InsertMatchesStdStringAlsoWithItsOwnText)
{
  const struct
  {
    int position;
    const char* text;
    int maxLength;
  } cases[] = {{0, "XY", 0}, {3, "XY", 0}, {6, "XY", 0}, {99, "XY", 0}, {-4, "XY", 0}, {2, "XYZ", 1}};
  for (const auto& c : cases) {
    WDL_String s("abcdef");
    s.Insert(c.text, c.position, c.maxLength);
    std::string expected = "abcdef";
    expected.insert(size_t(std::clamp(c.position, 0, 6)), std::string(c.text, c.maxLength ? c.maxLength : 2));
    EXPECT_EQ(s.Get(), expected) << c.position;
  }
  WDL_String s("abcdef");
  s.Insert(s.Get() + 3, 1); // "def" goes before "b", whose tail shifts over the source
  EXPECT_STREQ(s.Get(), "adefbcdef");
  WDL_String t((std::string(200, 'q') + "tail").c_str());
  t.Insert(t.Get() + 200, 0); // and grows past the first allocation
  EXPECT_EQ(t.Get(), "tail" + std::string(200, 'q') + "tail");
}

TEST(WDLString, DeleteSubSetLenAndClearing)
{
  WDL_String s("abcdefgh");
  s.DeleteSub(2, 3);
  EXPECT_STREQ(s.Get(), "abfgh");
  s.DeleteSub(3, 100);
  s.DeleteSub(-1, 2);
  s.DeleteSub(5, 1);
  EXPECT_STREQ(s.Get(), "bf");
  s.SetLen(1);
  EXPECT_STREQ(s.Get(), "b");
  s.SetLen(3);
  EXPECT_STREQ(s.Get(), "b  ");
  s.Set(std::string(1000, 'x').c_str());
  s.Set("");
  EXPECT_STREQ(s.Get(), "");
  s.Append("y");
  EXPECT_STREQ(s.Get(), "y");
}

TEST(WDLString, FormattedTextIsCutToTheMaximumLength)
{
  const struct
  {
    int maxLength, number;
    std::string expected;
  } cases[] = {
      {20, 12345, "n=12345"}, {7, 12345, "n=12345"}, {6, 12345, "n=1234"}, {1, -5, "n"}, {0, 7, ""}, {-4, 7, ""}};
  for (const auto& c : cases) {
    WDL_String s("old"), a("old");
    s.SetFormatted(c.maxLength, "n=%d", c.number);
    a.AppendFormatted(c.maxLength, "n=%d", c.number);
    EXPECT_EQ(s.Get(), c.expected) << c.maxLength;
    EXPECT_EQ(a.Get(), "old" + c.expected) << c.maxLength;
  }
}

TEST(WDLString, FormattingMayReadItsOwnText)
{
  WDL_String s("abc");
  s.SetFormatted(20, "%s-%s", s.Get(), s.Get());
  EXPECT_STREQ(s.Get(), "abc-abc");
  s.AppendFormatted(20, "+%s", s.Get());
  EXPECT_STREQ(s.Get(), "abc-abc+abc-abc");
  const std::string longText(300, 'w');
  s.SetFormatted(1000, "%s|%s", longText.c_str(), s.Get());
  EXPECT_EQ(s.Get(), longText + "|abc-abc+abc-abc");
}

TEST(WDLString, FormattingErrorLeavesEmptyOrAppendsNothing)
{
  // In the "C" locale a wide character above 0x7F has no multibyte form: vsnprintf fails.
  const wchar_t unconvertible[] = {0xE9, 0};
  WDL_String s("keep");
  s.AppendFormatted(10, "%ls", unconvertible);
  EXPECT_STREQ(s.Get(), "keep");
  s.SetFormatted(10, "%ls", unconvertible);
  EXPECT_STREQ(s.Get(), "");
}

TEST(WDLString, CopiesAreIndependent)
{
  WDL_String a("first"), unset;
  WDL_String b(a), c, d(unset);
  c = a;
  b.Append("+b");
  c.Set("c");
  EXPECT_STREQ(a.Get(), "first");
  EXPECT_STREQ(b.Get(), "first+b");
  EXPECT_STREQ(c.Get(), "c");
  EXPECT_STREQ(d.Get(), "");
}

TEST(WDLString, ImpossibleRequestsChangeNothing)
{
  WDL_String s("abc");
  s.__doSet(3, "x", INT_MAX - 2, 0); // size would overflow an int
  s.__doSet(10, "x", 1, 0);          // offset beyond the text
  s.__doSet(1, "x", 1, 5);           // keeps more bytes than exist
  s.__doSet(-1, "x", 1, 0);
  s.SetLen(INT_MAX);
  s.SetFormatted(INT_MAX, "%s", "x");
  EXPECT_STREQ(s.Get(), "abc");
}

TEST(WDLString, OutOfMemoryLeavesTheStringUnchanged)
{
  SKIP_IF_SANITIZED();
  veltrane_test::ExpectWithCappedMemory([] {
    WDL_String s("safe");
    s.SetLen(1 << 30);
    s.SetFormatted((1 << 30) - 1, "%s", "x");
    EXPECT_STREQ(s.Get(), "safe");
  });
}

} // namespace
