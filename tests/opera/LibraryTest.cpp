// The typed Opera library against volumes whose contents are known: the image builder's trees,
// walked, read back and damaged.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <set>

#include "OperaImageBuilder.h"
#include "media/BlockDevice.h"
#include "opera/DirectoryBlock.h"
#include "opera/EntryReader.h"
#include "opera/Walker.h"

namespace brindle::testing {
namespace {

using opera::WalkProblem;

// A disc held in memory, some of whose blocks cannot be read or fail their check.
class MemoryDevice final : public media::BlockDevice {
 public:
  explicit MemoryDevice(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

  std::map<std::uint64_t, media::BlockStatus> bad;
  std::uint64_t reads = 0;

  std::uint64_t blockCount() const override {
    return (bytes_.size() + media::kBlockSize - 1) / media::kBlockSize;
  }
  std::string describe() const override { return "memory"; }
  std::vector<media::TrackInfo> tracks() const override { return {}; }

 protected:
  void readBlocks(std::uint64_t first, std::span<std::uint8_t> out,
                  std::span<media::BlockStatus> status) override {
    ++reads;
    for (std::size_t i = 0; i < status.size(); ++i) {
      std::uint8_t* into = out.data() + i * media::kBlockSize;
      const std::uint64_t block = first + i;
      if (auto it = bad.find(block); it != bad.end()) {
        status[i] = it->second;
      } else {
        const std::size_t at = block * media::kBlockSize;
        const std::size_t n = std::min(media::kBlockSize, bytes_.size() - at);
        std::memcpy(into, bytes_.data() + at, n);
        std::memset(into + n, 0, media::kBlockSize - n);
        status[i] = media::BlockStatus::Good;
      }
    }
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

// A random tree: files of random sizes (some empty, some spanning many blocks), some with extra
// copies, directories nested a few deep, some spread over several blocks.
std::vector<OperaEntry> RandomTree(std::mt19937& rng, int depth, int& serial) {
  std::vector<OperaEntry> entries;
  const int count = std::uniform_int_distribution<int>(0, depth == 0 ? 12 : 6)(rng);
  for (int i = 0; i < count; ++i) {
    const std::string name = "e" + std::to_string(serial++);
    if (depth < 3 && rng() % 4 == 0) {
      OperaEntry dir = OperaEntry::Dir(name, RandomTree(rng, depth + 1, serial));
      if (rng() % 3 == 0) dir.withEntriesPerBlock(2);
      if (rng() % 3 == 0) dir.withCopies(2);
      entries.push_back(std::move(dir));
    } else {
      OperaEntry file = OperaEntry::File(name, std::uniform_int_distribution<int>(0, 9000)(rng));
      if (rng() % 3 == 0) file.withCopies(static_cast<int>(rng() % 3) + 2);
      entries.push_back(std::move(file));
    }
  }
  return entries;
}

opera::Volume OpenVolume(media::BlockDevice& device) {
  media::BlockStatus status{};
  auto volume = opera::Volume::Open(device, status);
  EXPECT_TRUE(volume.has_value());
  return *volume;
}

std::vector<std::uint8_t> ReadWhole(media::BlockDevice& device, const opera::Entry& entry,
                                    opera::ReadReport& report) {
  std::vector<std::uint8_t> bytes(entry.byteCount);
  opera::EntryReader reader(device);
  // In two uneven parts, so reads that start and end inside blocks are exercised.
  const std::size_t split = bytes.size() / 3 + 1;
  std::size_t got = 0;
  if (!bytes.empty()) {
    got += reader.read(entry, 0, std::span(bytes).first(std::min(split, bytes.size())), report);
    if (split < bytes.size())
      got += reader.read(entry, split, std::span(bytes).subspan(split), report);
  }
  EXPECT_EQ(got, bytes.size());
  return bytes;
}

TEST(OperaLibrary, RandomVolumesWalkAndReadBackExactlyAsBuilt) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    int serial = 0;
    const OperaImage image = OperaImageBuilder().root(RandomTree(rng, 0, serial)).build();
    MemoryDevice device(image.bytes);
    const opera::Volume volume = OpenVolume(device);
    const opera::Tree tree = opera::Walk(volume, volume.root());
    EXPECT_TRUE(tree.problems.empty());

    std::set<std::string> walked;
    for (const opera::WalkedEntry& w : tree.entries) {
      walked.insert(w.path);
      const OperaPlacement& placed = image.placements.at(w.path);
      EXPECT_EQ(w.entry.firstBlock(), placed.firstBlock) << w.path;
      EXPECT_EQ(w.entry.byteCount, placed.byteCount) << w.path;
      EXPECT_EQ(w.entry.isDirectory(), image.directories.count(w.path) == 1) << w.path;
      if (w.parent >= 0) {
        EXPECT_EQ(w.path.rfind(tree.entries[w.parent].path + "/", 0), 0u) << w.path;
      }
      if (!w.entry.isDirectory()) {
        opera::ReadReport report;
        EXPECT_EQ(ReadWhole(device, w.entry, report), image.contents.at(w.path)) << w.path;
        EXPECT_TRUE(report.complete() && report.recovered.empty());
      }
    }
    std::set<std::string> built;
    for (const auto& [path, placement] : image.placements)
      if (!path.empty()) built.insert(path);
    EXPECT_EQ(walked, built);

    // Every copy but the last made unreadable, block by block in turn: still exact.
    for (const opera::WalkedEntry& w : tree.entries) {
      if (w.entry.isDirectory() || w.entry.copies.size() < 2 || w.entry.byteCount == 0) continue;
      MemoryDevice damaged(image.bytes);
      const std::uint32_t blocks = (w.entry.byteCount + 2047) / 2048;
      for (std::uint32_t b = 0; b < blocks; ++b) {
        const std::size_t keep = b % w.entry.copies.size();
        for (std::size_t c = 0; c < w.entry.copies.size(); ++c)
          if (c != keep) damaged.bad[w.entry.copies[c] + b] = media::BlockStatus::FailedCheck;
      }
      opera::ReadReport report;
      EXPECT_EQ(ReadWhole(damaged, w.entry, report), image.contents.at(w.path)) << w.path;
      EXPECT_TRUE(report.complete()) << w.path;
    }
  }
}

TEST(OperaLibrary, TypedEntriesKeepEveryFieldOfMalformedBlocks) {
  // Random bytes after a plausible header: the parser stays inside the block, keeps the copy
  // list within it and stops at the first fault with the entries before it.
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::uint8_t> block(2048);
    for (auto& b : block) b = static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() : 0);
    block[12] = 0;
    block[13] = static_cast<std::uint8_t>(rng() % 0x90);
    const opera::BlockEntries parsed = opera::ParseDirectoryBlock(block);
    for (const opera::Entry& e : parsed.entries) {
      EXPECT_LE(e.offset + 68 + 4 * e.copies.size(), block.size() + 4 * (e.copies.empty() ? 1 : 0));
      EXPECT_LT(e.name.size(), 32u);
    }
  }
  const auto cut = OperaDirectoryBlock({OperaEntryBytes("whole", "    ", 10, 5)}, 2040);
  const opera::BlockEntries parsed = opera::ParseDirectoryBlock(cut);
  EXPECT_EQ(parsed.entries.size(), 1u);
}

TEST(OperaLibrary, TheVolumeLabelKeepsEveryFieldOfBlockZero) {
  // Block 0 written here field by field, each field's bytes distinct from every other's, so a
  // field read from a neighbour's place shows. Text fields either end at a zero or fill all 32
  // bytes; the copy count is either honest or far beyond the eight the label has room for.
  struct Case {
    std::string comment, label;
    std::uint32_t lastCopy;
    std::vector<std::uint32_t> copies;
  };
  const std::vector<Case> cases = {
      {"made for a test", "VOLUME ONE", 2, {0x64, 0xC8, 0x12C}},
      {std::string(32, 'c'),
       std::string(32, 'L'),
       0xFFFFFFFF,
       {0x64, 0xC8, 0x12C, 0x190, 0x1F4, 0x258, 0x2BC, 0x320}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<std::uint8_t> block(2048, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
      for (int i = 0; i < 4; ++i) block[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    };
    block[0] = 0x01;
    std::memcpy(&block[1], "ZZZZZ", 5);
    block[6] = 0x02;
    block[7] = 0x05;
    std::memcpy(&block[8], c.comment.data(), c.comment.size());
    std::memcpy(&block[40], c.label.data(), c.label.size());
    const std::uint32_t fields[] = {0x11223344, 2048, 0xC00, 0x55667788, 3, 2049, c.lastCopy};
    for (std::size_t i = 0; i < std::size(fields); ++i) put32(72 + 4 * i, fields[i]);
    for (std::uint32_t i = 0; i < 9; ++i) put32(100 + 4 * i, 0x64 * (i + 1));

    const auto v = opera::ParseVolumeLabel(block);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->recordType, 0x01);
    EXPECT_EQ(v->version, 0x02);
    EXPECT_EQ(v->flags, 0x05);
    EXPECT_EQ(v->comment, c.comment);
    EXPECT_EQ(v->label, c.label);
    EXPECT_EQ(v->id, 0x11223344u);
    EXPECT_EQ(v->blockSize, 2048u);
    EXPECT_EQ(v->blockCount, 0xC00u);
    EXPECT_EQ(v->rootId, 0x55667788u);
    EXPECT_EQ(v->rootBlockCount, 3u);
    EXPECT_EQ(v->rootBlockSize, 2049u);
    EXPECT_EQ(v->rootLastCopyIndex, c.lastCopy);
    EXPECT_EQ(v->rootCopies, c.copies);
  }
}

// A directory block holding one entry named name that points back at block first.
std::vector<std::uint8_t> DirBlockPointingAt(const std::string& name, std::uint32_t first) {
  auto entry = OperaEntryBytes(name, "*dir", 2048, first);
  entry[3] = 7;
  return OperaDirectoryBlock({entry});
}

TEST(OperaWalker, TerminatesAndReportsOnEveryLoopAndCap) {
  // Root at block 1 holds "self" pointing at block 1, and "a" at block 2; a holds "b" at block 3;
  // b holds "back" to block 2 (a cycle through a) and "share" to block 3's sibling block 4, which
  // "twin" in the root also names.
  std::vector<std::uint8_t> bytes(6 * 2048);
  auto put = [&](std::uint32_t block, const std::vector<std::uint8_t>& data) {
    std::copy(data.begin(), data.end(), bytes.begin() + block * 2048);
  };
  const OperaImage header = OperaImageBuilder().build();
  std::copy(header.bytes.begin(), header.bytes.begin() + 2048, bytes.begin());
  auto dirEntry = [](const std::string& name, std::uint32_t first, std::uint32_t blocks = 1) {
    auto e = OperaEntryBytes(name, "*dir", blocks * 2048, first);
    e[3] = 7;
    return e;
  };
  put(1, OperaDirectoryBlock({dirEntry("self", 1), dirEntry("a", 2), dirEntry("twin", 4),
                              dirEntry("long", 5, 40000)}));
  put(2, OperaDirectoryBlock({dirEntry("b", 3)}));
  put(3, OperaDirectoryBlock({dirEntry("back", 2), dirEntry("share", 4)}));
  put(4, OperaDirectoryBlock({}));
  MemoryDevice device(bytes);
  const opera::Volume volume = OpenVolume(device);
  const opera::Tree tree = opera::Walk(volume, {1, {1}});

  std::multimap<WalkProblem::Kind, std::string> problems;
  for (const WalkProblem& p : tree.problems) problems.emplace(p.kind, p.path);
  EXPECT_THAT(problems, ::testing::UnorderedElementsAre(
                            std::pair{WalkProblem::Kind::Cycle, std::string("self")},
                            std::pair{WalkProblem::Kind::Cycle, std::string("a/b/back")},
                            std::pair{WalkProblem::Kind::AlreadyVisited, std::string("twin")},
                            std::pair{WalkProblem::Kind::Block, std::string("long")}));
  std::vector<std::string> paths;
  for (const auto& w : tree.entries) paths.push_back(w.path);
  EXPECT_THAT(paths,
              ::testing::ElementsAre("self", "a", "a/b", "a/b/back", "a/b/share", "twin", "long"));
}

TEST(OperaWalker, DeepChainsAndHugeDirectoriesStopAtTheirCaps) {
  // 10,000 directories, each the only entry of the one before.
  constexpr std::uint32_t kDepth = 10000;
  std::vector<std::uint8_t> bytes((kDepth + 2) * 2048);
  const OperaImage header = OperaImageBuilder().build();
  std::copy(header.bytes.begin(), header.bytes.begin() + 2048, bytes.begin());
  for (std::uint32_t b = 1; b <= kDepth; ++b) {
    const auto block = DirBlockPointingAt("d", b + 1);
    std::copy(block.begin(), block.end(), bytes.begin() + b * 2048);
  }
  MemoryDevice device(bytes);
  const opera::Volume volume = OpenVolume(device);
  opera::Tree tree = opera::Walk(volume, {1, {1}});
  ASSERT_EQ(tree.problems.size(), 1u);
  EXPECT_EQ(tree.problems[0].kind, WalkProblem::Kind::DepthCap);
  EXPECT_EQ(tree.entries.size(), 65u);

  opera::WalkLimits few;
  few.maxEntries = 10;
  tree = opera::Walk(volume, {1, {1}}, few);
  EXPECT_EQ(tree.entries.size(), 10u);
  EXPECT_EQ(tree.problems.back().kind, WalkProblem::Kind::EntryCap);
}

TEST(OperaRecovery, DirectoryAndFileBlocksComeFromTheNextCopyOrAreReportedDamaged) {
  const OperaImage image =
      OperaImageBuilder()
          .root({OperaEntry::Dir("Dir", {OperaEntry::File("inner", 5000)}).withCopies(2),
                 OperaEntry::File("big", 3 * 2048 + 17).withCopies(2),
                 OperaEntry::File("single", 4096)})
          .build();
  MemoryDevice device(image.bytes);
  const OperaPlacement dir = image.placements.at("Dir");
  const OperaPlacement big = image.placements.at("big");
  const OperaPlacement single = image.placements.at("single");
  device.bad[dir.firstBlock] = media::BlockStatus::Unreadable;
  device.bad[big.firstBlock + 1] = media::BlockStatus::Unreadable;
  device.bad[single.firstBlock + 1] = media::BlockStatus::FailedCheck;

  const opera::Volume volume = OpenVolume(device);
  const opera::Tree tree = opera::Walk(volume, volume.root());
  EXPECT_TRUE(tree.problems.empty());
  ASSERT_EQ(tree.recoveredBlocks.size(), 1u);
  EXPECT_EQ(tree.recoveredBlocks[0].path, "Dir");
  const opera::RecoveredBlock& fromCopy = tree.recoveredBlocks[0].recovered;
  EXPECT_TRUE(fromCopy.index == 0 && fromCopy.block == dir.firstBlock && fromCopy.copy == 1);

  std::map<std::string, opera::Entry> byPath;
  for (const auto& w : tree.entries) byPath[w.path] = w.entry;
  ASSERT_EQ(byPath.count("Dir/inner"), 1u);

  opera::ReadReport report;
  EXPECT_EQ(ReadWhole(device, byPath["big"], report), image.contents.at("big"));
  // Read in two parts that both cover block 1: it is recovered, from copy 1, each time.
  ASSERT_FALSE(report.recovered.empty());
  for (const auto& r : report.recovered)
    EXPECT_TRUE(r.index == 1 && r.block == big.firstBlock + 1 && r.copy == 1);

  opera::ReadReport lost;
  std::vector<std::uint8_t> expected = image.contents.at("single");
  std::fill(expected.begin() + 2048, expected.end(), 0);
  EXPECT_EQ(ReadWhole(device, byPath["single"], lost), expected);
  ASSERT_EQ(lost.damaged.size(), 1u);
  EXPECT_EQ(lost.damaged[0].index, 1u);
  EXPECT_EQ(lost.damaged[0].block, single.firstBlock + 1);
  EXPECT_EQ(lost.damaged[0].status, media::BlockStatus::FailedCheck);
}

}  // namespace
}  // namespace brindle::testing
