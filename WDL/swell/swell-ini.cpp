#include "swell-ini.h"

#include "assocarray.h"
#include "heapbuf.h"
#include "mutex.h"
#include "wdlstring.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

typedef WDL_StringKeyedArray<char*> Section;        // key -> value text, both owned
typedef WDL_StringKeyedArray<Section*> SectionList; // section name -> section, owned

void deleteStringKeyedArray(Section* section)
{
  delete section;
}

Section* NewSection()
{
  return new (std::nothrow) Section(false, Section::freecharptr);
}

// The cached image of one file.
struct iniFileContext
{
  uint64_t m_access = 0; // access stamp, larger is more recent
  int64_t m_mtime = 0;   // modification second when last read or written; 0 unknown, -1 stale
  uint32_t m_size = 0;   // low 32 bits of the size at that time
  char* m_filename = nullptr;
  SectionList m_sections{false, deleteStringKeyedArray};

  ~iniFileContext() { std::free(m_filename); }
};

constexpr int kCacheSlots = 32;
constexpr int kMaxLinePiece = 33554432;     // longer lines are handed on in pieces of this length
constexpr size_t kMaxPreamble = 262144;     // bytes before the first section; the rest is ignored
constexpr int kMaxSectionEntryChars = 8191; // per "key=value" string of WritePrivateProfileSection

// Destroyed at exit in reverse order: the last slot first.
iniFileContext s_ctxs[kCacheSlots];
uint64_t acc_cnt = 0;
WDL_Mutex m_mutex;

WDL_TypedBuf<char>& LineBuffer()
{
  static WDL_TypedBuf<char> _buf(4096);
  return _buf;
}

void StatFile(const char* fileName, int64_t* mtime, uint32_t* size)
{
  struct stat st;
  if (fileName && fileName[0] && stat(fileName, &st) == 0) {
    *mtime = int64_t(st.st_mtime);
    *size = uint32_t(uint64_t(st.st_size));
  } else {
    *mtime = 0;
    *size = 0;
  }
}

void Flock(int fd, int operation)
{
  while (flock(fd, operation) != 0 && errno == EINTR) {
  }
}

// Reads the next line (with its line end) into the line buffer. Returns its length; 0 at the end.
int ReadLine(FILE* fp)
{
  WDL_TypedBuf<char>& buf = LineBuffer();
  int offset = 0;
  for (;;) {
    if (buf.GetSize() < offset + 8192 && (buf.Resize(offset + 8192, false), buf.GetSize() < offset + 8192)) break;
    char* b = buf.Get();
    // At most up to the piece length, so that a long line splits into pieces of exactly that size.
    if (!std::fgets(b + offset, std::min(buf.GetSize() - offset, kMaxLinePiece - offset + 1), fp)) {
      b[offset] = 0;
      break;
    }
    offset += int(std::strlen(b + offset));
    if (offset > 0 && (b[offset - 1] == '\n' || b[offset - 1] == '\r')) break;
    if (offset >= kMaxLinePiece) break;
  }
  return offset;
}

void ParseFile(FILE* fp, SectionList& sections)
{
  Section* current = nullptr;
  bool sawSection = false;
  size_t preamble = 0;
  for (;;) {
    int length = ReadLine(fp);
    if (length <= 0) break;
    char* line = LineBuffer().Get();
    if (!sawSection) {
      preamble += size_t(length);
      if (preamble > kMaxPreamble) break;
    }
    while (length > 0 && std::strchr(" \t\r\n", line[length - 1])) line[--length] = 0;
    while (*line == ' ' || *line == '\t') ++line;

    if (*line == '[') {
      char* close = std::strchr(line + 1, ']');
      if (!close) continue; // not a header: the current section stays current
      if (current) current->Resort();
      *close = 0;
      const char* name = line + 1;
      current = nullptr;
      if (!*name) continue;
      sawSection = true;
      if (Section* existing = sections.Get(name, nullptr)) {
        existing->DeleteAll(); // a repeated header starts the section afresh
        current = existing;
      } else if (Section* added = NewSection()) {
        if (sections.Insert(name, added) >= 0) current = added;
      }
    } else if (current) {
      char* eq = std::strchr(line, '=');
      if (!eq || eq == line) continue;
      *eq = 0;
      if (char* value = strdup(eq + 1)) current->AddUnsorted(line, value);
    }
  }
  if (current) current->Resort();
}

