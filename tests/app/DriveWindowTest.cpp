// The window on the drive source, wired as the program wires it: the application object chooses
// the real pass-through transport over a recording OS whose drive is emulated, and every read
// goes through the real sector reader.
#include <QComboBox>
#include <QToolButton>

#include "WindowTestSupport.h"
#include "tests/support/drive/FakeOs.h"
#include "transport/clsSPTI.h"

namespace brindle::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DriveWindowTest : public ::testing::Test {
 protected:
  DriveWindowTest() {
    disc = OperaImageBuilder()
               .root({OperaEntry::File("README", 700),
                      OperaEntry::Dir("MOVIES", {OperaEntry::File("INTRO", 5000)})})
               .build();
    auto fake = std::make_unique<FakeOs>();
    os = fake.get();
    os->addDrive('D', disc.bytes).setIdentity("EMU", "OPERA DRIVE");
    application = std::make_unique<app::Application>(
        prompts, std::move(fake),
        [](platform::Os& system, auto) { return std::make_unique<transport::clsSPTI>(system); },
        nullptr);
    form().show();
  }

  app::frmMain& form() { return application->window(); }
  EmulatedDrive& drive() { return os->drive('D'); }

  int rowOf(const std::string& name) {
    for (int i = 0; i < form().fileCount(); ++i) {
      if (reader::EntryName(form().fileLine(i)) == name) return i;
    }
    return -1;
  }

  void doubleClickRow(int row) {
    QListWidget* list = form().lstFiles;
    const QPoint centre = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
  }

  OperaImage disc;
  FakeOs* os = nullptr;
  ScriptedPrompts prompts;
  std::unique_ptr<app::Application> application;
  TempFolder folder;
};

TEST_F(DriveWindowTest, FirstSwitchListsTheDriveAndOpensItsDisc) {
  QTest::mouseClick(form().optCDROM, Qt::LeftButton);
  ASSERT_EQ(form().cbDrives->count(), 1);
  EXPECT_EQ(form().driveText(), "D: EMU      OPERA DRIVE     ");
  EXPECT_EQ(application->currentTransport()->Interface(), "SPTI");
  EXPECT_THAT(prompts.warnings, IsEmpty());

  QTest::mouseClick(form().cmdOpen, Qt::LeftButton);
  EXPECT_THAT(prompts.errors, IsEmpty());
  ASSERT_EQ(form().fileCount(), 2);
  EXPECT_EQ(reader::EntryName(form().fileLine(0)), "README");
  EXPECT_EQ(form().historyCount(), 1);

  // Into MOVIES and save INTRO: 5000 bytes are three one-block reads.
  doubleClickRow(rowOf("MOVIES"));
  ASSERT_EQ(form().fileCount(), 3);
  const std::string target = folder.file("intro.bin");
  prompts.saveAnswers.push_back(target);
  const std::size_t readsBefore = drive().reads().size();
  doubleClickRow(rowOf("INTRO"));
  EXPECT_EQ(ReadFileBytes(target), disc.contents.at("MOVIES/INTRO"));
  EXPECT_EQ(drive().reads().size() - readsBefore, 3u);
  EXPECT_EQ(prompts.beeps, 1);
}

TEST_F(DriveWindowTest, NoDiscInTheDriveGivesTwoCommandsAndOneMessage) {
  QTest::mouseClick(form().optCDROM, Qt::LeftButton);
  drive().setMediumPresent(false);
  const int commandsBefore = drive().commandCount();
  os->clearCalls();

  QTest::mouseClick(form().cmdOpen, Qt::LeftButton);
  EXPECT_THAT(prompts.errors, ElementsAre("Could not read sector 0. Drive not ready."));
  EXPECT_EQ(drive().commandCount() - commandsBefore, 2);
  EXPECT_THAT(os->sleeps(), ElementsAre(500u));
  EXPECT_EQ(form().fileCount(), 0);

  // The window keeps working: with the disc back, the same button opens it.
  drive().setMediumPresent(true);
  QTest::mouseClick(form().cmdOpen, Qt::LeftButton);
  EXPECT_EQ(form().fileCount(), 2);
}

}  // namespace
}  // namespace brindle::testing
