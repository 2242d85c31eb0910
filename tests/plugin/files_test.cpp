// Program (.fxp) and bank (.fxb) files: the bytes written, all four variants read, and damaged, short or
// foreign files refused without touching the plug-in's state.
#include "PlugHarness.h"
#include "fileerror.h"
#include "filewrite.h"
#include "../support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <grp.h>
#include <numeric>
#include <set>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::string TempFile(const char* name)
{
  return std::string(::testing::TempDir()) + "/plugin_files_" + std::to_string(getpid()) + "_" + name;
}

Bytes ReadAll(const std::string& path)
{
  Bytes b;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return b;
  int c;
  while ((c = std::fgetc(f)) != EOF) b.push_back((unsigned char)c);
  std::fclose(f);
  return b;
}

void WriteAll(const std::string& path, const Bytes& b)
{
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f);
  std::fclose(f);
}

uint32_t BE(const Bytes& b, size_t at)
{
  return ((uint32_t)b[at] << 24) | ((uint32_t)b[at + 1] << 16) | ((uint32_t)b[at + 2] << 8) | b[at + 3];
}

void PutBE(Bytes* b, uint32_t v)
{
  for (int s = 24; s >= 0; s -= 8) b->push_back((unsigned char)(v >> s));
}

void PutTag(Bytes* b, const char* t)
{
  for (int i = 0; i < 4; ++i) b->push_back((unsigned char)t[i]);
}

void PutName(Bytes* b, const char* name)
{
  unsigned char field[28] = {};
  std::memcpy(field, name, std::min<size_t>(28, std::strlen(name)));
  b->insert(b->end(), field, field + 28);
}

void PutFloat(Bytes* b, float f)
{
  uint32_t u;
  std::memcpy(&u, &f, 4);
  PutBE(b, u);
}

// A program record in the parameter variant, as another plug-in or an older version would write it.
Bytes FxCkRecord(uint32_t id, const char* name, const std::vector<float>& values, uint32_t formatVersion = 1)
{
  Bytes b;
  PutTag(&b, "CcnK");
  PutBE(&b, 0);
  PutTag(&b, "FxCk");
  PutBE(&b, formatVersion);
  PutBE(&b, id);
  PutBE(&b, 1);
  PutBE(&b, (uint32_t)values.size());
  PutName(&b, name);
  for (float v : values) PutFloat(&b, v);
  return b;
}

Bytes FxBkFile(uint32_t id, int current, const std::vector<Bytes>& records)
{
  Bytes b;
  PutTag(&b, "CcnK");
  PutBE(&b, 0);
  PutTag(&b, "FxBk");
  PutBE(&b, 2);
  PutBE(&b, id);
  PutBE(&b, 1);
  PutBE(&b, (uint32_t)records.size());
  PutBE(&b, (uint32_t)current);
  b.resize(156, 0);
  for (const Bytes& r : records) b.insert(b.end(), r.begin(), r.end());
  return b;
}

const uint32_t kBareID = VstFourCC('b', 'a', 'r', 'e');

struct Snapshot
{
  std::vector<double> values;
  std::vector<std::string> names;
  int current;
};

Snapshot Take(IPlugBase& p)
{
  Snapshot s;
  for (int i = 0; i < p.NParams(); ++i) s.values.push_back(p.GetParam(i)->Value());
  for (int i = 0; i < p.NPresets(); ++i) s.names.push_back(p.GetPresetName(i));
  s.current = p.GetCurrentPresetIdx();
  return s;
}

void ExpectSame(const Snapshot& a, const Snapshot& b, const char* what)
{
  EXPECT_EQ(a.values, b.values) << what;
  EXPECT_EQ(a.names, b.names) << what;
  EXPECT_EQ(a.current, b.current) << what;
}

// user::rw- user:1000:rw- group::r-- mask::rw- other::r--, as the kernel stores an access ACL.
const uint32_t kAcl[] = {2, 0x60001, ~0u, 0x60002, 1000, 0x40004, ~0u, 0x60010, ~0u, 0x40020, ~0u};

// Which of the extended attributes that saves must keep a file has: "{name ...}".
std::string Attributes(const std::filesystem::path& path)
{
  std::string out;
  for (const char* name : {"security.veltrane", "system.posix_acl_access", "user.comment"})
    if (lgetxattr(path.c_str(), name, nullptr, 0) >= 0) out += std::string(out.empty() ? "{" : " ") + name;
  return out.empty() ? out : out + "}";
}

} // namespace

