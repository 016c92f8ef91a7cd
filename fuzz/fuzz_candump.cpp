// SPDX-License-Identifier: GPL-3.0-or-later
// The candump log line parser on any text: it never fails, a frame it reads
// is one a CAN frame can be, and that frame written again reads back the same.

#include "can/FrameText.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const TCandumpRecord r = ParseCandumpLine(std::string_view(reinterpret_cast<const char *>(data), size));
  if (r.Kind != TCandumpKind::Frame)
    return 0;
  const TCanMessage &m = r.Msg;
  if (m.DLC > 8 || (m.IDType != 0 && m.IDType != 4) || (m.RTR != 0 && m.RTR != 2) ||
      m.ID > (m.IDType ? 0x1FFFFFFFu : 0x7FFu) || r.WallUs < 0)
    abort();
  const QByteArray again = CandumpLine(m, r.WallUs, r.Interface.c_str());
  const TCandumpRecord back = ParseCandumpLine(again.toStdString());
  if (back.Kind != TCandumpKind::Frame || back.WallUs != r.WallUs || back.Interface != r.Interface ||
      std::memcmp(&back.Msg, &m, sizeof m) != 0)
    abort();
  return 0;
}
