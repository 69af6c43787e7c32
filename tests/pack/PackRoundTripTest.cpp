// Random host trees packed into volumes and read back: the Opera library walks exactly the tree
// packed, every byte equal; with copies, every file still reads whole when all copies but one of
// each block are unreadable; the window's reader lists the same entries.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "media/Containers.h"
#include "opera/EntryReader.h"
#include "opera/Walker.h"
#include "output/Names.h"
#include "pack/HostTree.h"
#include "pack/Layout.h"
#include "pack/Plan.h"
#include "pack/Writer.h"
#include "reader/EntryLine.h"
#include "reader/PlainWindow.h"
#include "reader/VolumeReader.h"

namespace brindle::pack {
namespace {

namespace fs = std::filesystem;

fs::path Native(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

struct Scratch {
  Scratch() {
    path =
        fs::temp_directory_path() / ("brindle-pack-test-" + std::to_string(std::random_device{}()));
    fs::create_directories(path);
  }
  ~Scratch() { fs::remove_all(path); }
  fs::path path;
};

// What was packed, by Latin-1 path: a file's bytes, or nothing for a directory.
using Expected = std::map<std::string, std::optional<std::vector<std::uint8_t>>>;

class TreeMaker {
 public:
  explicit TreeMaker(unsigned seed) : random_(seed) {}

  void fill(const fs::path& dir, const std::string& path, int depth, Expected& expected) {
    // Now and then a directory of many blocks; otherwise a few entries.
    const int count = depth == 0 ? pick(5, 12) : pick(0, 3) == 0 ? pick(60, 140) : pick(0, 6);
    std::set<std::string> used;
    for (int i = 0; i < count; ++i) {
      const std::string name = this->name();
      if (!used.insert(HostKey(name)).second) continue;
      const std::string childPath = path.empty() ? name : path + "/" + name;
      const fs::path host = dir / Native(output::Latin1ToUtf8(name));
      if (depth < 6 && count < 20 && pick(0, 2) == 0) {
        fs::create_directory(host);
        expected[childPath] = std::nullopt;
        fill(host, childPath, depth + 1, expected);
        continue;
      }
      static constexpr std::size_t kEdges[] = {0, 1, 2047, 2048, 2049, 4095, 4096, 6144};
      const std::size_t size =
          pick(0, 2) == 0 ? static_cast<std::size_t>(pick(0, 70000)) : kEdges[pick(0, 7)];
      std::vector<std::uint8_t> bytes(size);
      for (auto& b : bytes) b = static_cast<std::uint8_t>(random_());
      std::ofstream(host, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
      expected[childPath] = std::move(bytes);
    }
  }

  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  std::mt19937& random() { return random_; }

 private:
#ifdef _WIN32
  // Windows holds no name with these characters or ending in a dot, folds letter case, and keeps
  // paths short: its trees get names it can store.
  static constexpr bool kWindows = true;
  static constexpr const char* kHostRefuses = "<>:\"\\|?*";
#else
  static constexpr bool kWindows = false;
  static constexpr const char* kHostRefuses = "";
#endif

  // Two names the host file system takes for one.
  static std::string HostKey(std::string name) {
    if (!kWindows) return name;
    for (char& ch : name) {
      const auto c = static_cast<unsigned char>(ch);
      if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        ch = static_cast<char>(c + 0x20);
    }
    return name;
  }

  // 1 to 31 Latin-1 bytes, 8-bit ones included: no '/', no control characters, no space at
  // either end (the window trims them), never "." or "..".
  std::string name() {
    std::string name;
    const int length = !kWindows && pick(0, 4) == 0 ? 31 : pick(1, 12);
    while (static_cast<int>(name.size()) < length) {
      const int c = pick(0x20, 0xFF);
      const bool last = name.size() + 1 == static_cast<std::size_t>(length);
      if (c == '/' || (c >= 0x7F && c < 0xA0) || ((name.empty() || last) && c == ' ') ||
          std::strchr(kHostRefuses, c) != nullptr || (kWindows && last && c == '.'))
        continue;
      name += static_cast<char>(c);
    }
    if (name == "." || name == "..") name += "x";
    return name;
  }

  std::mt19937 random_;
};

// Reports Unreadable for the blocks in bad, as a scratched disc does.
class ScratchedDevice : public media::BlockDevice {
 public:
  ScratchedDevice(media::BlockDevice& disc, std::set<std::uint64_t> bad)
      : disc_(disc), bad_(std::move(bad)) {}
  std::uint64_t blockCount() const override { return disc_.blockCount(); }
  std::string describe() const override { return "scratched"; }
  std::vector<media::TrackInfo> tracks() const override { return disc_.tracks(); }

 protected:
  void readBlocks(std::uint64_t first, std::span<std::uint8_t> out,
                  std::span<media::BlockStatus> status) override {
    disc_.read(first, out, status);
    for (std::size_t i = 0; i < status.size(); ++i) {
      if (!bad_.count(first + i)) continue;
      status[i] = media::BlockStatus::Unreadable;
      std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(i * media::kBlockSize),
                  media::kBlockSize, std::uint8_t{0});
    }
  }

 private:
  media::BlockDevice& disc_;
  std::set<std::uint64_t> bad_;
};

// Walks the volume on device and checks it holds exactly expected.
void ExpectTree(media::BlockDevice& device, const Expected& expected) {
  media::BlockStatus status{};
  const auto volume = opera::Volume::Open(device, status);
  ASSERT_TRUE(volume);
  const opera::Tree tree = opera::Walk(*volume, volume->root());
  EXPECT_TRUE(tree.problems.empty());
  Expected found;
  opera::EntryReader reader(device);
  for (const opera::WalkedEntry& w : tree.entries) {
    if (w.entry.isDirectory()) {
      EXPECT_EQ(w.entry.byteCount, w.entry.blockCount * 2048) << w.path;
      found[w.path] = std::nullopt;
      continue;
    }
    std::vector<std::uint8_t> bytes(w.entry.byteCount);
    opera::ReadReport report;
    EXPECT_EQ(reader.read(w.entry, 0, bytes, report), bytes.size()) << w.path;
    EXPECT_TRUE(report.complete()) << w.path;
    found[w.path] = std::move(bytes);
  }
  EXPECT_EQ(found.size(), expected.size());
  for (const auto& [path, bytes] : expected) {
    const auto it = found.find(path);
    ASSERT_NE(it, found.end()) << output::Latin1ToUtf8(path);
    EXPECT_TRUE(it->second == bytes) << output::Latin1ToUtf8(path);
  }
}

// Every copy of every block of the volume's directories and files but one, chosen at random.
std::set<std::uint64_t> AllCopiesButOne(media::BlockDevice& device, std::mt19937& random) {
  media::BlockStatus status{};
  const auto volume = opera::Volume::Open(device, status);
  const opera::Tree tree = opera::Walk(*volume, volume->root());
  std::set<std::uint64_t> bad;
  const auto scratch = [&](const std::vector<std::uint32_t>& copies, std::uint32_t blocks) {
    for (std::uint32_t i = 0; i < blocks; ++i) {
      const std::size_t keep =
          std::uniform_int_distribution<std::size_t>(0, copies.size() - 1)(random);
      for (std::size_t c = 0; c < copies.size(); ++c)
        if (c != keep) bad.insert(std::uint64_t{copies[c]} + i);
    }
  };
  scratch(volume->label().rootCopies, volume->label().rootBlockCount);
  for (const opera::WalkedEntry& w : tree.entries) scratch(w.entry.copies, w.entry.blockCount);
  return bad;
}

// The window's listing of the directory at path (Latin-1), reached by double clicks: the trimmed
// name and size of each line below the navigation lines.
std::vector<std::pair<std::string, std::int32_t>> WindowListing(const std::string& image,
                                                                const std::string& path) {
  reader::PlainWindow window;
  reader::VolumeReader reader(window,
                              [](std::int32_t, std::int16_t) { return sector::SectorData{}; });
  window.openAnswers.push_back(image);
  EXPECT_TRUE(reader.cmdOpen_Click());
  std::size_t from = 0;
  for (std::size_t at = 0; at <= path.size() && !path.empty();) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    const std::string name = path.substr(at, slash - at);
    const auto line =
        std::find_if(window.files.begin(), window.files.end(),
                     [&](const std::string& l) { return reader::EntryName(l) == name; });
    EXPECT_NE(line, window.files.end()) << name;
    if (line == window.files.end()) return {};
    window.select(*line);
    EXPECT_TRUE(reader.lstFiles_DblClick());
    from = 2;  // "/" and ".."
    at = slash + 1;
  }
  EXPECT_TRUE(window.errors.empty());
  std::vector<std::pair<std::string, std::int32_t>> listing;
  for (std::size_t i = from; i < window.files.size(); ++i)
    listing.emplace_back(reader::EntryName(window.files[i]), reader::EntrySize(window.files[i]));
  return listing;
}

struct Case {
  unsigned seed;
  int copies;
};

class PackRoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(PackRoundTrip, TheDiscHoldsExactlyTheTree) {
  const Case c = GetParam();
  Scratch scratch;
  const fs::path tree = scratch.path / "tree";
  fs::create_directory(tree);
  TreeMaker maker(c.seed);
  Expected expected;
  maker.fill(tree, "", 0, expected);

