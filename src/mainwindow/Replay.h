// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Replay of a candump log file: its frames in order, each when its stamp
// says (relative to the first), or as fast as the adapter takes them, once
// or in a loop. The file is read as the replay goes, so files of any length
// replay in little memory. Lines that are not classic CAN frames (comments,
// damaged lines, error frames, CAN FD frames) are skipped and counted.

#include "can/FrameText.h"

#include <QFile>

#include <functional>

class TReplay {
public:
  // Opens the file; false with the reason naming it.
  bool Start(const QString &path, bool fast, bool loop, QString &error);
  void Stop() { FFile.close(); }
  bool Running() const { return FFile.isOpen(); }

  // Hands every frame due at nowUs (microseconds on the caller's clock,
  // the start being its first call) to send, while send takes them. Returns
  // at a frame send refuses, to offer it again at the next call.
  void Run(int64_t nowUs, const std::function<bool(const TCanMessage &)> &send);

  const QString &Path() const { return FPath; }
  uint64_t Sent() const { return FSent; }
  uint64_t Skipped() const { return FSkipped; }
  // How far through the file, 0 to 100.
  int Percent() const;

private:
  // The next frame of the file into FNext; false at the end (after a loop's
  // last round).
  bool ReadNext();

  QFile FFile;
  QString FPath;
  bool FFast = false;
  bool FLoop = false;
  bool FHaveNext = false;
  TCandumpRecord FNext;
  int64_t FFirstStampUs = 0; // the stamp of the round's first frame
  int64_t FRoundStartUs = -1; // the caller's time the round began; -1: not yet
  uint64_t FSent = 0;
  uint64_t FSkipped = 0;
  bool FFramesInFile = false;
};
