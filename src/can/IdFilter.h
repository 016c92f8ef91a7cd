// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A filter by identifier as the user types it: identifiers and ranges in
// hexadecimal, separated by commas or blanks, exclusions marked with "!":
// "100-1FF, 7E8, !7DF". A frame passes when its identifier is in one of the
// identifiers and ranges (or none are given) and in none of the exclusions.
// Identifiers are compared as numbers, whatever their kind.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TIdFilter {
public:
  // The filter the text describes; an empty text passes every frame. A
  // mistyped text gives no filter and the reason, naming where it went wrong.
  static std::optional<TIdFilter> Parse(std::string_view text, std::string &error);

  bool Passes(uint32_t id) const;
  bool PassesEverything() const { return FInclude.empty() && FExclude.empty(); }

private:
  struct TRange {
    uint32_t First, Last;
  };
  std::vector<TRange> FInclude, FExclude;
};
