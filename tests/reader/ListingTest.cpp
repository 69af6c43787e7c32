// Listing directory blocks: entry stride, absent entries, multi-block directories, one update of
// the list, drive blocks that fail, and every malformed block, which must end the listing
// without reading outside the block.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "Fixture.h"
#include "reader/BlockSource.h"
#include "reader/Directory.h"
#include "reader/EntryLine.h"

namespace brindle::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

std::vector<std::string> ListRoot(const OperaImage& image, bool* completed = nullptr) {
  ImageScene scene(image);
  const bool ok = scene.open();
  if (completed) *completed = ok;
  EXPECT_THAT(scene.window.errors, IsEmpty());  // failures while opening an image are silent
  return Names(scene.window);
}

TEST(DirectoryListing, SkipsAbsentEntriesButKeepsStride) {
  const auto names = ListRoot(
      OperaImageBuilder()
          .root({OperaEntry::File("A", 10), OperaEntry::Absent("B", 5), OperaEntry::File("C", 20)})
          .build());
  EXPECT_THAT(names, ElementsAre("A", "C"));
}

TEST(DirectoryListing, EntriesWithCopiesAreLongerAndTheNextIsStillFound) {
  const OperaImage image =
      OperaImageBuilder()
          .root({OperaEntry::File("three", 3000).withCopies(3), OperaEntry::File("next", 7)})
          .build();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  ASSERT_THAT(Names(scene.window), ElementsAre("three", "next"));
  // The first copy is the one shown.
  EXPECT_EQ(reader::EntryFirstBlock(scene.window.files[0]),
            image.placements.at("three").firstBlock);
  EXPECT_EQ(reader::EntryFirstBlock(scene.window.files[1]), image.placements.at("next").firstBlock);
  EXPECT_EQ(reader::EntrySize(scene.window.files[1]), 7);
}

TEST(DirectoryListing, EmptyNameZeroTypeAndSizeColumns) {
  ImageScene scene(OperaImageBuilder()
                       .root({OperaEntry::File("", 0),
                              OperaEntry::File("zero type", 5).withType(std::string(4, '\0')),
                              OperaEntry::File("big", 1).withSizeField(123456789)})
                       .build());
  ASSERT_TRUE(scene.open());
  const auto& files = scene.window.files;
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].substr(0, 55), std::string(34, ' ') + "    " + "          0 bytes");
  EXPECT_EQ(files[1].substr(34, 6), "      ");
  EXPECT_EQ(files[2].substr(40, 9), "123456789");
  for (const auto& line : files) EXPECT_EQ(line.size(), 65u);
}

TEST(DirectoryListing, UsedAreaEndAt20OrBelowYieldsNoLines) {
  for (std::uint32_t used : {0u, 19u, 20u}) {
    const auto names =
        ListRoot(OperaImageBuilder()
                     .rootDirectory(
                         OperaEntry::Dir("", {OperaEntry::File("hidden", 1)}).withUsedEnd(0, used))
                     .build());
    EXPECT_THAT(names, IsEmpty()) << used;
  }
}

TEST(DirectoryListing, MultiBlockDirectoryInOrderInOneUpdate) {
  std::vector<OperaEntry> entries;
  for (int i = 0; i < 7; ++i) entries.push_back(OperaEntry::File("f" + std::to_string(i), 1));
  const OperaImage image = OperaImageBuilder()
                               .rootDirectory(OperaEntry::Dir("", entries).withEntriesPerBlock(3))
                               .build();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  EXPECT_THAT(Names(scene.window), ElementsAre("f0", "f1", "f2", "f3", "f4", "f5", "f6"));
  EXPECT_EQ(scene.window.appendCalls, 1);
  EXPECT_THAT(scene.window.history,
              ElementsAre(reader::FormatHistoryEntry(3, image.placements.at("").firstBlock)));
}

TEST(DirectoryListing, FullBlocksOfMaximalEntries) {
  // 27 entries of 72 bytes fill a block to 1964 bytes; 60 entries need three blocks.
  std::vector<OperaEntry> entries;
  for (int i = 0; i < 60; ++i)
    entries.push_back(OperaEntry::File(std::string(31, 'a' + i % 26) + "", 0));
  const OperaImage image = OperaImageBuilder().root(entries).build();
  EXPECT_EQ(image.placements.at("").blockCount, 3u);
  EXPECT_EQ(ListRoot(image).size(), 60u);
}

