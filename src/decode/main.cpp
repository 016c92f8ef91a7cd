// SPDX-License-Identifier: GPL-3.0-or-later
// molvar-decode: the signals of candump log lines, by a CAN database.
//   molvar-decode DATABASE.dbc < candump.log

#include "can/DatabaseFile.h"
#include "can/FrameText.h"
#include "can/Frame.h"


#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {
const char *const Usage =
    "usage: molvar-decode DATABASE.dbc < LOG\n"
    "Reads candump log lines (candump -L, canplayer files, Molvar's exports and\n"
    "recordings) on standard input and prints, for every frame the database\n"
    "describes, one line per signal in it: identifier, message, signal, value\n"
    "and unit. Lines that are not frames are counted on standard error.\n";
}

int main(int argc, char **argv) {
  if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
    std::fputs(Usage, stdout);
    return 0;
  }
  if (argc == 2 && !std::strcmp(argv[1], "--version")) {
    std::printf("molvar-decode %s\n", MOLVAR_VERSION);
    return 0;
  }
  if (argc != 2 || (argv[1][0] == '-' && argv[1][1] != '\0')) {
    if (argc == 2)
      std::fprintf(stderr, "molvar-decode: unknown option %s\n", argv[1]);
    std::fputs(Usage, stderr);
    return 2;
  }
  const TDatabaseFile file = ReadDatabaseFile(argv[1]);
  if (file.Database)
    for (const TDbcError &e : file.Database->Errors)
      std::fprintf(stderr, "molvar-decode: %s:%d: %s\n", argv[1], e.Line, e.Text.c_str());
  if (!file.Error.empty()) {
    std::fprintf(stderr, file.Readable ? "molvar-decode: %s is no CAN database: %s\n" : "molvar-decode: cannot read %s: %s\n", argv[1], file.Error.c_str());
    return 1;
  }
  if (!file.Database->Errors.empty())
    return 1;
  const TDatabase &db = *file.Database;
  // Output is checked as it goes: a full disk ends the run with an error,
  // not with a part of the signals and exit status 0.
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  auto writeFailed = [] {
    std::fprintf(stderr, "molvar-decode: writing the output failed: %s\n", std::strerror(errno));
    return 1;
  };
  std::ios::sync_with_stdio(false);
  std::string line;
  unsigned long unread = 0;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    const TCandumpRecord r = ParseCandumpLine(line);
    if (r.Kind != TCandumpKind::Frame) {
      if (!line.empty() && r.Kind != TCandumpKind::FdFrame && r.Kind != TCandumpKind::Error)
        ++unread;
      continue;
    }
    for (std::string &out : DecodedLines(db, MaskedId(r.Msg), IsExtended(r.Msg), r.Msg.Data, PayloadLength(r.Msg))) {
      out += '\n';
      if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size())
        return writeFailed();
    }
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    return writeFailed();
  if (unread > 0)
    std::fprintf(stderr, "molvar-decode: %lu line%s could not be read\n", unread, unread == 1 ? "" : "s");
  return 0;
}
