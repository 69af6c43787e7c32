// Names between the disc's Latin-1 and the host's UTF-8, checked against the C library's own
// converter; and the folder extracted files land in, with links planted under its names.
#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "media/ImageFile.h"
#include "output/Folder.h"
#include "output/Names.h"
#include "output/OutputFile.h"

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

// Whatever way a file was opened and its bytes arrived (written, or copied by the kernel), the
// length it is given at the end is the length it has, and the bytes before it are the ones sent.
TEST(OutputFile, EndsAtTheLengthGivenHoweverItWasOpenedAndFilled) {
  const fs::path base = fs::temp_directory_path() / ("brindle-outfile-" + std::to_string(getpid()));
  fs::create_directories(base);
  std::vector<std::uint8_t> source(12000);
  std::mt19937 random(7);
  for (auto& b : source) b = static_cast<std::uint8_t>(random());
  std::ofstream(base / "image.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(source.data()),
             static_cast<std::streamsize>(source.size()));
  const auto image = media::ImageFile::Open((base / "image.bin").string());
  ASSERT_TRUE(image);

  enum class Open { New, ReplaceNothing, ReplaceLonger, CreateOverLonger };
  for (const Open how :
       {Open::New, Open::ReplaceNothing, Open::ReplaceLonger, Open::CreateOverLonger}) {
    for (const bool kernel : {false, true}) {
      for (const std::uint64_t length : {0u, 3000u, 8000u, 11000u}) {
        SCOPED_TRACE(testing::Message() << "open " << static_cast<int>(how) << " kernel " << kernel
                                        << " length " << length);
        const fs::path path = base / "out.bin";
        fs::remove(path);
        if (how == Open::ReplaceLonger || how == Open::CreateOverLonger)
          std::ofstream(path, std::ios::binary) << std::string(20000, 'x');
        auto file = how == Open::New                ? OutputFile::CreateNew(path.string())
                    : how == Open::CreateOverLonger ? OutputFile::Create(path.string())
                                                    : OutputFile::Replace(path.string());
        ASSERT_TRUE(file);
        // 5000 bytes written, then 3000 more by the kernel's copy or written.
        ASSERT_TRUE(file->writeAt(0, std::span(source).first(5000)));
        std::uint64_t copied = 0;
        if (!kernel || CopyInKernel(*image, 5000, *file, 5000, 3000, copied) != KernelCopy::Done) {
          ASSERT_TRUE(file->writeAt(5000, std::span(source).subspan(5000, 3000)));
        }
        ASSERT_TRUE(file->resize(length));
        ASSERT_TRUE(file->close());

        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> got((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
        ASSERT_EQ(got.size(), length);
        for (std::uint64_t i = 0; i < length; ++i)
          ASSERT_EQ(got[i], i < 8000 ? source[i] : 0) << "byte " << i;
      }
    }
  }
  fs::remove_all(base);
}

}  // namespace
}  // namespace brindle::output
