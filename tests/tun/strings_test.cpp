// String tools: trimming, escapes, number scanning and the line recognisers of tuning files.
#include "tun_test_util.h"

#include <gtest/gtest.h>

using namespace TUN;

TEST(TunStrings, WhiteSpaceIsTheSixCLocaleBlanks)
{
  EXPECT_EQ(std::string("\t\n\v\f\r "), strx::WhiteSpaceChars());
  EXPECT_EQ("", strx::Trim(" \t\r\n\v\f  "));
  EXPECT_EQ("a  b", strx::Trim("\t a  b \r\n"));
  EXPECT_EQ("\xa0x\xa0", strx::Trim("\xa0x\xa0")); // a high byte is no blank
  std::string s = " 1 - 16 ";
  EXPECT_EQ("1-16", strx::RemoveSpaces(s));
  EXPECT_EQ("1-16", s);
}

TEST(TunStrings, CaseFoldingTouchesOnlyAsciiLetters)
{
  EXPECT_EQ("scale begin 1\xc4", strx::ToLower("Scale BEGIN 1\xc4"));
  EXPECT_EQ("note", strx::GetAsLower("NoTe"));
}

TEST(TunStrings, KeyAndValueLines)
{
  struct Case
  {
    const char* line;
    bool ok;
    const char* key;
    const char* value;
  } cases[] = {
      {"Note 5 = 100", true, "note 5", "100"},
      {"_x=", true, "_x", ""},
      {"Name = \"a = b\"", true, "name", "\"a = b\""},
      {"KEYBOARD 3 =  7 ", true, "keyboard 3", "7"},
      {"5=100", false, "", ""},
      {"=1", false, "", ""},
      {"Note 5 500", false, "", ""},
      {"", false, "", ""},
  };
  for (const Case& c : cases) {
    std::string key = "unchanged", value = "unchanged";
    EXPECT_EQ(c.ok, strx::EvalKeyAndValue(c.line, key, value)) << c.line;
    EXPECT_EQ(c.ok ? c.key : "unchanged", key) << c.line;
    EXPECT_EQ(c.ok ? c.value : "unchanged", value) << c.line;
  }
}

TEST(TunStrings, SectionParameterAndStringRecognisers)
{
  struct Case
  {
    bool (*eval)(std::string&);
    const char* in;
    bool ok;
    const char* out;
  } cases[] = {
      {strx::EvalSection, "[ Scale Begin ]", true, "scale begin"},
      {strx::EvalSection, "[]", true, ""},
      {strx::EvalSection, "[x", false, "[x"},
      {strx::EvalSection, "[", false, "["},
      {strx::EvalFunctionParam, "( 69, 440 )", true, " 69, 440 "},
      {strx::EvalFunctionParam, "(69, 440", false, "(69, 440"},
      {strx::EvalString, "\"a\\tb\"", true, "a\tb"},
      {strx::EvalString, "\"\"", true, ""},
      {strx::EvalString, "\"", false, "\""},
      {strx::EvalString, "abc", false, "abc"},
  };
  for (const Case& c : cases) {
    std::string s = c.in;
    EXPECT_EQ(c.ok, c.eval(s)) << c.in;
    EXPECT_EQ(c.out, s) << c.in;
  }
}

TEST(TunStrings, EscapesOfStringValues)
{
  struct Case
  {
    std::string raw;
    std::string escaped;
  } cases[] = {
      {std::string("\x01\xff", 2), "\\x001\\x0ff"},
      {std::string("\0", 1), "\\0"},
      {"\a\b\t\n\v\f\r", "\\a\\b\\t\\n\\v\\f\\r"},
      {"\"'?\\", "\\\"\\'\\?\\\\"},
      {"\x1f", "\\x01f"},
      {"caf\xe9 \xfe", "caf\xe9 \xfe"}, // bytes 128 to 254 pass unchanged
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.escaped, strx::Escape(c.raw));
    EXPECT_EQ(c.raw, strx::Unescape(c.escaped));
  }
  EXPECT_EQ("\"say \\\"hi\\\"\"", strx::GetAsString("say \"hi\""));
  EXPECT_EQ("[Info]", strx::GetAsSection("Info"));
}

TEST(TunStrings, UnescapeOfOddInput)
{
  EXPECT_EQ("q", strx::Unescape("\\q"));
  EXPECT_EQ("abc\\", strx::Unescape("abc\\"));
  EXPECT_EQ(std::string("\0x", 2), strx::Unescape("\\xzz1x")); // three characters always consumed
  EXPECT_EQ("A", strx::Unescape("\\x041"));
  EXPECT_EQ("\x04", strx::Unescape("\\x4"));   // fewer than three at the end
  EXPECT_EQ("\xff", strx::Unescape("\\xfff")); // low eight bits of 0xfff
  EXPECT_EQ("", strx::Unescape(""));
}

TEST(TunStrings, EscapeRoundTripsEveryByte)
{
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string escaped = strx::Escape(all);
  for (char c : escaped) EXPECT_TRUE(c != '\0' && c != '\n' && c != '\r');
  EXPECT_EQ(all, strx::Unescape(escaped));
}

TEST(TunStrings, NumberScanning)
{
  std::string::size_type pos = 0;
  long l = -1;
  EXPECT_TRUE(strx::Eval(std::string("12ab"), pos, l));
  EXPECT_EQ(12, l);
  EXPECT_EQ(2u, pos);

  pos = 0;
  EXPECT_FALSE(strx::Eval(std::string("ab"), pos, l));
  EXPECT_EQ(0u, pos);
  EXPECT_EQ(12, l);

  double d = 0;
  pos = 1;
  EXPECT_TRUE(strx::Eval(std::string("x 1.5e2x"), pos, d));
  EXPECT_DOUBLE_EQ(150.0, d);
  EXPECT_EQ(7u, pos);

  pos = 3;
  EXPECT_FALSE(strx::Eval(std::string("abc"), pos, d)); // at the end
  pos = 0;
  EXPECT_TRUE(strx::Eval(std::string("-7,5"), pos, d)); // "," is no decimal point
  EXPECT_DOUBLE_EQ(-7.0, d);
  EXPECT_EQ(2u, pos);
}

TEST(TunStrings, Split)
{
  struct Case
  {
    const char* text;
    bool trim, skipEmpty;
    std::list<std::string> pieces;
  } cases[] = {
      {"1-4,,5", false, false, {"1-4", "", "5"}},
      {"1-4,,5", false, true, {"1-4", "5"}},
      {" a , b ,", true, false, {"a", "b", ""}},
      {" a , b ,", false, true, {" a ", " b "}},
      {"", false, false, {""}},
      {"", false, true, {}},
  };
  for (const Case& c : cases) {
    std::list<std::string> out = {"old"};
    strx::Split(c.text, ',', out, c.trim, c.skipEmpty);
    EXPECT_EQ(c.pieces, out) << c.text;
  }
}

TEST(TunStrings, NumbersAsText)
{
  EXPECT_EQ("440", strx::dtostr(440));
  EXPECT_EQ("0.5", strx::dtostr(0.5));
  EXPECT_EQ("-2.5", strx::dtostr(-2.5));
  EXPECT_EQ("1e+21", strx::dtostr(1e21));
  EXPECT_EQ("0.10000000000000000555", strx::dtostr(0.1)); // 20 significant digits
  EXPECT_EQ("-3", strx::ltostr(-3));
  EXPECT_EQ("9223372036854775807", strx::ltostr(9223372036854775807L));
}