// Finds or loads the cached image of a file; never null. Called with m_mutex held.
iniFileContext* GetFileContext(const char* fileName)
{
  // File names compare exactly: on Linux "a.ini" and "A.ini" are two files.
  int slot = -1;
  for (int i = 0; i < kCacheSlots && slot < 0; ++i)
    if (!s_ctxs[i].m_filename || std::strcmp(s_ctxs[i].m_filename, fileName) == 0) slot = i;
  if (slot < 0) {
    slot = 0;
    for (int i = 1; i < kCacheSlots; ++i)
      if (s_ctxs[i].m_access < s_ctxs[slot].m_access) slot = i;
  }
  iniFileContext* ctx = &s_ctxs[slot];
  ctx->m_access = ++acc_cnt;

  const bool same = ctx->m_filename && std::strcmp(ctx->m_filename, fileName) == 0;
  if (same) {
    int64_t mtime;
    uint32_t size;
    StatFile(ctx->m_filename, &mtime, &size);
    if (mtime == ctx->m_mtime && size == ctx->m_size) return ctx;
  }

  ctx->m_sections.DeleteAll();
  if (!same) {
    std::free(ctx->m_filename);
    ctx->m_filename = strdup(fileName);
  }

  FILE* fp = std::fopen(fileName, "r");
  if (!fp) {
    ctx->m_mtime = 0;
    ctx->m_size = 0;
    return ctx;
  }
  const int fd = fileno(fp);
  Flock(fd, LOCK_SH);
  ParseFile(fp, ctx->m_sections);
  // The time and size of what was read (the name may already point at a newer file).
  struct stat st;
  if (fstat(fd, &st) == 0) {
    ctx->m_mtime = int64_t(st.st_mtime);
    ctx->m_size = uint32_t(uint64_t(st.st_size));
  } else {
    ctx->m_mtime = 0;
    ctx->m_size = 0;
  }
  Flock(fd, LOCK_UN);
  std::fclose(fp);
  return ctx;
}

// 'dir/name.ini' -> 'dir/.name.ini.new'
void TemporaryName(const char* fileName, WDL_String* out)
{
  const char* slash = std::strrchr(fileName, '/');
  const char* base = slash ? slash + 1 : fileName;
  out->Set(fileName, int(base - fileName));
  if (base == fileName) out->Set("");
  out->Append(".");
  out->Append(base);
  out->Append(".new");
}

// Rounds of LockTemporaryFile before it gives up. Each lost round is a write that another process finished
// while this one waited for the lock, and a waiter may lose many in a row to a writer that keeps writing
// (close to 100 were seen with three processes writing one file on a busy machine): the bound is far above
// what real writers reach and only ends the loop on a file system whose file numbers do not stay put.
constexpr int kMaxLockRounds = 10000;

