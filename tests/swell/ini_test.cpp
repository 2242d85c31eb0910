// INI-file emulation: round trips, the file format as read and written, the file cache, bad
// input, failed writes, and concurrent writers.
#include "swell/swell-ini.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class Ini : public ::testing::Test
{
protected:
  void SetUp() override
  {
    std::string pattern = (fs::temp_directory_path() / "veltrane-ini-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    mDir = pattern;
  }
  void TearDown() override { fs::remove_all(mDir); }

  std::string Path(const std::string& name) const { return mDir + "/" + name; }

  static void WriteFile(const std::string& path, const std::string& content)
  {
    std::ofstream(path, std::ios::binary) << content;
  }
  static std::string ReadFile(const std::string& path)
  {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static std::string Get(const char* section, const char* key, const std::string& file, const char* def = "<none>")
  {
    char buf[4096];
    const int n = GetPrivateProfileString(section, key, def, buf, sizeof(buf), file.c_str());
    EXPECT_EQ(n, int(std::strlen(buf)));
    return buf;
  }
  // A file with the given text, as the cache will see it (fresh name each time).
  std::string File(const std::string& content)
  {
    const std::string path = Path("f" + std::to_string(mFiles++) + ".ini");
    WriteFile(path, content);
    return path;
  }

  std::string mDir;
  int mFiles = 0;
};

std::string Bytes(const char* data, size_t n)
{
  return std::string(data, n);
}

// ---- round trips -------------------------------------------------------------------------------

TEST_F(Ini, WrittenValuesReadBackAndTheFileIsRewrittenSorted)
{
  const std::string f = Path("round.ini");
  EXPECT_EQ(WritePrivateProfileString("Zeta", "b", "2", f.c_str()), 1);
  EXPECT_EQ(WritePrivateProfileString("alpha", "y", "hello world", f.c_str()), 1);
  EXPECT_EQ(WritePrivateProfileString("Zeta", "A", "1", f.c_str()), 1);
  EXPECT_EQ(WritePrivateProfileString("zeta", "b", "3", f.c_str()), 1); // same section, same key
  EXPECT_EQ(Get("ZETA", "B", f), "3");
  EXPECT_EQ(Get("alpha", "y", f), "hello world");
  EXPECT_EQ(ReadFile(f), "[alpha]\ny=hello world\n\n[Zeta]\nA=1\nb=3\n\n");
}

TEST_F(Ini, DeletingKeysAndSections)
{
  const std::string f = Path("delete.ini");
  WritePrivateProfileString("s", "a", "1", f.c_str());
  WritePrivateProfileString("s", "b", "2", f.c_str());
  WritePrivateProfileString("t", "c", "3", f.c_str());
  EXPECT_EQ(WritePrivateProfileString("s", "a", nullptr, f.c_str()), 1);
  EXPECT_EQ(ReadFile(f), "[s]\nb=2\n\n[t]\nc=3\n\n");
  EXPECT_EQ(WritePrivateProfileString("T", nullptr, nullptr, f.c_str()), 1);
  EXPECT_EQ(ReadFile(f), "[s]\nb=2\n\n");
  EXPECT_EQ(WritePrivateProfileString("s", "b", nullptr, f.c_str()), 1);
  EXPECT_EQ(ReadFile(f), "[s]\n\n"); // an empty section stays
  // Deleting what is not there succeeds and writes nothing.
  const std::string none = Path("none.ini");
  EXPECT_EQ(WritePrivateProfileString("x", nullptr, nullptr, none.c_str()), 1);
  EXPECT_EQ(WritePrivateProfileString("x", "k", nullptr, none.c_str()), 1);
  EXPECT_FALSE(fs::exists(none));
}

TEST_F(Ini, WriteSectionReplacesTheWholeSection)
{
  const std::string f = Path("section.ini");
  WritePrivateProfileString("s", "old", "1", f.c_str());
  const char entries[] = "b=2\0no equals\0a=1\0b=3\0=empty key\0";
  EXPECT_EQ(WritePrivateProfileSection("S", entries, f.c_str()), 1);
  EXPECT_EQ(ReadFile(f), "[s]\na=1\nb=3\n\n"); // the empty key stays in the cache, not in the file
  EXPECT_EQ(Get("s", "", f), "empty key");
  EXPECT_EQ(WritePrivateProfileSection("s", "", f.c_str()), 1);
  EXPECT_EQ(ReadFile(f), "[s]\n\n");

  const std::string none = Path("none.ini");
  EXPECT_EQ(WritePrivateProfileSection("s", "", none.c_str()), 1);
  EXPECT_FALSE(fs::exists(none));
  EXPECT_EQ(WritePrivateProfileSection(nullptr, entries, f.c_str()), 0);
  EXPECT_EQ(WritePrivateProfileSection("s", entries, nullptr), 0);
}

TEST_F(Ini, WriteSectionCutsLongKeysButKeepsTheWholeValue)
{
  const std::string f = Path("longkey.ini");
  const std::string value(10000, 'v');
  const std::string entry = "k=" + value;
  const std::string entries = entry + '\0' + std::string(9000, 'x') + "=lost" + '\0' + '\0';
  EXPECT_EQ(WritePrivateProfileSection("s", entries.data(), f.c_str()), 1);
  EXPECT_EQ(Get("s", "k", f), value.substr(0, 4095)); // cut by the 4096-byte read buffer only
  char keys[16];
  EXPECT_EQ(GetPrivateProfileString("s", nullptr, "", keys, sizeof(keys), f.c_str()), 1);
  EXPECT_EQ(Bytes(keys, 3), Bytes("k\0\0", 3)); // the 9000-character string had no "=" in its first 8191
}

TEST_F(Ini, SectionListing)
{
  const std::string f = File("[s]\nab=cd\n");
  char out[16];
  EXPECT_EQ(GetPrivateProfileSection("s", out, 10, f.c_str()), 6u);
  EXPECT_EQ(Bytes(out, 7), Bytes("ab=cd\0\0", 7));
  EXPECT_EQ(GetPrivateProfileSection("missing", out, 10, f.c_str()), 0u);
  EXPECT_EQ(Bytes(out, 2), Bytes("\0\0", 2));
  out[0] = 'x';
  EXPECT_EQ(GetPrivateProfileSection("s", out, 1, f.c_str()), 0u);
  EXPECT_EQ(out[0], 0);
  out[0] = 'x';
  EXPECT_EQ(GetPrivateProfileSection("s", out, 0, f.c_str()), 0u);
  EXPECT_EQ(out[0], 'x');
  EXPECT_EQ(GetPrivateProfileSection("s", nullptr, 10, f.c_str()), 0u);
}

TEST_F(Ini, SectionEntriesAreCutToTheBuffer)
{
  const std::string f = File("[s]\nab=cd\nkey=\"quoted\"\n");
  const struct
  {
    unsigned int outSize, result;
    const char* bytes; // what the buffer starts with
    size_t length;     // bytes of it to compare
  } cases[] = {{32, 17, "ab=cd\0key=quoted\0\0", 18},
               {19, 17, "ab=cd\0key=quoted\0\0", 18},
               {18, 16, "ab=cd\0key=quote\0\0", 17},
               {12, 10, "ab=cd\0key=\0\0", 12},
               {4, 2, "ab\0\0", 4},
               {2, 0, "\0\0", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outSize);
    std::vector<char> out(c.outSize + 4, '#');
    EXPECT_EQ(GetPrivateProfileSection("s", out.data(), c.outSize, f.c_str()), c.result);
    EXPECT_EQ(Bytes(out.data(), c.length), Bytes(c.bytes, c.length));
    EXPECT_EQ(Bytes(out.data() + c.outSize, 4), "####");
  }
}

TEST_F(Ini, ListingSectionAndKeyNames)
{
  const std::string f = File("[b]\nz=1\nY=2\n[a]\n[]\nq=3\n");
  char out[64];
  EXPECT_EQ(GetPrivateProfileString(nullptr, "ignored", "def", out, sizeof(out), f.c_str()), 3);
  EXPECT_EQ(Bytes(out, 5), Bytes("a\0b\0\0", 5));
  EXPECT_EQ(GetPrivateProfileString("B", nullptr, "def", out, sizeof(out), f.c_str()), 3);
  EXPECT_EQ(Bytes(out, 5), Bytes("Y\0z\0\0", 5));
  EXPECT_EQ(GetPrivateProfileString("a", nullptr, "def", out, sizeof(out), f.c_str()), 0);
  EXPECT_EQ(Bytes(out, 2), Bytes("\0\0", 2));
  EXPECT_EQ(GetPrivateProfileString(nullptr, nullptr, "def", out, 3, f.c_str()), 1); // cut: "a", two NULs
  EXPECT_EQ(Bytes(out, 3), Bytes("a\0\0", 3));
  out[0] = 'x';
  EXPECT_EQ(GetPrivateProfileString(nullptr, nullptr, "def", out, 1, f.c_str()), 0);
  EXPECT_EQ(out[0], 0);
}

TEST_F(Ini, StructsAreHexWithAChecksum)
{
  const std::string f = Path("struct.ini");
  const unsigned char bytes[] = {0x01, 0xFF};
  EXPECT_EQ(WritePrivateProfileStruct("s", "k", bytes, 2, f.c_str()), 1);
  EXPECT_EQ(Get("s", "k", f), "01FF00");
  EXPECT_EQ(WritePrivateProfileStruct("s", "empty", bytes, 0, f.c_str()), 1);
  EXPECT_EQ(Get("s", "empty", f), "00");

  const std::string g = File("[s]\nlower=01ff00\nbadsum=01FF01\nshort=01FF\nbaddigit=01FG00\n");
  unsigned char out[2] = {0, 0};
  EXPECT_EQ(GetPrivateProfileStruct("s", "lower", out, 2, g.c_str()), 1);
  EXPECT_EQ(out[0], 0x01);
  EXPECT_EQ(out[1], 0xFF);
  EXPECT_EQ(GetPrivateProfileStruct("s", "badsum", out, 2, g.c_str()), 0);
  EXPECT_EQ(GetPrivateProfileStruct("s", "short", out, 2, g.c_str()), 0);
  EXPECT_EQ(GetPrivateProfileStruct("s", "baddigit", out, 2, g.c_str()), 0);
  EXPECT_EQ(GetPrivateProfileStruct("s", "missing", out, 2, g.c_str()), 0);
  EXPECT_EQ(GetPrivateProfileStruct("s", "lower", out, 3, g.c_str()), 0);
  EXPECT_EQ(GetPrivateProfileStruct(nullptr, "lower", out, 2, g.c_str()), 0);
  EXPECT_EQ(GetPrivateProfileStruct("s", "lower", nullptr, 2, g.c_str()), 0);
  EXPECT_EQ(GetPrivateProfileStruct("s", "lower", out, -1, g.c_str()), 0);
}

TEST_F(Ini, StructRoundTripOfRandomBytes)
{
  const std::string f = Path("random.ini");
  std::mt19937 rng(99);
  std::vector<unsigned char> data(300), back(300);
  for (auto& b : data) b = static_cast<unsigned char>(rng());
  EXPECT_EQ(WritePrivateProfileStruct("s", "blob", data.data(), int(data.size()), f.c_str()), 1);
  EXPECT_EQ(GetPrivateProfileStruct("s", "blob", back.data(), int(back.size()), f.c_str()), 1);
  EXPECT_EQ(back, data);
  // Null key or data pass on to the delete forms.
  EXPECT_EQ(WritePrivateProfileStruct("s", "blob", nullptr, 3, f.c_str()), 1);
  EXPECT_EQ(Get("s", "blob", f), "<none>");
  EXPECT_EQ(WritePrivateProfileStruct("s", nullptr, nullptr, 0, f.c_str()), 1);
  EXPECT_EQ(ReadFile(f), "");
}

TEST_F(Ini, Integers)
{
  const std::string f = File("[n]\na=12\nb=0\nc=abc\nd=-0\ne=0x10\nf= -7 \ng=99999999999\nh=\"42\"\ni=\n");
  const struct
  {
    const char* key;
    int expected;
  } cases[] = {{"a", 12}, {"b", 0},          {"c", -1}, {"d", -1}, {"e", 0},
               {"f", -7}, {"g", 2147483647}, {"h", 42}, {"i", -1}, {"missing", -1}};
  for (const auto& c : cases) EXPECT_EQ(GetPrivateProfileInt("n", c.key, -1, f.c_str()), c.expected) << c.key;
}

// ---- the file format as read -------------------------------------------------------------------

TEST_F(Ini, ValuesReadAsTheFileStoresThem)
{
  // Blanks before "=" belong to the key; blanks around the value are dropped on reading.
  const struct
  {
    const char* file;
    const char* section;
    const char* key;
    const char* expected; // "<none>": the default
  } cases[] = {{"[s]\nkey = value\n", "s", "key ", "value"},
               {"[s]\nkey = value\n", "s", "key", "<none>"},
               {"[s]\n  \tkey=v\n", "s", "key", "v"},
               {"[s]\nk=a=b\n", "s", "k", "a=b"},
               {"[s]\nk=v\r\n", "s", "k", "v"},
               {"[s]\r\nk=v \t \r\n", "s", "k", "v"},
               {"[s]\nk=v", "s", "k", "v"}, // no line end at the end of the file
                                            // one pair of equal enclosing quotes is removed
               {"[s]\nk=\"quoted\"\n", "s", "k", "quoted"},
               {"[s]\nk='single'\n", "s", "k", "single"},
               {"[s]\nk= ' padded ' \n", "s", "k", " padded "},
               {"[s]\nk=\"\n", "s", "k", "\""},
               {"[s]\nk=\"mixed'\n", "s", "k", "\"mixed'"},
               {"[s]\nk=\"\"\n", "s", "k", ""},
               {"[s]\nk=\"a\"b\"\n", "s", "k", "a\"b"},
               // no comment syntax: ";note=x" is a key
               {"[s]\n;note=x\n", "s", ";note", "x"},
               {"[s]\n; note\nk=1\n", "s", "k", "1"},
               // headers
               {"k=1\n[s]\nk=2\n", "s", "k", "2"},
               {"[s]\n[broken\nk=3\n", "s", "k", "3"},
               {"[ name with blanks ]rest\nk=4\n", " name with blanks ", "k", "4"},
               {"[s]\n[]\nk=5\n", "s", "k", "<none>"},
               {"[s]\n=x\n", "s", "", "<none>"},
               {"  [s]  \nk=6\n", "S", "K", "6"},
               // a repeated header starts the section afresh; of equal keys the later one is kept
               {"[A]\nx=1\ny=2\n[a]\ny=3\n", "a", "x", "<none>"},
               {"[A]\nx=1\ny=2\n[a]\ny=3\n", "A", "y", "3"},
               {"[s]\nk=first\nK=second\n", "s", "k", "second"}};
  for (const auto& c : cases) EXPECT_EQ(Get(c.section, c.key, File(c.file)), c.expected) << c.file;
}

TEST_F(Ini, RepeatedHeaderKeepsTheFirstSpelling)
{
  const std::string f = File("[Abc]\nx=1\n[aBC]\ny=2\n");
  char out[16];
  EXPECT_EQ(GetPrivateProfileString(nullptr, nullptr, "", out, sizeof(out), f.c_str()), 3);
  EXPECT_EQ(Bytes(out, 5), Bytes("Abc\0\0", 5));
}

TEST_F(Ini, OnlyTheFirst262144BytesMayPrecedeTheFirstSection)
{
  const std::string line(1023, 'x');
  std::string preamble;
  for (int i = 0; i < 255; ++i) preamble += line + "\n";                             // 261120 bytes
  const std::string fits = File(preamble + std::string(1000, 'y') + "\n[s]\nk=1\n"); // 262121 + 4 = 262125
  EXPECT_EQ(Get("s", "k", fits), "1");
  const std::string tooLong = File(preamble + std::string(1020, 'y') + "\n[s]\nk=1\n"); // 262141 + 4 > 262144
  EXPECT_EQ(Get("s", "k", tooLong), "<none>");
  // After the first section, any amount may follow.
  const std::string later = File("[a]\n" + preamble + preamble + "[s]\nk=2\n");
  EXPECT_EQ(Get("s", "k", later), "2");
}

// ---- bad input ---------------------------------------------------------------------------------

TEST_F(Ini, MissingFilesReadAsEmpty)
{
  const std::string f = Path("does/not/exist.ini");
  EXPECT_EQ(Get("s", "k", f, "fallback"), "fallback");
  EXPECT_EQ(GetPrivateProfileInt("s", "k", 77, f.c_str()), 77);
  char out[8] = "xxxxxxx";
  EXPECT_EQ(GetPrivateProfileString(nullptr, nullptr, "", out, sizeof(out), f.c_str()), 0);
  EXPECT_EQ(Bytes(out, 2), Bytes("\0\0", 2));
  EXPECT_EQ(GetPrivateProfileSection("s", out, sizeof(out), f.c_str()), 0u);
  unsigned char data[4];
  EXPECT_EQ(GetPrivateProfileStruct("s", "k", data, 4, f.c_str()), 0);
}

TEST_F(Ini, BadArguments)
{
  const std::string f = Path("args.ini");
  EXPECT_EQ(WritePrivateProfileString(nullptr, "k", "v", f.c_str()), 0);
  EXPECT_EQ(WritePrivateProfileString("s", "", "v", f.c_str()), 0);
  EXPECT_EQ(WritePrivateProfileString("s", "k", "v", nullptr), 0);
  EXPECT_FALSE(fs::exists(f));
  EXPECT_EQ(Get("s", "k", "", "d"), "d");
  char out[4] = "abc";
  EXPECT_EQ(GetPrivateProfileString("s", "k", "def", nullptr, 4, f.c_str()), 0);
  EXPECT_EQ(GetPrivateProfileString("s", "k", nullptr, out, sizeof(out), f.c_str()), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(GetPrivateProfileString("s", "k", "default", out, sizeof(out), f.c_str()), 3);
  EXPECT_STREQ(out, "def");
}

TEST_F(Ini, OutputSizeBelowOneWritesNothingAndReturnsZero)
{
  const std::string f = File("[s]\nk=value\n");
  char out[8] = "keep";
  for (int size : {0, -1, -100}) {
    EXPECT_EQ(GetPrivateProfileString("s", "k", "def", out, size, f.c_str()), 0) << size;
    EXPECT_EQ(GetPrivateProfileString("s", "missing", "def", out, size, f.c_str()), 0) << size;
    EXPECT_EQ(GetPrivateProfileString(nullptr, nullptr, "def", out, size, f.c_str()), 0) << size;
    EXPECT_STREQ(out, "keep");
  }
  EXPECT_EQ(GetPrivateProfileString("s", "k", "def", out, 1, f.c_str()), 0);
  EXPECT_STREQ(out, "");
}

TEST_F(Ini, HugeLinesAreReadInPiecesWithoutHarm)
{
  constexpr int kPiece = 33554432;
  const std::string f = Path("huge.ini");
  {
    std::ofstream out(f, std::ios::binary);
    out << "[s]\nk=" << std::string(kPiece + 1000, 'v') << "\nafter=1\n";
  }
  std::vector<char> buf(kPiece + 16);
  EXPECT_EQ(GetPrivateProfileString("s", "k", "", buf.data(), int(buf.size()), f.c_str()), kPiece - 2);
  EXPECT_EQ(Get("s", "after", f), "1"); // the rest of the long line, without "=", was ignored
}

TEST_F(Ini, BinaryJunkDoesNotCrash)
{
  std::mt19937 rng(5);
  std::string junk(200000, '\0');
  for (char& c : junk) c = char(rng() % 7 == 0 ? '\n' : rng() % 5 == 0 ? '=' : rng() % 9 == 0 ? '[' : rng());
  const std::string f = File("[s]\nk=1\n" + junk + "\n[t]\nk=2\n");
  char out[4096];
  GetPrivateProfileString(nullptr, nullptr, "", out, sizeof(out), f.c_str());
  GetPrivateProfileSection("s", out, sizeof(out), f.c_str());
  EXPECT_EQ(WritePrivateProfileString("t", "k", "3", f.c_str()), 1);
  EXPECT_EQ(Get("t", "k", f), "3");
}

// ---- failed writes ------------------------------------------------------------------------------

TEST_F(Ini, WriteGoesThroughTheTemporaryFileAndFailsWhenItCannotBeCreated)
{
  const std::string f = File("[s]\nk=old\n");
  fs::create_directory(Path(".f0.ini.new")); // where the temporary file must go
  EXPECT_EQ(WritePrivateProfileString("s", "k", "new", f.c_str()), 0);
  EXPECT_EQ(ReadFile(f), "[s]\nk=old\n");
  EXPECT_EQ(Get("s", "k", f), "old"); // the cache does not pretend the write happened
  fs::remove(Path(".f0.ini.new"));
  EXPECT_EQ(WritePrivateProfileString("s", "k", "new", f.c_str()), 1);
  EXPECT_EQ(ReadFile(f), "[s]\nk=new\n\n");
  EXPECT_FALSE(fs::exists(Path(".f0.ini.new")));
}

TEST_F(Ini, WriteFailsWhenTheRenameFails)
{
  const std::string f = Path("dir.ini");
  fs::create_directories(f + "/occupied"); // a non-empty directory cannot be replaced by a file
  EXPECT_EQ(WritePrivateProfileString("s", "k", "v", f.c_str()), 0);
  EXPECT_FALSE(fs::exists(Path(".dir.ini.new")));
  EXPECT_EQ(Get("s", "k", f), "<none>");
  EXPECT_EQ(WritePrivateProfileSection("s", "a=1\0", f.c_str()), 0);
  const unsigned char b = 1;
  EXPECT_EQ(WritePrivateProfileStruct("s", "k", &b, 1, f.c_str()), 0);
}

TEST_F(Ini, WriteFailsInAMissingFolder)
{
  const std::string f = Path("missing/x.ini");
  EXPECT_EQ(WritePrivateProfileString("s", "k", "v", f.c_str()), 0);
  EXPECT_EQ(Get("s", "k", f), "<none>");
}

// ---- the file cache -----------------------------------------------------------------------------

void SetModificationTime(const std::string& path, time_t seconds)
{
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

time_t ModificationTime(const std::string& path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

TEST_F(Ini, WritingTheStoredValueLeavesTheFileUntouched)
{
  const std::string f = File("; comment\n[s]\nk=v\n");
  SetModificationTime(f, 1000000000);
  EXPECT_EQ(WritePrivateProfileString("s", "k", "v", f.c_str()), 1);
  EXPECT_EQ(ModificationTime(f), 1000000000);
  EXPECT_EQ(ReadFile(f), "; comment\n[s]\nk=v\n");
  EXPECT_EQ(WritePrivateProfileString("s", "k", "V", f.c_str()), 1); // values compare with case
  EXPECT_NE(ModificationTime(f), 1000000000);
  EXPECT_EQ(ReadFile(f), "[s]\nk=V\n\n");
}

TEST_F(Ini, ChangesOnDiskAreSeenWhenSizeOrSecondDiffer)
{
  const std::string f = File("[s]\nk=1\n");
  SetModificationTime(f, 1000000000);
  EXPECT_EQ(Get("s", "k", f), "1");
  WriteFile(f, "[s]\nk=2\n"); // same size, and the same second restored: not noticed
  SetModificationTime(f, 1000000000);
  EXPECT_EQ(Get("s", "k", f), "1");
  SetModificationTime(f, 1000000001);
  EXPECT_EQ(Get("s", "k", f), "2");
  WriteFile(f, "[s]\nk=33\n"); // another size
  SetModificationTime(f, 1000000001);
  EXPECT_EQ(Get("s", "k", f), "33");
  fs::remove(f);
  EXPECT_EQ(Get("s", "k", f), "<none>");
}

TEST_F(Ini, FileNamesDifferingInCaseAreDifferentFiles)
{
  const std::string lower = Path("case.ini"), upper = Path("CASE.ini");
  WritePrivateProfileString("s", "k", "lower", lower.c_str());
  WritePrivateProfileString("s", "k", "upper", upper.c_str());
  EXPECT_EQ(Get("s", "k", lower), "lower");
  EXPECT_EQ(ReadFile(upper), "[s]\nk=upper\n\n");
}

TEST_F(Ini, The33rdFileEvictsTheLeastRecentlyUsed)
{
  constexpr time_t kSecond = 1000000000;
  std::vector<std::string> files;
  for (int i = 0; i < 32; ++i) {
    files.push_back(File("[s]\nk=old\n"));
    SetModificationTime(files.back(), kSecond);
    EXPECT_EQ(Get("s", "k", files.back()), "old");
  }
  // Change every file unnoticeably (same size, same second): only a reload shows the change.
  for (const std::string& f : files) {
    WriteFile(f, "[s]\nk=new\n");
    SetModificationTime(f, kSecond);
  }
  EXPECT_EQ(Get("s", "k", files[0]), "old");         // cached, and now the most recently used
  EXPECT_EQ(Get("s", "k", File("[s]\nk=x\n")), "x"); // evicts files[1]
  EXPECT_EQ(Get("s", "k", files[1]), "new");         // reloaded, evicting files[2]
  EXPECT_EQ(Get("s", "k", files[0]), "old");
  EXPECT_EQ(Get("s", "k", files[3]), "old");
  EXPECT_EQ(Get("s", "k", files[2]), "new");
}

// ---- concurrent writers -------------------------------------------------------------------------

bool WellFormed(const std::string& text, std::string* bad)
{
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const bool header = line.size() >= 2 && line.front() == '[' && line.back() == ']';
    const bool entry = line.find('=') != std::string::npos && line.front() != '=';
    if (!line.empty() && !header && !entry) {
      *bad = line;
      return false;
    }
  }
  return true;
}

TEST_F(Ini, ThreadsWritingOneFileLoseNothing)
{
  const std::string f = Path("threads.ini");
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const std::string section = "t" + std::to_string(t);
      for (int i = 0; i < 40; ++i) {
        const std::string key = "k" + std::to_string(i);
        if (!WritePrivateProfileString(section.c_str(), key.c_str(), std::to_string(i * t).c_str(), f.c_str()))
          ++failures;
        if (Get(section.c_str(), key.c_str(), f) != std::to_string(i * t)) ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures, 0);
  const std::string text = ReadFile(f);
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 40; ++i)
      EXPECT_NE(text.find("k" + std::to_string(i) + "=" + std::to_string(i * t) + "\n"), std::string::npos);
}

TEST_F(Ini, ProcessesWritingOneFileNeverLeaveItTornOrMissing)
{
  const std::string f = Path("shared.ini");
  ASSERT_EQ(WritePrivateProfileString("common", "sentinel", "present", f.c_str()), 1);
  std::vector<pid_t> children;
  for (int c = 0; c < 3; ++c) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int bad = 0;
      const std::string section = "p" + std::to_string(c);
      for (int i = 0; i < 60; ++i) {
        const std::string key = "key" + std::to_string(i), value(size_t(1 + (i * 37 + c) % 50), char('a' + c));
        if (WritePrivateProfileString(section.c_str(), key.c_str(), value.c_str(), f.c_str()) != 1) ++bad;
      }
      _exit(bad ? 1 : 0);
    }
    children.push_back(pid);
  }
  // Meanwhile this process reads: every version of the file it sees is whole.
  int missing = 0;
  for (int i = 0; i < 300; ++i)
    if (Get("common", "sentinel", f) != "present") ++missing;
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer reported a failed write";
  }
  EXPECT_EQ(missing, 0);
  std::string bad;
  EXPECT_TRUE(WellFormed(ReadFile(f), &bad)) << bad;
  EXPECT_FALSE(fs::exists(Path(".shared.ini.new")));
  EXPECT_EQ(Get("common", "sentinel", f), "present");
}

