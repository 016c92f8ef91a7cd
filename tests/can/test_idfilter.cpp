// SPDX-License-Identifier: GPL-3.0-or-later
// The identifier filter's grammar and what it lets through.

#include "can/IdFilter.h"

#include <gtest/gtest.h>

namespace {

TEST(IdFilter, IdentifiersRangesAndExclusions) {
  std::string error;
  auto f = TIdFilter::Parse("100-1FF, 7e8 !150,!180-18F  1ABCDEF0", error);
  ASSERT_TRUE(f) << error;
  for (uint32_t id : {0x100u, 0x14Fu, 0x151u, 0x17Fu, 0x190u, 0x1FFu, 0x7E8u, 0x1ABCDEF0u})
    EXPECT_TRUE(f->Passes(id)) << std::hex << id;
  for (uint32_t id : {0x0FFu, 0x150u, 0x180u, 0x18Fu, 0x200u, 0x7E7u, 0x1ABCDEF1u})
    EXPECT_FALSE(f->Passes(id)) << std::hex << id;
  // Only exclusions: everything else passes; nothing: everything passes.
  f = TIdFilter::Parse("!7DF", error);
  ASSERT_TRUE(f);
  EXPECT_FALSE(f->Passes(0x7DF));
  EXPECT_TRUE(f->Passes(0x7E0));
  f = TIdFilter::Parse(" , ", error);
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->PassesEverything());
  EXPECT_TRUE(f->Passes(0x1FFFFFFF));
}

TEST(IdFilter, MistypedFiltersSayWhereTheyWentWrong) {
  const std::pair<const char *, const char *> cases[] = {
      {"12G", "a comma expected at character 3"},
      {"100-", "the end of the range expected at character 5"},
      {"200-100", "a range that ends before it begins at character 5"},
      {"!", "a hexadecimal identifier expected at character 2"},
      {"-5", "a hexadecimal identifier expected at character 1"},
      {"20000000", "an identifier above 1FFFFFFF at character 1"},
      {"100--200", "the end of the range expected at character 5"},
  };
  for (const auto &[text, expected] : cases) {
    std::string error;
    EXPECT_FALSE(TIdFilter::Parse(text, error)) << text;
    EXPECT_EQ(error, expected) << text;
  }
}

} // namespace
