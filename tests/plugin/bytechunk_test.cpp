// ByteChunk: typed appends and position-based reads, strings, reads that do not fit, and writes past the
// chunk limit.
#include "ByteChunk.h"

#include <gtest/gtest.h>

TEST(ByteChunk, ValuesRoundTripInLittleEndianWithoutPadding)
{
  ByteChunk c;
  int i = 0x01020304;
  double d = -2.5;
  bool b = true;
  EXPECT_EQ(c.Put(&i), 4);
  EXPECT_EQ(c.Put(&d), 12);
  EXPECT_EQ(c.Put(&b), 13);
  const unsigned char* bytes = c.GetBytes();
  EXPECT_EQ(bytes[0], 0x04);
  EXPECT_EQ(bytes[3], 0x01);
  EXPECT_EQ(bytes[12], 1);

  int i2 = 0;
  double d2 = 0;
  bool b2 = false;
  EXPECT_EQ(c.Get(&i2, 0), 4);
  EXPECT_EQ(c.Get(&d2, 4), 12);
  EXPECT_EQ(c.Get(&b2, 12), 13);
  EXPECT_EQ(i2, i);
  EXPECT_EQ(d2, d);
  EXPECT_TRUE(b2);
}

TEST(ByteChunk, ReadsThatDoNotFitAnswerMinusOneAndChangeNothing)
{
  ByteChunk c;
  int v = 7;
  c.Put(&v);
  struct Case
  {
    int pos;
    int expected;
  };
  const Case cases[] = {{0, 4}, {1, -1}, {4, -1}, {-1, -1}, {-4, -1}, {1 << 30, -1}, {0x7fffffff, -1}};
  for (const Case& k : cases) {
    int out = 99;
    EXPECT_EQ(c.Get(&out, k.pos), k.expected) << k.pos;
    EXPECT_EQ(out, k.expected < 0 ? 99 : 7) << k.pos;
  }
  char buf[4];
  EXPECT_EQ(c.GetBytes(buf, -1, 0), -1);
  EXPECT_EQ(c.GetBytes(buf, 0, 4), 4); // zero bytes at the end fit
}

TEST(ByteChunk, NonZeroByteReadsAsTrue)
{
  ByteChunk c;
  unsigned char raw = 0x80;
  c.PutBytes(&raw, 1);
  bool b = false;
  EXPECT_EQ(c.Get(&b, 0), 1);
  EXPECT_TRUE(b);
}

TEST(ByteChunk, StringsAreLengthPrefixed)
{
  ByteChunk c;
  c.PutStr("abc");
  c.PutStr("");
  ASSERT_EQ(c.Size(), 4 + 3 + 4);
  WDL_String s("x");
  EXPECT_EQ(c.GetStr(&s, 0), 7);
  EXPECT_STREQ(s.Get(), "abc");
  EXPECT_EQ(c.GetStr(&s, 7), 11);
  EXPECT_STREQ(s.Get(), "");
}

TEST(ByteChunk, StringReadsRefuseBadLengths)
{
  struct Case
  {
    const char* what;
    int length;
    int bytesAfter;
  };
  const Case cases[] = {{"10 announced, 5 there", 10, 5}, {"negative length", -1, 8}, {"huge length", 0x7ffffff0, 8}};
  for (const Case& k : cases) {
    ByteChunk c;
    c.Put(&k.length);
    for (int i = 0; i < k.bytesAfter; ++i) c.PutBytes("z", 1);
    WDL_String s("kept");
    EXPECT_EQ(c.GetStr(&s, 0), -1) << k.what;
    EXPECT_STREQ(s.Get(), "kept") << k.what;
  }
  ByteChunk shortLength;
  shortLength.PutBytes("ab", 2);
  WDL_String s;
  EXPECT_EQ(shortLength.GetStr(&s, 0), -1);
}

TEST(ByteChunk, StringStopsAtAnEmbeddedNul)
{
  ByteChunk c;
  int length = 5;
  c.Put(&length);
  c.PutBytes("ab\0cd", 5);
  WDL_String s;
  EXPECT_EQ(c.GetStr(&s, 0), 9);
  EXPECT_STREQ(s.Get(), "ab");
}

TEST(ByteChunk, ResizeZeroFillsAndClearEmpties)
{
  ByteChunk c;
  c.PutBytes("xyz", 3);
  EXPECT_EQ(c.Resize(6), 6);
  EXPECT_EQ(c.GetBytes()[2], 'z');
  EXPECT_EQ(c.GetBytes()[5], 0);
  ByteChunk other;
  other.PutBytes("12", 2);
  EXPECT_EQ(c.PutChunk(&other), 8);
  EXPECT_EQ(c.GetBytes()[7], '2');
  c.Clear();
  EXPECT_EQ(c.Size(), 0);
  EXPECT_EQ(c.GetBytes(), nullptr);
  EXPECT_EQ(c.PutBytes(nullptr, 5), 0);
}

// A write that does not fit (here past a limit lowered to 16 bytes) appends nothing and marks the chunk
// failed until it is emptied, through later writes that fit and into copies of it.
TEST(ByteChunk, AWriteThatDoesNotFitMarksTheChunkUntilItIsEmptied)
{
  ByteChunk::SetMaxSize(16);
  ByteChunk c, copy;
  c.PutBytes("0123456789ab", 12);
  EXPECT_EQ(16, c.PutStr("ab")); // its length goes in, its bytes do not
  c.Resize(4);
  copy.PutChunk(&c);
  EXPECT_TRUE(c.Failed() && copy.Failed());
  copy.Empty();
  EXPECT_EQ(16, copy.PutBytes("0123456789abcdef", 16));
  EXPECT_FALSE(copy.Failed());
  ByteChunk::SetMaxSize(0);
}
