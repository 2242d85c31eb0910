// Text results of the heap string, including every way of feeding it its own text.
#include "wdlstring.h"

#include "../support/low_memory.h"

#include <gtest/gtest.h>

#include <ostream>

#include <climits>
#include <cstring>
#include <string>

namespace {

TEST(WDLString, NeverSetIsEmptyAndNotNull)
{
  WDL_String s;
  ASSERT_NE(s.Get(), nullptr);
  EXPECT_STREQ(s.Get(), "");
  EXPECT_EQ(s.GetLength(), 0);
  s.Get()[0] = 'x'; // a caller scribbling into the shared empty text does not leak into the next one
  WDL_String t;
  EXPECT_STREQ(t.Get(), "");
}

struct SetCase
{
  const char* text;
  int maxLength;
  const char* expected;
};

std::ostream& operator<<(std::ostream& os, const SetCase& c)
{
  return os << (c.text ? c.text : "null") << " max " << c.maxLength;
}

class WDLStringSet : public ::testing::TestWithParam<SetCase>
{
};

TEST_P(WDLStringSet, TakesTheLengthRule)
{
  const SetCase& c = GetParam();
  WDL_String s("previous");
  s.Set(c.text, c.maxLength);
  EXPECT_STREQ(s.Get(), c.expected);
  EXPECT_EQ(s.GetLength(), int(std::strlen(c.expected)));

  WDL_String a("ab");
  a.Append(c.text, c.maxLength);
  EXPECT_EQ(std::string(a.Get()), std::string("ab") + c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, WDLStringSet,
                         ::testing::Values(SetCase{"hello", 0, "hello"}, SetCase{"hello", -3, "hello"},
                                           SetCase{"hello", 3, "hel"}, SetCase{"hello", 5, "hello"},
                                           SetCase{"hi", 10, "hi"}, SetCase{"", 0, ""}, SetCase{nullptr, 0, ""},
                                           SetCase{nullptr, 4, ""}));

TEST(WDLString, SelfAssignmentKeepsTheText)
{
  WDL_String s("unchanged");
  const WDL_String& same = s;
  s = same;
  EXPECT_STREQ(s.Get(), "unchanged");
  s.Set(s.Get());
  EXPECT_STREQ(s.Get(), "unchanged");
  s = s.Get();
  EXPECT_STREQ(s.Get(), "unchanged");
  s.Set(s.Get(), 5);
  EXPECT_STREQ(s.Get(), "uncha");
}

TEST(WDLString, SetFromItsOwnTail)
{
  WDL_String s("hello world");
  s.Set(s.Get() + 6);
  EXPECT_STREQ(s.Get(), "world");
}

TEST(WDLString, AppendingItselfWhileTheBufferMoves)
{
  WDL_String s("abc");
  std::string expected = "abc";
  for (int i = 0; i < 12; ++i) { // ends at 12288 characters, far beyond the first 128-byte allocation
    s.Append(s.Get());
    expected += expected;
    ASSERT_EQ(std::string(s.Get()), expected) << i;
  }
  s.Append(s.Get() + 10, 7);
  expected += expected.substr(10, 7);
  EXPECT_EQ(std::string(s.Get()), expected);
}

struct InsertCase
{
  const char* start;
  int position;
  const char* text;
  int maxLength;
};

std::ostream& operator<<(std::ostream& os, const InsertCase& c)
{
  return os << c.start << " at " << c.position << " " << c.text << " max " << c.maxLength;
}

class WDLStringInsert : public ::testing::TestWithParam<InsertCase>
{
};

TEST_P(WDLStringInsert, MatchesStdString)
{
  const InsertCase& c = GetParam();
  WDL_String s(c.start);
  s.Insert(c.text, c.position, c.maxLength);
  std::string expected = c.start;
  std::string text = c.maxLength > 0 ? std::string(c.text).substr(0, c.maxLength) : c.text;
  const size_t pos = std::min<size_t>(std::max(c.position, 0), expected.size());
  expected.insert(pos, text);
  EXPECT_EQ(std::string(s.Get()), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, WDLStringInsert,
                         ::testing::Values(InsertCase{"abcdef", 0, "XY", 0}, InsertCase{"abcdef", 3, "XY", 0},
                                           InsertCase{"abcdef", 6, "XY", 0}, InsertCase{"abcdef", 99, "XY", 0},
                                           InsertCase{"abcdef", -4, "XY", 0}, InsertCase{"abcdef", 2, "XYZ", 1},
                                           InsertCase{"", 0, "XY", 0}));

TEST(WDLString, InsertingPartOfItself)
{
  WDL_String s("abcdef");
  s.Insert(s.Get() + 3, 1); // "def" goes before "b", whose tail shifts over the source
  EXPECT_STREQ(s.Get(), "adefbcdef");
  WDL_String t(std::string(200, 'q').append("tail").c_str());
  t.Insert(t.Get() + 200, 0); // grows past the first allocation
  EXPECT_EQ(std::string(t.Get()), "tail" + std::string(200, 'q') + "tail");
}

TEST(WDLString, DeleteSubAndSetLen)
{
  WDL_String s("abcdefgh");
  s.DeleteSub(2, 3);
  EXPECT_STREQ(s.Get(), "abfgh");
  s.DeleteSub(3, 100);
  EXPECT_STREQ(s.Get(), "abf");
  s.DeleteSub(-1, 2);
  EXPECT_STREQ(s.Get(), "bf");
  s.DeleteSub(5, 1);
  EXPECT_STREQ(s.Get(), "bf");
  s.SetLen(1);
  EXPECT_STREQ(s.Get(), "b");
  s.SetLen(3);
  EXPECT_STREQ(s.Get(), "b  ");
  s.SetLen(-2);
  EXPECT_STREQ(s.Get(), "");
}

TEST(WDLString, EmptySetClearsALongString)
{
  WDL_String s(std::string(1000, 'x').c_str());
  s.Set("");
  EXPECT_STREQ(s.Get(), "");
  EXPECT_EQ(s.GetLength(), 0);
  s.Append("y");
  EXPECT_STREQ(s.Get(), "y");
}

struct FormatCase
{
  int maxLength;
  int number;
  const char* expected;
};

std::ostream& operator<<(std::ostream& os, const FormatCase& c)
{
  return os << c.number << " max " << c.maxLength;
}

class WDLStringFormatted : public ::testing::TestWithParam<FormatCase>
{
};

TEST_P(WDLStringFormatted, CutsToTheMaximumLength)
{
  const FormatCase& c = GetParam();
  WDL_String s("old");
  s.SetFormatted(c.maxLength, "n=%d", c.number);
  EXPECT_STREQ(s.Get(), c.expected);

  WDL_String a("old");
  a.AppendFormatted(c.maxLength, "n=%d", c.number);
  EXPECT_EQ(std::string(a.Get()), std::string("old") + c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, WDLStringFormatted,
                         ::testing::Values(FormatCase{20, 12345, "n=12345"}, FormatCase{7, 12345, "n=12345"},
                                           FormatCase{6, 12345, "n=1234"}, FormatCase{1, -5, "n"}, FormatCase{0, 7, ""},
                                           FormatCase{-4, 7, ""}));

TEST(WDLString, FormattingMayReadItsOwnText)
{
  WDL_String s("abc");
  s.SetFormatted(20, "%s-%s", s.Get(), s.Get());
  EXPECT_STREQ(s.Get(), "abc-abc");
  s.AppendFormatted(20, "+%s", s.Get());
  EXPECT_STREQ(s.Get(), "abc-abc+abc-abc");
  const std::string longText(300, 'w');
  s.SetFormatted(1000, "%s|%s", longText.c_str(), s.Get());
  EXPECT_EQ(std::string(s.Get()), longText + "|abc-abc+abc-abc");
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
  WDL_String a("first");
  WDL_String b(a);
  WDL_String c;
  c = a;
  b.Append("+b");
  c.Set("c");
  EXPECT_STREQ(a.Get(), "first");
  EXPECT_STREQ(b.Get(), "first+b");
  EXPECT_STREQ(c.Get(), "c");
  WDL_String unset, copy(unset);
  EXPECT_STREQ(copy.Get(), "");
}

TEST(WDLString, HugeLengthsChangeNothing)
{
  WDL_String s("abc");
  s.__doSet(3, "x", INT_MAX - 2, 0); // size would overflow an int
  s.__doSet(10, "x", 1, 0);          // offset beyond the text
  s.__doSet(1, "x", 1, 5);           // keeps more bytes than exist
  s.__doSet(-1, "x", 1, 0);
  EXPECT_STREQ(s.Get(), "abc");
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
    EXPECT_STREQ(s.Get(), "safe");
    s.SetFormatted((1 << 30) - 1, "%s", "x");
    EXPECT_STREQ(s.Get(), "safe");
  });
}

} // namespace
