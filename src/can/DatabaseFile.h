// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A database file as every program reads it.

#include "Dbc.h"

#include <optional>
#include <string>

struct TDatabaseFile {
  // What the file holds, when it could be read: its Errors list the lines
  // that could not.
  std::optional<TDatabase> Database;
  // Why there is no database: the file could not be read (the system's
  // reason), or it is no database (Readable: "it is a directory", "it
  // describes no message"). Empty when there is one.
  std::string Error;
  bool Readable = false;
};

TDatabaseFile ReadDatabaseFile(const std::string &path);