// Each malformed condition ends an image open silently: the lines read before stay, the size
// label keeps its old text.
struct Malformed {
  const char* what;
  OperaImage image;
  std::vector<std::string> linesKept;
};

std::vector<Malformed> MalformedImages() {
  auto twoBlocks = [](OperaEntry secondBlockEntry) {
    return OperaEntry::Dir("", {OperaEntry::File("first", 1), std::move(secondBlockEntry)})
        .withEntriesPerBlock(1);
  };
  std::vector<Malformed> cases;
  cases.push_back(
      {"read past the end of the image",
       OperaImageBuilder().root({OperaEntry::File("a", 1)}).rootBlockCountField(50).build(),
       {"a"}});
  cases.push_back(
      {"start block at 1,048,576",
       OperaImageBuilder().root({OperaEntry::File("a", 1)}).rootFirstBlockField(1048576).build(),
       {}});
  cases.push_back(
      {"block count above 32,767",
       OperaImageBuilder().root({OperaEntry::File("a", 1)}).rootBlockCountField(32768).build(),
       {}});
  cases.push_back(
      {"used-area end above 32,767",
       OperaImageBuilder()
           .rootDirectory(twoBlocks(OperaEntry::File("second", 1)).withUsedEnd(1, 32768))
           .build(),
       {"first"}});
  // Not above the limit itself, but the walk over the empty rest of the block then steps past it.
  cases.push_back(
      {"used-area end of exactly 32,767",
       OperaImageBuilder()
           .rootDirectory(twoBlocks(OperaEntry::File("second", 1)).withUsedEnd(1, 32767))
           .build(),
       {"first", "second"}});
  cases.push_back({"next position beyond 32,767",
                   OperaImageBuilder()
                       .root({OperaEntry::File("long", 1).withLastCopyIndexField(8200),
                              OperaEntry::File("never", 1)})
                       .build(),
                   {"long"}});
  cases.push_back({"name field without a zero byte",
                   OperaImageBuilder()
                       .rootDirectory(twoBlocks(
                           OperaEntry::File("x", 1).withRawNameField(std::string(32, 'N'))))
                       .build(),
                   {"first"}});
  return cases;
}

TEST(MalformedDirectory, EndsTheOpenSilentlyKeepingLinesSoFar) {
  for (const Malformed& c : MalformedImages()) {
    SCOPED_TRACE(c.what);
    ImageScene scene(c.image);
    scene.window.size = "old";
    EXPECT_FALSE(scene.open());
    EXPECT_THAT(scene.window.errors, IsEmpty());
    EXPECT_EQ(Names(scene.window), c.linesKept);
    EXPECT_EQ(scene.window.size, "old");
    EXPECT_EQ(scene.window.history.size(), 1u);  // recorded before anything was read
    EXPECT_EQ(scene.window.image, scene.imagePath);
  }
}

TEST(MalformedDirectory, LimitsThemselvesAreAccepted) {
  // A used-area end beyond the block but within 32,767 steps over what the block does not hold.
  // The first entry's 475 copies put the next one 56 bytes before the block's end: its name
  // fits, its first block is cut off.
  std::vector<std::uint8_t> block =
      OperaDirectoryBlock({OperaEntryBytes("in", "    ", 1, 1, 475)}, 2100);
  std::vector<std::uint8_t> edge = OperaEntryBytes("E", "    ", 77, 1234);
  std::copy(edge.begin(), edge.begin() + 56, block.begin() + 1992);
  std::vector<std::string> lines;
  EXPECT_TRUE(reader::AppendBlockLines(block, lines));
  ASSERT_THAT(lines, ElementsAre(StartsWith("in "), StartsWith("E ")));
  EXPECT_EQ(reader::EntrySize(lines[1]), 77);
  EXPECT_EQ(reader::EntryFirstBlock(lines[1]), 0);

  // A copy index that moves the next position to 32,764, the last one within 32,767, is fine.
  std::vector<std::uint8_t> exact = OperaDirectoryBlock({OperaEntryBytes("e", "    ", 1, 1)}, 21);
  exact[20 + 64] = 0;
  exact[20 + 65] = 0;
  exact[20 + 66] = (32767 - 20 - 72) / 4 >> 8;
  exact[20 + 67] = static_cast<std::uint8_t>((32767 - 20 - 72) / 4);
  lines.clear();
  EXPECT_TRUE(reader::AppendBlockLines(exact, lines));
  EXPECT_EQ(lines.size(), 1u);
}

