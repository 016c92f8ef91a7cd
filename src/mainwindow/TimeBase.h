// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One time base for every frame of the window's run: microseconds since its
// first connection, going on across disconnections and reconnections on the
// steady clock. The log's time column, the overview, the plot, exported and
// recorded files all give a frame this one time (files as wall-clock time:
// the first connection's plus it), so a frame never has two times and a
// reconnection never makes time run backwards.

#include <algorithm>
#include <chrono>
#include <cstdint>

class TTimeBase {
public:
  using TClock = std::chrono::steady_clock;

  // A connection whose stamps count from connectedAt, made at wall-clock
  // time connectedWallUs (microseconds since the Unix epoch).
  void BeginConnection(TClock::time_point connectedAt, int64_t connectedWallUs) {
    if (!FStarted) {
      FStarted = true;
      FOrigin = connectedAt;
      FOriginWallUs = connectedWallUs;
    }
    FOffsetUs = std::max<int64_t>(0, Us(connectedAt - FOrigin));
  }
  // A stamp of the current connection on the run's time base.
  int64_t FromConnection(int64_t connectionUs) const { return FOffsetUs + connectionUs; }
  // Now on the run's time base (0 before the first connection).
  int64_t NowUs() const { return FStarted ? Us(TClock::now() - FOrigin) : 0; }
  // The wall-clock time the run's time base starts at.
  int64_t OriginWallUs() const { return FOriginWallUs; }
  int64_t WallUs(int64_t timeUs) const { return FOriginWallUs + timeUs; }

private:
  static int64_t Us(TClock::duration d) { return std::chrono::duration_cast<std::chrono::microseconds>(d).count(); }

  bool FStarted = false;
  TClock::time_point FOrigin{};
  int64_t FOriginWallUs = 0;
  int64_t FOffsetUs = 0;
};
