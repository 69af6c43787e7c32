// Whole trees, generated at random from a fixed seed: every directory is reached by double
// clicks, listed in disc order, extracted byte for byte and left again with "..", from an image
// and from a drive.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "Fixture.h"
#include "output/Names.h"
#include "reader/EntryLine.h"

namespace brindle::testing {
namespace {

namespace fs = std::filesystem;

class TreeMaker {
 public:
  explicit TreeMaker(unsigned seed) : random_(seed) {}

  std::vector<OperaEntry> children(int depth) {
    std::vector<OperaEntry> entries;
    std::set<std::string> used;
    const int count = pick(0, depth == 0 ? 12 : 6);
    for (int i = 0; i < count; ++i) {
      std::string name = this->name();
      if (!used.insert(Folded(name)).second) continue;
      if (depth < 3 && pick(0, 3) == 0) {
        OperaEntry dir = OperaEntry::Dir(name, children(depth + 1)).withCopies(pick(1, 2));
        if (pick(0, 1)) dir.withEntriesPerBlock(pick(1, 3));
        entries.push_back(std::move(dir));
      } else {
        entries.push_back(
            OperaEntry::File(name, static_cast<std::size_t>(pick(0, 9000))).withCopies(pick(1, 3)));
      }
    }
    return entries;
  }

 private:
  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  // Hosts that ignore case see these names as one (Latin-1 letters included).
  static std::string Folded(std::string name) {
    for (char& c : name) {
      const auto u = static_cast<unsigned char>(c);
      if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7))
        c = static_cast<char>(u + 0x20);
    }
    return name;
  }

  // 1 to 31 characters of Latin-1 that every host accepts in a file name: no '/', none of
  // \:*?"<>|, no space at either end, no dot at the end (so never "." or "..").
  std::string name() {
    std::string name;
    const int length = pick(1, 31);
    while (static_cast<int>(name.size()) < length) {
      const int c = pick(0x20, 0xFF);
      if (std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos ||
          (c >= 0x7F && c < 0xA0))
        continue;
      name += static_cast<char>(c);
    }
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
    while (!name.empty() && name.front() == ' ') name.erase(0, 1);
    if (name.empty()) name = std::to_string(pick(0, 1 << 20));
    return name;
  }

  std::mt19937 random_;
};

std::vector<std::string> ChildNames(const OperaEntry& dir) {
  std::vector<std::string> names;
  for (const OperaEntry& child : dir.children) names.push_back(child.name);
  return names;
}

// Checks the directory shown against dir, extracts it, then visits each subdirectory.
void Visit(reader::PlainWindow& window, reader::VolumeReader& reader, const OperaImage& image,
           const OperaEntry& dir, const std::string& path, bool atRoot) {
  SCOPED_TRACE("directory \"" + path + "\"");
  std::vector<std::string> expected = ChildNames(dir);
  if (!atRoot) expected.insert(expected.begin(), {"/", ".."});
  ASSERT_EQ(Names(window), expected);

  ScratchDir out;
  EXPECT_TRUE(reader.ExtractAllTo(out.prefix()));
  for (const OperaEntry& child : dir.children) {
    const std::string childPath = path.empty() ? child.name : path + "/" + child.name;
    EXPECT_EQ(ReadBytes(out.path() / Utf8Path(output::Latin1ToUtf8(child.name))),
              image.contents.at(childPath))
        << childPath;
  }

  const std::vector<std::string> shown = window.files;
  for (const OperaEntry& child : dir.children) {
    if (child.kind != OperaEntry::Kind::Directory) continue;
    const std::string childPath = path.empty() ? child.name : path + "/" + child.name;
    ASSERT_TRUE(window.select(window.files[static_cast<std::size_t>(
        std::find(expected.begin(), expected.end(), child.name) - expected.begin())]));
    ASSERT_TRUE(reader.lstFiles_DblClick());
    Visit(window, reader, image, child, childPath, false);
    ASSERT_TRUE(window.select(".."));
    ASSERT_TRUE(reader.lstFiles_DblClick());
    EXPECT_EQ(window.files, shown);
  }
  EXPECT_TRUE(window.errors.empty());
}

class RoundTrip : public ::testing::TestWithParam<unsigned> {};

TEST_P(RoundTrip, EveryDirectoryListsAndExtractsExactly) {
  TreeMaker maker(GetParam());
  const OperaEntry root = OperaEntry::Dir("", maker.children(0));
  const OperaImage image = OperaImageBuilder().rootDirectory(root).build();

  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  Visit(scene.window, scene.reader, image, root, "", true);

  reader::PlainWindow window;
  window.source = reader::SectorSource::Drive;
  window.drives = {"F: EMULATED"};
  window.drive = 0;
  FakeDrive drive(image.bytes, window);
  reader::VolumeReader reader(window, drive.reader());
  ASSERT_TRUE(reader.cmdOpen_Click());
  Visit(window, reader, image, root, "", true);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RoundTrip, ::testing::Values(1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u));

}  // namespace
}  // namespace brindle::testing