// Opens and exclusively locks the temporary file, making sure that the locked file is still the one
// at that name: a writer in another process may have renamed it over the INI file meanwhile.
int LockTemporaryFile(const char* tempName)
{
  for (int round = 0; round < kMaxLockRounds; ++round) {
    const int fd = open(tempName, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    Flock(fd, LOCK_EX);
    struct stat locked, named;
    if (fstat(fd, &locked) == 0 && stat(tempName, &named) == 0 && locked.st_dev == named.st_dev &&
        locked.st_ino == named.st_ino)
      return fd;
    close(fd);
  }
  return -1;
}

void WriteSections(FILE* fp, SectionList& sections)
{
  for (int i = 0; i < sections.GetSize(); ++i) {
    const char* name = nullptr;
    Section* section = sections.Enumerate(i, &name);
    if (!name || !section) break;
    std::fprintf(fp, "[%s]\n", name);
    for (int j = 0; j < section->GetSize(); ++j) {
      const char* key = nullptr;
      const char* value = section->Enumerate(j, &key);
      if (!key || !value) break;
      if (*key) std::fprintf(fp, "%s=%s\n", key, value);
    }
    std::fprintf(fp, "\n");
  }
}

// Rewrites the file from its cached image. On failure the file stays as it was and the cache is
// marked stale, so that the next call reads the file again instead of showing what was not stored.
bool WriteBackFile(iniFileContext* ctx)
{
  if (!ctx || !ctx->m_filename) return false;
  WDL_String tempName;
  TemporaryName(ctx->m_filename, &tempName);

  bool ok = false;
  struct stat written;
  const int fd = LockTemporaryFile(tempName.Get());
  if (fd >= 0) {
    FILE* fp = ftruncate(fd, 0) == 0 ? fdopen(fd, "w") : nullptr;
    if (fp) {
      WriteSections(fp, ctx->m_sections);
      ok = std::fflush(fp) == 0 && !std::ferror(fp) && fstat(fd, &written) == 0;
      // Renamed while still locked: a writer waiting for the lock then finds the name gone.
      if (ok) ok = std::rename(tempName.Get(), ctx->m_filename) == 0;
      if (!ok) unlink(tempName.Get());
      Flock(fd, LOCK_UN);
      std::fclose(fp);
    } else {
      unlink(tempName.Get());
      Flock(fd, LOCK_UN);
      close(fd);
    }
  }
  if (!ok) {
    ctx->m_mtime = -1;
    ctx->m_size = 0;
    return false;
  }
  ctx->m_mtime = int64_t(written.st_mtime);
  ctx->m_size = uint32_t(uint64_t(written.st_size));
  return true;
}

bool IsBlank(char c)
{
  return c == ' ' || c == '\t';
}

// A stored value as it is read: blanks around it and one pair of enclosing quotes removed.
const char* TrimValue(const char* value, int* length)
{
  while (IsBlank(*value)) ++value;
  int n = int(std::strlen(value));
  while (n > 0 && IsBlank(value[n - 1])) --n;
  if (n >= 2 && (value[0] == '"' || value[0] == '\'') && value[n - 1] == value[0]) {
    ++value;
    n -= 2;
  }
  *length = n;
  return value;
}

int CopyOut(char* outBuf, int outSize, const char* text, int length)
{
  const int n = std::min(length, outSize - 1);
  std::memcpy(outBuf, text, size_t(n));
  outBuf[n] = 0;
  return n;
}

void AppendBytes(WDL_TypedBuf<char>* list, const char* bytes, int n)
{
  const int at = list->GetSize();
  if (n > INT_MAX - at) return;
  char* p = list->Resize(at + n, false);
  if (p && list->GetSize() == at + n) std::memcpy(p + at, bytes, size_t(n));
}

// The names of the sections (section null) or of the keys of a section, each followed by a NUL.
int EnumerateNames(iniFileContext* ctx, const char* section, char* outBuf, int outSize)
{
  WDL_TypedBuf<char> list(4096);
  if (ctx && !section) {
    for (int i = 0; i < ctx->m_sections.GetSize(); ++i) {
      const char* name = nullptr;
      if (!ctx->m_sections.Enumerate(i, &name) || !name) break;
      if (*name) AppendBytes(&list, name, int(std::strlen(name)) + 1);
    }
  } else if (ctx) {
    if (Section* s = ctx->m_sections.Get(section, nullptr)) {
      for (int i = 0; i < s->GetSize(); ++i) {
        const char* key = nullptr;
        if (!s->Enumerate(i, &key) || !key) break;
        if (*key) AppendBytes(&list, key, int(std::strlen(key)) + 1);
      }
    }
  }
  if (outSize < 2) {
    if (outSize == 1) outBuf[0] = 0;
    return 0;
  }
  if (list.GetSize() == 0) {
    outBuf[0] = outBuf[1] = 0;
    return 0;
  }
  const int n = std::min(list.GetSize() - 1, outSize - 2);
  std::memcpy(outBuf, list.Get(), size_t(n));
  outBuf[n] = outBuf[n + 1] = 0;
  return n;
}

int HexDigit(char c)
{
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

} // namespace

int GetPrivateProfileString(const char* section, const char* key, const char* defaultText, char* outBuf, int outSize,
                            const char* fileName)
{
  WDL_MutexLock lock(&m_mutex);
  iniFileContext* ctx = fileName ? GetFileContext(fileName) : nullptr;
  if (!outBuf || outSize < 1) return 0;
  if (!section || !key) return EnumerateNames(ctx, section, outBuf, outSize);

  Section* s = ctx ? ctx->m_sections.Get(section, nullptr) : nullptr;
  const char* value = s ? s->Get(key, nullptr) : nullptr;
  if (value) {
    int length;
    const char* text = TrimValue(value, &length);
    return CopyOut(outBuf, outSize, text, length);
  }
  if (!defaultText) defaultText = "";
  return CopyOut(outBuf, outSize, defaultText, int(std::min<size_t>(std::strlen(defaultText), INT_MAX)));
}

unsigned int GetPrivateProfileSection(const char* section, char* outBuf, unsigned int outSize, const char* fileName)
{
  WDL_MutexLock lock(&m_mutex);
  if (!outBuf || outSize < 2) {
    if (outBuf && outSize == 1) outBuf[0] = 0;
    return 0;
  }
  iniFileContext* ctx = fileName ? GetFileContext(fileName) : nullptr;
  Section* s = (ctx && section) ? ctx->m_sections.Get(section, nullptr) : nullptr;
  if (!s || s->GetSize() == 0) {
    outBuf[0] = outBuf[1] = 0;
    return 0;
  }

  const size_t size = outSize;
  size_t pos = 0;
  for (int i = 0; i < s->GetSize(); ++i) {
    const char* key = nullptr;
    const char* value = s->Enumerate(i, &key);
    if (!key || !value) break;
    const size_t keyLength = std::min(std::strlen(key), size - 2 - pos);
    std::memcpy(outBuf + pos, key, keyLength);
    pos += keyLength;
    if (pos < size - 2) outBuf[pos++] = '=';
    if (size - pos >= 3) {
      int length;
      const char* text = TrimValue(value, &length);
      const size_t n = std::min(size_t(length), size - pos - 3);
      std::memcpy(outBuf + pos, text, n);
      pos += n;
    }
    if (size - pos >= 2) outBuf[pos++] = 0;
    if (pos >= size - 1) {
      outBuf[size - 1] = 0;
      return outSize - 2;
    }
  }
  outBuf[pos] = 0;
  if (pos == 0) outBuf[1] = 0;
  return (unsigned int)pos;
}

int GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* fileName)
{
  char text[512];
  if (GetPrivateProfileString(section, key, "", text, sizeof(text), fileName) <= 0 || !text[0]) return defaultValue;
  // Saturates where atoi would overflow.
  const long value = std::strtol(text, nullptr, 10);
  const int result = int(std::clamp<long>(value, INT_MIN, INT_MAX));
  return (result != 0 || text[0] == '0') ? result : defaultValue;
}