  HostOptions options;
  options.copies = c.copies;
  LabelOptions label;
  label.copies = c.copies;
  std::vector<std::string> problems;
  const auto root = ScanHostTree(tree.string(), options, problems);
  ASSERT_TRUE(root);
  const Plan plan = MakePlan(*root, label, problems);
  ASSERT_THAT(problems, ::testing::IsEmpty());
  const std::string image = (scratch.path / "disc.iso").string();
  const WriteResult written = WriteVolume(plan, image, nullptr);
  ASSERT_TRUE(written.written);

  media::MediaError error;
  auto disc = media::OpenContainer(image, error);
  ASSERT_TRUE(disc);
  ExpectTree(*disc, expected);
  media::BlockStatus status{};
  EXPECT_EQ(opera::Volume::Open(*disc, status)->label().rootCopies.size(),
            static_cast<std::size_t>(c.copies));
  // Each directory block names the one before it (-1 for the first).
  for (const PlannedDirectory& d : plan.directories)
    for (std::size_t i = 0; i < d.blocks.size(); ++i)
      EXPECT_EQ(static_cast<std::int32_t>(d.blocks[i][4] << 24 | d.blocks[i][5] << 16 |
                                          d.blocks[i][6] << 8 | d.blocks[i][7]),
                static_cast<std::int32_t>(i) - 1);
  if (c.copies > 1) {
    ScratchedDevice scratched(*disc, AllCopiesButOne(*disc, maker.random()));
    ExpectTree(scratched, expected);
  }