TEST(MalformedDirectory, RandomBlocksNeverReadOutsideTheirBytes) {
  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<std::size_t> length(0, 2048);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> block(length(random));
    for (auto& b : block) b = static_cast<std::uint8_t>(byte(random) < 200 ? 0 : byte(random));
    if (block.size() >= 16) {
      block[12] = 0;
      block[13] = static_cast<std::uint8_t>(byte(random) & 0x7F);
      block[14] = static_cast<std::uint8_t>(byte(random));
    }
    // Plant plausible entries so that lines are built, not only skipped.
    for (std::size_t p = 20; p + 72 <= block.size();
         p += 72 + 4 * static_cast<std::size_t>(byte(random) % 3)) {
      block[p + 3] = 1;
      if (byte(random) < 128) block[p + 32 + byte(random) % 32] = 0;
    }
    std::vector<std::string> lines;
    reader::AppendBlockLines(block, lines);
    for (const auto& line : lines) EXPECT_EQ(line.size(), 65u);
  }
}

TEST(DriveListing, OneReadPerBlockAndFailedBlocksContributeNothing) {
  std::vector<OperaEntry> entries = {OperaEntry::File("a", 1), OperaEntry::File("b", 1),
                                     OperaEntry::File("c", 1)};
  const OperaImage image = OperaImageBuilder()
                               .rootDirectory(OperaEntry::Dir("", entries).withEntriesPerBlock(1))
                               .build();
  reader::PlainWindow window;
  FakeDrive drive(image.bytes, window);
  const auto reader = drive.reader();
  const auto start = static_cast<std::int32_t>(image.placements.at("").firstBlock);
  drive.failing = {start + 1};
  EXPECT_TRUE(
      reader::ListDirectory(window, reader::BlockSource::Drive(reader), 3, start, {"/", ".."}));
  EXPECT_THAT(drive.lbas, ElementsAre(start, start + 1, start + 2));
  EXPECT_THAT(drive.counts, ElementsAre(1, 1, 1));
  EXPECT_THAT(Names(window), ElementsAre("/", "..", "a", "c"));
  EXPECT_THAT(window.errors, ElementsAre("Could not read sector " + std::to_string(start + 1) +
                                         ". Drive not ready."));
  EXPECT_EQ(window.appendCalls, 1);
}

TEST(DriveListing, LimitsApplyWithoutReading) {
  reader::PlainWindow window;
  FakeDrive drive({}, window);
  const auto reader = drive.reader();
  EXPECT_FALSE(reader::ListDirectory(window, reader::BlockSource::Drive(reader), 32768, 5));
  EXPECT_THAT(drive.lbas, IsEmpty());
  EXPECT_THAT(window.history, ElementsAre("32768;5"));
  // Nothing to read for an empty or negative count; still recorded.
  EXPECT_TRUE(reader::ListDirectory(window, reader::BlockSource::Drive(reader), 0, 5));
  EXPECT_TRUE(reader::ListDirectory(window, reader::BlockSource::Drive(reader), -3, 5));
  EXPECT_THAT(drive.lbas, IsEmpty());
  EXPECT_EQ(window.history.size(), 3u);
  // A drive has no 32-bit byte-offset limit: block 2,000,000 is read.
  EXPECT_TRUE(reader::ListDirectory(window, reader::BlockSource::Drive(reader), 1, 2000000));
  EXPECT_THAT(drive.lbas, ElementsAre(2000000));
}

}  // namespace
}  // namespace brindle::testing