// Notes what the saved path holds at each flush of a save in a child (linked before the C library's fsync), and
// fails the flushes when told to (as a failing disk would, with EIO); g_seen takes the name of a temporary file
// in the folder g_watch; g_beside makes the first flush save "beside" to g_saved meanwhile, noting "(saved)" or
// "(failed)".
static std::string g_saved, g_flushes, g_watch, g_seen;
static bool g_failFlushes, g_beside;
extern "C" int fsync(int fd)
{
  const Bytes now = ReadAll(g_saved);
  if (!g_saved.empty()) g_flushes += "[" + std::string(now.begin(), now.end()) + "]";
  if (g_beside) {
    g_beside = false;
    g_flushes += WDL_WriteWholeFile(g_saved.c_str(), "beside", 6) ? "(saved)" : "(failed)";
  }
  std::error_code ec;
  if (!g_watch.empty())
    for (const auto& e : std::filesystem::directory_iterator(g_watch, ec))
      if (e.path().extension() == ".part") g_seen = e.path().filename();
  if (g_failFlushes) {
    errno = EIO;
    return -1;
  }
  return (int)syscall(SYS_fsync, fd);
}

TEST(ProgramFileWriting, ChunkVariantHeaderAndSizes)
{
  BarePlug p(124, 2, true); // state: 8-byte header + 124 doubles = 1000 bytes
  p.MakeDefaultPreset("My Program", 2);
  p.RestorePreset(0);
  WDL_String path(TempFile("p.fxp").c_str());
  ASSERT_TRUE(p.SaveProgramAsFXP(&path));
  Bytes f = ReadAll(path.Get());
  ASSERT_EQ(f.size(), 1060u);
  EXPECT_EQ(std::memcmp(&f[0], "CcnK", 4), 0);
  EXPECT_EQ(BE(f, 4), 0x424u); // 1060: the whole file
  EXPECT_EQ(std::memcmp(&f[8], "FPCh", 4), 0);
  EXPECT_EQ(BE(f, 12), 1u);
  EXPECT_EQ(std::memcmp(&f[16], "bare", 4), 0);
  EXPECT_EQ(BE(f, 20), 10001u);
  EXPECT_EQ(BE(f, 24), 124u);
  EXPECT_STREQ(reinterpret_cast<const char*>(&f[28]), "My Program");
  EXPECT_EQ(BE(f, 56), 0x3E8u);
  EXPECT_EQ(std::memcmp(&f[60], "tffp", 4), 0); // the framework header, little-endian
  std::remove(path.Get());
}

TEST(ProgramFileWriting, BankChunkVariantHeaderAndSizes)
{
  BarePlug p(3, 4, true);
  p.MakePreset("a", 0.1, 0.2, 0.3);
  p.EnsureDefaultPreset();
  p.RestorePreset(2);
  WDL_String path(TempFile("b.fxb").c_str());
  ASSERT_TRUE(p.SaveBankAsFXB(&path));
  Bytes f = ReadAll(path.Get());
  ByteChunk bank;
  IPlugBase::InitChunkWithIPlugVer(&bank);
  p.SerializePresets(&bank);
  ASSERT_EQ(f.size(), (size_t)bank.Size() + 160);
  EXPECT_EQ(BE(f, 4), f.size());
  EXPECT_EQ(std::memcmp(&f[8], "FBCh", 4), 0);
  EXPECT_EQ(BE(f, 12), 2u);
  EXPECT_EQ(BE(f, 24), 4u);
  EXPECT_EQ(BE(f, 28), 2u);
  for (size_t i = 32; i < 156; ++i) ASSERT_EQ(f[i], 0) << i;
  EXPECT_EQ(BE(f, 156), (uint32_t)bank.Size());
  EXPECT_EQ(std::memcmp(&f[160], bank.GetBytes(), bank.Size()), 0);
  std::remove(path.Get());
}

