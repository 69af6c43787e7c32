// The mounted file system's answers, asked directly (no kernel): images from the builder,
// opened as containers, some of whose blocks are made to fail.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>
#include <sstream>

#include "OperaImageBuilder.h"
#include "media/Containers.h"
#include "mount/FileSystem.h"
#include "output/Names.h"

namespace brindle::testing {
namespace {

namespace fs = std::filesystem;
using mount::FileSystem;
using mount::Inode;
using mount::kRootInode;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A container whose listed blocks read as unreadable, as a scratched disc's would.
class ScratchedDevice final : public media::BlockDevice {
 public:
  explicit ScratchedDevice(std::unique_ptr<media::BlockDevice> disc) : disc_(std::move(disc)) {}
  std::set<std::uint64_t> scratched;

  std::uint64_t blockCount() const override { return disc_->blockCount(); }
  std::string describe() const override { return disc_->describe(); }
  std::vector<media::TrackInfo> tracks() const override { return disc_->tracks(); }
  // The image file's bytes stand for blocks only where none of them is scratched.
  std::optional<media::FileRange> fileRange(std::uint64_t first,
                                            std::uint64_t count) const override {
    if (scratched.lower_bound(first) != scratched.lower_bound(first + count)) return std::nullopt;
    return disc_->fileRange(first, count);
  }

 protected:
  void readBlocks(std::uint64_t first, std::span<std::uint8_t> out,
                  std::span<media::BlockStatus> status) override {
    disc_->read(first, out, status);
    for (std::size_t i = 0; i < status.size(); ++i) {
      if (scratched.count(first + i) == 0) continue;
      status[i] = media::BlockStatus::Unreadable;
      std::fill_n(out.begin() + std::ptrdiff_t(i * media::kBlockSize), media::kBlockSize, 0);
    }
  }

 private:
  std::unique_ptr<media::BlockDevice> disc_;
};

// An image written to a file, opened as a container, its volume and the file system over it.
struct Mounted {
  explicit Mounted(const OperaImage& image, std::set<std::uint64_t> scratched = {}) {
    std::random_device random;
    file = fs::temp_directory_path() / ("brindle-mount-" + std::to_string(random()) + ".iso");
    EXPECT_TRUE(image.writeTo(file.string()));
    media::MediaError error;
    device = std::make_unique<ScratchedDevice>(media::OpenContainer(file.string(), error));
    device->scratched = std::move(scratched);
    media::BlockStatus status{};
    volume.emplace(*opera::Volume::Open(*device, status));
    identity = {1234, 5678, {1600000000, 42}};
    fileSystem = std::make_unique<FileSystem>(*volume, identity, err);
  }
  ~Mounted() { fs::remove(file); }

  // The inode of a path from the root (UTF-8, '/' between names); 0 when a lookup fails.
  Inode resolve(const std::string& path) const {
    Inode at = kRootInode;
    std::istringstream names(path);
    for (std::string name; std::getline(names, name, '/');) {
      struct stat attributes {};
      if (fileSystem->lookup(at, name, at, attributes) != 0) return 0;
    }
    return at;
  }

  std::vector<std::string> list(Inode directory, std::uint64_t offset = 0) const {
    std::vector<std::string> names;
    fileSystem->readdir(directory, offset, [&](const mount::ListedEntry& line) {
      names.push_back(line.name);
      return true;
    });
    return names;
  }

  std::vector<std::uint8_t> read(Inode inode, std::uint64_t offset, std::size_t size,
                                 int& error) const {
    std::vector<std::uint8_t> out(size, 0xEE);
    const mount::ReadResult result = fileSystem->read(inode, offset, out);
    error = result.error;
    out.resize(result.bytes);
    return out;
  }

