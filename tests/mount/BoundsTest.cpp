// The mounted file system over crafted directories: what it says on standard error stays a few
// lines per directory, and it holds no more entries than the disc does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "OperaImageBuilder.h"
#include "media/Containers.h"
#include "mount/FileSystem.h"

namespace brindle::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct Said {
  std::string err;
  std::size_t nodes = 0;
};

// Mounts the image (written to a file and opened as a container) and returns what it said.
Said MountOf(const OperaImage& image) {
  std::random_device random;
  const fs::path file = fs::temp_directory_path() / ("brindle-bounds-" + std::to_string(random()));
  EXPECT_TRUE(image.writeTo(file.string()));
  media::MediaError error;
  const auto device = media::OpenContainer(file.string(), error);
  media::BlockStatus status{};
  const auto volume = opera::Volume::Open(*device, status);
  std::ostringstream err;
  const mount::FileSystem files(*volume, {1, 1, {0, 0}}, err);
  fs::remove(file);
  return {err.str(), files.nodeCount()};
}

std::size_t Lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(MountedBounds, CraftedDirectoriesSayAScreenfulPerDirectory) {
  // 1,120 entries that cannot be shown: unsafe names and one name over and over.
  std::vector<std::vector<std::uint8_t>> blocks;
  for (int b = 0; b < 40; ++b) {
    std::vector<std::vector<std::uint8_t>> entries;
    for (int j = 0; j < 28; ++j)
      entries.push_back(OperaEntryBytes(j % 2 ? "a/b" : "same", "    ", 10, 1));
    blocks.push_back(OperaDirectoryBlock(entries));
  }
  const Said names = MountOf(
      OperaImageBuilder().rootDirectory(OperaEntry::Dir("", {}).withRawBlocks(blocks)).build());
  EXPECT_EQ(names.nodes, 2u);  // the root and the first "same"
  EXPECT_EQ(Lines(names.err), 21u) << names.err;
  EXPECT_THAT(names.err, HasSubstr("\"/\": and 1099 more entries left out.\n"));

  // Directory blocks read from the second copy: runs of them, a screenful, then a count.
  const OperaImage twice = TwoCopyDirectoryWithScratchedRuns();
  const std::uint32_t two = twice.placements.at("Two").firstBlock;
  const Said recovered = MountOf(twice);
  EXPECT_THAT(recovered.err, ::testing::StartsWith(
                                 "\"Two\": directory blocks 1 to 2 (disc blocks " +
                                 std::to_string(two + 1) + " to " + std::to_string(two + 2) + ")"));
  EXPECT_THAT(recovered.err,
              HasSubstr("\"Two\": and 2 more directory blocks read from another copy."));
  EXPECT_EQ(Lines(recovered.err), 21u) << recovered.err;

  // 84 directories whose second copy is one directory of 1,680 entries: it is walked once.
  std::vector<std::vector<std::uint8_t>> root;
  for (std::uint32_t b = 0; b < 3; ++b) {
    std::vector<std::vector<std::uint8_t>> entries;
    for (std::uint32_t j = 0; j < 28; ++j) {
      auto e = OperaEntryBytes("s" + std::to_string(b * 28 + j), "*dir", 60 * 2048,
                               0x70000000u + (b * 28 + j) * 100, 1);
      e[3] = 7;
      e[75] = 4;  // the second copy: block 4, right after the root
      e[72] = e[73] = e[74] = 0;
      entries.push_back(e);
    }
    root.push_back(OperaDirectoryBlock(entries));
  }
  OperaImage shared =
      OperaImageBuilder().rootDirectory(OperaEntry::Dir("", {}).withRawBlocks(root)).build();
  for (int b = 0; b < 60; ++b) {
    const auto block = OperaDirectoryBlock(
        std::vector(28, OperaEntryBytes("file " + std::to_string(b), "    ", 10, 1)));
    shared.bytes.insert(shared.bytes.end(), block.begin(), block.end());
  }
  const Said once = MountOf(shared);
  EXPECT_LE(once.nodes, 1u + 84u + 60u * 28u);
  EXPECT_LE(Lines(once.err), 64u) << once.err.substr(0, 2000);
  EXPECT_THAT(once.err, HasSubstr("shares its blocks with one already walked"));
}

}  // namespace
}  // namespace brindle::testing