TEST(ProgramFileWriting, ParameterVariantsForPluginsWithoutChunks)
{
  BarePlug p(2, 2, false);
  p.MakePreset("first", 0.25, 0.5);
  p.MakePreset("second", 1.0, 0.0);
  p.RestorePreset(0);
  WDL_String fxp(TempFile("v.fxp").c_str()), fxb(TempFile("v.fxb").c_str());
  ASSERT_TRUE(p.SaveProgramAsFXP(&fxp));
  ASSERT_TRUE(p.SaveBankAsFXB(&fxb));
  Bytes f = ReadAll(fxp.Get());
  ASSERT_EQ(f.size(), 56u + 8u);
  EXPECT_EQ(BE(f, 4), 0u);
  EXPECT_EQ(std::memcmp(&f[8], "FxCk", 4), 0);
  EXPECT_EQ(BE(f, 56), 0x3E800000u); // 0.25f
  EXPECT_EQ(BE(f, 60), 0x3F000000u); // 0.5f
  Bytes b = ReadAll(fxb.Get());
  ASSERT_EQ(b.size(), 156u + 2 * 64u);
  EXPECT_EQ(std::memcmp(&b[8], "FxBk", 4), 0);
  EXPECT_EQ(std::memcmp(&b[156 + 64 + 8], "FxCk", 4), 0);
  EXPECT_STREQ(reinterpret_cast<const char*>(&b[156 + 64 + 28]), "second");
  EXPECT_EQ(BE(b, 156 + 64 + 56), 0x3F800000u); // 1.0f
  std::remove(fxp.Get());
  std::remove(fxb.Get());
}

TEST(ProgramFileWriting, LongNamesAreCutTo27Characters)
{
  BarePlug p(1, 1, true);
  p.MakeDefaultPreset("abcdefghijklmnopqrstuvwxyz0123456789", 1);
  WDL_String path(TempFile("n.fxp").c_str());
  ASSERT_TRUE(p.SaveProgramAsFXP(&path));
  Bytes f = ReadAll(path.Get());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[28])), "abcdefghijklmnopqrstuvwxyz0");
  std::remove(path.Get());
}