// A writer waiting for the temporary file loses a round each time another process renames that file away (its
// write done); losing 150 rounds in a row, it still writes.
TEST_F(Ini, AWriterThatLosesManyRoundsStillWrites)
{
  const std::string f = Path("busy.ini"), temporary = Path(".busy.ini.new");
  int held = open(temporary.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    close(held); // the lock stays with the parent's descriptor alone
    alarm(60);
    _exit(WritePrivateProfileString("s", "k", "v", f.c_str()) == 1 ? 0 : 1);
  }
  auto waiting = [pid](int fd) { // whether the writer comes to wait for fd's lock within 10 s, as /proc/locks says
    struct stat st;
    const std::string who = "-> FLOCK  ADVISORY  WRITE " + std::to_string(pid) + " ";
    for (int ms = 0; ms < 10000 && fstat(fd, &st) == 0; ++ms, usleep(1000)) {
      std::ifstream locks("/proc/locks");
      for (std::string line; std::getline(locks, line);)
        if (line.find(who) != line.npos && line.find(":" + std::to_string(st.st_ino) + " ") != line.npos) return true;
    }
    return false;
  };
  int rounds = 0;
  for (; rounds < 150 && waiting(held); ++rounds) { // another writer's file written, the next one's being written
    const int next = open(Path("next").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_TRUE(flock(next, LOCK_EX) == 0 && std::rename(temporary.c_str(), Path("done").c_str()) == 0 &&
                std::rename(Path("next").c_str(), temporary.c_str()) == 0);
    close(held);
    held = next;
  }
  close(held);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(rounds == 150 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << rounds << " rounds lost";
  EXPECT_EQ(Get("s", "k", f), "v");
}

} // namespace
