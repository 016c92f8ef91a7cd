// SPDX-License-Identifier: GPL-3.0-or-later
// The INI object: reading, in-place writes, and saving all or nothing.
#include "IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

#include <sys/stat.h>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

QByteArray TrimBlanks(const QByteArray &s) {
  qsizetype b = 0, e = s.size();
  while (b < e && IsBlank(s[b]))
    ++b;
  while (e > b && IsBlank(s[e - 1]))
    --e;
  return s.mid(b, e - b);
}

// Values keep their inner TABs (stored frame lines hold them); only the
// blanks that editors put around a value are dropped.
QByteArray TrimSpaces(const QByteArray &s) {
  qsizetype b = 0, e = s.size();
  while (b < e && s[b] == ' ')
    ++b;
  while (e > b && s[e - 1] == ' ')
    --e;
  return s.mid(b, e - b);
}

QByteArray Lower(const QString &s) { return s.toLatin1().toLower(); }

// The section name of a header line, or a null array when it is none.
QByteArray SectionName(const QByteArray &raw) {
  QByteArray t = TrimBlanks(raw);
  if (!t.startsWith('['))
    return {};
  qsizetype close = t.indexOf(']');
  QByteArray name = close < 0 ? t.mid(1) : t.mid(1, close - 1);
  name = TrimBlanks(name);
  return name.isNull() ? QByteArray("") : name;
}

QByteArray KeyOf(const QByteArray &raw) {
  QByteArray t = TrimBlanks(raw);
  if (t.isEmpty() || t[0] == ';' || t[0] == '#')
    return {};
  qsizetype eq = t.indexOf('=');
  if (eq <= 0)
    return {};
  return TrimBlanks(t.left(eq)).toLower();
}

QByteArray OneLine(const QString &s) {
  QByteArray b = s.toLatin1();
  b.replace('\r', ' ');
  b.replace('\n', ' ');
  return b;
}

} // namespace

TIniFile::TIniFile(QString fileName) : FFileName(std::move(fileName)) {}

TIniFile::~TIniFile() {
  try {
    UpdateFile();
  } catch (...) {
    // The owner saves explicitly and reports; this is the last resort.
  }
}

QByteArray TIniFile::Value(const QByteArray &raw) {
  qsizetype eq = raw.indexOf('=');
  return TrimSpaces(raw.mid(eq + 1));
}

namespace {
QString TooLarge() {
  return QString("it is larger than %1 MiB").arg(TIniFile::MaxFileSize / (1024 * 1024));
}
} // namespace

QString TIniFile::ReadError() {
  Load();
  return FReadError;
}

void TIniFile::Load() {
  if (FLoaded)
    return;
  FLoaded = true;
  FSections.clear();
  FSections.emplace_back(); // lines before the first section
  QByteArray data;
  QFileInfo info(FFileName);
  if (info.exists()) {
    QFile f(FFileName);
    if (!info.isFile()) {
      FReadError = "it is not a file";
      return;
    }
    if (info.size() > MaxFileSize) {
      FReadError = TooLarge();
      return;
    }
    if (!f.open(QIODevice::ReadOnly)) {
      FReadError = f.errorString();
      return;
    }
    // Read what the file holds, never a buffer of the largest size allowed.
    data = f.read(std::min<qint64>(info.size(), MaxFileSize) + 1);
    while (!f.atEnd() && data.size() <= MaxFileSize)
      data += f.read(MaxFileSize + 1 - data.size());
    if (data.size() > MaxFileSize) {
      FReadError = TooLarge();
      return;
    }
    if (f.error() != QFileDevice::NoError) {
      FReadError = f.errorString();
      return;
    }
  }
  if (data.startsWith("\xEF\xBB\xBF")) {
    FBom = data.left(3);
    data.remove(0, 3);
  }
  qsizetype pos = 0;
  while (pos < data.size()) {
    qsizetype nl = data.indexOf('\n', pos);
    qsizetype end = nl < 0 ? data.size() : nl;
    QByteArray raw = data.mid(pos, end - pos);
    TLineEnd lineEnd = nl < 0 ? TLineEnd::None : TLineEnd::Lf;
    if (nl >= 0 && raw.endsWith('\r')) {
      raw.chop(1);
      lineEnd = TLineEnd::CrLf;
    }
    pos = end + 1;
    QByteArray name = SectionName(raw);
    if (!name.isNull()) {
      Section s;
      s.header = raw;
      s.headerEnd = lineEnd;
      FSections.push_back(std::move(s));
      continue;
    }
    Section &cur = FSections.back();
    Line line{raw, KeyOf(raw), lineEnd};
    if (!line.keyLower.isEmpty() && !cur.keys.contains(line.keyLower))
      cur.keys.insert(line.keyLower, static_cast<int>(cur.lines.size()));
    cur.lines.push_back(std::move(line));
  }
  IndexSections();
}