TEST(ProgramFileWriting, FailedWritesReportAndLeaveNoFile)
{
  BarePlug p(1, 1, true);
  WDL_String empty(""), missingDir("/nonexistent-dir/x.fxp"), full("/dev/full");
  EXPECT_FALSE(p.SaveProgramAsFXP(&empty));
  EXPECT_FALSE(p.SaveBankAsFXB(&empty));
  EXPECT_FALSE(p.SaveProgramAsFXP(&missingDir));
  EXPECT_FALSE(p.SaveBankAsFXB(&missingDir));
  EXPECT_FALSE(p.SaveProgramAsFXP(nullptr));
  // Not as root, whose save would replace the device if it took it for a file: the rows below try one as a user.
  struct stat st;
  if (getuid() != 0 && stat("/dev/full", &st) == 0) {
    EXPECT_FALSE(p.SaveProgramAsFXP(&full)); // the device refuses the write
    EXPECT_FALSE(p.SaveBankAsFXB(&full));
    EXPECT_EQ(stat("/dev/full", &st), 0);
  }
  WDL_String dir(::testing::TempDir().c_str());
  EXPECT_FALSE(p.SaveProgramAsFXP(&dir));

  // Saves over "old" in a child as an ordinary user (permissions do not bind root), files up to `limit` bytes (0:
  // any): the error, the saved path's bytes at each flush, the folder " name:mode:bytes{attributes}" (a link's mode
  // is 777). Each folder holds leftovers of saves: a live one (locked by another process, its PID not running
  // here), a dead one and a user's files named nearly alike; `cleared` rows have the dead one removed.
  struct Row { const char* what; mode_t file, dir; const char* kind; rlim_t limit; int err; const char* flushes;
               bool cleared; const char* folder; };
  const Row rows[] = { // kind: see `has` below
    {"replaced", 0666, 0777, "", 0, 0, "[old][saved]", true, " f:666:saved"},
    {"cut short", 0666, 0777, "", 2, EFBIG, "", false, " f:666:old"},
    {"write-protected", 0444, 0777, "", 0, EACCES, "", false, " f:444:old"},
    {"in place, cut short", 0666, 0555, "", 2, EFBIG, "", false, " f:666:old"},
    {"hard link", 0666, 0777, "h", 0, 0, "[saved]", true, " f:666:saved g:666:saved"},
    {"hard link, cut short", 0666, 0777, "h", 2, EFBIG, "", false, " f:666:old g:666:old"},
    {"root's", 0666, 0777, "r", 0, 0, "[saved]", true, " f:666:saved"},
    {"dangling link", 0666, 0777, "t", 0, 0, "[][saved]", false, " f:666:old l:777:saved t:644:saved"},
    {"link loop", 0666, 0777, "l", 0, ELOOP, "", false, " f:666:old l:777:"},
    {"pipe", 0666, 0777, "p", 0, WDL_ENOTREGULAR, "", false, " f:666:"},
    {"folder", 0755, 0777, "d", 0, WDL_ENOTREGULAR, "", false, " f:755:"},
    {"device", 0666, 0777, "n", 0, WDL_ENOTREGULAR, "", false, " f:666:old l:777:"},
    {"ACL and attribute", 0664, 0777, "x", 0, 0, "[old][saved]", true,
     " f:664:saved{system.posix_acl_access user.comment}"},
    {"attribute the user may not set", 0666, 0777, "s", 0, 0, "[saved]", true, " f:666:saved{security.veltrane}"},
    {"flush fails", 0666, 0777, "F", 0, EIO, "[old]", true, " f:666:old"},
    // Putting back the old bytes meets the limit, which the saved ones kept within: what lies past it is lost.
    {"in place, flush fails, old bytes past the limit", 0666, 0777, "hFL", 7, EIO, "[saved]", true,
     " f:666:old byt g:666:old byt"},
    {"folder with a default ACL", 0666, 0777, "D", 0, 0, "[old][saved]", true, " f:666:saved"},
    {"another save meanwhile", 0666, 0777, "N", 0, 0, "[old][old][beside](saved)[saved]", true, " f:666:saved"},
    {"disk full", 0666, 0777, "S", 0, ENOSPC, "", true, " f:666:old"},
    {"disk full, in place", 0666, 0777, "Sh", 0, 0, "[saved]", true, " f:666:saved g:666:saved"},
  };
  auto save = [](const Row& row, const TempDir& t) {
    alarm(30); // a save that blocks fails the row
    umask(022);
    // 'h' a hard link g, 'r' root's file, 't' or 'l' a link l to it, 'n' a link l to /dev/full, 'p' or 'd' f is a
    // pipe or a folder, 'x' f has a user attribute and an ACL, 's' an attribute only root may set, 'D' the folder
    // gives new files an ACL, 'F' flushes fail, 'N' another save to f starts at the first flush, 'L' longer old
    // bytes, 'S' the folder is a full file system.
    auto has = [&row](char kind) { return std::strchr(row.kind, kind) != nullptr; };
    const bool mounted = !has('S') || (unshare(CLONE_NEWNS) == 0 &&
                                       mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                                       mount("tmpfs", t.dir().c_str(), "tmpfs", 0, "size=64k") == 0);
    const std::string f = t.write("f", has('L') ? "old bytes" : "old"), l = t.path("l");
    for (const char* left : {".f.1-0.part", ".f.9999999-0.part", ".f.09999999-0.part", ".f.1-0.parts", ".f_1-0.part"})
      t.write(left, "");
    // Held by an open file of its own, as a save in another process (or PID namespace) holds its file.
    const int live = open(t.path(".f.9999999-0.part").c_str(), O_RDONLY);
    const int fill = has('S') ? open(t.path("z").c_str(), O_WRONLY | O_CREAT, 0644) : -1; // to the last block
    while (fill >= 0 && write(fill, std::string(4096, 'z').data(), 4096) > 0) {
    }
    rlimit limit{row.limit ? row.limit : RLIM_INFINITY, RLIM_INFINITY};
    const bool ready = mounted && flock(live, LOCK_EX) == 0 &&
                       (!has('p') || (unlink(f.c_str()) == 0 && mkfifo(f.c_str(), 0666) == 0)) &&
                       (!has('d') || (unlink(f.c_str()) == 0 && mkdir(f.c_str(), 0755) == 0)) &&
                       chmod(f.c_str(), row.file) == 0 && chmod(t.dir().c_str(), row.dir) == 0 &&
                       (!has('x') || (setxattr(f.c_str(), "user.comment", "kept", 4, 0) == 0 &&
                                      setxattr(f.c_str(), "system.posix_acl_access", kAcl, sizeof kAcl, 0) == 0)) &&
                       (!has('s') || setxattr(f.c_str(), "security.veltrane", "x", 1, 0) == 0) &&
                       (!has('D') ||
                        setxattr(t.dir().c_str(), "system.posix_acl_default", kAcl, sizeof kAcl, 0) == 0) &&
                       (!has('h') || link(f.c_str(), t.path("g").c_str()) == 0) &&
                       (!std::strpbrk(row.kind, "tl") || symlink(row.kind[0] == 't' ? "t" : "l", l.c_str()) == 0) &&
                       (!has('n') || symlink("/dev/full", l.c_str()) == 0) &&
                       (getuid() != 0 || has('r') || chown(f.c_str(), 65534, 65534) == 0) &&
                       setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                       (getuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0));
    g_saved = std::strpbrk(row.kind, "tln") ? l : f;
    g_failFlushes = has('F');
    g_beside = has('N');
    int err = 0;
    const int got = WDL_WriteWholeFile(g_saved.c_str(), "saved", 5, &err) ? 0 : err;
    unlink(t.path("z").c_str());
    std::set<std::string> entries;
    for (const auto& e : std::filesystem::directory_iterator(t.dir())) {
      std::error_code ec;
      const Bytes b = e.is_regular_file(ec) ? ReadAll(e.path()) : Bytes(); // never a pipe
      char mode[8];
      std::snprintf(mode, sizeof mode, ":%o:", (unsigned)e.symlink_status().permissions());
      entries.insert(" " + e.path().filename().string() + mode + std::string(b.begin(), b.end()) +
                     Attributes(e.path()));
    }
    const std::string folder = g_flushes + " |" + std::accumulate(entries.begin(), entries.end(), std::string());
    const std::string expected = std::string(row.flushes) + " | .f.09999999-0.part:644:" +
                                 (row.cleared ? "" : " .f.1-0.part:644:") +
                                 " .f.1-0.parts:644: .f.9999999-0.part:644: .f_1-0.part:644:" + row.folder;
    limit.rlim_cur = RLIM_INFINITY; // for the report, which goes to a file
    setrlimit(RLIMIT_FSIZE, &limit);
    std::fprintf(stderr, "ready %d, error %d, folder %s\n", ready, got, folder.c_str());
    return ready && got == row.err && folder == expected ? 0 : 1;
  };
  TempDir probe; // a file system with user attributes and ACLs for the rows that need them
  const std::string file = probe.write("probe", "");
  const bool attributes = setxattr(file.c_str(), "user.probe", "1", 1, 0) == 0 &&
                          setxattr(file.c_str(), "system.posix_acl_access", kAcl, sizeof kAcl, 0) == 0;
  std::string skipped;
  for (const Row& row : rows) {
    if ((std::strpbrk(row.kind, "rsS") && getuid()) || (std::strpbrk(row.kind, "xD") && !attributes)) {
      skipped += std::string(" ") + row.what + ";";
      continue;
    }
    TempDir t;
    EXPECT_EXIT(_exit(save(row, t)), ::testing::ExitedWithCode(0), "") << row.what;
    chmod(t.dir().c_str(), 0700); // so that the folder can be removed
  }
  if (!skipped.empty()) GTEST_SKIP() << "not run (need root, or ACLs in " << probe.dir() << "):" << skipped;
}

