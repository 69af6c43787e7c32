// Copying entries out: ExtractEntry from a drive (block by block) and from an image (both the
// in-kernel and the by-hand copy), saving one entry, and extracting all entries safely.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "Fixture.h"
#include "output/Names.h"
#include "reader/EntryLine.h"
#include "reader/Extract.h"
#include "reader/Messages.h"

namespace brindle::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
namespace fs = std::filesystem;
namespace messages = reader::messages;

struct DriveCopy : ::testing::Test {
  DriveCopy() {
    image.resize(20 * kOperaBlockSize);
    for (std::size_t i = 0; i < image.size(); ++i)
      image[i] = static_cast<std::uint8_t>(i * 7 + i / 2048);
  }
  std::vector<std::uint8_t> Expected(std::size_t startBlock, std::size_t bytes) const {
    const auto from = image.begin() + static_cast<long>(startBlock * kOperaBlockSize);
    return {from, from + static_cast<long>(bytes)};
  }
  std::vector<std::uint8_t> image;
  reader::PlainWindow window;
  ScratchDir dir;
};

TEST_F(DriveCopy, ReadsOneBlockPerCallAndCutsTheLast) {
  struct Case {
    std::int32_t bytes;
    std::vector<std::int32_t> lbas;
  };
  for (const Case& c : {Case{5000, {4, 5, 6}}, Case{4096, {4, 5}}, Case{1, {4}}, Case{0, {}}}) {
    FakeDrive drive(image, window);
    const std::string target = dir.file("out" + std::to_string(c.bytes));
    EXPECT_TRUE(reader::ExtractEntry(drive.reader(), 4, c.bytes, target));
    EXPECT_EQ(drive.lbas, c.lbas);
    EXPECT_THAT(drive.counts, ::testing::Each(1));
    EXPECT_EQ(ReadBytes(target), Expected(4, static_cast<std::size_t>(c.bytes))) << c.bytes;
    EXPECT_TRUE(fs::exists(target));
  }
}

TEST_F(DriveCopy, FailedBlockAppendsNothingAndTheCopyGoesOn) {
  FakeDrive drive(image, window);
  drive.failing = {5};
  const std::string target = dir.file("holey");
  EXPECT_FALSE(reader::ExtractEntry(drive.reader(), 4, 5000, target));
  EXPECT_THAT(drive.lbas, ElementsAre(4, 5, 6));
  std::vector<std::uint8_t> expected = Expected(4, 2048);
  const auto last = Expected(6, 904);
  expected.insert(expected.end(), last.begin(), last.end());
  EXPECT_EQ(ReadBytes(target), expected);
}

