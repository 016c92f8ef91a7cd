// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Numbers in files, read and written the same whatever the process locale
// (a decimal comma would turn "12.5" into 12 and write "12,5" into
// comma-separated columns).

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

// A decimal or exponent number, with an optional sign; nothing else around
// it. No value for anything that is not a finite number.
inline std::optional<double> ParseDouble(std::string_view text) {
  if (!text.empty() && text.front() == '+')
    text.remove_prefix(1);
  if (text.empty() || text.front() == '+')
    return std::nullopt;
  double v = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
    return std::nullopt;
  return v;
}

// The shortest text of at most `digits` significant digits, as "%g" writes
// it in the C locale.
inline std::string FormatDouble(double value, int digits = 10) {
  char buf[64];
  const auto [end, error] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
  return error == std::errc() ? std::string(buf, end) : std::string();
}