int GetPrivateProfileStruct(const char* section, const char* key, void* data, int size, const char* fileName)
{
  if (!section || !key || size < 0 || (size > 0 && !data) || size > (INT_MAX - 18) / 2) return 0;
  const int textSize = 2 * size + 18;
  char* text = static_cast<char*>(std::malloc(size_t(textSize)));
  if (!text) return 0;
  const int length = GetPrivateProfileString(section, key, "", text, textSize - 1, fileName);

  int result = 0;
  if (length == 2 * size + 2) {
    auto* bytes = static_cast<unsigned char*>(data);
    unsigned int sum = 0;
    result = 1;
    for (int i = 0; i <= size; ++i) {
      const int hi = HexDigit(text[2 * i]), lo = HexDigit(text[2 * i + 1]);
      if (hi < 0 || lo < 0) {
        result = 0;
        break;
      }
      const unsigned int byte = unsigned(hi * 16 + lo);
      if (i < size) {
        bytes[i] = (unsigned char)byte;
        sum = (sum + byte) & 0xFF;
      } else {
        result = byte == sum;
      }
    }
  }
  std::free(text);
  return result;
}

int WritePrivateProfileString(const char* section, const char* key, const char* value, const char* fileName)
{
  if (!section || (key && !*key) || !fileName) return 0;
  WDL_MutexLock lock(&m_mutex);
  iniFileContext* ctx = GetFileContext(fileName);
  Section* s = ctx->m_sections.Get(section, nullptr);

  if (!key) {
    if (!s) return 1;
    ctx->m_sections.Delete(section);
    return WriteBackFile(ctx);
  }
  if (!value) {
    if (!s || !s->Exists(key)) return 1;
    s->Delete(key);
    return WriteBackFile(ctx);
  }
  if (s) {
    const char* old = s->Get(key, nullptr);
    if (old && std::strcmp(old, value) == 0) return 1;
  } else {
    s = NewSection();
    if (!s || ctx->m_sections.Insert(section, s) < 0) return 0;
  }
  char* copy = strdup(value);
  if (!copy || s->Insert(key, copy) < 0) return 0;
  return WriteBackFile(ctx);
}

