// Moving through directories with double clicks: entering, "..", "/", the history stack, the
// dispatch between directories and files, and what a failing step leaves behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "Fixture.h"
#include "reader/EntryLine.h"
#include "reader/Messages.h"

namespace brindle::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
namespace messages = reader::messages;

OperaImage Tree() {
  return OperaImageBuilder()
      .root(
          {OperaEntry::File("top.txt", 100),
           OperaEntry::Dir(
               "A", {OperaEntry::File("a1", 10),
                     OperaEntry::Dir(
                         "B", {OperaEntry::File("b1", 20),
                               OperaEntry::Dir(
                                   "C", {OperaEntry::Dir("D", {OperaEntry::File("deep", 1)})})})})})
      .build();
}

std::string History(const OperaImage& image, const std::string& path) {
  const OperaPlacement p = image.placements.at(path);
  return reader::FormatHistoryEntry(static_cast<std::int32_t>(p.blockCount),
                                    static_cast<std::int32_t>(p.firstBlock));
}

TEST(Navigation, EnteringShowsNavigationLinesThenEntriesAndPushes) {
  const OperaImage image = Tree();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  ASSERT_TRUE(scene.doubleClick(scene.lineOf("A")));
  EXPECT_THAT(scene.window.files[0], "/");
  EXPECT_THAT(scene.window.files[1], "..");
  EXPECT_THAT(Names(scene.window), ElementsAre("/", "..", "a1", "B"));
  EXPECT_THAT(scene.window.history, ElementsAre(History(image, ""), History(image, "A")));
  EXPECT_EQ(scene.window.appendCalls, 2);  // the root, then A in one update
}

TEST(Navigation, UpFromFirstLevelRereadsTheRootAndItsHeader) {
  const OperaImage image = Tree();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  ASSERT_TRUE(scene.doubleClick(scene.lineOf("A")));
  scene.window.size = "stale";
  ASSERT_TRUE(scene.doubleClick(".."));
  EXPECT_THAT(Names(scene.window), ElementsAre("top.txt", "A"));
  EXPECT_THAT(scene.window.history, ElementsAre(History(image, "")));
  EXPECT_EQ(scene.window.size, "0 MB");
}

TEST(Navigation, UpFromSecondLevelListsTheParentAndPopsTwice) {
  const OperaImage image = Tree();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  ASSERT_TRUE(scene.doubleClick(scene.lineOf("A")));
  ASSERT_TRUE(scene.doubleClick(scene.lineOf("B")));
  ASSERT_EQ(scene.window.history.size(), 3u);
  ASSERT_TRUE(scene.doubleClick(".."));
  EXPECT_THAT(Names(scene.window), ElementsAre("/", "..", "a1", "B"));
  EXPECT_THAT(scene.window.history, ElementsAre(History(image, ""), History(image, "A")));
  EXPECT_EQ(scene.window.currentHistoryIndex, 1);  // the parent's entry was made current
}

TEST(Navigation, RootLineReturnsFromAnyDepth) {
  const OperaImage image = Tree();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  for (const char* name : {"A", "B", "C", "D"}) ASSERT_TRUE(scene.doubleClick(scene.lineOf(name)));
  EXPECT_THAT(Names(scene.window), ElementsAre("/", "..", "deep"));
  EXPECT_EQ(scene.window.history.size(), 5u);
  ASSERT_TRUE(scene.doubleClick("/"));
  EXPECT_THAT(Names(scene.window), ElementsAre("top.txt", "A"));
  EXPECT_THAT(scene.window.history, ElementsAre(History(image, "")));
}

TEST(Navigation, ParentWithMultiDigitCountIsSplitAtTheSemicolon) {
  const OperaImage image = Tree();
  reader::PlainWindow window;
  window.source = reader::SectorSource::Drive;
  FakeDrive drive(image.bytes, window);
  reader::VolumeReader reader(window, drive.reader());
  window.files = {"/", ".."};
  window.history = {"1;1", "12;35", "1;99"};
  window.current = 1;
  reader.lstFiles_DblClick();
  std::vector<std::int32_t> expected;
  for (int i = 35; i < 47; ++i) expected.push_back(i);
  EXPECT_EQ(drive.lbas, expected);
  EXPECT_THAT(window.history, ElementsAre("1;1", "12;35"));
}

TEST(Navigation, TypeDecidesDirectoryOrFile) {
  // A file typed "*dir" whose bytes happen to be a directory block is entered.
  const std::vector<std::uint8_t> block =
      OperaDirectoryBlock({OperaEntryBytes("inner", "    ", 3, 1)});
  const OperaImage image =
      OperaImageBuilder()
          .root({OperaEntry::File("looks like dir", block).withType("*dir"),
                 OperaEntry::Dir("plain folder", {OperaEntry::File("x", 1)}).withType("FOLD")})
          .build();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  ASSERT_TRUE(scene.doubleClick(scene.lineOf("looks like dir")));
  EXPECT_THAT(Names(scene.window), ElementsAre("/", "..", "inner"));

  // A directory stored with another type is saved like a file.
  ASSERT_TRUE(scene.doubleClick("/"));
  const std::string target = scene.dir.file("saved");
  scene.window.saveAnswers.push_back(target);
  EXPECT_TRUE(scene.doubleClick(scene.lineOf("plain folder")));
  EXPECT_EQ(ReadBytes(target), image.contents.at("plain folder"));
  EXPECT_EQ(scene.window.history.size(), 1u);
}

