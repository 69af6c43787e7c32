// Host-file rules that only POSIX hosts can stage: pipes, dot-files as hidden files, and links
// (followed when opening an image, never followed when extracting into a folder).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "Fixture.h"
#include "reader/Extract.h"
#include "reader/Messages.h"

namespace brindle::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
namespace fs = std::filesystem;
namespace messages = reader::messages;

OperaImage SmallDisc() {
  return OperaImageBuilder()
      .root({OperaEntry::File("alpha", 10), OperaEntry::Dir("Beta", {OperaEntry::File("x", 1)})})
      .build();
}

TEST(OpenImage, OnlyOrdinaryFilesPassTheExistenceCheck) {
  ImageScene scene(SmallDisc());
  const auto& dir = scene.dir.path();
  std::filesystem::copy_file(scene.imagePath, dir / ".hidden.iso");
  std::filesystem::create_directory(dir / "folder.iso");
  ASSERT_EQ(::mkfifo((dir / "pipe.iso").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir / "missing.iso", dir / "dangling.iso");
  for (const std::string name :
       {"missing.iso", ".hidden.iso", "folder.iso", "pipe.iso", "dangling.iso"}) {
    SCOPED_TRACE(name);
    scene.window.files = {"old line"};
    scene.window.image = "old.iso";
    scene.window.errors.clear();
    scene.window.openAnswers.push_back((dir / name).string());
    EXPECT_FALSE(scene.reader.cmdOpen_Click());
    EXPECT_THAT(scene.window.errors, ElementsAre(messages::kCannotOpenImage));
    EXPECT_THAT(scene.window.files, ElementsAre("old line"));
    EXPECT_EQ(scene.window.image, "old.iso");
  }
  // A link to an ordinary file is followed.
  std::filesystem::create_symlink(scene.imagePath, dir / "link.iso");
  scene.window.errors.clear();
  scene.window.openAnswers.push_back((dir / "link.iso").string());
  EXPECT_TRUE(scene.reader.cmdOpen_Click());
  EXPECT_THAT(scene.window.errors, IsEmpty());
}

TEST(ExtractAll, LinksInTheFolderAreNotFollowed) {
  const OperaImage image = SmallDisc();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  ScratchDir out;
  const fs::path outside = scene.dir.path() / "outside";
  fs::create_symlink(outside, out.path() / "Beta");
  EXPECT_FALSE(scene.reader.ExtractAllTo(out.prefix()));
  EXPECT_FALSE(fs::exists(outside));
  EXPECT_EQ(ReadBytes(out.path() / "alpha"), image.contents.at("alpha"));
  ASSERT_EQ(scene.window.errors.size(), 1u);
  EXPECT_THAT(scene.window.errors[0], HasSubstr("\"Beta\""));
}

TEST(SaveOneEntry, FollowsALinkTheUserChose) {
  const OperaImage image = SmallDisc();
  ImageScene scene(image);
  ASSERT_TRUE(scene.open());
  const fs::path real = scene.dir.path() / "real";
  fs::create_symlink(real, scene.dir.path() / "link");
  scene.window.saveAnswers.push_back((scene.dir.path() / "link").string());
  EXPECT_TRUE(scene.doubleClick(scene.lineOf("alpha")));
  EXPECT_EQ(ReadBytes(real), image.contents.at("alpha"));
}

TEST(SaveOneEntry, AFullDeviceIsAnErrorNotABeep) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ImageScene scene(SmallDisc());
  ASSERT_TRUE(scene.open());
  scene.window.saveAnswers.push_back("/dev/full");
  EXPECT_FALSE(scene.doubleClick(scene.lineOf("alpha")));
  EXPECT_THAT(scene.window.errors, ElementsAre(messages::CannotWriteFile("/dev/full")));
  EXPECT_EQ(scene.window.beeps, 0);
  EXPECT_TRUE(scene.window.openEnabled);
  EXPECT_TRUE(scene.window.filesEnabled);
}

TEST(ImageCopyFailure, AnImageThatCannotBeReadFailsTheEntry) {
  // A folder opens for reading but yields no bytes: a read error, not a zero-filled entry.
  ScratchDir dir;
  fs::create_directory(dir.path() / "folder.iso");
  const auto image = media::ImageFile::Open((dir.path() / "folder.iso").string());
  ASSERT_TRUE(image);
  for (const auto method : {reader::CopyMethod::Fastest, reader::CopyMethod::ReadWrite}) {
    EXPECT_FALSE(reader::ExtractEntry(*image, 0, 100, dir.file("out"), true, method));
  }
}

}  // namespace
}  // namespace brindle::testing