int WritePrivateProfileSection(const char* section, const char* entries, const char* fileName)
{
  if (!section || !fileName) return 0;
  WDL_MutexLock lock(&m_mutex);
  iniFileContext* ctx = GetFileContext(fileName);
  Section* s = ctx->m_sections.Get(section, nullptr);
  if (s) {
    s->DeleteAll();
  } else {
    if (!entries || !*entries) return 1;
    s = NewSection();
    if (!s || ctx->m_sections.Insert(section, s) < 0) return 0;
  }
  for (const char* p = entries; p && *p; p += std::strlen(p) + 1) {
    char key[kMaxSectionEntryChars + 1];
    std::snprintf(key, sizeof(key), "%s", p);
    char* eq = std::strchr(key, '=');
    if (!eq) continue;
    *eq = 0;
    if (char* value = strdup(p + (eq - key) + 1)) s->Insert(key, value);
  }
  return WriteBackFile(ctx);
}

int WritePrivateProfileStruct(const char* section, const char* key, const void* data, int size, const char* fileName)
{
  if (!key || !data) return WritePrivateProfileString(section, key, static_cast<const char*>(data), fileName);
  if (size < 0 || size > (INT_MAX - 3) / 2) return 0;
  char* text = static_cast<char*>(std::malloc(size_t(2 * size + 3)));
  if (!text) return 0;
  static const char kHex[] = "0123456789ABCDEF";
  const auto* bytes = static_cast<const unsigned char*>(data);
  unsigned int sum = 0;
  for (int i = 0; i < size; ++i) {
    text[2 * i] = kHex[bytes[i] >> 4];
    text[2 * i + 1] = kHex[bytes[i] & 15];
    sum += bytes[i];
  }
  text[2 * size] = kHex[(sum >> 4) & 15];
  text[2 * size + 1] = kHex[sum & 15];
  text[2 * size + 2] = 0;
  const int result = WritePrivateProfileString(section, key, text, fileName);
  std::free(text);
  return result;
}
