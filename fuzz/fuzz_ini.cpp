// SPDX-License-Identifier: GPL-3.0-or-later
// The INI reader on arbitrary file contents: reads never crash, and a value
// written is read back.

#include "config/IniFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

static QTemporaryDir *Dir;

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  Dir = new QTemporaryDir;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const QString path = Dir->filePath("fuzz.ini");
  {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
      abort();
    f.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
  }
  TIniFile ini(path);
  for (const char *section : {"Main", "DevConfig", "Filter_0", "Messages", "", "main"}) {
    for (const char *key : {"n", "0", "Speed", "ID", "LeftPos", ""}) {
      ini.ReadInteger(section, key, 7);
      ini.ReadString(section, key, "x");
    }
  }
  ini.WriteString("Messages", "0", "Std\t  123\t11");
  ini.WriteInteger("Main", "n", -5);
  if (ini.ReadString("Messages", "0", "") != "Std\t  123\t11" || ini.ReadInteger("Main", "n", 0) != -5)
    abort();
  try {
    ini.UpdateFile();
  } catch (const EIniFileError &) {
  }
  TIniFile again(path);
  if (again.ReadInteger("main", "N", 0) != -5)
    abort(); // what was saved reads back
  return 0;
}
