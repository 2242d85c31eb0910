// Private-profile (INI file) functions with the Win32 names and argument orders.
//
// A file is "[section]" header lines followed by "key=value" lines. Section and key names match
// without regard to ASCII letter case; values compare exactly. Files are read through a
// process-wide cache of 32 parsed files (least recently used one evicted), re-read when their size
// or modification second changes, and every write rewrites the whole file from the cache at once,
// through a temporary file ".<name>.new" beside it that replaces the file in one rename. Comments,
// blank lines and the order of the file are not preserved.
//
// Thread-safe (one process-wide recursive mutex); between processes the files are guarded with
// flock (shared while reading, exclusive on the temporary file while writing).
//
//   WritePrivateProfileString("audio", "device", "hw:0", path);
//   char dev[64];
//   GetPrivateProfileString("audio", "device", "default", dev, sizeof(dev), path);
#pragma once

// Writes return 1 on success and 0 on failure (bad arguments, or the file could not be written;
// then the cache forgets the change and the next call reads the file again).

// Replaces the whole section with entries: "key=value" strings, each NUL-terminated, the list ended
// by an empty string. Strings without "=" are skipped.
int WritePrivateProfileSection(const char* section, const char* entries, const char* fileName);
// Sets a value; a null value deletes the key, a null key the whole section.
int WritePrivateProfileString(const char* section, const char* key, const char* value, const char* fileName);
// Stores size bytes as upper-case hexadecimal followed by a checksum byte (sum modulo 256).
int WritePrivateProfileStruct(const char* section, const char* key, const void* data, int size, const char* fileName);

// The section's entries as "key=value" strings, each NUL-terminated, the list ended by a second NUL,
// cut to fit outSize. Returns the bytes written before the final NUL.
unsigned int GetPrivateProfileSection(const char* section, char* outBuf, unsigned int outSize, const char* fileName);
// One value (blanks around it and one pair of enclosing quotes removed), or defaultText when the
// section or key is missing; at most outSize - 1 characters. Returns the length written (0 when
// outSize < 1). A null section lists the section names, a null key the key names of the section:
// each NUL-terminated, ended by a second NUL.
int GetPrivateProfileString(const char* section, const char* key, const char* defaultText, char* outBuf, int outSize,
                            const char* fileName);
// The value as a decimal integer; defaultValue when missing or not a number ("0" reads as 0).
int GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* fileName);
// Reads what WritePrivateProfileStruct stored: 1 when length and checksum match, else 0.
int GetPrivateProfileStruct(const char* section, const char* key, void* data, int size, const char* fileName);