  // The window lists the root and a few directories in name order, each file with its size and
  // each directory with its blocks x 2048 bytes.
  std::map<std::string, std::vector<std::pair<std::string, std::int32_t>>> listings{{"", {}}};
  for (const auto& [path, bytes] : expected) {
    const std::size_t slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "" : path.substr(0, slash);
    listings[parent].emplace_back(path.substr(slash + 1),
                                  bytes ? static_cast<std::int32_t>(bytes->size()) : -1);
    if (!bytes) listings[path];
  }
  int shown = 0;
  for (const auto& [dir, lines] : listings) {
    if (shown++ == 6) break;
    const auto listing = WindowListing(image, dir);
    ASSERT_EQ(listing.size(), lines.size()) << output::Latin1ToUtf8(dir);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(listing[i].first, lines[i].first);
      if (lines[i].second >= 0) {
        EXPECT_EQ(listing[i].second, lines[i].second) << output::Latin1ToUtf8(lines[i].first);
      } else {
        EXPECT_TRUE(listing[i].second > 0 && listing[i].second % 2048 == 0);
      }
    }
  }
}

// Plans and writes that must not go as planned: entries that fill a directory block exactly (one
// block, not two), a file that shrinks before it is written, a layout asking for no copies.
TEST(PackEdges, ExactBlocksAShrunkFileAndNoCopies) {
  Node root;
  root.directory = true;
  for (int i = 0; i < 28; ++i) {  // 25 x 72 + 3 x 76 bytes: the 2028 after the block header
    root.children.push_back({});
    root.children.back().name = "f" + std::to_string(i);
    root.children.back().copies = i < 3 ? 2 : 1;
  }
  std::vector<std::string> problems;
  const Plan exact = MakePlan(root, {}, problems);
  EXPECT_EQ(exact.directories.at(0).blocks.size(), 1u);
  EXPECT_EQ(exact.label.rootBlockCount, 1u);
  EXPECT_EQ(exact.files.at(0).copies.size(), 2u);  // more copies than the label's one

  Scratch scratch;
  fs::create_directory(scratch.path / "tree");
  std::ofstream(scratch.path / "tree" / "file") << std::string(5000, 'x');
  const auto tree = ScanHostTree((scratch.path / "tree").string(), {}, problems);
  ASSERT_TRUE(tree);
  const Plan plan = MakePlan(*tree, {}, problems);
  fs::resize_file(scratch.path / "tree" / "file", 100);
  const WriteResult written = WriteVolume(plan, (scratch.path / "disc.iso").string(), nullptr);
  EXPECT_FALSE(written.written);
  EXPECT_THAT(written.problems, ::testing::Contains(::testing::HasSubstr("changed while")));
  EXPECT_FALSE(fs::exists(scratch.path / "disc.iso"));

  std::ofstream(scratch.path / "layout.json") << R"({"entries": [{"path": "file", "copies": 0}]})";
  std::string error;
  EXPECT_FALSE(ReadLayout((scratch.path / "layout.json").string(), error));
  EXPECT_THAT(error, ::testing::HasSubstr("copies"));
}

INSTANTIATE_TEST_SUITE_P(Seeds, PackRoundTrip,
                         ::testing::Values(Case{1, 1}, Case{2, 1}, Case{3, 2}, Case{4, 3},
                                           Case{5, 1}, Case{6, 2}, Case{7, 8}, Case{8, 1}));

}  // namespace
}  // namespace brindle::pack