TEST(Navigation, UnreadableDriveDirectoryShowsOnlyNavigationLines) {
  const OperaImage image = Tree();
  reader::PlainWindow window;
  window.source = reader::SectorSource::Drive;
  window.drives = {"D: X"};
  window.drive = 0;
  FakeDrive drive(image.bytes, window);
  reader::VolumeReader reader(window, drive.reader());
  ASSERT_TRUE(reader.cmdOpen_Click());
  drive.failing = {static_cast<std::int32_t>(image.placements.at("A").firstBlock)};
  ASSERT_TRUE(window.select(window.files[1]));
  EXPECT_TRUE(reader.lstFiles_DblClick());
  EXPECT_THAT(window.files, ElementsAre("/", ".."));
  EXPECT_EQ(window.history.size(), 2u);
  EXPECT_EQ(window.errors.size(), 1u);
}

TEST(NavigationFailure, VanishedImageIsToldAndNothingChanges) {
  ImageScene scene(Tree());
  ASSERT_TRUE(scene.open());
  const auto files = scene.window.files;
  const auto history = scene.window.history;
  std::filesystem::remove(scene.imagePath);
  EXPECT_FALSE(scene.doubleClick(scene.lineOf("A")));
  EXPECT_THAT(scene.window.errors, ElementsAre(messages::kCannotOpenImage));
  EXPECT_EQ(scene.window.files, files);
  EXPECT_EQ(scene.window.history, history);
}

TEST(NavigationFailure, MalformedDirectoryRestoresTheListingShown) {
  const OperaImage image =
      OperaImageBuilder()
          .root({OperaEntry::Dir(
                     "ok",
                     {OperaEntry::Dir("bad", {OperaEntry::File("x", 1)}).withUsedEnd(0, 40000)}),
                 OperaEntry::Dir("cut", {}).withSizeField(2048 * 500)})
          .build();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  ASSERT_TRUE(scene.doubleClick(scene.lineOf("ok")));
  const auto files = scene.window.files;
  const auto history = scene.window.history;
  EXPECT_FALSE(scene.doubleClick(scene.lineOf("bad")));
  EXPECT_THAT(scene.window.errors, ElementsAre(messages::kDirectoryUnreadable));
  EXPECT_EQ(scene.window.files, files);
  EXPECT_EQ(scene.window.history, history);

  // A directory running past the end of the image, from the root.
  ASSERT_TRUE(scene.doubleClick("/"));
  const auto rootFiles = scene.window.files;
  EXPECT_FALSE(scene.doubleClick(scene.lineOf("cut")));
  EXPECT_EQ(scene.window.files, rootFiles);
  EXPECT_EQ(scene.window.history.size(), 1u);
  EXPECT_EQ(scene.window.errors.size(), 2u);
}

TEST(Navigation, NothingSelectedDoesNothing) {
  ImageScene scene(Tree());
  ASSERT_TRUE(scene.open());
  scene.window.current = -1;
  EXPECT_FALSE(scene.reader.lstFiles_DblClick());
  EXPECT_THAT(scene.window.errors, IsEmpty());
  EXPECT_THAT(scene.window.saveRequests, IsEmpty());
}

}  // namespace
}  // namespace brindle::testing

namespace brindle::testing {
namespace {

// Some discs record a directory of several blocks with the byte count of one block; the entry's
// block count holds the truth. Every block is listed, stacked, gone back to and extracted, while
// the lines themselves stay as the sizes on the disc give them.
TEST(Navigation, ADirectoryOfMoreBlocksThanItsByteCountIsReadWhole) {
  std::vector<OperaEntry> files;
  for (int i = 0; i < 7; ++i) files.push_back(OperaEntry::File("f" + std::to_string(i), 10 + i));
  files.push_back(OperaEntry::Dir("Deep", {OperaEntry::File("d", 3)}));
  OperaImage image =
      OperaImageBuilder()
          .root({OperaEntry::Dir("Many", files).withEntriesPerBlock(2).withSizeField(2048),
                 OperaEntry::Dir("Plain", {OperaEntry::File("p", 1)})})
          .build();
  const OperaPlacement many = image.placements.at("Many");
  ASSERT_EQ(many.blockCount, 4u);
  // The entry's block count field (byte 23 of the entry) holds the directory's true 4 blocks.
  const std::size_t root = image.placements.at("").firstBlock * 2048;
  const std::string name("Many\0", 5);
  const auto at = std::search(image.bytes.begin() + root, image.bytes.begin() + root + 2048,
                              name.begin(), name.end());
  ASSERT_NE(at, image.bytes.begin() + root + 2048);
  *(at - 32 + 23) = 4;
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  const std::string line = scene.lineOf("Many");
  EXPECT_EQ(reader::EntrySize(line), 2048);  // the line shows what the disc records

  ASSERT_TRUE(scene.doubleClick(line));
  EXPECT_THAT(Names(scene.window),
              ElementsAre("/", "..", "f0", "f1", "f2", "f3", "f4", "f5", "f6", "Deep"));
  EXPECT_EQ(scene.window.history.back(),
            reader::FormatHistoryEntry(4, static_cast<std::int32_t>(many.firstBlock)));
  ASSERT_TRUE(scene.doubleClick(scene.lineOf("Deep")));
  ASSERT_TRUE(scene.doubleClick(".."));
  EXPECT_EQ(Names(scene.window).size(), 10u);  // the parent from the stack, whole again

  // Back at the root: extract-all writes the directory's every block, and a directory whose
  // size is right keeps its size.
  ASSERT_TRUE(scene.doubleClick("/"));
  ASSERT_TRUE(scene.reader.ExtractAllTo(scene.dir.prefix()));
  EXPECT_EQ(ReadBytes(scene.dir.path() / "Many"), image.contents.at("Many"));
  EXPECT_EQ(ReadBytes(scene.dir.path() / "Plain"), image.contents.at("Plain"));
  EXPECT_EQ(image.contents.at("Many").size(), 4u * 2048);
}

}  // namespace
}  // namespace brindle::testing
