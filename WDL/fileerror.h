// The error the file readers and writers report for a path that names something other than a regular file
// (a folder, a pipe, a device, a socket): the file commands refuse it at once instead of blocking on it or
// reading on for ever. An errno value that opening and reading a regular file never yields.
#pragma once

#include <cerrno>

constexpr int WDL_ENOTREGULAR = EINVAL;