void TIniFile::IndexSections() {
  // The first section of a name is the one that counts.
  FSectionIndex.clear();
  for (int i = static_cast<int>(FSections.size()) - 1; i >= 1; --i)
    FSectionIndex.insert(SectionName(FSections[i].header).toLower(), i);
}

void TIniFile::EraseSection(const QString &section) {
  Load();
  const QByteArray secLower = Lower(section);
  if (!FSectionIndex.contains(secLower))
    return;
  // The lines before the first header are never a section.
  auto named = [&](const Section &s) { return !s.header.isEmpty() && SectionName(s.header).toLower() == secLower; };
  FSections.erase(std::remove_if(FSections.begin() + 1, FSections.end(), named), FSections.end());
  IndexSections();
  FDirty = true;
}

bool TIniFile::HasSection(const QString &section) {
  Load();
  return FSectionIndex.contains(Lower(section));
}

const TIniFile::Line *TIniFile::Find(const QString &section, const QString &key) {
  Load();
  auto s = FSectionIndex.constFind(Lower(section));
  if (s == FSectionIndex.constEnd())
    return nullptr;
  const Section &sec = FSections[*s];
  auto k = sec.keys.constFind(Lower(key).trimmed());
  return k == sec.keys.constEnd() ? nullptr : &sec.lines[*k];
}