// A path of 4,093 bytes saves, new and over an old file. A name of 255 bytes has a temporary name cut at a whole
// UTF-8 character, and its leftovers are told apart from those of a name that begins alike.
TEST(ProgramFileWriting, LongPathsAndNamesSave)
{
  TempDir t;
  std::string folder = t.dir();
  while (folder.size() < 4091) {
    folder += "/" + std::string(std::min<size_t>(200, 4091 - folder.size() - 1), 'd');
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0) << std::strerror(errno);
  }
  for (const std::string bytes : {"new", "old"}) {
    EXPECT_TRUE(WDL_WriteWholeFile((folder + "/f").c_str(), bytes.data(), 3)) << folder.size() + 2;
    EXPECT_EQ(ReadAll(folder + "/f"), Bytes(bytes.begin(), bytes.end()));
  }
  std::string name = "x";
  while (name.size() < 255) name += "\xC3\xA9"; // e acute
  auto deadTemporary = [&t](const std::string& name) { // saves, and names a leftover of a save that died
    g_watch = t.dir();
    EXPECT_TRUE(WDL_WriteWholeFile(t.path(name.c_str()).c_str(), "v", 1));
    g_watch.clear();
    return g_seen.substr(0, g_seen.rfind('.', g_seen.size() - 6) + 1) + "9999999-0.part";
  };
  const std::string a = deadTemporary(name), b = deadTemporary(name.substr(0, 253) + "e");
  EXPECT_EQ(std::count(a.begin(), a.end(), '\xC3'), std::count(a.begin(), a.end(), '\xA9')) << "whole characters";
  EXPECT_LE(a.size(), 255u);
  t.write(a.c_str(), "");
  t.write(b.c_str(), "");
  deadTemporary(name);
  EXPECT_FALSE(std::filesystem::exists(t.path(a.c_str())));
  EXPECT_TRUE(std::filesystem::exists(t.path(b.c_str()))) << "another target's leftover";
}