  fs::path file;
  std::unique_ptr<ScratchedDevice> device;
  std::optional<opera::Volume> volume;
  mount::Identity identity;
  std::ostringstream err;
  std::unique_ptr<FileSystem> fileSystem;
};

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

constexpr std::uint32_t kRootBlock = 1;  // where the builder puts the root directory

OperaImage Disc() {
  return OperaImageBuilder()
      .root({
          OperaEntry::File("Read Me.txt", 5000),
          OperaEntry::File("Caf\xE9", 300),
          OperaEntry::File("empty", std::size_t{0}),
          OperaEntry::Dir("Sound",
                          {
                              OperaEntry::File("theme.aiff", 40000).withType("AIFF").withCopies(2),
                              OperaEntry::Dir("Deep", {OperaEntry::File("x", 1)}),
                          })
              .withEntriesPerBlock(1),
          OperaEntry::File("Read Me.txt", 5000).withType("SECD"),  // a second entry of that name
          OperaEntry::File("a/b", 10),
          OperaEntry::Dir("..", {OperaEntry::File("hidden", 5)}),
          OperaEntry::Dir("Loop", {}).withFirstBlockField(kRootBlock),
      })
      .build();
}

// Paths the mount must show: the builder's, less those left out.
bool Shown(const std::string& path) {
  return !path.empty() && path != "a/b" && !path.starts_with("..") && !path.starts_with("Loop");
}

TEST(MountedTree, ShowsEveryUsableEntryWithItsAttributesAndLeavesOutTheRest) {
  const OperaImage image = Disc();
  Mounted disc(image);
  FileSystem& files = *disc.fileSystem;

  std::set<Inode> inodes{kRootInode};
  for (const auto& [path, bytes] : image.contents) {
    if (!Shown(path)) continue;
    SCOPED_TRACE(path);
    const Inode inode = disc.resolve(output::Latin1ToUtf8(path));
    ASSERT_NE(inode, 0u);
    EXPECT_TRUE(inodes.insert(inode).second) << "inode " << inode << " given twice";
    struct stat attributes {};
    ASSERT_EQ(files.getattr(inode, attributes), 0);
    EXPECT_EQ(attributes.st_ino, inode);
    EXPECT_EQ(attributes.st_uid, 1234u);
    EXPECT_EQ(attributes.st_gid, 5678u);
    EXPECT_EQ(attributes.st_mtim.tv_sec, 1600000000);
    if (image.directories.count(path) != 0) {
      EXPECT_EQ(attributes.st_mode, S_IFDIR | 0555);
      EXPECT_EQ(attributes.st_size, off_t(image.placements.at(path).blockCount) * 2048);
      // A directory's links: its own name, its ".", and each subdirectory's "..".
      const auto subdirectories = std::count_if(
          image.directories.begin(), image.directories.end(), [&](const std::string& d) {
            return Shown(d) && d.starts_with(path + "/") &&
                   d.find('/', path.size() + 1) == std::string::npos;
          });
      EXPECT_EQ(attributes.st_nlink, nlink_t(2 + subdirectories));
    } else {
      EXPECT_EQ(attributes.st_mode, S_IFREG | 0444);
      EXPECT_EQ(attributes.st_size, off_t(bytes.size()));
      int error = -1;
      EXPECT_EQ(disc.read(inode, 0, bytes.size() + 4096, error), bytes);
      EXPECT_EQ(error, 0);
    }
  }

  // The first of two entries of one name is the one shown.
  const Inode readMe = disc.resolve("Read Me.txt");
  std::string type;
  EXPECT_EQ(files.getxattr(readMe, "user.opera.type", type), 0);
  EXPECT_EQ(type, "    ");

  // Listings: disc order, the Latin-1 name as UTF-8, the left-out entries absent, and a listing
  // taken up again at any offset goes on where it stopped.
  const std::vector<std::string> root = disc.list(kRootInode);
  EXPECT_THAT(root, ElementsAre(".", "..", "Read Me.txt", "Caf\xC3\xA9", "empty", "Sound", "Loop"));
  for (std::uint64_t offset = 0; offset <= root.size(); ++offset) {
    EXPECT_EQ(disc.list(kRootInode, offset),
              std::vector<std::string>(root.begin() + std::ptrdiff_t(offset), root.end()));
  }
  // As the kernel lists: a buffer that holds only some lines, then the rest from the offset the
  // last line taken named. A wrong next offset repeats lines, or loops for ever.
  for (std::size_t fits = 1; fits < root.size(); ++fits) {
    std::vector<std::string> names;
    std::uint64_t next = 0;
    files.readdir(kRootInode, 0, [&](const mount::ListedEntry& line) {
      if (names.size() == fits) return false;
      names.push_back(line.name);
      next = line.next;
      return true;
    });
    const std::vector<std::string> rest = disc.list(kRootInode, next);
    names.insert(names.end(), rest.begin(), rest.end());
    EXPECT_EQ(names, root) << "a buffer of " << fits << " lines";
  }
  const Inode sound = disc.resolve("Sound");
  std::vector<Inode> listed;
  files.readdir(sound, 0, [&](const mount::ListedEntry& line) {
    listed.push_back(line.inode);
    return true;
  });
  EXPECT_THAT(listed, ElementsAre(sound, kRootInode, disc.resolve("Sound/theme.aiff"),
                                  disc.resolve("Sound/Deep")));
  EXPECT_THAT(disc.list(disc.resolve("Loop")), ElementsAre(".", ".."));

  struct stat attributes {};
  Inode child = 0;
  EXPECT_EQ(files.lookup(kRootInode, "a/b", child, attributes), ENOENT);
  EXPECT_EQ(files.lookup(kRootInode, "..", child, attributes), ENOENT);
  EXPECT_EQ(files.lookup(readMe, "x", child, attributes), ENOTDIR);
  EXPECT_EQ(files.getattr(100000, attributes), ENOENT);
  EXPECT_EQ(files.nodeCount(), inodes.size() + 1);  // and the Loop directory
  ASSERT_EQ(files.getattr(kRootInode, attributes), 0);
  EXPECT_EQ(attributes.st_nlink, 4u);  // Sound and Loop
  struct statvfs volume {};
  ASSERT_EQ(files.statfs(volume), 0);
  EXPECT_EQ(volume.f_files, inodes.size() + 1);

  // Each thing left out or not walked is said once; what lies below a left-out directory is
  // not said again.
  const std::string said = disc.err.str();
  EXPECT_EQ(Count(said, "Left out"), 3u) << said;
  EXPECT_EQ(Count(said, "\"Read Me.txt\""), 1u) << said;
  EXPECT_EQ(Count(said, "\"a/b\""), 1u) << said;
  EXPECT_EQ(Count(said, "\"..\""), 1u) << said;
  EXPECT_EQ(Count(said, "\"Loop\": directory contains itself"), 1u) << said;
  EXPECT_THAT(said, Not(HasSubstr("hidden")));
}

TEST(MountedTree, ReadsAnyRangeGivesTheOperaFieldsAndRefusesChanges) {
  const OperaImage image = Disc();
  Mounted disc(image);
  FileSystem& files = *disc.fileSystem;

  std::mt19937 rng(11);
  for (const auto& [path, bytes] : image.contents) {
    if (!Shown(path) || image.directories.count(path) != 0) continue;
    SCOPED_TRACE(path);
    const Inode inode = disc.resolve(output::Latin1ToUtf8(path));
    const std::size_t size = bytes.size();
    std::vector<std::pair<std::uint64_t, std::size_t>> ranges{
        {0, 1}, {1, 2047}, {2047, 2}, {size, 10}, {size + 5000, 10}, {0, 0}};
    for (int i = 0; i < 40; ++i) {
      ranges.emplace_back(std::uniform_int_distribution<std::uint64_t>(0, size + 10)(rng),
                          std::uniform_int_distribution<std::size_t>(1, 9000)(rng));
    }
    for (const auto& [offset, length] : ranges) {
      int error = -1;
      const std::vector<std::uint8_t> got = disc.read(inode, offset, length, error);
      EXPECT_EQ(error, 0);
      const std::size_t from = std::min<std::size_t>(offset, size);
      const std::size_t to = std::min<std::size_t>(from + length, size);
      EXPECT_EQ(got, std::vector<std::uint8_t>(bytes.begin() + std::ptrdiff_t(from),
                                               bytes.begin() + std::ptrdiff_t(to)))
          << "offset " << offset << " length " << length;
    }
  }
  const Inode theme = disc.resolve("Sound/theme.aiff");
  const Inode sound = disc.resolve("Sound");
  std::vector<std::uint8_t> buffer(100);
  EXPECT_EQ(files.read(sound, 0, buffer).error, EISDIR);

  // Opening: read-only files only.
  EXPECT_EQ(files.open(theme, O_RDONLY), 0);
  EXPECT_EQ(files.open(theme, O_WRONLY), EROFS);
  EXPECT_EQ(files.open(theme, O_RDWR), EROFS);
  EXPECT_EQ(files.open(theme, O_RDONLY | O_TRUNC), EROFS);
  EXPECT_EQ(files.open(sound, O_RDONLY), EISDIR);
  EXPECT_EQ(files.opendir(theme), ENOTDIR);
  EXPECT_EQ(files.opendir(sound), 0);

  // Extended attributes: the entry's own fields.
  std::string names;
  ASSERT_EQ(files.listxattr(theme, names), 0);
  EXPECT_EQ(names, std::string("user.opera.type\0user.opera.id\0user.opera.flags\0"
                               "user.opera.copies\0",
                               65));
  std::string value;
  EXPECT_EQ(files.getxattr(theme, "user.opera.type", value), 0);
  EXPECT_EQ(value, "AIFF");
  EXPECT_EQ(files.getxattr(theme, "user.opera.copies", value), 0);
  const std::uint32_t first = image.placements.at("Sound/theme.aiff").firstBlock;
  EXPECT_THAT(value, ::testing::StartsWith(std::to_string(first) + " "));
  EXPECT_EQ(Count(value, " "), 1u);
  EXPECT_EQ(files.getxattr(theme, "user.opera.flags", value), 0);
  EXPECT_THAT(value, ::testing::MatchesRegex("0x[0-9A-F]{8}"));
  EXPECT_EQ(files.getxattr(kRootInode, "user.opera.type", value), 0);
  EXPECT_EQ(value, "*dir");
  EXPECT_EQ(files.getxattr(kRootInode, "user.opera.copies", value), 0);
  EXPECT_EQ(value, std::to_string(kRootBlock));
  EXPECT_EQ(files.getxattr(theme, "user.other", value), ENODATA);

  struct statvfs volume {};
  EXPECT_EQ(files.statfs(volume), 0);
  EXPECT_TRUE(volume.f_flag & ST_RDONLY);
  EXPECT_EQ(volume.f_blocks, disc.device->blockCount());
}

TEST(MountedTree, BadBlockComesFromAnotherCopyOrFailsOnlyReadsOfItReportedOnce) {
  const OperaImage image = OperaImageBuilder()
                               .root({OperaEntry::File("single", 5 * 2048 + 100),
                                      OperaEntry::File("twice", 5 * 2048).withCopies(2)})
                               .build();
  const std::uint32_t single = image.placements.at("single").firstBlock;
  const std::uint32_t twice = image.placements.at("twice").firstBlock;
  Mounted disc(image, {single + 2, twice + 3});

  const Inode bad = disc.resolve("single");
  const std::vector<std::uint8_t>& bytes = image.contents.at("single");
  int error = -1;
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(disc.read(bad, 0, 2 * 2048, error),
              std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 2 * 2048));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(disc.read(bad, 3 * 2048, 10000, error),
              std::vector<std::uint8_t>(bytes.begin() + 3 * 2048, bytes.end()));
    EXPECT_EQ(error, 0);
    for (const auto& [offset, length] : {std::pair{2 * 2048 + 7, 1}, {0, 10000}, {2047, 2050}}) {
      disc.read(bad, offset, length, error);
      EXPECT_EQ(error, EIO) << offset << "+" << length;
    }
  }
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(disc.read(disc.resolve("twice"), 0, 20000, error), image.contents.at("twice"));
    EXPECT_EQ(error, 0);
  }

  const std::string said = disc.err.str();
  EXPECT_EQ(Count(said, "\"single\": block 2 (disc block " + std::to_string(single + 2) + ")"), 1u)
      << said;
  EXPECT_EQ(Count(said, "\"twice\": block 3 (disc block " + std::to_string(twice + 3) +
                            ") failed and was read from copy 2"),
            1u)
      << said;
  EXPECT_EQ(Count(said, "\n"), 2u) << said;
}

