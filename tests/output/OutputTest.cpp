// Names between the disc's Latin-1 and the host's UTF-8, checked against the C library's own
// converter; and the folder extracted files land in, with links planted under its names.
#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "output/Folder.h"
#include "output/Names.h"

namespace brindle::output {
namespace {

namespace fs = std::filesystem;

// Text converted by iconv from one encoding to another; nothing when iconv refuses it.
std::optional<std::string> Iconv(const char* to, const char* from, const std::string& text) {
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string in = text;
  std::string out(4 * text.size() + 4, '\0');
  char* inAt = in.data();
  char* outAt = out.data();
  std::size_t inLeft = in.size();
  std::size_t outLeft = out.size();
  const std::size_t done = iconv(converter, &inAt, &inLeft, &outAt, &outLeft);
  iconv_close(converter);
  if (done == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

TEST(Names, EveryLatin1CharacterGoesToUtf8AsIconvHasItAndBack) {
  for (int c = 1; c < 256; ++c) {
    const std::string latin1 = "a" + std::string(1, static_cast<char>(c)) + "z";
    const std::string utf8 = Latin1ToUtf8(latin1);
    EXPECT_EQ(utf8, Iconv("UTF-8", "ISO-8859-1", latin1)) << c;
    EXPECT_EQ(Utf8ToLatin1(utf8), latin1) << c;
  }
  // Characters outside Latin-1 and malformed UTF-8 have no Latin-1 name.
  for (const std::string utf8 : {"\xE2\x82\xAC", "\xC4\x80", "a\xC3", "\xC3\x28", "\xA9"}) {
    EXPECT_EQ(Utf8ToLatin1(utf8), std::nullopt) << utf8;
    EXPECT_EQ(Iconv("ISO-8859-1", "UTF-8", utf8), std::nullopt) << utf8;
  }
}

TEST(OutputFolder, NamesPlantedAsLinksLeadNowhereOutside) {
  std::random_device random;
  const fs::path base = fs::temp_directory_path() / ("brindle-output-" + std::to_string(random()));
  const fs::path outside = base / "outside";
  fs::create_directories(outside);
  std::ofstream(outside / "target") << "keep";
  const auto folder = Folder::Make((base / "out").string());
  ASSERT_TRUE(folder);
  fs::create_directory_symlink(outside, base / "out" / "Linked");
  fs::create_symlink(outside / "target", base / "out" / "file.bin");
  std::ofstream(base / "out" / "plain") << "x";

  EXPECT_FALSE(folder->subfolder("Linked"));
  EXPECT_FALSE(folder->subfolder("plain"));
  const auto made = folder->subfolder("Made");
  ASSERT_TRUE(made);
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(base / "out" / "Made")));
  EXPECT_TRUE(folder->subfolder("Made"));  // an existing real folder is used as it is

  // A file given a name that a link holds replaces the link, not what it points at.
  auto part = folder->createPart("file.bin");
  ASSERT_TRUE(part);
  const std::uint8_t bytes[] = {'n', 'e', 'w'};
  ASSERT_TRUE(part->file().writeAt(0, bytes));
  ASSERT_TRUE(part->commit("file.bin"));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(base / "out" / "file.bin")));
  std::string kept;
  std::ifstream(outside / "target") >> kept;
  EXPECT_EQ(kept, "keep");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
  fs::remove_all(base);
}

}  // namespace
}  // namespace brindle::output