TEST(ProgramFileReading, ChunkVariantRoundTripRenamesTheCurrentSlot)
{
  BarePlug p(2, 3, true);
  p.MakePreset("saved", 0.3, 0.7);
  p.EnsureDefaultPreset();
  p.RestorePreset(0);
  WDL_String path(TempFile("rt.fxp").c_str());
  ASSERT_TRUE(p.SaveProgramAsFXP(&path));
  p.RestorePreset(2);
  p.GetParam(0)->Set(0.9);
  ASSERT_TRUE(p.LoadProgramFromFXP(&path));
  EXPECT_EQ(p.GetCurrentPresetIdx(), 2);
  EXPECT_STREQ(p.GetPresetName(2), "saved");
  EXPECT_DOUBLE_EQ(p.GetParam(0)->Value(), 0.3);
  EXPECT_DOUBLE_EQ(p.GetParam(1)->Value(), 0.7);
  std::remove(path.Get());
}

TEST(ProgramFileReading, ChunkWithOrWithoutTheFrameworkHeader)
{
  for (bool header : {true, false}) {
    Bytes f;
    PutTag(&f, "CcnK");
    PutBE(&f, 0);
    PutTag(&f, "FPCh");
    PutBE(&f, 1);
    PutBE(&f, kBareID);
    PutBE(&f, 99999); // another version and parameter count are accepted
    PutBE(&f, 77);
    PutName(&f, "handmade");
    Bytes state;
    if (header) {
      const unsigned char h[8] = {0x74, 0x66, 0x66, 0x70, 0, 0, 1, 0};
      state.insert(state.end(), h, h + 8);
    }
    double v[2] = {0.125, 0.625};
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(v);
    state.insert(state.end(), raw, raw + 16);
    PutBE(&f, (uint32_t)state.size());
    f.insert(f.end(), state.begin(), state.end());
    std::string path = TempFile("hm.fxp");
    WriteAll(path, f);
    BarePlug p(2, 1, true);
    p.EnsureDefaultPreset(); // as the entry point leaves every plug-in
    WDL_String name(path.c_str());
    ASSERT_TRUE(p.LoadProgramFromFXP(&name)) << header;
    EXPECT_DOUBLE_EQ(p.GetParam(0)->Value(), 0.125) << header;
    EXPECT_DOUBLE_EQ(p.GetParam(1)->Value(), 0.625) << header;
    EXPECT_STREQ(p.GetPresetName(0), "handmade");
    std::remove(path.c_str());
  }
}

TEST(ProgramFileReading, ParameterVariantIntoAChunkPlugin)
{
  std::string path = TempFile("fxck.fxp");
  WriteAll(path, FxCkRecord(kBareID, "params", {0.5f, 0.75f}));
  BarePlug p(2, 2, true);
  p.EnsureDefaultPreset(); // the slot holds a program, whose values the file's replace
  WDL_String name(path.c_str());
  ASSERT_TRUE(p.LoadProgramFromFXP(&name));
  EXPECT_DOUBLE_EQ(p.GetParam(0)->Value(), 0.5);
  EXPECT_DOUBLE_EQ(p.GetParam(1)->Value(), 0.75);
  double stored = 0;
  p.GetPresetChunk(0)->Get(&stored, 8); // the slot now holds the resulting state
  EXPECT_DOUBLE_EQ(stored, 0.75);
  std::remove(path.c_str());
}

TEST(ProgramFileReading, NameFieldWithoutTerminatorReadsAs28Characters)
{
  Bytes f = FxCkRecord(kBareID, "", {0.5f});
  std::memcpy(&f[28], "ABCDEFGHIJKLMNOPQRSTUVWXYZ12", 28);
  std::string path = TempFile("name28.fxp");
  WriteAll(path, f);
  BarePlug p(1, 1, true);
  p.EnsureDefaultPreset();
  WDL_String name(path.c_str());
  ASSERT_TRUE(p.LoadProgramFromFXP(&name));
  EXPECT_STREQ(p.GetPresetName(0), "ABCDEFGHIJKLMNOPQRSTUVWXYZ12");
  std::remove(path.c_str());
}

