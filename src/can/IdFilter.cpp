// SPDX-License-Identifier: GPL-3.0-or-later
#include "IdFilter.h"

#include "Frame.h"

#include <cctype>

namespace {
bool IsSeparator(char c) { return c == ',' || c == ' ' || c == '\t'; }

// Hexadecimal digits at pos, at most an extended identifier's value.
std::optional<uint32_t> ReadId(std::string_view text, size_t &pos) {
  const size_t start = pos;
  uint64_t value = 0;
  while (pos < text.size() && std::isxdigit(static_cast<unsigned char>(text[pos]))) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[pos])));
    value = value * 16 + static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    if (value > ExtendedIdMask)
      return std::nullopt;
    ++pos;
  }
  if (pos == start)
    return std::nullopt;
  return static_cast<uint32_t>(value);
}
} // namespace

std::optional<TIdFilter> TIdFilter::Parse(std::string_view text, std::string &error) {
  TIdFilter filter;
  size_t pos = 0;
  auto fail = [&](const std::string &what) {
    error = what + " at character " + std::to_string(pos + 1);
    return std::nullopt;
  };
  for (;;) {
    while (pos < text.size() && IsSeparator(text[pos]))
      ++pos;
    if (pos == text.size())
      break;
    const bool exclude = text[pos] == '!';
    if (exclude)
      ++pos;
    const size_t idStart = pos;
    const std::optional<uint32_t> first = ReadId(text, pos);
    if (!first) {
      pos = idStart;
      return fail(pos < text.size() && std::isxdigit(static_cast<unsigned char>(text[pos]))
                      ? "an identifier above 1FFFFFFF"
                      : "a hexadecimal identifier expected");
    }
    uint32_t last = *first;
    if (pos < text.size() && text[pos] == '-') {
      ++pos;
      const size_t lastStart = pos;
      const std::optional<uint32_t> end = ReadId(text, pos);
      if (!end) {
        pos = lastStart;
        return fail("the end of the range expected");
      }
      if (*end < *first) {
        pos = lastStart;
        return fail("a range that ends before it begins");
      }
      last = *end;
    }
    if (pos < text.size() && !IsSeparator(text[pos]))
      return fail("a comma expected");
    (exclude ? filter.FExclude : filter.FInclude).push_back({*first, last});
  }
  error.clear();
  return filter;
}

bool TIdFilter::Passes(uint32_t id) const {
  for (const TRange &r : FExclude)
    if (id >= r.First && id <= r.Last)
      return false;
  if (FInclude.empty())
    return true;
  for (const TRange &r : FInclude)
    if (id >= r.First && id <= r.Last)
      return true;
  return false;
}
