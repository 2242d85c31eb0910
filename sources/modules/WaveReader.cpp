#include "WaveReader.h"

#include "fileread.h"

#include <cstring>
#include <sys/types.h>
#include <unistd.h>

namespace {
uint32_t le32(const unsigned char* p)
{
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

uint16_t le16(const unsigned char* p)
{
  return (uint16_t)(p[0] | p[1] << 8);
}

bool validFormat(int tag, int bits)
{
  return (tag == 1 && (bits == 8 || bits == 16 || bits == 24)) || (tag == 3 && (bits == 32 || bits == 64));
}

// Moves the stream n bytes on (64-bit); false when the seek fails.
bool skip(FILE* f, uint64_t n)
{
  if (n == 0) return true;
  if (n > (uint64_t)INT64_MAX) return false;
  return fseeko(f, (off_t)n, SEEK_CUR) == 0;
}
} // namespace

bool WaveReader::Open(const char* path)
{
  Close();
  fileName.Set(path ? path : "");
  if (!path) return false;
  const int fd = WDL_OpenRegularFile(path);
  if (fd < 0) return false;
  file = fdopen(fd, "rb");
  if (!file) {
    close(fd);
    return false;
  }
  if (!Walk()) {
    Close();
    return false;
  }
  return true;
}

void WaveReader::Close()
{
  if (file) std::fclose(file);
  file = nullptr;
  frames = 0;
  samplesLeft = 0;
  bitsPerSample = channels = sampleRate = formatTag = 0;
}

bool WaveReader::Walk()
{
  // The file's length bounds every size a chunk claims.
  if (fseeko(file, 0, SEEK_END) != 0) return false;
  const off_t end = ftello(file);
  if (end < 0 || fseeko(file, 0, SEEK_SET) != 0) return false;
  if (end > kMaxFileBytes) return false;
  const uint64_t fileSize = (uint64_t)end;

  unsigned char head[12];
  if (std::fread(head, 1, 12, file) != 12) return false;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return false;

  bool haveFormat = false;
  for (int chunks = 0; chunks < kMaxChunks; ++chunks) {
    unsigned char chunk[8];
    if (std::fread(chunk, 1, 8, file) != 8) return false;
    const uint64_t size = le32(chunk + 4);
    const uint64_t pad = size & 1; // RIFF chunks are padded to even lengths
    if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
      unsigned char fmt[16];
      const bool read = std::fread(fmt, 1, 16, file) == 16;
      formatTag = le16(fmt);
      channels = le16(fmt + 2);
      sampleRate = (int)le32(fmt + 4);
      bitsPerSample = le16(fmt + 14);
      haveFormat = read && channels != 0 && validFormat(formatTag, bitsPerSample);
      if (!haveFormat) bitsPerSample = channels = sampleRate = formatTag = 0;
      if (!read || !skip(file, size - 16 + pad)) return false;
    } else if (std::memcmp(chunk, "data", 4) == 0 && size != 0 && haveFormat) {
      const off_t at = ftello(file);
      if (at < 0) return false;
      const uint64_t there = (uint64_t)at <= fileSize ? fileSize - (uint64_t)at : 0;
      const uint64_t bytes = size < there ? size : there;
      const uint64_t frameBytes = (uint64_t)(bitsPerSample / 8) * (uint64_t)channels;
      frames = (int64_t)(bytes / frameBytes);
      samplesLeft = frames * channels;
      return true;
    } else {
      if (!skip(file, size + pad)) return false;
    }
  }
  return false;
}

unsigned int WaveReader::ReadDoubles(double* buf, unsigned int n)
{
  if (!file || !buf || !validFormat(formatTag, bitsPerSample)) return 0;
  const int width = bitsPerSample / 8;
  unsigned int done = 0;
  unsigned char raw[4096];
  while (done < n && samplesLeft > 0) {
    int64_t want = (int64_t)(n - done);
    if (want > samplesLeft) want = samplesLeft;
    if (want > (int64_t)(sizeof(raw) / width)) want = sizeof(raw) / width;
    const size_t got = std::fread(raw, (size_t)width, (size_t)want, file);
    for (size_t i = 0; i < got; ++i) {
      const unsigned char* p = raw + i * width;
      double v = 0.0;
      switch (bitsPerSample) {
      case 8:
        v = p[0] * 0.0078125 - 1.0;
        break;
      case 16:
        v = (int16_t)le16(p) * 3.0517578125e-5;
        break;
      case 24: {
        const int32_t s = (int32_t)((uint32_t)p[0] << 8 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 24) >> 8;
        v = s * 1.1920928955078125e-7;
        break;
      }
      case 32: {
        float f;
        const uint32_t bits = le32(p);
        std::memcpy(&f, &bits, 4);
        v = f;
        break;
      }
      default: {
        const uint64_t bits = (uint64_t)le32(p) | (uint64_t)le32(p + 4) << 32;
        std::memcpy(&v, &bits, 8);
        break;
      }
      }
      buf[done + i] = v;
    }
    done += (unsigned int)got;
    samplesLeft -= (int64_t)got;
    if ((int64_t)got < want) {
      samplesLeft = 0; // the file ended inside its data
      break;
    }
  }
  return done;
}
