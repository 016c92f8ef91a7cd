// SPDX-License-Identifier: GPL-3.0-or-later
#include "DatabaseFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

TDatabaseFile ReadDatabaseFile(const std::string &path) {
  TDatabaseFile r;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    r.Error = std::strerror(errno);
    return r;
  }
  if (S_ISDIR(st.st_mode)) {
    r.Readable = true;
    r.Error = "it is a directory";
    return r;
  }
  const std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) {
    r.Error = std::strerror(errno);
    return r;
  }
  // One copy of the text, read in pieces: a pipe has no size to ask for.
  std::string text;
  if (S_ISREG(st.st_mode))
    text.reserve(static_cast<size_t>(st.st_size));
  char buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
    text.append(buffer, n);
  if (std::ferror(file.get())) {
    r.Error = std::strerror(errno);
    return r;
  }
  r.Readable = true;
  r.Database = TDatabase::Parse(text);
  if (r.Database->Messages.empty())
    r.Error = r.Database->Errors.empty() ? "it describes no message" : "it describes no message that could be read";
  return r;
}
