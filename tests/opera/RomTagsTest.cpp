// The ROM tags table of block 1: records as a real disc holds them, the end record, and tables
// that do not parse (no end record in the block, reserved bytes set) reported as such.
#include <gtest/gtest.h>

#include <vector>

#include "opera/RomTags.h"

namespace {

using brindle::opera::ParseRomTags;

std::vector<std::uint8_t> Record(std::vector<std::uint8_t> first16) {
  first16.resize(32, 0);
  return first16;
}

TEST(RomTags, ReadsRecordsUpToTheEndRecordAndTellsWhatDoesNotParse) {
  // From a homebrew disc: 0f 0d 02 05 00 00 0000 00000001 0000176c.
  const auto launch =
      Record({0x0f, 0x0d, 0x02, 0x05, 0x00, 0x00, 0, 0, 0, 0, 0, 1, 0, 0, 0x17, 0x6c});
  auto odd =
      Record({0x0f, 0x10, 1, 2, 0x80, 7, 0, 0, 0x12, 0x34, 0x56, 0x78, 0xff, 0xff, 0xff, 0xff});
  odd[20] = 1;  // a reserved byte set

  struct Case {
    const char* name;
    std::vector<std::vector<std::uint8_t>> records;
    std::size_t tags;
    bool ended;
  };
  const std::vector<Case> cases{
      {"two tags and the end", {launch, odd, Record({})}, 2, true},
      {"the end alone", {Record({})}, 0, true},
      {"no end record in the block", std::vector<std::vector<std::uint8_t>>(64, launch), 64, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> block;
    for (const auto& r : c.records) block.insert(block.end(), r.begin(), r.end());
    block.resize(2048, 0xEE);  // what follows the end record is not read
    const auto parsed = ParseRomTags(block);
    EXPECT_EQ(parsed.tags.size(), c.tags);
    EXPECT_EQ(parsed.ended, c.ended);
    if (c.tags == 0) continue;
    const auto& t = parsed.tags[0];
    EXPECT_EQ(t.subsystemType, 0x0f);
    EXPECT_EQ(t.type, 0x0d);
    EXPECT_EQ(t.version, 2);
    EXPECT_EQ(t.revision, 5);
    EXPECT_EQ(t.offset, 1u);
    EXPECT_EQ(t.size, 0x176cu);
    EXPECT_TRUE(t.reservedClear);
    if (c.tags == 2) {
      EXPECT_EQ(parsed.tags[1].flags, 0x80);
      EXPECT_EQ(parsed.tags[1].typeSpecific, 7);
      EXPECT_EQ(parsed.tags[1].offset, 0x12345678u);
      EXPECT_EQ(parsed.tags[1].size, 0xffffffffu);
      EXPECT_FALSE(parsed.tags[1].reservedClear);
    }
  }
}

}  // namespace