bool TIniFile::ParseInteger(const QByteArray &text, int &value) {
  QByteArray t = TrimBlanks(text);
  bool negative = false;
  qsizetype i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+'))
    negative = t[i++] == '-';
  int base = 10;
  if (i < t.size() && t[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= t.size())
    return false;
  quint64 magnitude = 0;
  for (; i < t.size(); ++i) {
    char c = t[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    magnitude = magnitude * base + d;
    if (magnitude > 0xFFFFFFFFull)
      return false;
  }
  if (base == 16) {
    // Hexadecimal text is a 32-bit pattern: $FFFFFFFF reads as -1.
    quint32 bits = static_cast<quint32>(magnitude);
    if (negative)
      bits = 0u - bits;
    value = static_cast<int>(bits);
    return true;
  }
  if (negative ? magnitude > 0x80000000ull : magnitude > 0x7FFFFFFFull)
    return false;
  value = negative ? static_cast<int>(-static_cast<qint64>(magnitude)) : static_cast<int>(magnitude);
  return true;
}

int TIniFile::ReadInteger(const QString &section, const QString &key, int defaultValue) {
  const Line *l = Find(section, key);
  int v;
  return (l && ParseInteger(Value(l->raw), v)) ? v : defaultValue;
}

QString TIniFile::ReadString(const QString &section, const QString &key, const QString &defaultValue) {
  const Line *l = Find(section, key);
  return l ? QString::fromLatin1(Value(l->raw)) : defaultValue;
}

void TIniFile::WriteInteger(const QString &section, const QString &key, int value) {
  WriteString(section, key, QString::number(value));
}

void TIniFile::WriteString(const QString &section, const QString &key, const QString &value) {
  Load();
  const QByteArray secLower = Lower(section);
  auto s = FSectionIndex.constFind(secLower);
  int si;
  if (s == FSectionIndex.constEnd()) {
    Section ns;
    ns.header = "[" + section.toLatin1() + "]";
    FSections.push_back(std::move(ns));
    si = static_cast<int>(FSections.size() - 1);
    FSectionIndex.insert(secLower, si);
  } else {
    si = *s;
  }
  Section &sec = FSections[si];
  const QByteArray keyBytes = OneLine(key).trimmed();
  const QByteArray raw = keyBytes + "=" + OneLine(value);
  const QByteArray keyLower = keyBytes.toLower();
  auto k = sec.keys.constFind(keyLower);
  if (k != sec.keys.constEnd()) {
    if (sec.lines[*k].raw != raw) {
      sec.lines[*k].raw = raw;
      sec.lines[*k].end = TLineEnd::CrLf;
      FDirty = true;
    }
    return;
  }
  // New keys go after the section's last non-blank line.
  size_t at = sec.lines.size();
  while (at > 0 && TrimBlanks(sec.lines[at - 1].raw).isEmpty())
    --at;
  if (at != sec.lines.size()) {
    for (auto it = sec.keys.begin(); it != sec.keys.end(); ++it)
      if (it.value() >= static_cast<int>(at))
        ++it.value();
  }
  sec.lines.insert(sec.lines.begin() + static_cast<std::ptrdiff_t>(at), Line{raw, keyLower});
  sec.keys.insert(keyLower, static_cast<int>(at));
  FDirty = true;
}

void TIniFile::UpdateFile() {
  if (!FDirty)
    return;
  if (!FReadError.isEmpty())
    throw EIniFileError(QString("The file \"%1\" could not be read (%2), so it is not overwritten.")
                            .arg(FFileName, FReadError).toStdString());
  // A file whose owner has no write permission stays as it is, also for a
  // user (root) whom the system would let write it anyway.
  struct stat st;
  QByteArray native = QFile::encodeName(FFileName);
  if (::stat(native.constData(), &st) == 0) {
    if (!S_ISREG(st.st_mode))
      throw EIniFileError(QString("\"%1\" is not a file.").arg(FFileName).toStdString());
    if (!(st.st_mode & S_IWUSR))
      throw EIniFileError(QString("The file \"%1\" is read-only.").arg(FFileName).toStdString());
  }

  QByteArray out = FBom;
  qsizetype size = 0;
  for (const Section &s : FSections)
    for (const Line &l : s.lines)
      size += l.raw.size() + 2;
  out.reserve(size + FSections.size() * 32);
  // A line keeps the end it had; one that was last without an end gets one
  // when lines follow it.
  auto put = [&](const QByteArray &raw, TLineEnd end) {
    if (!out.isEmpty() && !out.endsWith('\n') && out.size() > FBom.size())
      out += "\r\n";
    out += raw;
    if (end == TLineEnd::CrLf)
      out += "\r\n";
    else if (end == TLineEnd::Lf)
      out += '\n';
  };
  for (const Section &s : FSections) {
    if (!s.header.isEmpty())
      put(s.header, s.headerEnd);
    for (const Line &l : s.lines)
      put(l.raw, l.end);
  }
  if (out.size() > MaxFileSize)
    throw EIniFileError(QString("The file \"%1\" is not written: it would be larger than %2 MiB, the most that is read back.")
                            .arg(FFileName).arg(MaxFileSize / (1024 * 1024)).toStdString());
  QSaveFile f(FFileName);
  if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size() || !f.commit()) {
    QString reason = f.errorString();
    f.cancelWriting();
    throw EIniFileError(QString("The file \"%1\" could not be written: %2").arg(FFileName, reason).toStdString());
  }
  FDirty = false;
}
