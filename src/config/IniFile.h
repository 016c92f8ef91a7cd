// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An INI file bound to one path, with typed reads that take a default and
// writes in place.
//
// The file is read once, on first use, and kept in memory; writes change the
// copy and UpdateFile() (or the destructor, at the latest) writes the whole
// file once, through a temporary file renamed over the old one, so a failed
// save leaves the previous file intact. Every line the writes do not touch
// (comments, unknown sections, other programs' keys) is written back byte for
// byte, with its own line end; the lines written end in CR LF.

#include <QByteArray>
#include <QHash>
#include <QString>

#include <stdexcept>
#include <vector>

class EIniFileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TIniFile {
public:
  // Files larger than this are not taken for settings or set-up files: they
  // read as empty and are never overwritten.
  static constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

  explicit TIniFile(QString fileName);
  ~TIniFile();
  TIniFile(const TIniFile &) = delete;
  TIniFile &operator=(const TIniFile &) = delete;

  const QString &FileName() const { return FFileName; }
  // Why a file that exists could not be read (then it reads as empty); empty
  // when it was read or does not exist.
  QString ReadError();

  bool HasSection(const QString &section);
  int ReadInteger(const QString &section, const QString &key, int defaultValue);
  QString ReadString(const QString &section, const QString &key, const QString &defaultValue);
  void WriteInteger(const QString &section, const QString &key, int value);
  void WriteString(const QString &section, const QString &key, const QString &value);
  // Removes the section (every section of that name) with all its lines.
  void EraseSection(const QString &section);

  // Writes buffered changes to the file; throws EIniFileError naming the file
  // when it cannot be written, or would be larger than a file this class
  // reads (so that whatever is written reads back). Does nothing when there
  // is nothing to write.
  void UpdateFile();

  // The reading rule for integers: decimal with an optional sign, or
  // hexadecimal after "$" or "0x"; anything else gives no value.
  static bool ParseInteger(const QByteArray &text, int &value);

private:
  // How a line ended in the file; lines written here end in CR LF.
  enum class TLineEnd : uint8_t { CrLf, Lf, None };
  struct Line {
    QByteArray raw;
    QByteArray keyLower; // empty unless a key line
    TLineEnd end = TLineEnd::CrLf;
  };
  struct Section {
    QByteArray header;    // raw header line; empty for the lines before any section
    TLineEnd headerEnd = TLineEnd::CrLf;
    std::vector<Line> lines;
    QHash<QByteArray, int> keys; // first line of each key
  };

  void Load();
  void IndexSections();
  const Line *Find(const QString &section, const QString &key);
  static QByteArray Value(const QByteArray &raw);

  QString FFileName;
  bool FLoaded = false;
  QString FReadError; // present but not readable: never overwrite it
  bool FDirty = false;
  QByteArray FBom;
  std::vector<Section> FSections;
  QHash<QByteArray, int> FSectionIndex; // first section of each name
};