// Where the mount hands the kernel a range of the image file instead of bytes, that range holds
// exactly what a read gives; a range with a failing block is never handed over.
TEST(MountedTree, RangesOfTheImageFileHoldWhatAReadGives) {
  const OperaImage image = OperaImageBuilder()
                               .root({
                                   OperaEntry::File("one", 1),
                                   OperaEntry::File("block", 2048),
                                   OperaEntry::File("odd", 2049),
                                   OperaEntry::File("large", 40000).withCopies(2),
                               })
                               .build();
  Mounted disc(image);
  const std::vector<std::uint8_t> imageBytes = [&] {
    std::vector<std::uint8_t> bytes(fs::file_size(disc.file));
    std::FILE* f = std::fopen(disc.file.c_str(), "rb");
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
    return bytes;
  }();
  for (const std::string name : {"one", "block", "odd", "large"}) {
    const Inode inode = disc.resolve(name);
    const std::size_t size = image.contents.at(name).size();
    for (const auto& [offset, length] : {std::pair<std::size_t, std::size_t>{0, 1 << 20},
                                         {0, 1},
                                         {1, 2048},
                                         {2047, 2},
                                         {5000, 7000},
                                         {size - 1, 10},
                                         {size, 10}}) {
      SCOPED_TRACE(name + " " + std::to_string(offset) + "+" + std::to_string(length));
      int error = -1;
      const auto bytes = disc.read(inode, offset, length, error);
      const auto range = disc.fileSystem->fileRange(inode, offset, length);
      // Every range inside a file is given (the image holds all its blocks), past its end none.
      ASSERT_EQ(range.has_value(), offset < size);
      if (!range) continue;
      ASSERT_EQ(error, 0);
      ASSERT_LE(range->offset + range->length, imageBytes.size());
      EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), imageBytes.begin() + range->offset,
                             imageBytes.begin() + range->offset + range->length));
    }
  }
  EXPECT_FALSE(disc.fileSystem->fileRange(disc.resolve("odd"), 2049, 1));
  EXPECT_FALSE(disc.fileSystem->fileRange(kRootInode, 0, 1));

  // A scratched block of the first copy: its bytes come from the second copy, so never from
  // the file where the first copy lies.
  const std::uint32_t large = image.placements.at("large").firstBlock;
  Mounted scratched(image, {large + 3});
  const Inode inode = scratched.resolve("large");
  EXPECT_FALSE(scratched.fileSystem->fileRange(inode, 0, 40000));
  EXPECT_FALSE(scratched.fileSystem->fileRange(inode, 3 * 2048 + 5, 1));
  EXPECT_TRUE(scratched.fileSystem->fileRange(inode, 4 * 2048, 2048));
  int error = -1;
  EXPECT_EQ(scratched.read(inode, 0, 40000, error), image.contents.at("large"));
  EXPECT_EQ(error, 0);
}

}  // namespace
}  // namespace brindle::testing