// Both variants keep names and values. The parameter variant also keeps the current program: in its header,
// and put in place on loading; the chunk variant's loader does not use it.
TEST(BankFileReading, RoundTripOfBothVariants)
{
  for (bool chunks : {true, false})
    for (int current : {1, 2}) {
      SCOPED_TRACE(std::string(chunks ? "chunks" : "parameters") + ", current " + std::to_string(current));
      BarePlug a(2, 3, chunks);
      a.MakePreset("x", 0.1, 0.2);
      a.MakePreset("y", 0.3, 0.4);
      a.MakePreset("z", 0.5, 0.6);
      a.RestorePreset(current);
      WDL_String path(TempFile("rt.fxb").c_str());
      ASSERT_TRUE(a.SaveBankAsFXB(&path));
      EXPECT_EQ((uint32_t)current, BE(ReadAll(path.Get()), 28));
      BarePlug b(2, 3, chunks);
      ASSERT_TRUE(b.LoadBankFromFXB(&path));
      EXPECT_STREQ(b.GetPresetName(2), "z");
      EXPECT_EQ(chunks ? 0 : current, b.GetCurrentPresetIdx());
      if (!chunks) {
        EXPECT_NEAR(0.1 + 0.2 * current, b.GetParam(0)->Value(), 1e-6) << "the current program in place";
      }
      b.RestorePreset(1);
      EXPECT_NEAR(b.GetParam(1)->Value(), 0.4, chunks ? 0.0 : 1e-6);
      std::remove(path.Get());
    }
}

TEST(BankFileReading, ParameterVariantWithFewerAsManyOrMoreProgramsThanSlots)
{
  // Two slots. A program without a slot is ignored, and the last slot keeps its own record; a slot without a
  // program keeps what it held.
  for (int count : {1, 2, 3}) {
    std::vector<Bytes> records;
    for (int i = 0; i < count; ++i)
      records.push_back(FxCkRecord(kBareID, ("p" + std::to_string(i)).c_str(), {0.1f * (float)(i + 1)}));
    std::string path = TempFile("fxbk.fxb");
    WriteAll(path, FxBkFile(kBareID, 0, records));
    BarePlug p(1, 2, true);
    WDL_String name(path.c_str());
    ASSERT_TRUE(p.LoadBankFromFXB(&name)) << count << " programs";
    for (int i = 0; i < 2 && i < count; ++i) {
      EXPECT_EQ("p" + std::to_string(i), p.GetPresetName(i)) << count << " programs";
      p.RestorePreset(i);
      EXPECT_NEAR(p.GetParam(0)->Value(), 0.1 * (i + 1), 1e-6);
    }
    std::remove(path.c_str());
  }
}

