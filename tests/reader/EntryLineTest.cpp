// The byte-level rules: big-endian fields, the entry line written and read back, history
// entries and the Latin-1 names.
#include <gtest/gtest.h>

#include <array>

#include "OperaImageBuilder.h"
#include "opera/BigEndian.h"
#include "output/Names.h"
#include "reader/EntryLine.h"

namespace brindle::reader {
namespace {

using testing::OperaEntryBytes;

TEST(ReadBigEndian32, ReadsFourBytesMostSignificantFirst) {
  const std::array<std::uint8_t, 5> bytes{0x00, 0x04, 0x93, 0xE0, 0xFF};
  EXPECT_EQ(opera::ReadBigEndian32(bytes), 300000);
  const std::array<std::uint8_t, 4> largest{0x7F, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(opera::ReadBigEndian32(largest), INT32_MAX);
}

TEST(ReadBigEndian32, YieldsZeroForValuesBeyond31BitsAndForMissingBytes) {
  const std::array<std::uint8_t, 4> high{0x80, 0x00, 0x00, 0x01};
  const std::array<std::uint8_t, 4> all{0xFF, 0xFF, 0xFF, 0xFF};
  const std::array<std::uint8_t, 3> three{0x01, 0x02, 0x03};
  EXPECT_EQ(opera::ReadBigEndian32(high), 0);
  EXPECT_EQ(opera::ReadBigEndian32(all), 0);
  EXPECT_EQ(opera::ReadBigEndian32(three), 0);
  EXPECT_EQ(opera::ReadBigEndian32({}), 0);
  const std::array<std::uint8_t, 6> data{0, 0, 0, 0, 0x12, 0x34};
  EXPECT_EQ(opera::ReadBigEndian32At(data, 2), 0x1234);
  EXPECT_EQ(opera::ReadBigEndian32At(data, 3), 0);  // runs past the end
  EXPECT_EQ(opera::ReadBigEndian32At(data, 100), 0);
}

std::string Line(const std::string& name, const std::string& type, std::uint32_t size,
                 std::uint32_t firstBlock) {
  return BuildEntryLine(OperaEntryBytes(name, type, size, firstBlock)).value_or("<none>");
}

TEST(EntryLineFormat, MatchesTheFixedColumns) {
  const std::string zeroType(4, '\0');
  const std::string expected = "abc" + std::string(31, ' ') + std::string(6, ' ') +
                               std::string(5, ' ') + "1234 bytes" + std::string(7, ' ') + "567";
  EXPECT_EQ(Line("abc", zeroType, 1234, 567), expected);
  EXPECT_EQ(expected.size(), 65u);

  const std::string dir = Line("Art", "*dir", 4096, 12);
  EXPECT_EQ(dir.substr(34, 6), "*dir  ");
  EXPECT_EQ(dir.size(), 65u);
  // One zero byte among the four is enough for six spaces.
  EXPECT_EQ(Line("x", std::string("AB\0D", 4), 1, 1).substr(34, 6), "      ");
}

TEST(EntryLineFormat, SizeAndBlockColumnsAtTheirLimits) {
  EXPECT_EQ(Line("z", "    ", 0, 0).substr(40), "        0 bytes         0");
  EXPECT_EQ(Line("z", "    ", 123456789, 7).substr(40, 15), "123456789 bytes");
  // Longer numbers keep their last digits, and the line keeps its width.
  const std::string big = Line("z", "    ", 1234567890, 2000000000);
  EXPECT_EQ(big.substr(40, 15), "234567890 bytes");
  EXPECT_EQ(big.substr(55), "2000000000");
  EXPECT_EQ(big.size(), 65u);
}

TEST(EntryLineFormat, NamesOfZeroAnd31CharactersAndLatin1Bytes) {
  EXPECT_EQ(Line("", "    ", 5, 1).substr(0, 34), std::string(34, ' '));
  const std::string longest(31, 'N');
  EXPECT_EQ(Line(longest, "    ", 5, 1).substr(0, 34), longest + "   ");
  EXPECT_EQ(Line("caf\xE9", "    ", 5, 1).substr(0, 4), "caf\xE9");
}

TEST(EntryLineFormat, NameFieldWithoutZeroByteIsRejected) {
  std::vector<std::uint8_t> entry = OperaEntryBytes("x", "    ", 1, 1);
  std::fill(entry.begin() + 32, entry.begin() + 64, 'Q');
  EXPECT_FALSE(BuildEntryLine(entry));
  // Cut off inside the name before its zero byte: also no line.
  const std::vector<std::uint8_t> cut(entry.begin(), entry.begin() + 40);
  EXPECT_FALSE(BuildEntryLine(cut));
  EXPECT_FALSE(BuildEntryLine({}));
}

TEST(EntryLineFormat, EntryCutShortReadsMissingNumbersAsZero) {
  std::vector<std::uint8_t> entry = OperaEntryBytes("ab", "DATA", 99, 1234);
  entry.resize(60);  // ends inside the name field, after its zero byte
  const auto line = BuildEntryLine(entry);
  ASSERT_TRUE(line);
  EXPECT_EQ(EntrySize(*line), 99);
  EXPECT_EQ(EntryFirstBlock(*line), 0);
}

TEST(EntryLineReadBack, TakesEachColumnBack) {
  const std::string line = Line("  My File ", "TEXT", 98765, 4321);
  EXPECT_EQ(EntryName(line), "My File");
  EXPECT_EQ(EntryType(line), "TEXT");
  EXPECT_EQ(EntrySize(line), 98765);
  EXPECT_EQ(EntryFirstBlock(line), 4321);
  EXPECT_FALSE(IsDirectoryLine(line));
  EXPECT_TRUE(IsDirectoryLine(Line("d", "*dir", 2048, 3)));
  EXPECT_FALSE(IsDirectoryLine(Line("d", "*DIR", 2048, 3)));  // case-sensitive
}

TEST(EntryLineReadBack, FirstBlockComesFromTheLastSixCharacters) {
  EXPECT_EQ(EntryFirstBlock(Line("f", "    ", 1, 999999)), 999999);
  EXPECT_EQ(EntryFirstBlock(Line("f", "    ", 1, 1234567)), 234567);
}

TEST(EntryLineReadBack, NavigationAndShortLinesReadAsZero) {
  for (const std::string line : {"/", "..", ""}) {
    EXPECT_EQ(EntrySize(line), 0);
    EXPECT_EQ(EntryFirstBlock(line), 0);
    EXPECT_EQ(EntryType(line), "");
  }
  EXPECT_EQ(EntryName("/"), "/");
  EXPECT_EQ(EntryName(".."), "..");
  EXPECT_TRUE(IsDirectoryLine("/"));
  EXPECT_TRUE(IsDirectoryLine(".."));
  EXPECT_FALSE(IsDirectoryLine("..."));
  EXPECT_EQ(EntryName(std::string(40, ' ')), "");
}

TEST(HistoryEntryFormat, RoundTripsAndToleratesJunk) {
  EXPECT_EQ(FormatHistoryEntry(2, 35), "2;35");
  EXPECT_EQ(ParseHistoryEntry("12;35"), std::make_pair(12, 35));
  EXPECT_EQ(ParseHistoryEntry(FormatHistoryEntry(32767, 2147483647)),
            std::make_pair(32767, 2147483647));
  EXPECT_EQ(ParseHistoryEntry("x;y"), std::make_pair(0, 0));
  EXPECT_EQ(ParseHistoryEntry("99999999999;1"), std::make_pair(0, 1));
  EXPECT_EQ(ParseHistoryEntry(""), std::make_pair(0, 0));
}

TEST(Latin1Names, ConvertBothWays) {
  const std::string latin1 = "Caf\xE9 \xFF\x7F";
  const std::string utf8 = output::Latin1ToUtf8(latin1);
  EXPECT_EQ(utf8, "Caf\xC3\xA9 \xC3\xBF\x7F");
  EXPECT_EQ(output::Utf8ToLatin1(utf8), latin1);
  EXPECT_FALSE(output::Utf8ToLatin1("\xE2\x82\xAC"));  // the euro sign has no Latin-1 byte
  EXPECT_FALSE(output::Utf8ToLatin1("\xC3"));          // cut off
}

}  // namespace
}  // namespace brindle::reader