TEST_F(DriveCopy, AnIncompleteCopyNeverReplacesAnExistingFile) {
  const std::string target = dir.file("existing");
  const std::vector<std::uint8_t> old(10000, 0xAA);
  WriteBytes(target, old);
  FakeDrive drive(image, window);
  drive.failing = {5};
  EXPECT_FALSE(reader::ExtractEntry(drive.reader(), 4, 5000, target));
  EXPECT_EQ(ReadBytes(target), old);
  // Nothing is left beside it either.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

  // Saving it as a new name from the window keeps what could be read, and says so.
  window.source = reader::SectorSource::Drive;
  reader::VolumeReader reader(window, drive.reader());
  window.saveAnswers.push_back(dir.file("new"));
  EXPECT_FALSE(
      reader.SaveEntry(reader::BuildEntryLine(OperaEntryBytes("x", "    ", 5000, 4)).value()));
  std::vector<std::uint8_t> readable = Expected(4, 2048);
  const auto last = Expected(6, 904);
  readable.insert(readable.end(), last.begin(), last.end());
  EXPECT_EQ(ReadBytes(dir.file("new")), readable);
  EXPECT_THAT(window.errors, ::testing::Contains(messages::CannotWriteFile(dir.file("new"))));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST_F(DriveCopy, ReplacesALongerFile) {
  const std::string target = dir.file("existing");
  WriteBytes(target, std::vector<std::uint8_t>(10000, 0xAA));
  FakeDrive drive(image, window);
  EXPECT_TRUE(reader::ExtractEntry(drive.reader(), 2, 3000, target));
  EXPECT_EQ(ReadBytes(target), Expected(2, 3000));
}

// The image copy, run once in-kernel where the host allows it and once by hand: both must give
// the same bytes as reading the entry into a zero-filled buffer.
class ImageCopy : public ::testing::TestWithParam<reader::CopyMethod> {
 protected:
  ImageCopy() {
    bytes = PatternBytes("image", 10 * kOperaBlockSize + 100);  // ends mid-block
    path = dir.file("disc.iso");
    WriteBytes(path, bytes);
  }
  bool Extract(std::int32_t block, std::int32_t size, const std::string& target) {
    const auto image = media::ImageFile::Open(path);
    EXPECT_TRUE(image);
    return reader::ExtractEntry(*image, block, size, target, true, GetParam());
  }
  // The entry as a zero-filled buffer of its size sees it.
  std::vector<std::uint8_t> Expected(std::size_t block, std::size_t size) const {
    std::vector<std::uint8_t> out(size, 0);
    for (std::size_t i = 0; i < size && block * kOperaBlockSize + i < bytes.size(); ++i)
      out[i] = bytes[block * kOperaBlockSize + i];
    return out;
  }
  ScratchDir dir;
  std::vector<std::uint8_t> bytes;
  std::string path;
};

TEST_P(ImageCopy, CopiesExactlyTheEntrysBytes) {
  for (auto [block, size] : {std::pair{0, 3}, {2, 4096}, {3, 5000}, {1, 0}, {9, 2048 + 100}}) {
    const std::string target = dir.file("entry" + std::to_string(block * 100000 + size));
    EXPECT_TRUE(Extract(block, size, target));
    EXPECT_EQ(ReadBytes(target),
              Expected(static_cast<std::size_t>(block), static_cast<std::size_t>(size)));
  }
}

TEST_P(ImageCopy, PastTheEndOfTheImageIsZeroFilled) {
  const std::string partly = dir.file("partly");
  EXPECT_TRUE(Extract(9, 3 * 2048, partly));
  const auto got = ReadBytes(partly);
  ASSERT_EQ(got.size(), 3u * 2048);
  EXPECT_EQ(got, Expected(9, 3 * 2048));
  EXPECT_EQ(got[2048 + 99], bytes.back());
  EXPECT_EQ(got[2048 + 100], 0);

  const std::string beyond = dir.file("beyond");
  EXPECT_TRUE(Extract(500, 7000, beyond));
  EXPECT_EQ(ReadBytes(beyond), std::vector<std::uint8_t>(7000, 0));
}

TEST_P(ImageCopy, ReplacesALongerFileWithExactlyTheEntry) {
  const std::string target = dir.file("existing");
  WriteBytes(target, std::vector<std::uint8_t>(50000, 0xAA));
  EXPECT_TRUE(Extract(1, 100, target));
  EXPECT_EQ(ReadBytes(target), Expected(1, 100));
}

TEST_P(ImageCopy, UnaddressableEntriesFailWithoutWriting) {
  const std::string target = dir.file("never");
  EXPECT_FALSE(Extract(1048576, 10, target));
  EXPECT_FALSE(Extract(-1, 10, target));
  EXPECT_FALSE(Extract(0, -5, target));
  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(Extract(0, 10, dir.file("no/such/folder/file")));
  // The last block a 32-bit byte offset reaches is still copied (as zeros here).
  EXPECT_TRUE(Extract(1048575, 10, target));
  EXPECT_EQ(ReadBytes(target), std::vector<std::uint8_t>(10, 0));
}

TEST_P(ImageCopy, SavingOverTheImageItselfWritesTheEntry) {
  const std::vector<std::uint8_t> expected = Expected(2, 5000);
  EXPECT_TRUE(Extract(2, 5000, path));
  EXPECT_EQ(ReadBytes(path), expected);
}

INSTANTIATE_TEST_SUITE_P(BothWays, ImageCopy,
                         ::testing::Values(reader::CopyMethod::Fastest,
                                           reader::CopyMethod::ReadWrite),
                         [](const auto& info) {
                           return info.param == reader::CopyMethod::Fastest ? "Fastest"
                                                                            : "ReadWrite";
                         });

OperaImage Disc() {
  return OperaImageBuilder()
      .root({OperaEntry::File("  note.txt", 5000), OperaEntry::File("caf\xE9", 10),
             OperaEntry::Dir(
                 "Sub", {OperaEntry::File("one", 3000), OperaEntry::File("empty", std::size_t{0}),
                         OperaEntry::Dir("Inner", {OperaEntry::File("x", 1)})})})
      .build();
}

TEST(SaveOneEntry, OffersTheTrimmedNameAndWritesTheBytes) {
  const OperaImage image = Disc();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  const std::string target = scene.dir.file("chosen name");
  scene.window.saveAnswers.push_back(target);
  EXPECT_TRUE(scene.doubleClick(scene.lineOf("note.txt")));
  ASSERT_EQ(scene.window.saveRequests.size(), 1u);
  const auto& request = scene.window.saveRequests[0];
  EXPECT_EQ(request.title, "Save file as...");
  EXPECT_EQ(request.filterDescription, "All files (*.*)");
  EXPECT_EQ(request.filterPattern, "*.*");
  EXPECT_EQ(request.initialName, "note.txt");
  EXPECT_EQ(ReadBytes(target), image.contents.at("  note.txt"));
  EXPECT_EQ(scene.window.beeps, 1);
  EXPECT_TRUE(scene.window.openEnabled);
  EXPECT_TRUE(scene.window.filesEnabled);
  EXPECT_THAT(scene.window.errors, IsEmpty());

  // The initial name is offered as UTF-8.
  scene.window.saveAnswers.clear();
  EXPECT_FALSE(scene.doubleClick(scene.lineOf("caf\xE9")));  // cancelled
  EXPECT_EQ(scene.window.saveRequests.back().initialName, "caf\xC3\xA9");
  EXPECT_EQ(scene.window.beeps, 1);
}

TEST(SaveOneEntry, ControlsAreDisabledDuringTheCopy) {
  const OperaImage image = Disc();
  reader::PlainWindow window;
  window.source = reader::SectorSource::Drive;
  window.drives = {"E: X"};
  window.drive = 0;
  std::vector<std::pair<bool, bool>> seen;
  FakeDrive drive(image.bytes, window);
  reader::VolumeReader reader(window, [&](std::int32_t lba, std::int16_t count) {
    seen.emplace_back(window.openEnabled, window.filesEnabled);
    return drive.read(lba, count);
  });
  ASSERT_TRUE(reader.cmdOpen_Click());
  seen.clear();
  ScratchDir dir;
  window.saveAnswers.push_back(dir.file("note"));
  ASSERT_TRUE(window.select(window.files[0]));
  EXPECT_TRUE(reader.lstFiles_DblClick());
  EXPECT_THAT(
      seen, ElementsAre(std::pair{false, false}, std::pair{false, false}, std::pair{false, false}));
  EXPECT_TRUE(window.openEnabled);
  EXPECT_TRUE(window.filesEnabled);
  EXPECT_EQ(window.beeps, 1);
}

TEST(SaveOneEntry, UnwritableTargetIsAnErrorNotABeep) {
  ImageScene scene(Disc());
  ASSERT_TRUE(scene.open());
  const std::string target = scene.dir.file("missing folder/note.txt");
  scene.window.saveAnswers.push_back(target);
  EXPECT_FALSE(scene.doubleClick(scene.lineOf("note.txt")));
  EXPECT_THAT(scene.window.errors, ElementsAre(messages::CannotWriteFile(target)));
  EXPECT_EQ(scene.window.beeps, 0);
  EXPECT_TRUE(scene.window.openEnabled);
  EXPECT_TRUE(scene.window.filesEnabled);
}

TEST(SaveOneEntry, VanishedImageIsAnError) {
  ImageScene scene(Disc());
  ASSERT_TRUE(scene.open());
  fs::remove(scene.imagePath);
  scene.window.saveAnswers.push_back(scene.dir.file("note"));
  EXPECT_FALSE(scene.doubleClick(scene.lineOf("note.txt")));
  EXPECT_THAT(scene.window.errors, ElementsAre(messages::kCannotOpenImage));
  EXPECT_FALSE(fs::exists(scene.dir.file("note")));
  EXPECT_TRUE(scene.window.openEnabled);
}

TEST(ExtractAll, WritesEveryFileAndDirectoryLineButNotNavigationLines) {
  const OperaImage image = Disc();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  ASSERT_TRUE(scene.doubleClick(scene.lineOf("Sub")));
  ScratchDir out;
  scene.window.saveAnswers.push_back(out.prefix() + "Filename will be ignored");
  EXPECT_TRUE(scene.reader.Command2_Click());
  const auto& request = scene.window.saveRequests.at(0);
  EXPECT_EQ(request.title, "Extract files to...");
  EXPECT_EQ(request.initialName, "Filename will be ignored");
  EXPECT_EQ(request.filterDescription, "All files (*.*)");
  std::set<std::string> written;
  for (const auto& entry : fs::directory_iterator(out.path()))
    written.insert(entry.path().filename().string());
  EXPECT_THAT(written, ElementsAre("Inner", "empty", "one"));
  EXPECT_EQ(ReadBytes(out.path() / "one"), image.contents.at("Sub/one"));
  EXPECT_EQ(ReadBytes(out.path() / "Inner"), image.contents.at("Sub/Inner"));
  EXPECT_EQ(fs::file_size(out.path() / "empty"), 0u);
  EXPECT_EQ(scene.window.beeps, 1);
  EXPECT_THAT(scene.window.errors, IsEmpty());
  EXPECT_EQ(scene.window.history.size(), 2u);  // nothing about the listing changed
}

TEST(ExtractAll, NeverReplacesTheImageItIsReading) {
  const OperaImage image =
      OperaImageBuilder()
          .root({OperaEntry::File("first", 3000), OperaEntry::File("disc.iso", 10),
                 OperaEntry::File("last", 5000)})
          .build();
  ImageScene scene(image, "disc.iso");
  ASSERT_TRUE(scene.open());
  EXPECT_FALSE(scene.reader.ExtractAllTo(scene.dir.prefix()));
  EXPECT_EQ(ReadBytes(scene.imagePath), image.bytes);
  EXPECT_EQ(ReadBytes(scene.dir.path() / "first"), image.contents.at("first"));
  EXPECT_EQ(ReadBytes(scene.dir.path() / "last"), image.contents.at("last"));
  ASSERT_EQ(scene.window.errors.size(), 1u);
  EXPECT_THAT(scene.window.errors[0], HasSubstr("\"disc.iso\""));
}

TEST(ExtractAll, Latin1NamesBecomeUtf8FileNames) {
  ImageScene scene(Disc());
  ASSERT_TRUE(scene.open());
  ScratchDir out;
  EXPECT_TRUE(scene.reader.ExtractAllTo(out.prefix()));
  EXPECT_TRUE(fs::exists(out.path() / Utf8Path("caf\xC3\xA9")));
  EXPECT_TRUE(fs::exists(out.path() / "note.txt"));
}

TEST(ExtractAll, AnotherNameThanThePlaceholderCopiesNothing) {
  ImageScene scene(Disc());
  ASSERT_TRUE(scene.open());
  ScratchDir out;
  scene.window.saveAnswers.push_back(out.prefix() + "my name");
  EXPECT_FALSE(scene.reader.Command2_Click());
  EXPECT_THAT(scene.window.errors, ElementsAre(messages::kKeepPlaceholder));
  EXPECT_TRUE(fs::is_empty(out.path()));
  EXPECT_EQ(scene.window.beeps, 0);
  // The comparison is case-sensitive.
  scene.window.saveAnswers.push_back(out.prefix() + "filename will be ignored");
  EXPECT_FALSE(scene.reader.Command2_Click());
  EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST(ExtractAll, ThePlaceholderCountsOnlyAsTheLastPathComponent) {
  const OperaImage image = Disc();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  ScratchDir out;
  // A folder on the way whose name holds the placeholder text is where the files go.
  const fs::path folder = out.path() / "Filename will be ignored copies";
  fs::create_directory(folder);
  scene.window.saveAnswers.push_back((folder / "Filename will be ignored").string());
  EXPECT_TRUE(scene.reader.Command2_Click());
  EXPECT_EQ(ReadBytes(folder / "note.txt"), image.contents.at("  note.txt"));
  EXPECT_FALSE(fs::exists(out.path() / "note.txt"));

  // The text inside a folder name, followed by another file name, is not the placeholder.
  ScratchDir other;
  const fs::path inner = other.path() / "Filename will be ignored";
  fs::create_directory(inner);
  scene.window.saveAnswers.push_back((inner / "mine").string());
  EXPECT_FALSE(scene.reader.Command2_Click());
  EXPECT_THAT(scene.window.errors, ElementsAre(messages::kKeepPlaceholder));
  EXPECT_TRUE(fs::is_empty(inner));
  EXPECT_EQ(std::distance(fs::directory_iterator(other.path()), fs::directory_iterator()), 1);
}

TEST(ExtractAll, UnsafeNamesAreSkippedAndNothingEscapesTheFolder) {
  const OperaImage image =
      OperaImageBuilder()
          .root({OperaEntry::File("../escape", 10), OperaEntry::File("a/b", 10),
                 OperaEntry::File(".", 10), OperaEntry::File("..", 10), OperaEntry::File("", 10),
                 OperaEntry::File("fine", 10), OperaEntry::File("/abs", 10)})
          .build();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  ASSERT_EQ(scene.window.files.size(), 7u);
  const fs::path out = scene.dir.path() / "out";
  fs::create_directories(out / "a");
  EXPECT_FALSE(scene.reader.ExtractAllTo(out.string() + "/"));
  // Only the safe entry was written; nothing beside or above the folder appeared.
  std::vector<std::string> inside;
  for (const auto& e : fs::recursive_directory_iterator(out))
    inside.push_back(fs::relative(e.path(), out).generic_string());
  EXPECT_THAT(inside, ::testing::UnorderedElementsAre("a", "fine"));
  EXPECT_FALSE(fs::exists(scene.dir.path() / "escape"));
  EXPECT_FALSE(fs::exists("/abs"));
  EXPECT_EQ(scene.window.beeps, 0);
  ASSERT_EQ(scene.window.errors.size(), 1u);
  const std::string& message = scene.window.errors[0];
  EXPECT_THAT(message, HasSubstr(messages::kEntriesSkipped));
  for (const char* name : {"\"../escape\"", "\"a/b\"", "\".\"", "\"\"", "\"/abs\""})
    EXPECT_THAT(message, HasSubstr(name));
  EXPECT_THAT(message, ::testing::Not(HasSubstr("\"fine\"")));
}

TEST(SafeFileNames, OnlyNamesThatStayInsideTheFolder) {
  for (const char* name : {"", ".", "..", "../escape", "a/b", "/abs", "dir/"})
    EXPECT_FALSE(output::IsSafeFileName(name)) << name;
  EXPECT_FALSE(output::IsSafeFileName(std::string("a\0b", 3)));
  for (const char* name : {".hidden", "caf\xE9", "with space", "LAUNCHME", "a..b"})
    EXPECT_TRUE(output::IsSafeFileName(name)) << name;
#ifdef _WIN32
  for (const char* name :
       {"a\\b", "c:x", "CON", "con.txt", "Com1", "LPT9.dat", "nul ", "trail.", "..."})
    EXPECT_FALSE(output::IsSafeFileName(name)) << name;
  EXPECT_TRUE(output::IsSafeFileName("COM10"));
#else
  for (const char* name : {"a\\b", "c:x", "CON", "..."})
    EXPECT_TRUE(output::IsSafeFileName(name)) << name;
#endif
}

TEST(ExtractAll, FailuresAreCollectedAndTheRestIsWritten) {
  const OperaImage image = Disc();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  ScratchDir out;
  fs::create_directory(out.path() / "note.txt");  // the host refuses a file there
  EXPECT_FALSE(scene.reader.ExtractAllTo(out.prefix()));
  EXPECT_EQ(ReadBytes(out.path() / Utf8Path("caf\xC3\xA9")), image.contents.at("caf\xE9"));
  ASSERT_EQ(scene.window.errors.size(), 1u);
  EXPECT_THAT(scene.window.errors[0], HasSubstr(messages::kEntriesNotWritten));
  EXPECT_THAT(scene.window.errors[0], HasSubstr("\"note.txt\""));
  EXPECT_THAT(scene.window.errors[0], ::testing::Not(HasSubstr("caf")));
  EXPECT_EQ(scene.window.beeps, 0);
}

TEST(ExtractAll, FromADriveWithAFailedBlockReportsTheEntry) {
  const OperaImage image = Disc();
  reader::PlainWindow window;
  window.source = reader::SectorSource::Drive;
  window.drives = {"E: X"};
  window.drive = 0;
  FakeDrive drive(image.bytes, window);
  reader::VolumeReader reader(window, drive.reader());
  ASSERT_TRUE(reader.cmdOpen_Click());
  drive.failing = {static_cast<std::int32_t>(image.placements.at("  note.txt").firstBlock + 1)};
  ScratchDir out;
  EXPECT_FALSE(reader.ExtractAllTo(out.prefix()));
  EXPECT_FALSE(fs::exists(out.path() / "note.txt"));  // never a cut-short file under its name
  EXPECT_EQ(ReadBytes(out.path() / Utf8Path("caf\xC3\xA9")), image.contents.at("caf\xE9"));
  ASSERT_EQ(window.errors.size(), 2u);  // the drive's own message, then the summary
  EXPECT_THAT(window.errors[1], HasSubstr("\"note.txt\""));
}

}  // namespace
}  // namespace brindle::testing