TEST(FileRefusals, DamagedShortOrForeignFilesChangeNothing)
{
  // A reference plug-in state and the files to damage.
  BarePlug src(2, 2, true);
  src.MakePreset("s0", 0.2, 0.4);
  src.MakePreset("s1", 0.6, 0.8);
  WDL_String goodFxp(TempFile("good.fxp").c_str()), goodFxb(TempFile("good.fxb").c_str());
  src.RestorePreset(1);
  ASSERT_TRUE(src.SaveProgramAsFXP(&goodFxp));
  ASSERT_TRUE(src.SaveBankAsFXB(&goodFxb));
  const Bytes fxp = ReadAll(goodFxp.Get()), fxb = ReadAll(goodFxb.Get());
  std::remove(goodFxp.Get());
  std::remove(goodFxb.Get());

  struct Case
  {
    const char* what;
    Bytes file;
    bool bank; // given to the bank loader
  };
  std::vector<Case> cases;
  auto damaged = [](Bytes b, size_t at, unsigned char v) {
    b[at] = v;
    return b;
  };
  auto cut = [](Bytes b, size_t n) {
    b.resize(n);
    return b;
  };
  cases.push_back({"empty file", {}, false});
  cases.push_back({"empty file", {}, true});
  for (size_t n : {4u, 27u, 55u, 59u, 60u, 67u, 70u}) cases.push_back({"program cut short", cut(fxp, n), false});
  for (size_t n : {27u, 155u, 159u, 163u}) cases.push_back({"bank cut short", cut(fxb, n), true});
  cases.push_back({"wrong chunk magic", damaged(fxp, 0, 'X'), false});
  cases.push_back({"format version 2", damaged(fxp, 15, 2), false});
  cases.push_back({"another plug-in", damaged(fxp, 19, 'X'), false});
  cases.push_back({"unknown file magic", damaged(fxp, 11, 'x'), false});
  cases.push_back({"bank given to the program loader", fxb, false});
  cases.push_back({"program given to the bank loader", fxp, true});
  cases.push_back({"bank of another plug-in", damaged(fxb, 16, 'X'), true});
  // The state inside a chunk is too short: the framework header and one double of two.
  cases.push_back({"program state cut short", cut(fxp, 60 + 8 + 8), false});
  Bytes bankCut = cut(fxb, fxb.size() - 4);
  cases.push_back({"bank state cut short", bankCut, true});
  cases.push_back({"parameter values missing", cut(FxCkRecord(kBareID, "v", {0.1f, 0.2f}), 60), false});
  cases.push_back(
      {"second record damaged",
       FxBkFile(kBareID, 0, {FxCkRecord(kBareID, "r0", {0.1f, 0.1f}), FxCkRecord(kBareID, "r1", {0.2f, 0.2f}, 2)}),
       true});
  cases.push_back({"record with another parameter count",
                   FxBkFile(kBareID, 0, {FxCkRecord(kBareID, "r0", {0.1f, 0.1f, 0.1f})}), true});
  Bytes hugeCount = FxBkFile(kBareID, 0, {FxCkRecord(kBareID, "r0", {0.1f, 0.1f})});
  hugeCount[24] = 0x7F;
  cases.push_back({"bank announcing more records than it holds", hugeCount, true});
  // Cut by a few bytes (the current program's record goes), or padded: the sizes the file records are not its own.
  for (size_t n = 1; n <= 8; ++n) cases.push_back({"bank cut by a few bytes", cut(fxb, fxb.size() - n), true});
  for (size_t n : {1u, 8u}) cases.push_back({"program cut by a few bytes", cut(fxp, fxp.size() - n), false});
  Bytes padded = fxb;
  padded.push_back(0);
  cases.push_back({"bank padded", padded, true});
  Bytes pastCount = FxBkFile(kBareID, 0, {FxCkRecord(kBareID, "r0", {0.1f, 0.1f})});
  pastCount[30] = 0x03; // current program 1000 (0x3E8) of one
  pastCount[31] = 0xE8;
  cases.push_back({"current program past the count", pastCount, true});
  pastCount[30] = 0;
  pastCount[31] = 1; // a slot this plug-in has, but not a program the bank holds
  cases.push_back({"current program past the bank's own count", pastCount, true});
  cases.push_back({"chunk bank's current program past the count", damaged(fxb, 31, 9), true});

  for (const Case& c : cases) {
    BarePlug p(2, 2, true);
    p.MakePreset("keep0", 0.11, 0.22);
    p.MakePreset("keep1", 0.33, 0.44);
    p.RestorePreset(1);
    p.GetParam(0)->Set(0.55); // live edit, not stored in the slot
    const Snapshot before = Take(p);
    const ByteChunk slot1 = *p.GetPresetChunk(1);
    std::string path = TempFile("bad");
    WriteAll(path, c.file);
    WDL_String name(path.c_str());
    EXPECT_FALSE(c.bank ? p.LoadBankFromFXB(&name) : p.LoadProgramFromFXP(&name)) << c.what;
    ExpectSame(before, Take(p), c.what);
    EXPECT_TRUE(p.GetPresetChunk(1)->IsEqual(&slot1)) << c.what;
    std::remove(path.c_str());
  }
}

TEST(FileRefusals, MissingOrUnnamedFiles)
{
  BarePlug p(1, 1, true);
  WDL_String empty(""), missing("/nonexistent/file.fxp");
  EXPECT_FALSE(p.LoadProgramFromFXP(&empty));
  EXPECT_FALSE(p.LoadBankFromFXB(&empty));
  EXPECT_FALSE(p.LoadProgramFromFXP(&missing));
  EXPECT_FALSE(p.LoadBankFromFXB(&missing));
  EXPECT_FALSE(p.LoadProgramFromFXP(nullptr));
  WDL_String dir(::testing::TempDir().c_str());
  EXPECT_FALSE(p.LoadProgramFromFXP(&dir));
}

TEST(FileRefusals, ChunkFilesForPluginsWithoutChunksAreRefused)
{
  BarePlug chunky(1, 1, true);
  chunky.MakeDefaultPreset("c", 1);
  WDL_String fxp(TempFile("c.fxp").c_str());
  ASSERT_TRUE(chunky.SaveProgramAsFXP(&fxp));
  BarePlug plain(1, 1, false);
  EXPECT_FALSE(plain.LoadProgramFromFXP(&fxp));
  std::remove(fxp.Get());
}
